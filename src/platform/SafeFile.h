#pragma once
// Writing a file the technician chose (a parameter file, a comparison saved as CSV) so that an
// existing file is replaced whole or left as it was, and nothing else is touched on the way.
//
// - The new contents go to a temporary file beside the target (".velorin-123456.tmp", short
//   enough for a target name of 255 bytes) and replace the target only once complete.
// - A new file is readable by its user only (a parameter file holds the factory unlock codes
//   P17.09 and P17.10); a replaced file keeps its mode and its owner.
// - A file with other names (hard links) keeps them: once the complete contents are on disk in
//   the temporary file, they are written into the file itself. Should that fail, the temporary
//   file is kept and named in the message, so nothing is lost. The same holds for a file whose
//   owner the program cannot give to a new file.
// - Only regular files are written: a device, a FIFO, a socket or a folder is refused before it
//   is opened (opening a FIFO would wait for a reader, replacing /dev/null would break the
//   system).
// - A symbolic link is followed to the file it names, except in a folder others may write to
//   (/tmp), where anyone may have planted it: there it is refused.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "editor/ParameterFile.h"

namespace velorin {

// Why `path` may not be written; empty when it may. Checked again by writeFileSafely(); a
// command that takes long before it writes asks first.
std::optional<FileWriteFault> targetRefusal(const std::filesystem::path& path);

// Writes `bytes` to `path` as described above. Empty on success, else why not.
std::optional<FileWriteFault> writeFileSafely(const std::filesystem::path& path,
                                              std::string_view bytes);

}  // namespace velorin
