#pragma once
// The command line as a request value. It is parsed first and run afterwards, so every rule about
// what the technician may type is checked without a port.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/DriveFacts.h"
#include "link/LinkSettings.h"

namespace velorin {

enum class CliCommand {
    Help,
    Version,
    Ports,
    Probe,
    Read,
    Write,
    Scan,
    Get,
    Set,
    Backup,
    Restore,
    Diff,
    Catalogue,
    Log,
    Faults,
    Report,
    Survey,
};

// How get, diff and catalogue print their data on stdout.
enum class OutputFormat { Text, Csv, Json };

// --timeout: how long each transaction waits for its reply, in milliseconds.
inline constexpr int kDefaultReplyTimeoutMs = 100;
inline constexpr int kMinReplyTimeoutMs = 20;
inline constexpr int kMaxReplyTimeoutMs = 5000;

// A parameter and the value the technician typed for it, as into its field.
struct Assignment {
    int reg = 0;
    std::string text;
};

// A register as the technician gave it.
struct RegisterArg {
    std::uint16_t reg = 0;
    QString text;  // as the results show it: decimal, or 0x and four hexadecimal digits
};

struct CliRequest {
    CliCommand command = CliCommand::Help;
    QString portName;  // a COM name or a device path; with --tcp the gateway's HOST:PORT
    // ---- Through a network gateway (--tcp) ----
    bool gateway = false;
    QString gatewayHost;
    int gatewayPort = 502;
    int connectTimeoutMs = 3000;   // --connect-timeout
    bool allowLinkChange = false;  // --allow-link-change
    std::string settings = drive::kFactorySettings;
    Framing framing = drive::kFactoryFraming;  // follows from the settings' data bits, or
                                               // --framing through a gateway
    std::uint8_t station = drive::kFactoryStation;
    int firstStation = ScanOrder::kFirstStation;  // the stations a scan tries
    int lastStation = ScanOrder::kLastStation;
    bool settingsGiven = false;  // --settings was typed (survey: else the search finds them)
    // ---- Several drives of one line ----
    // backup, restore --stations LIST: the drives, in rising order; `file` is then their folder.
    std::vector<std::uint8_t> stationList;
    bool allStations = false;  // backup --all: every drive a survey finds
    // restore of several drives: the model the file's name gives, checked against the drive's.
    std::optional<std::int32_t> fileModel;
    bool manyDrives() const { return !stationList.empty() || allStations; }
    std::vector<RegisterArg> registers;      // read: every register; write: the one written
    int value = 0;                           // write: as given, -32768..65535
    int timeoutMs = kDefaultReplyTimeoutMs;  // --timeout
    bool signedValues = false;
    bool trace = false;
    bool blockReads = false;   // --block-reads
    bool verifyReads = false;  // --verify-reads

    // ---- Parameter sets ----
    std::vector<int> parameters;          // get, catalogue: registers in the order asked
    std::vector<Assignment> assignments;  // set
    std::vector<int> pages;               // backup: the pages to read, ascending
    QString file;                         // backup, restore: FILE; diff: the first set's file
    QString againstFile;                  // diff, report --against FILE
    QString fromFile;                     // report --from FILE: a backup instead of the drive
    bool againstFactory = false;          // diff --factory
    bool raw = false;                     // get --raw
    bool dryRun = false;                  // restore --dry-run
    bool changedOnly = false;             // restore --changed-only
    bool forceRunning = false;            // set, restore --force-running
    bool allowReset = false;              // set, restore --allow-reset: P17.08 may reset
    bool strict = false;                  // set, restore --strict: a drive warning refuses
    bool force = false;       // restore --force: a file its sidecar does not vouch for
    bool forceModel = false;  // restore --force-model: a file from another drive model
    bool lenient = false;  // restore, diff --lenient: a file's unreadable lines are left out
    QString find;          // catalogue --find QUERY
    bool all = false;      // diff --all
    OutputFormat format = OutputFormat::Text;

    // ---- The change log ----
    bool noLog = false;             // write, set, restore --no-log: the writes are not logged
    std::string since;              // log --since DATE
    std::optional<int> logStation;  // log --station N
    // As the log names the command, the words as typed: "velorin-cli restore Data.txt".
    QString commandLine;
    // Whether the command talks to the drive (diff of two files or a file and the factory
    // values does not).
    bool usesDrive() const;

    // The word a write sends: a negative value as its two's complement.
    std::uint16_t word() const {
        return static_cast<std::uint16_t>(value < 0 ? value + 65536 : value);
    }
};

// A request, or what is wrong with the command line.
struct ParsedCommandLine {
    std::optional<CliRequest> request;
    QString usageError;
};

// `args` as QCoreApplication::arguments() gives them, the program name first.
ParsedCommandLine parseCommandLine(const QStringList& args);

// The options part of --help, as the parser knows them.
QString optionsHelpText();

// ---- Parameters by code, range or page (ParameterWords.cpp) ----
// "P01.06", "P03.01-P03.09", a page caption ("P03", "P01-1", "P9-3") or a group ("P09", every
// page of it): the registers with a field, in register order within each word, each once.
// Empty with `error` set when a word names none.
std::vector<int> selectParameters(const QStringList& words, QString& error);
// One parameter by its code; empty with `error` set for a code without a field.
std::optional<int> singleParameter(const QString& word, QString& error);
// Page captions or groups, comma-separated ("P00,P03,P15"): the page indexes 0-28, ascending.
std::vector<int> selectPages(const QString& list, QString& error);

}  // namespace velorin
