// The change log file: two programs appending at once, and a log that cannot be written.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <thread>

#include "platform/ChangeLogFile.h"

namespace velorin {
namespace {

ChangeEntry entryOf(const std::string& command) {
    static const LinkState link{1, Framing::Ascii, false, 3, "9600,N,7,2"};
    return wordChange({"COM3", &link, command}, 31, 1234, true);
}

TEST(ChangeLogFile, TwoWritersAppendingAtOnceLeaveEveryLineWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data/changes.log");  // the folder is made on first use
    constexpr int kLines = 300;
    auto writer = [&path](const std::string& name) {
        ChangeLogFile log(path);
        for (int i = 0; i < kLines; ++i)
            EXPECT_EQ(log.record(entryOf(name + " " + std::to_string(i))), std::nullopt);
    };
    std::thread first(writer, "velorin-cli set"), second(writer, "寫入變頻機");
    first.join();
    second.join();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<std::string, int> next;  // each writer's lines, in its own order
    int lines = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const auto entry = parseChangeLogLine(line.toStdString());
        ASSERT_TRUE(entry) << line.toStdString();
        const auto space = entry->command.rfind(' ');
        const std::string writer = entry->command.substr(0, space);
        EXPECT_EQ(entry->command.substr(space + 1), std::to_string(next[writer]++));
        ++lines;
    }
    EXPECT_EQ(lines, 2 * kLines);
    EXPECT_EQ(next.size(), 2u);
}

TEST(ChangeLogFile, AFolderWhereTheFileShouldBeIsToldOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath("changes.log");
    ASSERT_TRUE(QDir().mkpath(path));
    ChangeLogFile log(path);
    const auto failure = log.record(entryOf("寫入變頻機"));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find(QDir::toNativeSeparators(path).toStdString()), std::string::npos);
    EXPECT_EQ(log.record(entryOf("寫入變頻機")), std::nullopt);
}

TEST(ChangeLogFile, TheTimeIsLocalWithItsOffset) {
    QTemporaryDir dir;
    ChangeLogFile log(dir.filePath("changes.log"));
    ASSERT_EQ(log.record(entryOf("寫入變頻機")), std::nullopt);
    QFile file(log.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto entry = parseChangeLogLine(file.readLine().toStdString());
    ASSERT_TRUE(entry);
    EXPECT_TRUE(QString::fromStdString(entry->time)
                    .contains(QRegularExpression(
                        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)$")))
        << entry->time;
}

}  // namespace
}  // namespace velorin
