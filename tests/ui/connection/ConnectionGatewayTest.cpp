// The connection screen's network gateway: address, port and framing typed in, the stations
// searched only (and said so), the link line naming the gateway, what was typed kept for the
// next run.

#include <gmock/gmock.h>
#include <QTest>
#include <QtWidgets>

#include "ConnectionFixture.h"
#include "ui/common/LinkStatus.h"
#include "platform/QtSettings.h"

namespace velorin::test {
namespace {

using namespace std::chrono_literals;

TEST_F(ConnectionTest, AGatewayIsReachedByTheAddressTypedAndKeptForTheNextRun) {
    QTemporaryDir dir;
    auto kept = std::make_unique<QtSettings>(dir.filePath("velorin.ini"));
    sim.services.settings = kept.get();
    GatewayLink gateway(sim.drive, Framing::Mbap);
    sim.ports.attachGateway("192.168.1.50", gateway);
    sim.drive.setLink(3, 1, 0);
    open();
    auto* ports = list("portList");
    ports->setCurrentIndex(ports->count() - 1);
    ASSERT_EQ(ports->currentText(), "網路閘道");
    auto* address = child<QLineEdit>(form, "gatewayAddressBox");
    EXPECT_TRUE(address->isVisible());
    EXPECT_FALSE(list("rateList")->isVisible());
    // Typed in: an address that is none, one nobody answers at, then the gateway.
    // clang-format off
    const struct { const char* typed; const char* box; } tries[] = {
        {"192.168.1.50:70000", "通訊錯誤: 閘道位址不正確，請輸入位址或位址:埠，例如 192.168.1.50:502。"},
        {"10.0.0.9", "通訊錯誤: 無法連線到網路閘道 10.0.0.9:502，請確認位址、埠與網路。"},
    };
    // clang-format on
    for (const auto& t : tries) {
        sim.dialogs.clear();
        address->setText(t.typed);
        button("connectButton")->click();
        EXPECT_EQ(boxes(), t.box);
        EXPECT_EQ(shown, "");
    }
    address->setText(" 192.168.1.50 ");
    list("gatewayFramingList")->setCurrentIndex(0);  // Modbus TCP
    list("stationBox")->setEditText("1");
    // The README's picture of it (scripts/make-screenshots keeps it in VELORIN_SCREENSHOT_DIR).
    if (qEnvironmentVariableIsSet("VELORIN_SCREENSHOT_DIR"))
        form->grab().save(QDir(qEnvironmentVariable("VELORIN_SCREENSHOT_DIR"))
                              .filePath(QStringLiteral("connectionGateway.png")));
    probes.clear();
    button("connectButton")->click();
    EXPECT_EQ(shown, "menu");
    EXPECT_EQ(probes.size(), 4u);  // station 1 as typed, then stations 1, 2, 3
    EXPECT_THAT(child<QLabel>(form, "statusLine")->text().toStdString(),
                ::testing::StartsWith("經由網路閘道只搜尋站號"));
    EXPECT_EQ(linkStatusText(sim.services).toStdString(), "192.168.1.50:502　Modbus TCP　站號 3");
    // The next window's session goes through the gateway too.
    auto next = createLineSession(sim.services);
    EXPECT_TRUE(next->port().isNetwork());
    EXPECT_EQ(next->framing(), Framing::Mbap);

    kept.reset();  // the next run
    kept = std::make_unique<QtSettings>(dir.filePath("velorin.ini"));
    sim.services.settings = kept.get();
    open();
    EXPECT_EQ(list("portList")->currentText(), "網路閘道");
    EXPECT_EQ(child<QLineEdit>(form, "gatewayAddressBox")->text(), "192.168.1.50:502");
    EXPECT_EQ(list("stationBox")->currentText(), "3");
    probes.clear();
    button("connectButton")->click();
    EXPECT_EQ(probes.size(), 1u);
    EXPECT_EQ(shown, "menu");
}

}  // namespace
}  // namespace velorin::test
