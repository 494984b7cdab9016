// The editor window's write of the changed parameters only, on the simulated drive's write log.

#include "EditorFixture.h"
#include "support/DriveWrites.h"

using namespace velorin;
using namespace velorin::test;

namespace {

TEST_F(EditorFixture, WriteChangedSendsTheRunningCheckAndTheTwoEditsOnly) {
    open();
    s.drive.clearWriteLog();
    record.clear();
    enter(2, "9");
    enter(4, "3");
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    EXPECT_EQ(record.reads(), std::vector<int>{0x2101});
    EXPECT_EQ(writesOf(s.drive), (Writes{{2, 9}, {4, 3}}));
}

}  // namespace
