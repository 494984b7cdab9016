#pragma once
// The command line as a request value. It is parsed first and run afterwards, so every rule about
// what the technician may type is checked without a port.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/DriveFacts.h"
#include "link/Global.h"

namespace velorin {

enum class CliCommand { Help, Version, Ports, Probe, Read, Write, Scan };

// A register as the technician gave it.
struct RegisterArg {
    std::uint16_t reg = 0;
    QString text;  // as the results show it: decimal, or 0x and four hexadecimal digits
};

struct CliRequest {
    CliCommand command = CliCommand::Help;
    QString portName;  // a COM name or a device path
    std::string settings = drive::kFactorySettings;
    Framing framing = drive::kFactoryFraming;  // follows from the settings' data bits
    std::uint8_t station = drive::kFactoryStation;
    int firstStation = ScanOrder::kFirstStation;  // the stations a scan tries
    int lastStation = ScanOrder::kLastStation;
    std::vector<RegisterArg> registers;  // read: every register; write: the one written
    int value = 0;                       // write: as given, -32768..65535
    bool signedValues = false;
    bool trace = false;

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

}  // namespace velorin
