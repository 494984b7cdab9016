#pragma once
// Backing up several drives of one line in one go, without widgets. For each station in turn:
// the editor's opening reads and page reads, the online save's text, the drive's model (P17.11)
// and running hours (P17.05), then the parameter file and its sidecar, named by station, model
// and date (S01_M101_20261208.txt beside S01_M101_20261208.txt.json).
//
// - A drive that fails (silent, a page that cannot be read, a file that cannot be written) is
//   told and passed over; the next drive is asked as if nothing had happened.
// - Nothing is written for a drive until every page of it is in, and the caller's save hook
//   replaces a file only whole, so a drive that fails leaves its earlier file of the same name
//   as it was.
// - A stop (Ctrl+C, the window's stop button) ends the run between two reads; the drives not yet
//   reached are told as such, and so are those after a lost port.
//
// The windows' 全部備份 and velorin-cli's `backup --stations`/`--all` run this one loop; the caller
// owns the line session, opens it, and runs LineBackup::run() inside one of its operations.
//
// Beside the loop: station lists as the technician types them ("1-3,5,9"), the file names, and
// the lookup a restore of many drives uses to find each station's file in a folder.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/LineSession.h"

namespace velorin {

// ---- Station lists ----
// "1-12", "1-3,5,9", "7": the stations in rising order, each once; every one within
// first..last. Station 0 is the broadcast address, which a drive never answers and Velorin never
// writes to: no list holds it. Empty when the text is no such list.
std::optional<std::vector<std::uint8_t>> parseStationList(std::string_view text, int first = 1,
                                                          int last = 254);

// ---- File names ----
// The extension of the editor's parameter files.
inline constexpr const char* kParameterFileExtension = ".txt";

struct BackupFileName {
    std::uint8_t station = 0;
    std::optional<std::int32_t> model;  // empty: the drive did not give P17.11
    std::string day;                    // "20261208"
    bool operator==(const BackupFileName&) const = default;
};
// "S01_M101_20261208.txt": the station with at least two digits, the model ("M" alone when it is
// not known) and the local date of the backup.
std::string backupFileName(const BackupFileName& name);
// The parts of a file name written by backupFileName(); empty for any other name.
std::optional<BackupFileName> parseBackupFileName(std::string_view fileName);
// The backup of `station` in `folder`: of the files named as above, the one with the latest
// date (of two the same day, the greater name). Empty when there is none.
std::optional<std::filesystem::path> latestBackupOf(const std::filesystem::path& folder,
                                                    std::uint8_t station);

// ---- The backup ----
// What goes into every file's name and sidecar.
struct BackupStamp {
    std::string day;      // local date for the names, "20261208"
    std::string date;     // the sidecar's: local time, ISO 8601 with its offset
    std::string program;  // the sidecar's: "velorin-cli 1.4.0"
};

// Where the run stands before each read of a page, and before a drive's opening reads.
struct DriveBackupProgress {
    int drive = 0;   // the drive under way, 0-based
    int drives = 0;  // how many are to be backed up
    std::uint8_t station = 0;
    int page = -1;                      // the page about to be read; -1 for the opening reads
    int pageNumber = 0, pageCount = 0;  // the page's place among those read (1-based)
};

struct DriveBackupOutcome {
    enum class Kind {
        Saved,       // the file and (unless `sidecarFailure`) its sidecar are written
        Silent,      // the drive did not give the opening reads: nothing written
        ReadFailed,  // a page could not be read: nothing written
        NotWritten,  // every page was read, but the file could not be written
        Stopped,     // the run was stopped while this drive was read: nothing written
        NotReached,  // the run stopped or the port was lost before this drive
        PortLost,    // the port went away while this drive was read
    };
    std::uint8_t station = 0;
    Kind kind = Kind::NotReached;
    std::filesystem::path file;         // written (Saved) or meant to be (NotWritten)
    std::optional<std::int32_t> model;  // P17.11, where the drive gave it
    std::optional<std::int32_t> runHours;
    int parameters = 0;          // lines of the file (Saved)
    int unreadRegister = -1;     // Silent, ReadFailed: the register the drive did not give
    std::string detail;          // NotWritten: why, in the file writer's own words
    std::string sidecarFailure;  // Saved without its sidecar: why it could not be written
    bool ok() const { return kind == Kind::Saved; }
};

struct LineBackupHooks {
    // Writes `bytes` to `path` so that an existing file is replaced whole or left as it was:
    // empty on success, else the message for the technician. Required.
    std::function<std::optional<std::string>(const std::filesystem::path& path,
                                             std::string_view bytes)>
        save;
    std::function<void(const DriveBackupProgress&)> progress;
    // Each drive's outcome as soon as it is known (those not reached at the end).
    std::function<void(const DriveBackupOutcome&)> driveDone;
    // Asked between reads: true stops the run there.
    std::function<bool()> stopRequested;
};

class LineBackup {
public:
    LineBackup(LineSession& line, LineBackupHooks hooks)
        : m_line(line), m_hooks(std::move(hooks)) {}

    // Backs up the drives at `stations`, in the order given, reading `pages` (page indexes, as
    // the editor numbers them) of each into `folder`. Runs inside an operation of the line
    // session; the session's station is as it was afterwards. One outcome per station, in order.
    std::vector<DriveBackupOutcome> run(std::span<const std::uint8_t> stations,
                                        const std::vector<int>& pages,
                                        const std::filesystem::path& folder,
                                        const BackupStamp& stamp);

private:
    DriveBackupOutcome backUp(int index, int count, std::uint8_t station,
                              const std::vector<int>& pages, const std::filesystem::path& folder,
                              const BackupStamp& stamp);
    bool stopAsked() const;

    LineSession& m_line;
    LineBackupHooks m_hooks;
};

// The outcome's word for a summary line: "saved", "no answer", ...

}  // namespace velorin
