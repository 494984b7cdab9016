// The connection screen through the real serial port layer to velorin-drive-sim on a
// pseudo-terminal, and a running simulator in its port list.

#include "ui/connection/ConnectionFixture.h"
#include "platform/QtPortProvider.h"
#include "support/DriveSimProcess.h"

using namespace velorin;

class ConnectionOverPty : public test::ConnectionTest {};

TEST_F(ConnectionOverPty, ProbeFindsTheDrive) {
    test::DriveSimProcess drive({"--station", "3", "--settings", "19200,E,8,1"});
    ASSERT_TRUE(drive.started()) << test::DriveSimProcess::program().toStdString();
    QtPortProvider ports({drive.devicePath()});
    EventLoopWait wait;
    sim.services.ports = &ports;
    sim.services.wait = &wait;
    open();
    list("portList")->setCurrentIndex(list("portList")->findText(drive.devicePath(), Qt::MatchContains));
    click(2, 5, "3");  // 19200, RTU,8,E,1
    EXPECT_EQ(linkState(), "3 19200,E,8,1 RTU=1 COM" + std::to_string(sim.services.link().comPort));
    EXPECT_EQ(ports.deviceOf(sim.services.link().comPort), drive.devicePath());
    EXPECT_EQ(shown, "menu");
    expectGone();
}

TEST(SimulatedPorts, ARunningSimulatorIsListedAndGoesWhenItEnds) {
    QtPortProvider ports;  // no --device
    const auto listed = [&ports](const QString& device) {
        return std::ranges::any_of(ports.listPorts(),
                                   [&](const ListedPort& p) { return p.device == device; });
    };
    QString device;
    {
        test::DriveSimProcess sim({"--station", "3"});
        ASSERT_TRUE(sim.started());
        device = sim.devicePath();
        EXPECT_TRUE(simulatedDriveDevices().contains(device));
        EXPECT_TRUE(listed(device));
        EXPECT_TRUE(sim.stop());
    }
    EXPECT_FALSE(simulatedDriveDevices().contains(device));
    EXPECT_FALSE(listed(device));
}
