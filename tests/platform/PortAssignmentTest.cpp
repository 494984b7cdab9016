// COM numbers stay with their devices for the whole run.

#include <gtest/gtest.h>

#include "platform/QtPortProvider.h"

using namespace velorin;

namespace {

std::vector<PortName> ports(std::initializer_list<std::pair<int, const char*>> list) {
    std::vector<PortName> out;
    for (auto [n, d] : list) out.push_back({n, QString::fromUtf8(d), QString()});
    return out;
}

}  // namespace

TEST(ComAssignment, DevicesKeepTheirNumbersWhileOthersComeAndGo) {
    ComAssignment a;
    a.update(ports({{1, "/dev/ttyUSB0"}, {2, "/dev/ttyUSB1"}, {3, "/dev/ttyS0"}}));
    EXPECT_EQ(a.deviceOf(1), "/dev/ttyUSB0");
    EXPECT_EQ(a.deviceOf(3), "/dev/ttyS0");

    // ttyUSB0 is unplugged: the system numbers the rest from 1 again, but COM1 still means the
    // adapter that is gone (it cannot be opened), and nothing else moves.
    a.update(ports({{1, "/dev/ttyUSB1"}, {2, "/dev/ttyS0"}}));
    EXPECT_EQ(a.deviceOf(1), "/dev/ttyUSB0");
    EXPECT_EQ(a.deviceOf(2), "/dev/ttyUSB1");
    EXPECT_EQ(a.deviceOf(3), "/dev/ttyS0");

    // A new adapter takes the lowest free number; the old one comes back to its own.
    a.update(ports({{1, "/dev/ttyUSB2"}, {2, "/dev/ttyUSB1"}, {3, "/dev/ttyS0"}}));
    EXPECT_EQ(a.deviceOf(4), "/dev/ttyUSB2");
    a.update(ports({{1, "/dev/ttyUSB0"}}));
    EXPECT_EQ(a.comOf("/dev/ttyUSB0"), 1);
    EXPECT_EQ(a.deviceOf(5), "");
}

TEST(ComAssignment, WindowsNumbersAreKeptAndReservedNumbersAreNotHandedOut) {
    ComAssignment a;
    a.update(ports({{3, "COM3"}, {7, "COM7"}}));
    const int sim = a.reserve(QStringLiteral("模擬變頻機"));
    EXPECT_EQ(sim, 1);
    a.update(ports({{1, "COM1"}, {3, "COM3"}, {7, "COM7"}}));
    EXPECT_EQ(a.deviceOf(1), "模擬變頻機");
    EXPECT_EQ(a.deviceOf(2), "COM1") << "a system port never takes a reserved number";
    EXPECT_EQ(a.deviceOf(3), "COM3");
    EXPECT_EQ(a.deviceOf(7), "COM7");
}

TEST(ComAssignment, NoMoreThanSixteen) {
    ComAssignment a;
    std::vector<PortName> many;
    for (int n = 1; n <= 18; ++n) many.push_back({n, QStringLiteral("/dev/ttyS%1").arg(n), {}});
    a.update(many);
    EXPECT_EQ(a.deviceOf(16), "/dev/ttyS16");
    EXPECT_FALSE(a.comOf("/dev/ttyS17"));
    EXPECT_EQ(a.reserve("x"), 0);
}
