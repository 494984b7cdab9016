#pragma once
// The developers' bulk write: every entry of a parameter file written to the drive, one register
// write each, without the editor's range checks. The station, rate and format entries (P496,
// P497, P498) are held back and written last, station first, then format, then rate, so the
// link survives each change; a lock/reset write (P546) of 2 to 7 sends the drive back to its
// factory link, and the run follows it.
//
// No widgets and no words: the mode menu asks for the password, locks its buttons, shows the
// progress line, then calls runDeveloperWrite() with its line session and hooks for the file
// dialog and the message boxes (it words each notice), and restores its buttons however the run
// ended.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Frames.h"
#include "link/LinkSettings.h"

namespace velorin {

class LineSession;

inline constexpr const char* kDeveloperPassword = "7093";
// The folder below the program's own folder where the file dialog starts.
inline constexpr const char* kDeveloperFolderName = "Develop";

// Compared exactly: case and length.
inline bool developerPasswordMatches(std::string_view answer) {
    return answer == kDeveloperPassword;
}

// A file holds at most this many entries.
inline constexpr int kDeveloperEntryLimit = 563;

// ---- The file, checked whole before anything goes on the line ----

struct DeveloperWord {
    std::uint16_t reg = 0;
    std::uint16_t word = 0;  // as it goes on the line
    int entry = 0;           // 1-based place in the file
};

struct DeveloperPlan {
    // Entries in file order, held-back ones and numbers outside 0-562 left out. A reset entry
    // (P546 2-7) switches the entries after it to the factory framing; their words are encoded
    // for it.
    std::vector<DeveloperWord> writes;
    std::optional<std::uint8_t> station;  // P496 (0-255)
    std::optional<int> format;            // P498: index in kFormats
    std::optional<int> rate;              // P497: index in kRates
};

// Why a file was refused.
enum class DeveloperFileFault {
    TooManyEntries,    // more than kDeveloperEntryLimit entries (the file as a whole)
    NoBlank,           // no blank between the number and the value
    NumberNotANumber,  // the number is no number
    NumberTooLarge,    // the number does not fit a register number
    ValueNotANumber,   // a station, format or rate value is no number
    ValueOutOfRange,   // the value cannot travel in one register
    BadStation,        // P496 outside 0-255
    BadFormat,         // P498 outside 0-6
    BadRate,           // P497 neither a list position nor a rate code
};

struct DeveloperFileError {
    int entry = 0;     // 1-based place in the file; 0 for the file as a whole
    std::string text;  // the entry as written
    DeveloperFileFault fault = DeveloperFileFault::NoBlank;
    bool operator==(const DeveloperFileError&) const = default;
};

struct DeveloperPlanResult {
    std::optional<DeveloperPlan> plan;
    std::optional<DeveloperFileError> error;
};

// Splits the file into entries (a line end or a comma ends one; blanks before an entry and empty
// entries are skipped), and checks and encodes every entry for a run that starts in `framing`:
//   - the number is the text from the second character up to the first blank (the first
//     character, normally "P", is not examined), a number rounded down; outside 0-562 the entry
//     is skipped;
//   - P496/P497/P498: the value is a number rounded half to even, -1 meaning "no entry"; the
//     station must be 0-255, the format 0-6, the rate a list position 0-4 (as the editor saves
//     it) or the drive's code 48, 96, 192, 384, 1152;
//   - any other number: the value read leniently; over ASCII a negative v travels as 65536 + v,
//     over RTU a v above 65536 as 131072 - v, then split into two bytes as the RTU link does.
//     A value that cannot travel is an error.
DeveloperPlanResult planDeveloperWrite(std::string_view fileText, Framing framing);

// ---- The run ----

// What the run tells the technician, in a message box with one OK button.
struct DeveloperNotice {
    enum class Kind {
        PortNotOpened,    // the port could not be opened: nothing written
        NoReply,          // the running check failed (`reply`): nothing written
        DriveRunning,     // the motor runs: nothing written
        BadFile,          // the file failed its check (`fileError`): nothing written
        LineLost,         // a write ended the run (`reply`) after `written` writes
        PortNotReopened,  // the port did not open again after a link change, after `written`
        Finished,         // the summary: `confirmed` and the registers `unconfirmed`
    };
    Kind kind = Kind::Finished;
    ReplyCheck reply{};
    std::optional<DeveloperFileError> fileError{};
    int written = 0;
    int confirmed = 0;
    std::vector<int> unconfirmed{};
};

struct DeveloperWriteHooks {
    // The file dialog and the reading of the chosen file, asked after the running check: the
    // file's bytes, or empty when there is nothing to write (the technician cancelled, or the
    // file could not be read and the menu has said so).
    std::function<std::optional<std::string>()> chooseFile;
    // A message box with one OK button; returns once it is closed.
    std::function<void(const DeveloperNotice&)> tell;
    // After every write: writes done so far and in all.
    std::function<void(int done, int total)> progress;
    // Each word sent, once the drive answered or the line gave up.
    std::function<void(std::uint16_t reg, std::uint16_t word, bool confirmed)> written;
};

enum class DeveloperWriteEnd {
    Finished,       // every entry went out; the summary was shown
    PortNotOpened,  // the port could not be opened: nothing written
    NoReply,        // the running check got no answer: nothing written
    DriveRunning,   // the motor runs: nothing written
    NoFile,         // the technician chose no file
    BadFile,        // the file failed its check: nothing written
    LineFailed,     // the port went away or the session was stopped part-way
};

struct DeveloperWriteResult {
    DeveloperWriteEnd end = DeveloperWriteEnd::Finished;
    int confirmed = 0;             // writes the drive confirmed
    std::vector<int> unconfirmed;  // registers of the writes it did not confirm, in order
};

// Runs the bulk write over `session`, reaching the drive as `link` says: opens the port
// (COM link.comPort with link.settings) unless open, checks that the motor stands, asks for the
// file, checks it whole, writes it, then the station, format and rate. `link` follows every
// change of the drive's link (station, framing, settings), so the next window reaches the drive
// as the file left it. The port is closed at the end, however the run ended. Every stop is told
// through hooks.tell. Call it as an operation of the session, so nothing else uses the line
// meanwhile.
DeveloperWriteResult runDeveloperWrite(LineSession& session, LinkState& link,
                                       const DeveloperWriteHooks& hooks);

}  // namespace velorin
