// A simulated drive started while the connection screen is open appears in its port list, and
// goes from it when the simulator ends.

#include <gtest/gtest.h>

#include "platform/QtPortProvider.h"
#include "support/DriveSimProcess.h"

using namespace velorin;

namespace {

bool listed(QtPortProvider& ports, const QString& device) {
    for (const ListedPort& p : ports.listPorts())
        if (p.device == device)
            return true;
    return false;
}

TEST(SimulatedPorts, ARunningSimulatorIsListedAndGoesWhenItEnds) {
    QtPortProvider ports;  // no --device
    QString device;
    {
        test::DriveSimProcess sim({"--station", "3"});
        ASSERT_TRUE(sim.started());
        device = sim.devicePath();
        EXPECT_TRUE(simulatedDriveDevices().contains(device));
        EXPECT_TRUE(listed(ports, device));
        EXPECT_TRUE(sim.stop());
    }
    EXPECT_FALSE(simulatedDriveDevices().contains(device));
    EXPECT_FALSE(listed(ports, device));
}

}  // namespace
