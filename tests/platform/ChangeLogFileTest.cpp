// The change log file: two programs appending to it at once.

#include <QTemporaryDir>
#include <map>
#include <thread>

#include "platform/ChangeLogFile.h"
#include "support/LoggedChanges.h"

namespace velorin {
namespace {

TEST(ChangeLogFile, TwoWritersAppendingAtOnceLeaveEveryLineWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data/changes.log");  // the folder is made on first use
    constexpr int kLines = 300;
    auto writer = [&path](const std::string& name) {
        static const LinkState link{1, Framing::Ascii, false, 3, "9600,N,7,2"};
        ChangeLogFile log(path);
        for (int i = 0; i < kLines; ++i)
            EXPECT_EQ(
                log.record(wordChange({"COM3", &link, name + std::to_string(i)}, 31, 1, true)),
                std::nullopt);
    };
    std::thread first(writer, "velorin-cli set "), second(writer, "寫入變頻機 ");
    first.join();
    second.join();
    std::map<std::string, int> next;  // each writer's lines come in its own order
    for (const ChangeEntry& e : test::loggedChanges(path)) {
        const auto space = e.command.rfind(' ');
        EXPECT_EQ(e.command.substr(space + 1), std::to_string(next[e.command.substr(0, space)]++));
    }
    EXPECT_EQ(next,
              (std::map<std::string, int>{{"velorin-cli set", kLines}, {"寫入變頻機", kLines}}));
}

}  // namespace
}  // namespace velorin
