// The connection screen: port listing, input checks, the probe with the technician's settings,
// the search over all stations, formats and rates (on the virtual clock: a search without a
// drive takes a quarter of an hour of line time) and the hand-over to the mode menu.

#include <QTest>

#include "ConnectionFixture.h"
#include "app/DemoPorts.h"

using namespace velorin;
using namespace std::chrono_literals;
using velorin::test::ConnectionTest;

TEST_F(ConnectionTest, ListsThePortsWithTheOneInUseAndClosesThemAgain) {
    SimulatedDrive other;
    SimulatedLine line2(other), line3(other);
    line2.setHeldElsewhere(true);
    sim.ports.attach(2, line2);
    sim.ports.attach(3, line3);
    open();
    QStringList ports;
    for (int n = 0; n < list("portList")->count(); ++n) ports << list("portList")->itemText(n);
    EXPECT_EQ(ports.join(" | "), "COM1 (SIM1) | COM2 (SIM2) 被占用 | COM3 (SIM3)");
    EXPECT_EQ(list("portList")->currentIndex(), 2);
    EXPECT_FALSE(sim.line.isHeld() || line3.isHeld());
}

// Nothing goes out before the station text and the port are right; offline needs no port.
TEST_F(ConnectionTest, ChoicesAreCheckedBeforeAnyProbe) {
    open();
    click(1, 0, "255");
    click(1, 0, "-1");
    const std::string refused = "站號錯誤: 站號範圍為0~254，請重新輸入。";
    EXPECT_EQ(boxes(), refused + "\n" + refused);
    test::SimPortProvider none;
    sim.services.ports = &none;
    open();
    click(1, 0, "1");
    EXPECT_EQ(boxes(), "通訊錯誤: 未選擇通訊埠");
    EXPECT_TRUE(probes.empty());
    EXPECT_EQ(enabled(), "++++++");
    button("offlineButton")->click();
    EXPECT_TRUE(sim.services.link.offline);
    EXPECT_EQ(shown, "editor");
    expectGone();
}

// The probe with the chosen settings at the station typed (rounded half to even), or, without a
// format or when that probe fails, the search from station 1, 4800 baud, in ASCII. Once the drive
// is found the link state is set and the menu comes up, then the screen closes with its port.
TEST_F(ConnectionTest, ProbeOrSearchFindsTheDriveAndHandsOverToTheMenu) {
    const std::string search = "1 4800,N,7,2 ascii RTU=0 shows 1/0/0";
    struct {
        int station, rate, format, chosenRate, chosenFormat;  // the drive's, then the choice
        QString text;
        int probes, searchFrom;  // how many went out; the search's first, -1: none
        std::string link;
    } cases[] = {
        {254, 1, 0, 1, 0, "254", 1, -1, "254 9600,N,7,2 RTU=0 COM1"},
        {2, 4, 1, 4, 1, "2.5", 1, -1, "2 115200,E,7,1 RTU=0 COM1"},
        {17, 2, 6, 2, 6, " 1 7", 1, -1, "17 19200,O,8,1 RTU=1 COM1"},
        // Stations 1 and 2 (35 probes each), 3 ASCII and 2 RTU formats of station 3, 3 rates.
        {3, 2, 5, -1, -1, "1", 98, 0, "3 19200,E,8,1 RTU=1 COM1"},
        {1, 0, 0, -1, -1, "1", 1, 0, "1 4800,N,7,2 RTU=0 COM1"},
        {1, 1, 0, 1, -1, "7", 2, 0, "1 9600,N,7,2 RTU=0 COM1"},  // a rate without format
        {1, 1, 0, 1, 3, "7", 3, 1, "1 9600,N,7,2 RTU=0 COM1"},   // the RTU probe fails
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        sim.drive.setLink(static_cast<std::uint8_t>(c.station), c.rate, c.format);
        probes.clear();
        open();
        click(c.chosenRate, c.chosenFormat, c.text);
        ASSERT_EQ(probes.size(), std::size_t(c.probes));
        EXPECT_TRUE(c.searchFrom < 0 || probes[c.searchFrom] == search);
        EXPECT_EQ(linkState(), c.link);
        EXPECT_EQ(shown, "menu");
        expectGone();
    }
    EXPECT_EQ(probes[0], "7 9600,N,8,2 rtu RTU=1 shows 7/3/1") << "RTU set, cleared for the search";
}

