// The program's wait keeps the windows alive and looks at the line when woken, not on a clock; the
// connection to a gateway over a real socket on loopback: bytes both ways, a connection the
// gateway drops is a lost port, connecting is bounded in time.

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "platform/EventLoopWait.h"
#include "platform/QtTcpPort.h"

using namespace velorin;
using namespace std::chrono_literals;

TEST(EventLoopWait, TimersFireDuringTheWaitAndAWakeEndsItEarly) {
    EventLoopWait wait;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        wait.wakeNow();  // as a port does when bytes arrive
    });
    timer.start(5);
    const Micros t0 = wait.now();
    EXPECT_FALSE(wait.wait(60ms));
    EXPECT_GE(wait.now() - t0, Micros{60000});
    EXPECT_GT(ticks, 2) << "events are processed while waiting";

    const Micros t1 = wait.now();
    EXPECT_TRUE(wait.wait(5s, [&] { return ticks >= 20; }));
    EXPECT_LT(wait.now() - t1, Micros{2000000});
}

TEST(EventLoopWait, TheConditionIsAskedOnWakesNotOnAClock) {
    EventLoopWait wait;
    QTimer quiet;  // events that announce nothing for the line
    QObject::connect(&quiet, &QTimer::timeout, [] {});
    quiet.start(2);
    int asked = 0;
    EXPECT_FALSE(wait.wait(50ms, [&] {
        ++asked;
        return false;
    }));
    EXPECT_LE(asked, 2) << "once at the start and once at the deadline";

    // A wake from inside a nested wait also ends the outer wait once the inner one is over.
    bool outerDone = false, innerDone = false;
    QTimer::singleShot(5, [&] {
        QTimer::singleShot(5, [&] {
            outerDone = true;
            wait.wakeNow();
        });
        wait.wait(20ms, [&] { return innerDone; });
    });
    const Micros t0 = wait.now();
    EXPECT_TRUE(wait.wait(2s, [&] { return outerDone; }));
    EXPECT_LT(wait.now() - t0, Micros{1000000});
}

TEST(QtTcpPort, CarriesBytesAndADroppedConnectionIsALostPort) {
    EventLoopWait wait;
    QTcpServer gateway;
    ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost));
    QtTcpPort port(wait, QStringLiteral("127.0.0.1"), gateway.serverPort());
    EXPECT_EQ(port.deviceName(), "127.0.0.1:" + std::to_string(gateway.serverPort()));
    EXPECT_TRUE(port.isNetwork());
    EXPECT_FALSE(port.carriesWireTime());
    ASSERT_EQ(port.open(), OpenResult::Ok);
    ASSERT_TRUE(wait.wait(2s, [&] { return gateway.hasPendingConnections(); }));
    QTcpSocket* far = gateway.nextPendingConnection();

    // Stale bytes are dropped before a request; what comes after it is taken.
    far->write("stale");
    far->flush();
    wait.wait(50ms);
    port.discardInput();
    const std::uint8_t request[] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    ASSERT_TRUE(port.send(request));
    ASSERT_TRUE(wait.wait(2s, [&] { return far->bytesAvailable() >= 12; }));
    EXPECT_EQ(far->readAll(), QByteArray(reinterpret_cast<const char*>(request), 12));
    far->write("reply");
    std::vector<std::uint8_t> got;
    wait.wait(2s, [&] {
        const auto more = port.take();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 5;
    });
    EXPECT_EQ(std::string(got.begin(), got.end()), "reply");

    far->close();  // the gateway drops the connection
    EXPECT_TRUE(wait.wait(2s, [&] { return !port.isOpen(); }));
    EXPECT_FALSE(port.send(request));
    // Opened again: a new connection.
    EXPECT_EQ(port.open(), OpenResult::Ok);
    EXPECT_TRUE(port.isOpen());
}

TEST(QtTcpPort, ARefusedOrSilentAddressFailsWithinTheConnectTime) {
    EventLoopWait wait;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 nobody = closed.serverPort();
    closed.close();  // nobody listens there now
    QtTcpPort refused(wait, QStringLiteral("127.0.0.1"), nobody);
    EXPECT_EQ(refused.open(), OpenResult::Failed);
    EXPECT_FALSE(refused.isOpen());
    // An address that never answers (a reserved one, dropped on the way): the connect time ends
    // the try.
    QtTcpPort silent(wait, QStringLiteral("192.0.2.1"), 502, 300ms);
    const Micros t0 = wait.now();
    EXPECT_NE(silent.open(), OpenResult::Ok);
    EXPECT_LT(wait.now() - t0, Micros{2000000});
}
