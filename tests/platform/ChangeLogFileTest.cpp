// The change log file: a line cut short before, a full disk, and three programs appending at once.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "platform/ChangeLogFile.h"
#include "support/Files.h"
#include "support/LoggedChanges.h"
#include "support/SmallDisk.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velorin {
namespace {

const LinkState kLink{1, Framing::Ascii, false, 3, "9600,N,7,2"};

std::optional<std::string> record(ChangeLogFile& log, const std::string& command) {
    return log.record(wordChange({"COM3", &kLink, command}, 31, 1, true));
}

std::vector<std::string> commands(const ChangeLogRead& read) {
    std::vector<std::string> out;
    for (const ChangeEntry& e : read.entries) out.push_back(e.command);
    return out;
}

// Every record is whole or absent; a line left cut short gets its end before the next record, and
// a log damaged before that still shows the entries around the damage.
TEST(ChangeLogFile, ARecordIsWholeOrAbsentAndTheLogReadsAroundDamage) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data/changes.log");  // the folder is made on first use
    ChangeLogFile log(path);
    ASSERT_EQ(record(log, "first"), std::nullopt);
    const std::string first = test::fileBytes(path);
    ASSERT_TRUE(test::writeFile(path, first.substr(0, 40), true));  // a record cut short, as a full disk left them before
    ASSERT_EQ(record(log, "second"), std::nullopt);
    ASSERT_TRUE(test::writeFile(path, first.substr(0, 40) + first, true));  // an old log's second record glued to a cut one
    ASSERT_TRUE(test::writeFile(path, "edited by hand\n", true));
    ASSERT_EQ(record(log, "third"), std::nullopt);
    const ChangeLogRead read = readChangeLog(test::fileBytes(path));
    EXPECT_EQ(commands(read), (std::vector<std::string>{"first", "second", "first", "third"}));
    EXPECT_EQ(read.damagedLines, (std::vector<int>{2, 4, 5})) << test::fileBytes(path);
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the log holds the factory unlock codes";
#endif

    test::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "the full-disk case needs root to mount a small tmpfs";
    ChangeLogFile full(QString::fromStdString(disk.path() + "/changes.log"));
    ASSERT_EQ(record(full, "before"), std::nullopt);
    disk.fill();
    // The log's last block takes a few more records; the one that finds the disk full is cut
    // short by the system and taken back.
    std::vector<std::string> kept{"before"};
    std::optional<std::string> failure;
    for (int i = 0; i < 200 && !failure; ++i)
        if (!(failure = record(full, std::to_string(i))))
            kept.push_back(std::to_string(i));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("No space left on device"), std::string::npos) << *failure;
    EXPECT_EQ(record(full, "lost too"), std::nullopt) << "told once";
    EXPECT_EQ(std::pair(full.unrecorded(), full.lastFailure()), std::pair(2L, *failure));
    disk.free();
    ASSERT_EQ(record(full, "after"), std::nullopt);
    kept.push_back("after");
    const ChangeLogRead afterFull = readChangeLog(test::fileBytes(full.path()));
    EXPECT_EQ(commands(afterFull), kept);
    EXPECT_TRUE(afterFull.damagedLines.empty());
}

#ifndef _WIN32
TEST(ChangeLogFile, ThreeProgramsAppendingAtOnceLoseAndSplitNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("changes.log");
    constexpr int kRecords = 1000;
    std::vector<pid_t> writers;
    for (const std::string name : {"velorin-cli set", "寫入變頻機", "velorin-cli restore"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ChangeLogFile log(path);
            int failed = 0;
            for (int i = 0; i < kRecords; ++i)
                failed += record(log, name + " " + std::to_string(i)).has_value();
            ::_exit(failed);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<std::string, int> next;  // each writer's records come in its own order
    for (const ChangeEntry& e : test::loggedChanges(path)) {
        const auto space = e.command.rfind(' ');
        EXPECT_EQ(e.command.substr(space + 1), std::to_string(next[e.command.substr(0, space)]++));
    }
    EXPECT_EQ(next, (std::map<std::string, int>{{"velorin-cli set", kRecords},
                                                {"寫入變頻機", kRecords},
                                                {"velorin-cli restore", kRecords}}));
}
#endif

}  // namespace
}  // namespace velorin
