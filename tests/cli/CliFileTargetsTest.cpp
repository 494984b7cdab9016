// Where backup may write and what restore and diff may read: regular files only, a replaced file
// keeping mode, owner and names, no planted link followed. Rows needing root are skipped, told.

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "CliSim.h"
#include "support/Files.h"
#include "support/SmallDisk.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace velorin {
namespace {

namespace fs = std::filesystem;
using namespace ::testing;
using namespace velorin::test;

const std::string kOld = "P0 1\r\n";

struct stat statOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

std::string bytesOf(const fs::path& path) {
    return fileBytes(QString::fromStdString(path.string()));
}

TEST(CliFileTargets, BackupWritesRegularFilesOnlyAndKeepsWhatItReplaces) {
    SimEnvironment env;
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const bool root = ::geteuid() == 0;
    SmallDisk disk;
    std::vector<std::string> skipped;
    // clang-format off
    const struct Row {
        const char* what;
        bool needsRoot;
        // Makes the target; returns its path.
        std::function<fs::path()> make;
        int code;
        const char* told;
        // What must hold afterwards besides a refused target being as it was.
        std::function<void(const fs::path&)> check;
    } rows[] = {
        {"a new file", false, [&] { return folder / "new.txt"; }, 0, "",
         [](const fs::path& p) { EXPECT_EQ(statOf(p).st_mode & 0777, 0600u); }},
        {"a file of mode 0640", false, [&] {
             std::ofstream(folder / "0640.txt") << kOld;
             fs::permissions(folder / "0640.txt", fs::perms(0640));
             return folder / "0640.txt"; }, 0, "",
         [](const fs::path& p) { EXPECT_EQ(statOf(p).st_mode & 0777, 0640u); }},
        {"another user's file", true, [&] {
             std::ofstream(folder / "theirs.txt") << kOld;
             EXPECT_EQ(::chown((folder / "theirs.txt").c_str(), 1234, 1234), 0);
             return folder / "theirs.txt"; }, 0, "",
         [](const fs::path& p) { EXPECT_EQ(statOf(p).st_uid, 1234u); EXPECT_EQ(statOf(p).st_gid, 1234u); }},
        {"a file with a second name", false, [&] {
             std::ofstream(folder / "linked.txt") << kOld;
             fs::create_hard_link(folder / "linked.txt", folder / "second-name.txt");
             return folder / "linked.txt"; }, 0, "",
         [&](const fs::path& p) {
             EXPECT_EQ(statOf(p).st_nlink, 2u);
             EXPECT_EQ(bytesOf(folder / "second-name.txt"), bytesOf(p)); }},
        {"a character device", true, [&] {
             EXPECT_EQ(::mknod((folder / "fakenull").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
             return folder / "fakenull"; }, 5, "這是裝置，不是一般檔案。", {}},
        {"a FIFO", false, [&] {
             EXPECT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
             return folder / "fifo"; }, 5, "這是具名管道（FIFO），不是一般檔案。", {}},
        {"a socket", false, [&] {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string path = (folder / "socket").string();
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
             EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
             return folder / "socket"; }, 5, "這是通訊端（socket），不是一般檔案。", {}},
        {"a folder", false, [&] { fs::create_directory(folder / "Sub.txt"); return folder / "Sub.txt"; },
         5, "Is a directory", {}},
        {"a link planted in a sticky folder others write to", false, [&] {
             fs::create_directory(folder / "shared");
             fs::permissions(folder / "shared", fs::perms(01777));
             std::ofstream(folder / "victim.txt") << kOld;
             fs::create_symlink(folder / "victim.txt", folder / "shared" / "Data.txt");
             return folder / "shared" / "Data.txt"; }, 5, "符號連結",
         [&](const fs::path&) { EXPECT_EQ(bytesOf(folder / "victim.txt"), kOld); }},
        {"a link in the technician's own folder", false, [&] {
             std::ofstream(folder / "real.txt") << kOld;
             fs::create_symlink(folder / "real.txt", folder / "alias.txt");
             return folder / "alias.txt"; }, 0, "",
         [&](const fs::path& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_NE(bytesOf(folder / "real.txt"), kOld); }},
        {"a name of 254 characters", false, [&] { return folder / (std::string(250, 'n') + ".txt"); },
         0, "", [](const fs::path& p) { EXPECT_TRUE(fs::is_regular_file(p)); }},
        {"a read-only folder", true, [&] {
             fs::create_directory(folder / "locked");
             std::ofstream(folder / "locked" / "Data.txt") << kOld;
             EXPECT_EQ(std::system(("chattr +i '" + (folder / "locked").string() + "'").c_str()), 0);
             return folder / "locked" / "Data.txt"; }, 5, "無法寫入檔案",
         [&](const fs::path&) {
             std::system(("chattr -i '" + (folder / "locked").string() + "'").c_str()); }},
        {"a full disk", true, [&] {
             std::ofstream(disk.path() + "/Data.txt") << kOld;
             disk.fill();
             return fs::path(disk.path()) / "Data.txt"; }, 5, "No space left on device",
         [&](const fs::path& p) {
             EXPECT_EQ(std::distance(fs::directory_iterator(p.parent_path()), {}), 2)
                 << "only the old file and the filler";
             disk.free(); }},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsRoot &&
            (!root || (std::string(row.what) == "a full disk" && !disk.mounted()))) {
            skipped.push_back(row.what);
            continue;
        }
        const fs::path target = row.make();
        const struct stat before = statOf(target);
        const auto r = cli(env, QStringLiteral("-p COM3 backup --pages P00 ") +
                                    QString::fromStdString(target.string()));
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_THAT(r.err, HasSubstr(row.told));
        if (row.code == 0)
            EXPECT_THAT(bytesOf(target), StartsWith("P0 0\r\nP1 "));
        else if (!fs::is_regular_file(target))
            EXPECT_EQ(env.log.sent.size(), 0u) << "refused before the drive is read";
        if (row.code != 0) {  // the target as it was: its kind, and a file's bytes
            EXPECT_EQ(statOf(target).st_mode & S_IFMT, before.st_mode & S_IFMT);
            if (S_ISREG(before.st_mode))
                EXPECT_EQ(bytesOf(target), kOld);
        }
        if (row.check)
            row.check(target);
        env.log = {};
        // Nothing read from what is no regular file either, and nothing waits on a FIFO.
        if (row.code == 5 && !fs::is_regular_file(target) && !fs::is_symlink(target))
            for (const char* command : {"-p COM3 restore --dry-run ", "diff --factory "})
                EXPECT_EQ(cli(env, command + QString::fromStdString(target.string())).code, 5);
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_THAT(entry.path().filename().string(), Not(StartsWith(".velorin-")));
    if (!skipped.empty())
        GTEST_SKIP() << "needs root, skipped: " << ::testing::PrintToString(skipped);
}

}  // namespace
}  // namespace velorin
