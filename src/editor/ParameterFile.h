#pragma once
// The parameter file: how the technician carries a drive's settings to the next drive and keeps
// a backup before changing anything. One line per parameter, "P", the register number, one
// blank and the raw value ("P97 1000"), CR LF after every line, ASCII only, no header.
//
// Pure functions over the editor's state and the file's bytes, shared by the editor window and
// the command line, plus the safe write and the whole-file read they both use. No widgets here.
//
// Saving: the editor runs its value conversion, then
//     text = parameterFileText(value, pageFlags, offline);
//     if (auto failure = writeFileSafely(path, text)) show *failure as a file error;
// A field that does not show the drive's value (a position its list lacks, a rate that is not
// one of the five) must hold the raw value the drive gave for it in `value` before the call.
//
// Loading (all or nothing): the editor reads and checks the whole file first,
//     ParameterFileLoad load = loadParameterFile(path);      // or parseParameterFile(bytes)
//     if (load.error) { tell the technician *load.error as a file error; change nothing; }
// and only a sound file changes the editor:
//   1. page flags 0-28 become load.pages (page 29 becomes 0): the pages in the file are present,
//      the others are read from the drive again when the technician turns to them;
//   2. with context = loadDisplayContext(load, flag471), for every page p with load.pages[p] in
//      ascending order, and every register r with a field in heldRange(p) in ascending order,
//      the field shows loadedDisplay(r, *load.values[r], context) exactly as a page read shows
//      a value: SelectPosition selects (-1 selects nothing), ShowText becomes the field's only
//      item, LeaveUnchanged::NotAPosition / NotABaudRate marks the field as not showing the
//      value (the loaded raw value is kept for a save, never written to the drive) and
//      LeaveUnchanged::NoPidDecimals leaves the field as it was;
//   3. nothing else changes: the working values, the values read from the drive and the copies
//      of single parameters stay as they were (the file's values reach the working values at the
//      next conversion).
// A cancelled open dialog changes nothing either, the page flags included.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/Catalogue.h"
#include "model/Rules.h"

