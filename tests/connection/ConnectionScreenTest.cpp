// The connection screen: port listing, input checks, the probe with the technician's settings
// and the hand-over to the mode menu or the offline editor.

#include <QLabel>

#include "ConnectionTestSupport.h"

using namespace velorin;
using velorin::test::ConnectionTest;

namespace {

QStringList entries(const QComboBox* c) {
    QStringList out;
    for (int n = 0; n < c->count(); ++n) out << c->itemText(n);
    return out;
}

}  // namespace

TEST(PortEntryText, ComNameDeviceAndInUse) {
    struct Case {
        int com;
        QString device;
        bool inUse;
        QString expected;
    } cases[] = {
        {3, "COM3", false, "COM3"},
        {3, "COM3", true, "COM3 被占用"},
        {2, "/dev/ttyUSB1", true, "COM2 (/dev/ttyUSB1) 被占用"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portEntryText(c.com, c.device, c.inUse), c.expected) << c.expected.toStdString();
}

TEST_F(ConnectionTest, ListsFreeAndHeldPortsAndSelectsTheLast) {
    SimulatedDrive other1, other3;
    SimulatedLine line2(other1), line3(other3);
    line2.setHeldElsewhere(true);
    sim.ports.attach(2, line2);
    sim.ports.attach(3, line3);
    Global.RTU = 1;
    Global.OFFLINE = 1;

    open();

    EXPECT_EQ(form->windowTitle(), "VELORIN");
    EXPECT_EQ(entries(form->Combo1),
              (QStringList{"COM1 (SIM1)", "COM2 (SIM2) 被占用", "COM3 (SIM3)"}));
    EXPECT_EQ(form->Combo1->currentIndex(), 2);
    EXPECT_EQ(entries(form->Combo2), (QStringList{"4800", "9600", "19200", "38400", "115200"}));
    EXPECT_EQ(entries(form->Combo3),
              (QStringList{"ASCII,7,N,2", "ASCII,7,E,1", "ASCII,7,O,1", "RTU,8,N,2", "RTU,8,N,1",
                           "RTU,8,E,1", "RTU,8,O,1"}));
    EXPECT_EQ(form->Combo2->currentIndex(), -1);
    EXPECT_EQ(form->Combo3->currentIndex(), -1);
    EXPECT_EQ(form->Combo4->currentText(), "1");
    EXPECT_TRUE(form->Combo4->isEditable());
    EXPECT_FALSE(form->Combo1->isEditable());
    // Every port tried is closed again.
    EXPECT_FALSE(sim.line.isHeld());
    EXPECT_FALSE(line3.isHeld());
    EXPECT_EQ(sim.line.opens(), 1);
    EXPECT_EQ(Global.RTU, 0);
    EXPECT_EQ(Global.OFFLINE, 0);

    EXPECT_EQ(form->Label1->text(), "請選擇使用連接埠 ：");
    EXPECT_EQ(form->Label2->text(), "鮑    率         ：");
    EXPECT_EQ(form->Label3->text(), "通訊格式         ：");
    EXPECT_EQ(form->Label4->text(), "站    號         ：");
    EXPECT_EQ(form->Command1->text(), "自動偵測連線");
    EXPECT_EQ(form->Command2->text(), "離線模式");
}

TEST_F(ConnectionTest, TabOrderRunsThroughTheListsThenConnectThenStation) {
    open();
    const QList<QWidget*> expected{form->Combo1,   form->Combo2, form->Combo3,
                                   form->Command1, form->Combo4, form->Command2};
    QList<QWidget*> order;
    QWidget* w = form->Combo1;
    for (int n = 0; n < 100 && order.size() < expected.size(); ++n, w = w->nextInFocusChain())
        if (expected.contains(w) && !order.contains(w))
            order << w;
    EXPECT_EQ(order, expected);
}

TEST_F(ConnectionTest, WithoutPortsNothingIsSelectedAndConnectSaysSo) {
    test::SimPortProvider none;
    sim.services.ports = &none;
    open();
    EXPECT_EQ(form->Combo1->count(), 0);
    EXPECT_EQ(form->Combo1->currentIndex(), -1);

    form->Command1->click();

    ASSERT_EQ(sim.dialogs.shown().size(), 1u);
    EXPECT_EQ(sim.dialogs.shown()[0].text, "未選擇通訊埠");
    EXPECT_EQ(sim.dialogs.shown()[0].title, "通訊錯誤");
    EXPECT_TRUE(form->Command1->isEnabled());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_TRUE(probes.empty());
}

TEST_F(ConnectionTest, StationTextIsCheckedAndRoundedHalfToEven) {
    struct Case {
        QString text;
        std::optional<int> station;  // empty: refused
    } cases[] = {{"254", 254}, {"255", {}}, {"-1", {}}, {"2.5", 2}, {" 1 7", 17}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Global = {};
        probes.clear();
        menusShown = 0;
        sim.dialogs.clear();
        if (c.station)
            sim.drive.setLink(static_cast<std::uint8_t>(*c.station), 1, 0);
        open();
        choose(1, 0, c.text);
        form->Command1->click();
        if (c.station) {
            EXPECT_TRUE(sim.dialogs.shown().empty());
            EXPECT_EQ(Global.Station, *c.station);
            EXPECT_EQ(probes.size(), 1u);
            EXPECT_EQ(menusShown, 1);
        } else {
            ASSERT_EQ(sim.dialogs.shown().size(), 1u);
            EXPECT_EQ(sim.dialogs.shown()[0].text, "站號範圍為0~254，請重新輸入。");
            EXPECT_EQ(sim.dialogs.shown()[0].title, "站號錯誤");
            EXPECT_TRUE(probes.empty());
            EXPECT_TRUE(form->Command2->isEnabled()) << "nothing else changes";
        }
        delete form.data();
    }
}

// A successful probe fixes the link state, shows the menu while the screen is still up, then
// closes the screen and its port.
TEST_F(ConnectionTest, ProbeWithChosenSettingsHandsOverToTheMenu) {
    struct Case {
        int rate, format;
        const char* settings;
        int rtu;
    } cases[] = {
        {1, 0, "9600,N,7,2", 0},
        {4, 1, "115200,E,7,1", 0},
        {3, 4, "38400,N,8,1", 1},
        {2, 6, "19200,O,8,1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        Global = {};
        probes.clear();
        menusShown = 0;
        screenOpenAtHandOver = false;
        sim.drive.setLink(5, c.rate, c.format);
        open();
        choose(c.rate, c.format, "5");

        form->Command1->click();

        ASSERT_EQ(probes.size(), 1u);
        EXPECT_EQ(probes[0].settings, c.settings);
        EXPECT_EQ(probes[0].rtu, c.rtu == 1);
        EXPECT_EQ(menusShown, 1);
        EXPECT_TRUE(screenOpenAtHandOver);
        EXPECT_EQ(Global.COM_Set, c.settings);
        EXPECT_EQ(Global.RTU, c.rtu);
        EXPECT_EQ(Global.Station, 5);
        EXPECT_EQ(Global.COM_Port, 1);
        EXPECT_FALSE(sim.line.isHeld()) << "the screen closed its port";
        ASSERT_TRUE(form);
        EXPECT_FALSE(form->isVisible());
        flushDeletes();
        EXPECT_FALSE(form) << "the screen is gone";
    }
}

TEST_F(ConnectionTest, RateWithoutFormatSearchesAtOnce) {
    open();
    form->Combo2->setCurrentIndex(1);  // 9600, no format
    form->Combo4->setEditText("7");

    form->Command1->click();

    // No probe at station 7: the search starts at station 1, 4800 baud, and finds the drive at
    // its factory settings with its second probe.
    ASSERT_EQ(probes.size(), 2u);
    EXPECT_EQ(probes[0].station, 1);
    EXPECT_EQ(probes[0].settings, "4800,N,7,2");
    EXPECT_EQ(probes[1].settings, "9600,N,7,2");
    EXPECT_EQ(Global.COM_Set, "9600,N,7,2");
    EXPECT_EQ(Global.Station, 1);
    EXPECT_EQ(menusShown, 1);
}

TEST_F(ConnectionTest, FailedRtuProbeClearsRtuBeforeTheSearch) {
    open();
    choose(1, 3, "1");  // 9600 RTU,8,N,2; the drive speaks ASCII

    form->Command1->click();

    ASSERT_EQ(probes.size(), 3u);
    EXPECT_TRUE(probes[0].rtu);
    EXPECT_EQ(probes[0].RTU, 1);
    EXPECT_EQ(probes[1].RTU, 0) << "the search starts in ASCII";
    EXPECT_EQ(probes[1].settings, "4800,N,7,2");
    EXPECT_EQ(Global.RTU, 0);
    EXPECT_EQ(Global.COM_Set, "9600,N,7,2");
    EXPECT_EQ(menusShown, 1);
}

TEST_F(ConnectionTest, OfflineButtonOpensTheEditorWithoutAPort) {
    open();
    Global.COM_Port = 4;
    form->Command2->click();
    EXPECT_EQ(Global.OFFLINE, 1);
    EXPECT_EQ(Global.COM_Port, 4);
    EXPECT_EQ(editorsShown, 1);
    EXPECT_TRUE(screenOpenAtHandOver);
    EXPECT_TRUE(probes.empty());
    flushDeletes();
    EXPECT_FALSE(form);
}

// The port cannot be opened when the probe or the search needs it.
TEST_F(ConnectionTest, PortThatCannotBeOpenedIsReportedAndTheScreenIsIdleAgain) {
    struct Case {
        const char* name;
        bool manual;
        bool removed;  // else held by another program
    } cases[] = {{"manual, held", true, false},
                 {"manual, removed", true, true},
                 {"search, removed", false, true},
                 {"search, held", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.line.setPresent(true);
        sim.line.setHeldElsewhere(false);
        sim.dialogs.clear();
        probes.clear();
        sim.drive.setLink(9, 0, 0);
        open();
        if (c.manual)
            choose(1, 0, "1");
        auto fail = [&] {
            if (c.removed)
                sim.line.setPresent(false);
            else
                sim.line.setHeldElsewhere(true);
        };
        if (c.manual)
            fail();
        else
            sim.clock.after(std::chrono::seconds(3), fail);

        form->Command1->click();

        ASSERT_EQ(sim.dialogs.shown().size(), 1u);
        EXPECT_EQ(sim.dialogs.shown()[0].text, "無法開啟通訊埠，請確認連接埠未被其他程式占用。");
        EXPECT_EQ(sim.dialogs.shown()[0].title, "通訊錯誤");
        EXPECT_EQ(probes.empty(), c.manual);
        EXPECT_FALSE(form->MSComm1->isOpen());
        EXPECT_FALSE(form->Command2->isEnabled());
        EXPECT_TRUE(form->Command1->isEnabled());
        EXPECT_TRUE(form->Combo1->isEnabled());
        EXPECT_EQ(menusShown, 0);
        delete form.data();
        sim.clock.advance(std::chrono::seconds(10));
    }
}
