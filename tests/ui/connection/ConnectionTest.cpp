// The connection screen: the ports, the checks, the probe, the search and the hand-over.

#include <gmock/gmock.h>
#include <QTest>

#include "app/ScreenshotTour.h"
#include "model/FaultRegisters.h"
#include "ui/common/LinkStatus.h"
#include "ui/connection/ConnectionFixture.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/run/RunPanel.h"

namespace velorin::test {
namespace {

using namespace std::chrono_literals;

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
    EXPECT_TRUE(sim.services.link().offline);
    EXPECT_EQ(shown, "editor");
    expectGone();
}

// The station typed rounded half to even; the search starts at station 1, 4800 baud, ASCII.
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
        {1, 1, 0, 5, 7, "1", 2, 0, "1 9600,N,7,2 RTU=0 COM1"},   // 自動搜尋 after a choice kept
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

// P496 at 0 is not the drive: every probe goes out, the lists following each.
TEST_F(ConnectionTest, SearchWithoutDriveTriesEveryCombinationInOrderThenGivesUp) {
    sim.drive.setLink(1, 1, 0);
    sim.drive.setReg(496, 0);
    open();
    std::string atMessage;
    sim.dialogs.onShow([&](const auto&) { atMessage = enabled(); });
    QStringList atProbe;
    long sent = 0;
    test::LineTap probing(sim.services.lineObservers, [&](const TransactionRecord&) {
        if (++sent == 1 || sent == 4445)
            atProbe << child<QLabel>(form, "statusLine")->text().replace(QChar(0xA0), '_');
    });
    const Micros start = sim.clock.now();
    button("connectButton")->click();
    ASSERT_EQ(probes.size(), 8890u);
    std::size_t n = 0;
    for (int station = 1; station <= 254; ++station)
        for (int format = 0; format < 7; ++format)
            for (int rate = 0; rate < 5; ++rate)
                ASSERT_EQ(probes[n++], QString("%1 %2 %3 RTU=0 shows %1/%4/%5")
                                           .arg(station)
                                           .arg(settingsString(rate, format).c_str())
                                           .arg(format < 3 ? "ascii" : "rtu")
                                           .arg(format)
                                           .arg(rate)
                                           .toStdString());
    EXPECT_EQ(answers, 1) << "station 1 answered";
    EXPECT_GE(sim.clock.now(), 889s) << "at least 0.1 s a probe";
    ASSERT_EQ(atProbe.size(), 2);
    // '_': a space no line breaks at, so a number stays with its unit.
    EXPECT_EQ(atProbe[0],
              "第_1_/_8890_次　站號_1　4800,N,7,2_ASCII　剩餘約_14_分_49_秒　按 Esc 取消");
    // Half-way the time left is half the search, from the pace of the probes so far.
    QRegularExpression halfway(
        "^第_4445_/_8890_次　站號_127　115200,O,8,1_RTU　剩餘約_(\\d+)_分_(\\d+)_秒　按 Esc 取消$");
    const auto m = halfway.match(atProbe[1]);
    ASSERT_TRUE(m.hasMatch()) << atProbe[1].toStdString();
    const double total = static_cast<double>((sim.clock.now() - start).count()) / 1e6;
    EXPECT_NEAR(m.captured(1).toInt() * 60 + m.captured(2).toInt(), total / 2, total * 0.02);
    EXPECT_EQ(atMessage, "+++++-");
    EXPECT_EQ(choices(), "115200 RTU,8,O,1 254");
    expectIdle("連線錯誤: 未偵測到變頻機，請檢查連線。");
    EXPECT_EQ(linkState(), "254  RTU=0 COM1");
}

// Esc ends the search after the probe under way; so does a close handled inside a probe's wait.
TEST_F(ConnectionTest, EscOrClosingTheWindowEndsTheSearch) {
    sim.drive.setLink(200, 1, 0);
    open();
    sim.clock.after(5050ms, [&] { QTest::keyClick(form, Qt::Key_Escape); });
    click(1, -1, "7");  // 9600, no format: the search
    EXPECT_NEAR(probes.size(), 50, 10) << "0.1 s a probe";
    expectIdle("", true);
    EXPECT_EQ(child<QLabel>(form, "statusLine")->text(), "已取消自動偵測。");
    EXPECT_EQ(std::tuple(list("rateList")->currentIndex(), list("formatList")->currentIndex(),
                         list("stationBox")->currentText()),
              std::tuple(1, -1, QString("7")));

    probes.clear();
    std::size_t atClose = 0;
    sim.clock.after(3050ms, [&] {
        atClose = probes.size() + 1;  // the probe under way is recorded as its wait ends
        QMetaObject::invokeMethod(form.data(), &QWidget::close, Qt::QueuedConnection);
    });
    click(-1, -1, "1");
    EXPECT_EQ(probes[0], "1 4800,N,7,2 ascii RTU=0 shows 1/0/0");
    EXPECT_EQ(probes.size(), atClose);
    EXPECT_EQ(shown + boxes(), "");
    expectGone();
}

// The port this user may not open names the fix as soon as it is chosen.
TEST_F(ConnectionTest, PortsThatCannotBeOpenedAreToldAsSuch) {
    sim.ports.refuse(2, OpenResult::NoPermission);
    sim.drive.setLink(9, 0, 0);
    const std::string gone = "通訊錯誤: 找不到通訊埠，請確認連接線。";
    const struct {
        int port, rate;  // rate -1: the search
        std::function<void()> arrange;
        std::string box;
    } cases[] = {
        {0, 1, [&] { sim.line.setHeldElsewhere(true); },
         "通訊錯誤: 無法開啟通訊埠，請確認連接埠未被其他程式占用。"},
        {0, -1, [&] { sim.clock.after(3s, [&] { sim.line.setPresent(false); }); }, gone},
        {0, 1, [&] { sim.line.setPresent(false); }, gone},
        {1, 1, [] {}, "通訊錯誤: 請將使用者加入 dialout 群組後重新登入。"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        sim.line.setHeldElsewhere(false);
        sim.line.setPresent(true);
        probes.clear();
        open();
        list("portList")->setCurrentIndex(c.port);
        c.arrange();
        click(c.rate, c.rate < 0 ? -1 : 0, "1");
        EXPECT_EQ(probes.empty(), c.rate >= 0);
        expectIdle(c.box, true);
    }
    ASSERT_EQ(list("portList")->count(), 3);  // and the network gateway
    EXPECT_EQ(list("portList")->itemText(1), "COM2（SIM2） 無權限");
    EXPECT_EQ(child<QLabel>(form, "statusLine")->text(), "請將使用者加入 dialout 群組後重新登入。");
}

// A drive 0.2 s late is found with 250 ms; the link found is probed at once at the next start.
TEST_F(ConnectionTest, TheReplyTimeoutAndTheLinkFoundAreKeptForTheNextRun) {
    keepSettings();
    QPointer<QWidget> menu;
    sim.services.windows.menu = [&]() -> QWidget* { return menu = new ModeMenu(sim.services); };
    sim.drive.setResponseDelay(200ms);
    sim.drive.setLink(3, 2, 5);
    open();
    auto* box = child<QSpinBox>(form, "replyTimeoutBox");
    EXPECT_EQ(box->value(), 100);  // nothing kept yet
    box->selectAll();
    QTest::keyClicks(box, "250");
    child<QCheckBox>(form, "blockReadsBox")->click();
    EXPECT_TRUE(sim.services.blockReads);
    click(-1, -1, "1");  // found by the search
    ASSERT_TRUE(menu);
    EXPECT_EQ(sim.ports.lastCreated()->replyWait(), 250ms);  // the menu's port
    delete menu.data();

    keepSettings();  // the next run
    sim.services.replyTimeout = 100ms;
    sim.services.blockReads = false;
    open();
    EXPECT_EQ(std::tuple(child<QSpinBox>(form, "replyTimeoutBox")->value(),
                         sim.services.replyTimeout,
                         child<QCheckBox>(form, "blockReadsBox")->isChecked(), choices()),
              std::tuple(250, 250ms, true, QString("19200 RTU,8,E,1 3")));
    probes.clear();
    button("connectButton")->click();
    EXPECT_EQ(probes.size(), 1u);
    ASSERT_TRUE(menu);
    delete menu.data();
}

// Listing opens no port: an open would toggle DTR on another program's device.
TEST_F(ConnectionTest, ThePortListFollowsThePorts) {
    SimulatedDrive other;
    SimulatedLine line2(other), line3(other);
    line2.setHeldElsewhere(true);
    sim.ports.attach(2, line2);
    open();
    const auto entries = [&] {
        QStringList out;
        for (int n = 0; n < list("portList")->count(); ++n) out << list("portList")->itemText(n);
        return out.join(" | ").toStdString() + " [" +
               list("portList")->currentText().toStdString() + "]";
    };
    EXPECT_EQ(entries(), "COM1（SIM1） | COM2（SIM2） 被占用 | 網路閘道 [COM2（SIM2） 被占用]");
    // The port chosen first (-1: as it was), what happens to the ports, then the list.
    const std::tuple<int, std::function<void()>, const char*> steps[] = {
        {0,
         [&] {
             line2.setPresent(false);
             sim.ports.attach(3, line3);
         },
         "COM1（SIM1） | COM3（SIM3） | 網路閘道 [COM1（SIM1）]"},
        {1, [] {}, "COM1（SIM1） | COM3（SIM3） | 網路閘道 [COM3（SIM3）]"},
        {-1, [&] { line3.setPresent(false); }, "COM1（SIM1） | 網路閘道 [COM1（SIM1）]"}};
    for (const auto& [chosen, step, expected] : steps) {
        if (chosen >= 0)
            list("portList")->setCurrentIndex(chosen);
        step();
        form->refreshPorts();
        EXPECT_EQ(entries(), expected);
        // Listing opens nothing: a port is held only by the other program.
        EXPECT_EQ(std::pair(sim.ports.opens(), sim.line.isHeld()), std::pair(0, false));
        EXPECT_EQ(line3.isHeld(), QString(expected).contains("COM3（SIM3） 被占用"));
    }
}

// The README's pictures of the demo's windows, saved in VELORIN_SCREENSHOT_DIR.
TEST_F(ConnectionTest, ScreenshotOfEveryWindowAsItComesUp) {
    QTemporaryDir temporary;
    const bool kept = qEnvironmentVariableIsSet("VELORIN_SCREENSHOT_DIR");
    const QString folder = kept ? qEnvironmentVariable("VELORIN_SCREENSHOT_DIR") : temporary.path();
    const QStringList saved = takeScreenshotTour(sim.services, folder, kept);
    EXPECT_THAT(linkState(), ::testing::StartsWith("1 9600,N,7,2 RTU=0 COM"));
    ASSERT_EQ(saved.size(), 4) << saved.join(' ').toStdString();
    for (const char* name : {"connectionWindow", "modeMenu", "runPanel", "parameterEditor"})
        EXPECT_GT(QImage(QDir(folder).filePath(name + QString(".png"))).width(), 100) << name;
}

TEST_F(ConnectionTest, AGatewayIsReachedByTheAddressTypedAndKeptForTheNextRun) {
    keepSettings();
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
    test::screenshot(form, "connectionGateway.png");  // the README's picture
    probes.clear();
    button("connectButton")->click();
    EXPECT_EQ(std::pair(shown, probes.size()), std::pair(std::string("menu"), std::size_t(4)))
        << "station 1 as typed, then stations 1, 2, 3";
    EXPECT_THAT(child<QLabel>(form, "statusLine")->text().toStdString(),
                ::testing::StartsWith("經由網路閘道只搜尋站號"));
    EXPECT_EQ(linkStatusText(sim.services).toStdString(), "192.168.1.50:502　Modbus TCP　站號 3");
    // The next window's session goes through the gateway too.
    auto next = createLineSession(sim.services);
    EXPECT_TRUE(next->port().isNetwork());
    EXPECT_EQ(next->framing(), Framing::Mbap);

    keepSettings();  // the next run
    open();
    EXPECT_EQ(list("portList")->currentText() + " " +
                  child<QLineEdit>(form, "gatewayAddressBox")->text() + " " +
                  list("stationBox")->currentText(),
              "網路閘道 192.168.1.50:502 3");
    probes.clear();
    button("connectButton")->click();
    EXPECT_EQ(std::pair(shown, probes.size()), std::pair(std::string("menu"), std::size_t(1)));
}

// COM1 and COM2 on simulated lines, named after the devices the test gives them.
struct RenamedPorts : test::SimPortProvider {
    std::map<int, QString> names;
    QString deviceOf(int comNumber) const override {
        return names.count(comNumber) ? names.at(comNumber) : QString();
    }
    std::vector<ListedPort> listPorts() override {
        std::vector<ListedPort> out = SimPortProvider::listPorts();
        for (ListedPort& p : out) p.device = deviceOf(p.comNumber);
        return out;
    }
};

// Keys as the system delivers them, through the window: an Alt+letter is then a shortcut, which
// clicks after 0.1 s; `opened` is to name the window that came of them.
void press(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers modifiers, const std::string& opened,
           const std::string& expected) {
    SCOPED_TRACE(focus->objectName().toStdString() + " " +
                 QKeySequence(key | modifiers).toString().toStdString());
    focus->window()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(focus->window()));
    focus->setFocus();
    QTest::keyClick(focus->window()->windowHandle(), key, modifiers);
    static_cast<void>(QTest::qWaitFor([&] { return !opened.empty(); }, 1000));  // none may open
    EXPECT_EQ(opened, expected);
}

TEST_F(ConnectionTest, AReplyTimeoutOutOfRangeIsRefusedWithTheRange) {
    sim.drive.setLink(1, 1, 0);
    open();
    // Typed and confirmed with Enter: refused with the range, the wait kept, nothing connects.
    auto* timeout = child<QSpinBox>(form, "replyTimeoutBox");
    const std::tuple<const char*, int, std::string> cases[] = {
        {"99999", 100, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
        {"250", 250, ""},
        {"19", 250, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
    };
    for (const auto& [typed, kept, box] : cases) {
        SCOPED_TRACE(typed);
        sim.dialogs.clear();
        timeout->setFocus();
        timeout->selectAll();
        QTest::keyClicks(timeout, typed);
        QTest::keyClick(timeout, Qt::Key_Return);
        EXPECT_EQ(timeout->value(), kept);
        EXPECT_EQ(sim.services.replyTimeout, std::chrono::milliseconds(kept));
        EXPECT_EQ(boxes(), box);
        if (!box.empty())
            EXPECT_EQ(shown, "");
        shown.clear();
    }
}

TEST_F(ConnectionTest, TheDeviceFoundLastTimeIsChosenThoughItsNumberChanged) {
    QtSettings& kept = keepSettings();
    SimulatedLine other{sim.drive};
    RenamedPorts ports;
    ports.attach(1, sim.line);
    ports.attach(2, other);
    sim.services.ports = &ports;
    // Found on /dev/ttyUSB1 when it was COM2; now it is COM1.
    kept.setNumber("link/comPort", 2);
    kept.setText("link/device", "/dev/ttyUSB1");
    ports.names = {{1, "/dev/ttyUSB1"}, {2, "/dev/ttyUSB0"}};
    open();
    EXPECT_TRUE(list("portList")->currentText().startsWith("COM1"))
        << list("portList")->currentText().toStdString();
    // A connection keeps the device it found the drive on.
    list("portList")->setCurrentIndex(1);
    click(1, 0, "1");
    EXPECT_EQ(kept.text("link/device").value_or(""), "/dev/ttyUSB0");
}

TEST_F(ConnectionTest, EnterInAnyFieldConnectsAndAltPressesTheButtons) {
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, std::string> cases[] = {
        {"portList", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"rateList", Qt::Key_Enter, Qt::KeypadModifier, "menu"},
        {"formatList", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"stationBox", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"replyTimeoutBox", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"blockReadsBox", Qt::Key_Return, Qt::NoModifier, "menu"},
        {"offlineButton", Qt::Key_Return, Qt::NoModifier, "editor"},  // the button in focus
        {"portList", Qt::Key_C, Qt::AltModifier, "menu"},
        {"stationBox", Qt::Key_O, Qt::AltModifier, "editor"},
    };
    for (const auto& [field, key, modifiers, next] : cases) {
        open();
        list("rateList")->setCurrentIndex(1);  // 9600,N,7,2 at station 1: the drive's settings
        list("formatList")->setCurrentIndex(0);
        press(form->findChild<QWidget*>(field), key, modifiers, shown, next);
    }
    open();
    EXPECT_TRUE(button("connectButton")->isDefault());
}

TEST_F(ConnectionTest, EnterInTheModeMenuOpensTheEditorOrTheButtonInFocus) {
    sim.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2"});
    std::string opened;
    const auto opens = [&opened](const char* name) {
        return [&opened, name](auto&&...) -> QWidget* { return opened = name, nullptr; };
    };
    sim.services.windows.editor = opens("editor");
    sim.services.windows.runPanel = opens("runPanel");
    sim.services.windows.connection = opens("connection");
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, std::string> cases[] = {
        {"editorButton", Qt::Key_Return, Qt::NoModifier, "editor"},
        {"runPanelButton", Qt::Key_Return, Qt::NoModifier, "runPanel"},
        {"runPanelButton", Qt::Key_E, Qt::AltModifier, "editor"},
        {"editorButton", Qt::Key_D, Qt::AltModifier, "connection"},
    };
    for (const auto& [focus, key, modifiers, expected] : cases) {
        opened.clear();
        QPointer<ModeMenu> menu = new ModeMenu(sim.services);
        menu->show();
        EXPECT_TRUE(child<QPushButton>(menu, "editorButton")->isDefault());
        press(child<QWidget>(menu, focus), key, modifiers, opened, expected);
        delete menu.data();
    }
}

// Every toolbar button shows an underlined letter, its Alt key; the editor's menu items a letter
// or a shortcut.
TEST_F(ConnectionTest, EveryToolbarButtonAndMenuItemHasItsKey) {
    sim.services.setLink({1, Framing::Ascii, true, 1, "9600,N,7,2"});
    sim.services.windows.menu = []() -> QWidget* { return nullptr; };
    QPointer<QWidget> editor =
        showParameterEditor(sim.services, nullptr, {nullptr, [] { return nullptr; }});
    QPointer<QWidget> panel = new RunPanel(sim.services, {nullptr, [] { return nullptr; }});
    for (QWidget* window : {editor.data(), panel.data()}) {
        ASSERT_TRUE(window);
        const auto buttons = child<QToolBar>(window, "toolbar")->findChildren<QToolButton*>();
        int named = 0;
        for (const QToolButton* b : buttons) {
            if (!b->defaultAction() || b->defaultAction()->isSeparator())
                continue;
            ++named;
            EXPECT_FALSE(QKeySequence::mnemonic(b->text()).isEmpty()) << b->text().toStdString();
        }
        EXPECT_GE(named, 2) << window->objectName().toStdString();
        for (const QAction* a : window->findChildren<QAction*>())
            if (!a->text().isEmpty() && !a->isSeparator() && a->menu() == nullptr &&
                !a->objectName().endsWith("Button") && !a->objectName().endsWith("ToolAction"))
                EXPECT_TRUE(!QKeySequence::mnemonic(a->text()).isEmpty() ||
                            !a->shortcut().isEmpty())
                    << a->text().toStdString();
    }
    delete editor.data();
    delete panel.data();
}

// 搜尋所有站號 in the window; which stations answer, and a stop keeping those found, is the
// survey's own test (Survey.*).
class ConnectionSurveyTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        SimulatedDrive* drives[] = {&sim.drive, &second, &third};
        const int stations[] = {2, 3, 5};
        for (int i = 0; i < 3; ++i) {
            drives[i]->setLink(static_cast<std::uint8_t>(stations[i]), 1, 0);  // 9600,N,7,2
            drives[i]->setReg(faultregs::kModel, static_cast<std::uint16_t>(30 + i));
            drives[i]->setReg(faultregs::kRunHours, static_cast<std::uint16_t>(100 * (i + 1)));
            if (i > 0)
                sim.line.addDrive(*drives[i]);
        }
        // Station 3 answers later than the reply wait (100 ms).
        second.setResponseDelay(std::chrono::milliseconds(160));
    }
    void survey(int rate, int format) {
        list("rateList")->setCurrentIndex(rate);
        list("formatList")->setCurrentIndex(format);
        button("surveyButton")->click();
    }
    QTreeWidget* drives() { return child<QTreeWidget>(form, "driveList"); }
    QStringList rows() {
        QStringList out;
        for (int i = 0; i < drives()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = drives()->topLevelItem(i);
            out << item->text(0) + " " + item->text(1) + " " + item->text(2);
        }
        return out;
    }

    SimulatedDrive second, third;
};

TEST_F(ConnectionSurveyTest, ListsEveryDriveAndConnectsToTheOneChosen) {
    open();
    EXPECT_FALSE(drives()->isVisible()) << "until a survey runs";
    survey(1, 0);
    EXPECT_EQ(rows(), QStringList({"2 30 100", "3 31 200", "5 32 300"}));
    EXPECT_EQ(child<QLabel>(form, "statusLine")->text(), "找到 3 台變頻機，請選擇一台後連線。");
    EXPECT_EQ(boxes() + shown, "");
    EXPECT_FALSE(portOpen());

    // The third drive chosen and double-clicked: connected there, the list handed on.
    QTreeWidgetItem* fifth = drives()->topLevelItem(2);
    drives()->setCurrentItem(fifth);
    EXPECT_EQ(list("stationBox")->currentText(), "5");
    emit drives()->itemDoubleClicked(fifth, 0);
    EXPECT_EQ(shown, "menu");
    EXPECT_EQ(linkState(), "5 9600,N,7,2 RTU=0 COM1");
    const std::vector<SurveyedDrive> found = {{2, 30, 100}, {3, 31, 200}, {5, 32, 300}};
    EXPECT_EQ(sim.services.drives, found);
}

}  // namespace
}  // namespace velorin::test
