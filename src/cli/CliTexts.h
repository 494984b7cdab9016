#pragma once
// What velorin-cli says: results on stdout, messages and the trace on stderr, and --help. The
// commands decide when; the words are here, in one place.

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "CliEnvironment.h"
#include "model/DriveFacts.h"
#include "drive/ConnectSession.h"
#include "editor/ParameterFile.h"
#include "link/Transaction.h"

namespace velorin::clitext {

// ---- Results (stdout) ----
// "settings=9600,N,7,2 framing=ASCII station=1", for a shell's eval.
QString foundLine(const std::string& settings, Framing framing, int station);
// A register value, 0..65535 or with --signed -32768..32767.
QString valueText(std::uint16_t value, bool signedValues);
// One line per port: COM name, device, state, description, and the fix when it may not be opened.
QStringList portLines(const std::vector<CliPort>& ports, const std::vector<QString>& fixes);

// ---- Messages (stderr) ----
inline constexpr const char* kPrefix = "velorin-cli: ";
inline constexpr const char* kSeeHelp = "Try 'velorin-cli --help' for the commands and options.";
inline constexpr const char* kLateReplies =
    "the drive answers later than 0.1 s; waiting up to %1 ms";
inline constexpr const char* kBlocksDisagree =
    "block reads disagree with single reads; reading one register at a time";
inline constexpr const char* kInterrupted = "interrupted; the port is closed";

// What stopped a command: "Ctrl+C", "SIGTERM", "SIGHUP".
QString stopCause(int signal);
// What the check of a reply found: "ok", "no reply", "bad CRC", "exception 2 (illegal data
// address)".
QString outcomeText(const ReplyCheck& check, Framing framing);
// Why a port could not be opened; `fix` is the remedy for a missing permission.
QString openFailure(OpenResult result, const QString& port, const std::string& settings,
                    const QString& fix);
QString notASerialPort(const QString& port);
// The port went away under a command; `consequence` says what that means for it.
QString portLost(const QString& port, const QString& consequence);
// ---- Through a network gateway ----
// Why the connection to a gateway could not be made.
QString connectFailure(OpenResult result, const QString& address, int timeoutMs);
// The gateway's connection dropped under a command.
QString connectionLost(const QString& address, const QString& consequence);
// A write that moves the drive's link, refused through a gateway: what the gateway would have to
// be set to, and how to write it anyway.
QString linkChangeRefused(const QString& address, std::uint16_t reg, std::uint16_t word,
                          const std::string& settings);
// Over a gateway a scan tries stations only.
QString gatewayScanNote(const QString& address, Framing framing);
QString gatewaySurveyNote(const QString& address, Framing framing);
// After a write of a link or reset parameter: how to reach the drive from now on; empty for any
// other register.
QString linkChangeNote(std::uint16_t reg, std::uint16_t word, const std::string& settings);
// "45 s", "14 min 40 s", "2 h 5 min".
QString durationText(Micros t);
// The scan's live line on a terminal, and its line per station elsewhere.
QString scanProgress(const ScanOrder& order, const ScanStep& step, Micros left);
QString scanStation(const ScanOrder& order, const ScanStep& step);
// "station 3, 19200,E,8,1"
QString scanStep(const ScanStep& step);
// The survey's live line on a terminal, and its line every ten stations elsewhere.
QString surveyProgress(int station, int first, int last, Micros left);
// A drive the survey found, on stdout: the scan's line with the model and the running hours
// ("?" where the drive did not give them).
QString surveyedLine(const std::string& settings, Framing framing, const SurveyedDrive& drive);

// ---- Trace (stderr) ----
// Two lines a transaction: "[  0.015258] -> 01 03 01 F0 00 01 85 C5" at the time the request
// went out, "[  0.031077] <- 01 03 02 00 01 79 84  ok" at the time the wait ended, with the
// check of what came. A request sent for a reason besides the first ask says so ("read again"),
// and a reply line tells what else the line showed ("late reply set aside"). Times count from
// `start`, the start of the command.
QStringList traceLines(const TransactionRecord& record, Micros start);

// ---- Files ----

// A message of several lines on one line of standard error: each line end becomes ": ".
QString oneLine(const std::string& text);
// Why a file was not written, on one line ("無法寫入檔案：a.txt: Permission denied").
QString writeFaultLine(const FileWriteFault& fault);

// ---- Help ----
QString helpText();
QString versionLine();

}  // namespace velorin::clitext
