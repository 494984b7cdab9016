#pragma once
// A backup's sidecar: a small JSON file beside a parameter file (Data.txt.json beside
// Data.txt) that says which drive the file came from and holds the file's SHA-256. The
// parameter file itself stays as other programs and older files have it; a file without a
// sidecar loads as it always did.
//
// Before a restore or a load, checkSidecar() compares: a file whose SHA-256 no longer matches
// (edited by hand, damaged) is refused unless the technician overrides, and so is a file from
// another drive model; either way the technician is told which drive the file came from.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velorin {

struct BackupSidecar {
    std::optional<std::int32_t> model;  // P17.11 of the drive the file came from
    int station = 0;
    std::string link;                      // "9600,N,7,2"
    std::string date;                      // local time, ISO 8601 with its offset
    std::optional<std::int32_t> runHours;  // P17.05 at the backup
    std::string program;                   // "velorin 1.4.0"
    std::string sha256;                    // of the parameter file's bytes, lowercase hex
    bool operator==(const BackupSidecar&) const = default;
};

// Where the sidecar of `file` lives: the file's own name with ".json" added.
std::string sidecarPath(const std::string& file);

// The sidecar as written, one member a line; and read back. Anything else (another shape, a
// member of the wrong type, a SHA-256 that is not 64 hex digits) reads as no sidecar of ours.
std::string sidecarText(const BackupSidecar& sidecar);
std::optional<BackupSidecar> parseSidecar(std::string_view text);

enum class SidecarVerdict {
    None,        // no sidecar: the file loads as always
    Matches,     // the file is as written, from a drive of this model (or the model is not known)
    Unreadable,  // a sidecar is there but is not one the program wrote: refused as Altered is
    Altered,     // the file's SHA-256 differs from the sidecar's
    OtherModel,  // the file came from another drive model
};

struct SidecarCheck {
    SidecarVerdict verdict = SidecarVerdict::None;
    std::optional<BackupSidecar> sidecar;  // the drive the file came from, once read
    std::optional<std::int32_t> driveModel;  // with OtherModel: the model the file is to go to
    // The file is refused unless the technician overrides.
    bool refused() const {
        return verdict == SidecarVerdict::Unreadable || verdict == SidecarVerdict::Altered ||
               verdict == SidecarVerdict::OtherModel;
    }
};

// `sidecarBytes`: empty when there is no sidecar. `driveModel`: P17.11 of the drive the file is
// to go to, empty offline. An altered file is judged before the model.
SidecarCheck checkSidecar(std::string_view fileBytes,
                          const std::optional<std::string>& sidecarBytes,
                          std::optional<std::int32_t> driveModel);

}  // namespace velorin
