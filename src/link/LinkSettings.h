#pragma once
// The link state the windows hand on to each other, the line settings (rate, parity, data and
// stop bits) and the tables every settings string is built from.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "NetworkAddress.h"

namespace velorin {

// How requests and replies are framed on the line. Mbap is Modbus TCP as a translating gateway
// speaks it: a 7-byte header (transaction id, protocol 0, length, unit id) in place of the
// checksum. RTU and ASCII frames go unchanged through a pass-through gateway.
enum class Framing { Ascii, Rtu, Mbap };

inline bool isRtu(Framing f) {
    return f == Framing::Rtu;
}
// Bytes as they are (RTU, Modbus TCP), not spelt in hexadecimal text (ASCII): the drive's values
// read unsigned.
inline bool isBinary(Framing f) {
    return f != Framing::Ascii;
}
inline std::string_view framingName(Framing f) {
    switch (f) {
        case Framing::Rtu:
            return "RTU";
        case Framing::Mbap:
            return "Modbus TCP";
        case Framing::Ascii:
            break;
    }
    return "ASCII";
}

// What the windows hand on to each other: where the drive was found and how it is reached. One
// value, held by the services object every window shares.
struct LinkState {
    std::uint8_t station = 0;          // Modbus station of the drive
    Framing framing = Framing::Ascii;  // Modbus ASCII (7 data bits) or RTU (8 data bits)
    bool offline = false;              // the editor works without a drive
    int comPort = 0;                   // N of COM1..COM16
    std::string settings;              // line settings, e.g. "9600,N,7,2"
    // Reached through a network gateway at this address instead of COM `comPort`; `framing` is
    // then the gateway's (Modbus TCP, or RTU or ASCII passed through).
    std::optional<NetworkAddress> gateway;
};

// The line settings with their framing, as the technician is told them: "9600,E,8,1 RTU".
inline std::string lineSettingsText(const LinkState& link) {
    return link.settings + " " + std::string(framingName(link.framing));
}

struct RateEntry {
    std::string_view text;  // "9600"
    int baud;               // 9600
    int driveValue;         // what the drive keeps in P497: rate / 100
};

struct FormatEntry {
    std::string_view suffix;    // ",N,7,2": always 6 characters
    std::string_view listText;  // "ASCII,7,N,2" as the user sees it
    Framing framing;            // Modbus RTU (8 data bits) or ASCII (7 data bits)
};

inline constexpr std::array<RateEntry, 5> kRates{{
    {"4800", 4800, 48},
    {"9600", 9600, 96},
    {"19200", 19200, 192},
    {"38400", 38400, 384},
    {"115200", 115200, 1152},
}};

// The index is also the value the drive keeps in P498.
inline constexpr std::array<FormatEntry, 7> kFormats{{
    {",N,7,2", "ASCII,7,N,2", Framing::Ascii},
    {",E,7,1", "ASCII,7,E,1", Framing::Ascii},
    {",O,7,1", "ASCII,7,O,1", Framing::Ascii},
    {",N,8,2", "RTU,8,N,2", Framing::Rtu},
    {",N,8,1", "RTU,8,N,1", Framing::Rtu},
    {",E,8,1", "RTU,8,E,1", Framing::Rtu},
    {",O,8,1", "RTU,8,O,1", Framing::Rtu},
}};

inline constexpr int kSuffixLength = 6;

// Format index below 3 is ASCII, 3 and above RTU.
inline Framing framingOfFormat(int formatIndex) {
    return formatIndex >= 3 ? Framing::Rtu : Framing::Ascii;
}

// Rate text of index `rate` followed by the suffix of index `format`.
std::string settingsString(int rate, int format);

// Cuts the last 6 characters (the format) and appends the suffix of `format`.
std::string replaceFormat(std::string_view settings, int format);

// The rate text of `rate` followed by the last 6 characters (the format) of `settings`.
std::string replaceRate(std::string_view settings, int rate);

// The line settings a settings string stands for.
struct LineSettings {
    int baud = 9600;
    char parity = 'N';  // 'N', 'E' or 'O'
    int dataBits = 7;
    int stopBits = 2;

    bool operator==(const LineSettings&) const = default;
    // Bits on the line per character: start, data, parity, stop.
    int bitsPerCharacter() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
};

// Parses "9600,N,7,2"; empty when the string is unusable (unknown parity, bits out of range).
std::optional<LineSettings> parseSettings(std::string_view settings);

// Index in kRates / kFormats of a settings string that the tables can build; empty otherwise.
std::optional<int> rateIndexOf(std::string_view settings);
std::optional<int> formatIndexOf(std::string_view settings);

}  // namespace velorin