namespace velorin {

// A file names registers 0-548; P549-P562 are the drive's read-only display values.
inline constexpr int kFileRegisterCount = 549;
// Pages 0-28 are saved and loaded; page 29 (P17.24) never is.
inline constexpr int kFilePageCount = 29;

inline constexpr const char* kDefaultFileName = "Data.txt";

// Bytes from outside (a file's line) as they may be shown on a terminal or in a window: control
// characters, NUL included, and bytes that are no UTF-8 become \xNN, everything else stays.
std::string visible(std::string_view bytes);

// ---- Writing ----

// The file's lines for the editor's state. Online: for every page 0-28 whose flag is 1, in page
// order, one line per register of heldRange(page), registers without a field included (P14,
// P15, ...); nothing when no page is present. Offline: P0-P548, 549 lines.
std::string parameterFileText(std::span<const std::int32_t, kRegisterCount> value,
                              std::span<const std::int16_t> pageFlags, bool offline);

// The registers a page's lines cover: its online save range (P15: 496-502, P17-1: 538-548).
RegisterRange heldRange(int page);

// ---- Reading ----

// Why a whole file could not be read. Every type of file but a regular one is refused before it
// is opened (a FIFO would wait for a writer, a device may never end).
struct FileReadFault {
    enum class Kind {
        NotRegular,  // `type` says what it is instead
        System,      // the system refused the open or the read: `systemReason`
        TooLarge,    // beyond what a text file of this program can be
    };
    Kind kind = Kind::System;
    std::filesystem::path path;
    std::filesystem::file_type type = std::filesystem::file_type::none;
    std::string systemReason;  // the system's own words for its error
};

// Why a file the technician chose (a parameter file, a backup, a report, a comparison) was not
// written. The file is then as it was before, or, where `keptAt` names a file, the complete new
// contents wait there.
struct FileWriteFault {
    enum class Kind {
        System,       // the system refused: `systemReason`
        NotRegular,   // `type` says what it is instead
        PlantedLink,  // a symbolic link in a folder others may write to: not followed
        NotRendered,  // the document could not be laid out (a PDF came out empty)
    };
    Kind kind = Kind::System;
    std::filesystem::path path;  // as the technician named it
    std::filesystem::file_type type = std::filesystem::file_type::none;
    std::string systemReason;     // the system's own words for its error
    std::filesystem::path keptAt;  // where the new contents were left, when they were
};

// One fault of a parameter file, with the numbers and the bytes the technician is told.
struct ParameterFileError {
    enum class Kind {
        Unreadable,       // the file itself: `file`
        EmptyLine,
        NoBlank,          // no blank between the register and the value
        StartsWithBlank,
        NotARegister,     // `quoted` is the label as read
        CodeNotRegister,  // `quoted` is a panel code ("P01.24") where a register belongs
        NotANumber,       // `reg`'s value `quoted`
        NotWhole,
        BeyondWord,       // outside -32768 to 65535
        Repeated,         // `reg` again; `earlierLine` held it before, this line is taken
        MissingValue,     // page `page` holds no line for `reg`
    };
    Kind kind = Kind::EmptyLine;
    int line = 0;  // 1-based; 0 when the fault is not on one line (the file cannot be read)
    int reg = -1;
    int page = -1;
    int earlierLine = 0;
    std::string quoted;  // the bytes as read, unescaped
    std::optional<FileReadFault> file;
};

struct ParameterFileLoad {
    // Why the file cannot be used at all (it cannot be read, or a page it holds lacks a value);
    // when set, nothing below may be used.
    std::optional<ParameterFileError> error;
    // Every line that is not "P<register> <value>" for a register 0-548 with a whole value of
    // 16 bits, in file order, and every repeated register. Such a line is left out of `pages`
    // and `values` (a repeated register keeps its later line, as the format has it); the file is
    // taken only when the technician goes on anyway.
    std::vector<ParameterFileError> unreadLines;
    // Pages held in the file: those whose start register has a line.
    std::array<bool, kFilePageCount> pages{};
    // The raw value of every line that was read. Every register with a field in a held page has
    // one; lines outside the held pages (P23) are kept here but belong to no page.
    std::array<std::optional<std::int32_t>, kFileRegisterCount> values{};

    // Sound: every line read, nothing lacking.
    bool ok() const { return !error && unreadLines.empty(); }
    // Usable once the unread lines are left out.
    bool usable() const { return !error; }
    // A file holding no page: nothing in it can be loaded, written or compared.
    bool holdsAnyPage() const;
};

// Reads the file's bytes. A line ends at CR LF, a lone CR or a lone LF (the program's own files
// end every line in CR LF; a file edited elsewhere may not, and a line end inside a parameter
// line can be nothing else). A line is "P", the register number 0-548 in decimal digits, one
// blank and the value: a whole number in `decimalSeparator`'s notation from -32768 to 65535.
// Every register with a field in a held page must have a line that was read.
ParameterFileLoad parseParameterFile(std::string_view bytes, char decimalSeparator = '.');

// Reads the file at `path` and parses it; a file that cannot be read gives an Unreadable error
// without a line.
ParameterFileLoad loadParameterFile(const std::filesystem::path& path, char decimalSeparator = '.');

// A whole small text file (parameter and developer files are a few kilobytes; a file beyond
// 16 MiB is refused rather than read into memory).
struct TextFileRead {
    std::optional<std::string> bytes;
    std::optional<FileReadFault> fault;  // set when `bytes` is empty
};
TextFileRead readTextFile(const std::filesystem::path& path);

// ---- Showing a loaded file ----

// The unit switches as the file holds them (P03.00, P08.03), and P13.35 as the file holds it
// with page P13-2, else `pidDecimals` (the editor's copy).
DisplayContext loadDisplayContext(const ParameterFileLoad& load,
                                  std::optional<std::int16_t> pidDecimals);

// How the field of `reg` shows the file's value `raw`. As a page read shows the drive's raw
// value, except P15.01, whose file value is the position of the rate in its list (0-4, -1 for
// none), not the drive's rate code.
Display loadedDisplay(int reg, std::int32_t raw, const DisplayContext& context);

}  // namespace velorin