// The drive answers at station 1, 9600,N,7,2 but its P496 holds 0: it is not taken, and all 8890
// probes go out in order, each with the lists showing what is tried; then a message with the
// last combination still shown, and the screen idle again.
TEST_F(ConnectionTest, SearchWithoutDriveTriesEveryCombinationInOrderThenGivesUp) {
    sim.drive.setLink(1, 1, 0);
    sim.drive.setReg(496, 0);
    open();
    std::string atMessage;
    sim.dialogs.onShow([&](const auto&) { atMessage = enabled(); });
    button("connectButton")->click();
    ASSERT_EQ(probes.size(), 8890u);
    std::size_t n = 0;
    for (int station = 1; station <= 254; ++station)
        for (int format = 0; format < 7; ++format)
            for (int rate = 0; rate < 5; ++rate)
                ASSERT_EQ(probes[n++], QString("%1 %2 %3 RTU=0 shows %1/%4/%5").arg(station)
                          .arg(settingsString(rate, format).c_str())
                          .arg(format < 3 ? "ascii" : "rtu").arg(format).arg(rate).toStdString());
    EXPECT_EQ(answers, 1) << "station 1 answered";
    EXPECT_GE(sim.clock.now(), 889s) << "at least 0.1 s a probe";
    EXPECT_EQ(atMessage, "+++++-");
    EXPECT_EQ(list("stationBox")->currentText() + " " + list("formatList")->currentText() + " " +
              list("rateList")->currentText(), "254 RTU,8,O,1 115200");
    expectIdle("連線錯誤: 未偵測到變頻機，請檢查連線。");
    EXPECT_EQ(linkState(), "254  RTU=0 COM1");
}

// Held by another program for the probe; removed during the search.
TEST_F(ConnectionTest, PortThatCannotBeOpenedIsReported) {
    for (bool manual : {true, false}) {
        sim.line.setHeldElsewhere(manual);
        sim.drive.setLink(9, 0, 0);
        open();
        if (!manual)
            sim.clock.after(3s, [&] { sim.line.setPresent(false); });
        click(manual ? 1 : -1, manual ? 0 : -1, "1");
        EXPECT_EQ(probes.empty(), manual);
        expectIdle("通訊錯誤: 無法開啟通訊埠，請確認連接埠未被其他程式占用。");
    }
}

// Esc ends the search after the probe under way, without a message; a later click starts over.
// A close arrives as an event handled inside the probe's wait, the way a click on the close box
// does: the probe under way ends and the window goes with its port closed.
TEST_F(ConnectionTest, EscOrClosingTheWindowEndsTheSearch) {
    sim.drive.setLink(200, 1, 0);
    open();
    sim.clock.after(5050ms, [&] { QTest::keyClick(form, Qt::Key_Escape); });
    button("connectButton")->click();
    EXPECT_NEAR(probes.size(), 50, 10) << "0.1 s a probe";
    expectIdle("");

    probes.clear();
    std::size_t atClose = 0;
    sim.clock.after(3050ms, [&] {
        atClose = probes.size();
        QMetaObject::invokeMethod(form.data(), &QWidget::close, Qt::QueuedConnection);
    });
    click(-1, -1, "1");
    EXPECT_EQ(probes[0], "1 4800,N,7,2 ascii RTU=0 shows 1/0/0");
    EXPECT_EQ(probes.size(), atClose);
    EXPECT_EQ(shown + boxes(), "");
    expectGone();
}

// The demo: the simulated drive is a COM port of its own, chosen at start, and answers at its
// factory settings through the real event-loop wait.
TEST_F(ConnectionTest, DemoDriveIsListedAndFound) {
    DemoPortProvider ports;
    EventLoopWait wait;
    sim.services.ports = &ports;
    sim.services.wait = &wait;
    open();
    const QString com = QString::number(ports.simulatedCom());
    EXPECT_EQ(list("portList")->currentText(), "COM" + com + " (模擬變頻機)");
    click(1, 0, "1");
    EXPECT_EQ(linkState(), "1 9600,N,7,2 RTU=0 COM" + com.toStdString());
    expectGone();  // before the ports it used
}
