// COM names for the system's serial devices.

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "platform/PortNaming.h"
#include "support/Files.h"

using namespace velorin;

TEST(PortNaming, UsbAdaptersFirstThenByNameWithNumbersInOrder) {
    const QStringList ordered =
        orderDevices({"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyUSB10", "/dev/pts/3", "/dev/ttyACM0",
                      "/dev/ttyUSB2", "/dev/ttyS2"});
    EXPECT_EQ(ordered, (QStringList{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/pts/3",
                                    "/dev/ttyS2", "/dev/ttyS10"}));
}

TEST(PortNaming, ComNames) {
    for (auto [name, number] : {std::pair{"COM3", 3}, {"com12", 12}, {" COM1 ", 1}})
        EXPECT_EQ(comNumberOf(name), number) << name;
    for (const char* other : {"COM", "COMx", "/dev/ttyUSB0", "COM3 被占用", "LPT1"})
        EXPECT_FALSE(comNumberOf(other)) << other;
}

TEST(PortNaming, ExtraDevicesFollowTheSystemsAndNumbersStopAtSixteen) {
    QStringList extra;
    for (int i = 0; i < 20; ++i) extra << QStringLiteral("/dev/pts/velorin-test-%1").arg(i);
    const auto ports = systemPorts(extra);
    ASSERT_EQ(ports.size(), static_cast<std::size_t>(kComPorts));
    for (std::size_t i = 0; i < ports.size(); ++i) EXPECT_EQ(ports[i].comNumber, int(i) + 1);
    // Whatever the machine has comes first; the extra devices keep their order after it.
    const auto first = std::find_if(ports.begin(), ports.end(), [](const PortName& p) {
        return p.device.startsWith("/dev/pts/velorin-test-");
    });
    ASSERT_NE(first, ports.end());
    EXPECT_EQ(first->device, "/dev/pts/velorin-test-0");
}

TEST(PortNaming, PseudoTerminalKnownByWhatItIsAlsoThroughALink) {
    const int other = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(other >= 0 && ::grantpt(other) == 0 && ::unlockpt(other) == 0);
    const QString pty = QString::fromLocal8Bit(::ptsname(other));
    QTemporaryDir dir;
    const QString toPty = dir.filePath("ttyV0"), toNull = dir.filePath("ttyV1"),
                  plain = dir.filePath("plain");
    ASSERT_TRUE(QFile::link(pty, toPty));
    ASSERT_TRUE(QFile::link("/dev/null", toNull));
    ASSERT_TRUE(test::writeFile(plain, ""));
    const std::pair<QString, bool> cases[] = {  // device, a pseudo-terminal
        {pty, true},     {toPty, true},  {"/dev/null", false},
        {toNull, false}, {plain, false}, {dir.filePath("missing"), false},
    };
    for (const auto& [device, pseudoTerminal] : cases)
        EXPECT_EQ(isPseudoTerminal(device), pseudoTerminal) << device.toStdString();
    ::close(other);
}
