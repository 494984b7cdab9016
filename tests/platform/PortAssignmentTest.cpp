// COM numbers stay with their devices for the whole run.

#include <gtest/gtest.h>

#include "platform/QtPortProvider.h"

using namespace velorin;

// "n=device" for every COM number handed out.
static std::string numbers(const ComAssignment& a) {
    QStringList out;
    for (int n = 1; n <= 16; ++n)
        if (!a.deviceOf(n).isEmpty())
            out << QString("%1=%2").arg(n).arg(a.deviceOf(n));
    return out.join(' ').toStdString();
}

TEST(ComAssignment, DevicesKeepTheirNumbersWhileOthersComeAndGo) {
    ComAssignment a;
    a.update({{1, "/dev/ttyUSB0", {}}, {2, "/dev/ttyUSB1", {}}, {3, "/dev/ttyS0", {}}});
    const std::string first = "1=/dev/ttyUSB0 2=/dev/ttyUSB1 3=/dev/ttyS0";
    EXPECT_EQ(numbers(a), first);
    // ttyUSB0 is unplugged and the system numbers the rest from 1 again: nothing moves, and COM1
    // still means the adapter that is gone (it cannot be opened).
    a.update({{1, "/dev/ttyUSB1", {}}, {2, "/dev/ttyS0", {}}});
    EXPECT_EQ(numbers(a), first);
    // A new adapter takes the lowest free number; the old one comes back to its own.
    a.update({{1, "/dev/ttyUSB2", {}}, {2, "/dev/ttyUSB0", {}}});
    EXPECT_EQ(numbers(a), first + " 4=/dev/ttyUSB2");

    // Windows numbers are kept, and a reserved number is never handed to a system port.
    ComAssignment w;
    w.update({{3, "COM3", {}}, {7, "COM7", {}}});
    EXPECT_EQ(w.reserve("模擬變頻機"), 1);
    w.update({{1, "COM1", {}}, {3, "COM3", {}}});
    EXPECT_EQ(numbers(w), "1=模擬變頻機 2=COM1 3=COM3 7=COM7");

}
