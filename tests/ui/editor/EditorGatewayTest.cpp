// The editor window through a network gateway: a write that moves the drive's link (its station
// here) is asked about first, naming what the drive will answer at, and No sends nothing.

#include "EditorFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

TEST_F(EditorFixture, AWriteThatMovesTheLinkThroughAGatewayIsAskedFirst) {
    GatewayLink gateway(s.drive, Framing::Ascii);  // passes the drive's ASCII frames through
    s.ports.attachGateway("192.168.1.50", gateway);
    s.services.chooseGateway(NetworkAddress{"192.168.1.50", 502}, s.services.link().framing);
    open();
    click(tab(25));  // P15: the link parameters
    enter(drive::kStationParameter, "7");
    s.drive.clearWriteLog();
    s.dialogs.clear();
    s.dialogs.answerQuestions({Answer::No});
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    ASSERT_FALSE(s.dialogs.shown().empty());
    const ShownDialog& asked = s.dialogs.shown().front();
    EXPECT_EQ(asked.title, QStringLiteral("網路閘道"));
    EXPECT_EQ(asked.text,
              QStringLiteral("經由網路閘道 192.168.1.50:502 寫入後，變頻機將改用：站號 7。閘道無法"
                             "跟隨，請先將閘道的串列埠設為相同設定，並以新站號連線。是否仍要寫入？"));
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_EQ(s.drive.station(), 1);
}

}  // namespace
