#include "SafeFile.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>


#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velorin {

namespace fs = std::filesystem;

namespace {

using Kind = FileWriteFault::Kind;

FileWriteFault failure(const fs::path& path, const std::string& reason, fs::path keptAt = {}) {
    return {Kind::System, path, fs::file_type::none, reason, std::move(keptAt)};
}

FileWriteFault refused(const fs::path& path, Kind kind, fs::file_type type = fs::file_type::none) {
    return {kind, path, type, {}, {}};
}

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

// A name beside the target that leaves room for the longest file name: 19 bytes whatever the
// target's name.
fs::path temporaryName(const fs::path& folder, std::random_device& entropy) {
    return folder / (".velorin-" + std::to_string(100000 + entropy() % 900000) + ".tmp");
}

// The file a write goes to: `requested`, or the file its link names. Sets `refusal` when none may
// be written.
fs::path resolvedTarget(const fs::path& requested, std::optional<FileWriteFault>& refusal) {
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(requested, ec);
    if (!fs::is_symlink(own))
        return requested;
    const fs::path folder =
        requested.parent_path().empty() ? fs::path(".") : requested.parent_path();
    const fs::perms shared = fs::status(folder, ec).permissions() & fs::perms::others_write;
    if (shared != fs::perms::none) {
        refusal = refused(requested, Kind::PlantedLink);
        return requested;
    }
    const fs::path resolved = fs::canonical(requested, ec);
    return ec ? requested : resolved;  // a link to nothing yet: the link is replaced
}

}  // namespace

std::optional<FileWriteFault> targetRefusal(const fs::path& requested) {
    std::optional<FileWriteFault> refusal;
    const fs::path target = resolvedTarget(requested, refusal);
    if (refusal)
        return refusal;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (fs::is_directory(status))
        return failure(requested, systemReason(EISDIR));
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status))
        return refused(requested, Kind::NotRegular, status.type());
    return std::nullopt;
}

#ifdef _WIN32
std::optional<FileWriteFault> writeFileSafely(const fs::path& requested, std::string_view bytes) {
    if (auto refusal = targetRefusal(requested))
        return refusal;
    std::random_device entropy;
    const fs::path temporary = temporaryName(requested.parent_path(), entropy);
    std::FILE* file = _wfopen(temporary.c_str(), L"wbx");
    if (!file)
        return failure(requested, systemReason(errno ? errno : EACCES));
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    std::error_code ec;
    if (written)
        fs::rename(temporary, requested, ec);
    if (!written || ec) {
        fs::remove(temporary, ec);
        return failure(requested, written ? ec.message() : systemReason(errno ? errno : EIO));
    }
    return std::nullopt;
}
#else
namespace {

// Writes all of `bytes` at the start of `fd` and makes it that long; 0 or the system's error.
int writeAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0)
        return errno;
    return 0;
}

}  // namespace

std::optional<FileWriteFault> writeFileSafely(const fs::path& requested, std::string_view bytes) {
    std::optional<FileWriteFault> refusal;
    const fs::path target = resolvedTarget(requested, refusal);
    if (refusal)
        return refusal;
    if (auto notRegular = targetRefusal(target)) {
        notRegular->path = requested;
        return notRegular;
    }

    struct stat old {};
    const bool replacing = ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (replacing) {
        // A file the technician may not change (read-only, locked) stays as it is, even where
        // the folder would let us put another file in its place.
        const int probe = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0)
            return failure(requested, systemReason(errno));
        ::close(probe);
    }

    std::random_device entropy;
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryName(
            target.parent_path().empty() ? fs::path(".") : target.parent_path(), entropy);
        fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return failure(requested, systemReason(errno));
    // Mode and owner before the contents: the file never shows more than it should.
    int error = ::fchmod(fd, replacing ? (old.st_mode & 07777) : 0600) != 0 ? errno : 0;
    const bool ownerKept = !replacing || (old.st_uid == ::geteuid() && old.st_gid == ::getegid()) ||
                           ::fchown(fd, old.st_uid, old.st_gid) == 0;
    if (error == 0)
        error = writeAll(fd, bytes);
    ::close(fd);
    if (error != 0) {
        ::unlink(temporary.c_str());
        return failure(requested, systemReason(error));
    }
    // Other names of the file, or an owner a new file cannot have: the complete contents, safe
    // in the temporary file, go into the file itself.
    if (replacing && (old.st_nlink > 1 || !ownerKept)) {
        const int in = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        error = in < 0 ? errno : writeAll(in, bytes);
        if (in >= 0)
            ::close(in);
        if (error != 0)
            return failure(requested, systemReason(error), temporary);
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return failure(requested, systemReason(error));
    }
    return std::nullopt;
}
#endif

}  // namespace velorin
