#pragma once
// The change log: one line for every register a write sent to a drive, from the editor window,
// the command line and the developers' bulk write, appended to one file in the user's data
// folder and printed back by `velorin-cli log`. A line holds twelve tab-separated columns:
//
//   time  port  settings  station  code  name  old raw  new raw  old shown  new shown  confirmed
//   command
//
//   2026-12-07T14:03:22+08:00  COM3  9600,E,8,1 RTU  1  P01.06  起動轉速  50  150  0.50  1.50
//   已確認  寫入變頻機
//
// A value that is not known (the drive's value before a bulk write, a time whose unit is not
// known) leaves its column empty. A tab, a line end or a backslash inside a column is written as
// \t, \n, \r or \\, so one entry is always one whole line. The file is only ever appended to,
// a whole line or nothing, so two programs writing at once never split each other's lines; a
// log that ends inside a line (another program cut short) gets a line end before the next one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/EditorCore.h"
#include "model/Rules.h"
#include "link/LinkSettings.h"

namespace velorin {

inline constexpr const char* kConfirmedText = "已確認";
inline constexpr const char* kNotConfirmedText = "未確認";

struct ChangeEntry {
    std::string time;      // local time, ISO 8601 with its offset from UTC
    std::string port;      // as the program shows it: "COM3（/dev/ttyUSB0）"
    std::string settings;  // the line settings and framing: "9600,E,8,1 RTU"
    int station = 0;
    std::string code;  // "P01.06"; a register outside the catalogue as "0x2000"
    std::string name;
    std::optional<std::int32_t> oldRaw;  // the drive's value before, when known
    std::int32_t newRaw = 0;             // as the drive keeps it (signed parameters signed)
    std::string oldShown, newShown;      // as the field shows them; empty when it cannot
    bool confirmed = false;
    std::string command;  // "寫入變頻機", "velorin-cli restore Data.txt"
    bool operator==(const ChangeEntry&) const = default;
};

// The entry as one line, its line end included.
std::string changeLogLine(const ChangeEntry& entry);
// A line as changeLogLine() writes it (with or without its line end); empty for anything else.
std::optional<ChangeEntry> parseChangeLogLine(std::string_view line);

// A whole log as `velorin-cli log` reads it: every readable entry, also one glued behind the
// remains of a line that was cut short, and the numbers of the lines that are damaged.
struct ChangeLogRead {
    std::vector<ChangeEntry> entries;
    std::vector<int> damagedLines;  // 1-based
};
ChangeLogRead readChangeLog(std::string_view text);

// Which lines `velorin-cli log` prints.
struct ChangeLogFilter {
    std::string since;  // "2026-12-01", "2026-12-01T08:30": written then or later, local time
    std::optional<int> station;
    bool admits(const ChangeEntry& entry) const;
};
// Whether --since takes `text`: YYYY-MM-DD, optionally with THH:MM or THH:MM:SS.
bool validSinceText(std::string_view text);

// Where the writes of one command go and what asked for them. The settings and the station are
// taken from `link` as each register is written, since the write itself may change them.
struct ChangeSource {
    std::string port;
    const LinkState* link = nullptr;
    std::string command;
};

// The entry of one register the editor's write sent.
ChangeEntry editorChange(const ChangeSource& source, const RegisterWritten& written);
// The entry of one word written without the editor (the bulk write, `velorin-cli write`), with
// the word the drive held before where it was read: the units of times are not known.
ChangeEntry wordChange(const ChangeSource& source, int reg, std::uint16_t word, bool confirmed,
                       std::optional<std::uint16_t> before = std::nullopt);

// Where the lines go. The program keeps one for its whole run.
class ChangeLog {
public:
    virtual ~ChangeLog() = default;
    // Stamps the entry with the local time and appends its line. Returns what to tell the
    // technician the first time a line cannot be written (where, and why); later failures are
    // only counted. The write being logged goes on either way.
    std::optional<std::string> record(ChangeEntry entry);
    // How many entries could not be written in this run, and why the last one could not.
    long unrecorded() const { return m_unrecorded; }
    const std::string& lastFailure() const { return m_lastFailure; }

protected:
    virtual std::string localTime() const = 0;
    // Appends one whole line, or nothing; why not, when it could not.
    virtual std::optional<std::string> append(const std::string& line) = 0;

private:
    bool m_failureTold = false;
    long m_unrecorded = 0;
    std::string m_lastFailure;
};

}  // namespace velorin
