// The parameter editor window: pages, fields, reads, the write and the ways out.

#include "EditorFixture.h"
#include "link/LineSession.h"
#include "platform/ChangeLogFile.h"
#include "support/DriveWrites.h"
#include "support/LoggedChanges.h"
#include "ui/menu/ModeMenu.h"
#include "sim/SimulatedPort.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using namespace std::chrono_literals;

TEST_F(EditorFixture, StartUpReadsPageP00OnceThenTheCopiesThenClosesTheModeMenu) {
    QPointer<QWidget> menu = new ModeMenu(s.services);
    menu->show();
    bool menuOpenAtLastRead = false;
    record.onReply = [&](int) { menuOpenAtLastRead = menu && menu->isVisible(); };
    open(false, menu);
    std::vector<int> expected = span(0, 22);  // 14 and 15 have no field but are read
    expected.insert(expected.end(), {96, 229, 382, 470, 471});
    EXPECT_EQ(record.firstReads(), expected);
    EXPECT_TRUE(menuOpenAtLastRead && (!menu || !menu->isVisible()));
    EXPECT_FALSE(progress()->isVisible());
    // Page P00 again sends nothing; pages P17-1 and P17-2 read their own ranges.
    const std::pair<int, std::vector<int>> visits[] = {
        {1, span(25, 48)}, {0, {}}, {28, span(538, 561)}, {29, {562}}, {28, {}}};
    for (const auto& [page, reads] : visits) {
        record.clear();
        click(tab(page));
        EXPECT_EQ(currentPage(), page);
        EXPECT_EQ(record.firstReads(), reads) << page;
    }
    EXPECT_EQ(field(538)->currentIndex(), 0);
}

// That every field is in reach on a small screen is the screens' test.
TEST_F(EditorFixture, OfflineShowsTheFactoryDefaultsAndSendsNothing) {
    open(true);
    EXPECT_TRUE(editor->isMaximized() && !field(0)->isEditable() && field(79)->isEditable());
    EXPECT_TRUE(field(382)->isEnabled() && field(382)->lineEdit()->isReadOnly());
    for (int reg : {538, 549, 562}) EXPECT_FALSE(field(reg)->isEnabled()) << reg;
    EXPECT_EQ(field(2)->currentText(), "6");  // the factory fields themselves: the model's test
    for (int page = 0; page < kPageCount; ++page) click(tab(page));
    EXPECT_EQ(currentPage(), kPageCount - 1);
    EXPECT_TRUE(record.requests().empty());
    for (int page = 0; page <= kPageCount; ++page) EXPECT_FALSE(core->pagePresent(page));
    // The write is not offered offline, by button, menu item or shortcut; nor is 讀取全部.
    EXPECT_FALSE(find<QAction>(QStringLiteral("writeButton"))->isEnabled() ||
                 find<QAction>(QStringLiteral("readAllItem"))->isEnabled());
    enter(2, "7");
    shortcut(Qt::Key_T);
    find<QAction>(QStringLiteral("writeItem"))->trigger();
    EXPECT_EQ(core->working()[2], 0);
    shortcut(Qt::Key_S);
    EXPECT_EQ(core->working()[2], 7);
}

TEST_F(EditorFixture, FieldsConvertIntoWorkingValuesAtTheSaveAndTheWrite) {
    constexpr int kKept = 4242;  // the working value before the conversion
    open();
    for (bool write : {false, true})
        for (const auto& r : tsvRows(VELORIN_PARAMETERS_TEST_DATA "/field_conversion.tsv")) {
            const int reg = std::stoi(r[0]);
            SCOPED_TRACE(r[0] + " '" + r[1] + "'");
            core->working()[reg] = kKept;
            core->copies().pidDecimals = static_cast<std::int16_t>(std::stoi(r[3]));
            field(96)->setCurrentIndex(std::stoi(r[2]));
            enter(reg, QString::fromStdString(r[1]));
            shortcut(write ? Qt::Key_T : Qt::Key_S);
            EXPECT_EQ(core->working()[reg], r[4] == "kept" ? kKept : std::stoi(r[4]));
            if (r.size() > 5)
                EXPECT_EQ(field(reg)->currentText().toStdString(), r[5]);
        }
}

TEST_F(EditorFixture, FieldsShowTheDriveValuesAndMarkThoseTheyCannotShow) {
    // No such rate, nothing selected, no such option, P13.04 with P13.35 at 7: marked.
    const std::tuple<int, int, int, const char*, bool> cases[] = {
        {25, 497, 192, "19.2", false}, {25, 497, 0, "", true},         {1, 25, -1, "", false},
        {1, 25, 99, "", true},         {5, 97, 1234, "12.34", false}, {22, 440, 1234, "", true}};
    s.drive.setReg(471, 7);
    for (const auto& [page, reg, value, text, marked] : cases) {
        SCOPED_TRACE(reg);
        s.drive.setReg(reg, static_cast<std::uint16_t>(value));
        open();
        click(tab(page));
        EXPECT_EQ(field(reg)->currentText(), QString::fromUtf8(text));
        EXPECT_EQ(field(reg)->toolTip().contains("無法顯示變頻機的值"), marked);
        EXPECT_EQ(core->unshown(reg), marked);
        if (marked) {
            EXPECT_TRUE(field(reg)->toolTip().contains(QString::number(value)));
            // A value chosen takes part again, but P13.04 without its decimals.
            field(reg)->setEditText("1");
            emit field(reg)->activated(0);
            EXPECT_EQ(core->unshown(reg), reg == 440);
            EXPECT_EQ(field(reg)->toolTip().contains("無法顯示變頻機的值"), reg == 440);
        }
        delete editor.data();
    }
    // A choice cut in its field is read whole in its tooltip (its list: the screens' test).
    open();
    for (int reg : Catalogue::instance().page(0).fields) {
        QComboBox* f = field(reg);
        if (f->isEditable() || f->currentIndex() < 0)
            continue;
        EXPECT_TRUE(f->toolTip().startsWith(f->currentText() + "\n")) << reg;
    }
}

TEST_F(EditorFixture, APageReadIsNeverNestedAndAFailedOneIsToldAndReadAgain) {
    s.drive.setReg(31, 1234);
    open();
    record.clear();
    // During the read of P01-1 a tab click and a save are not taken.
    during(100ms, [this] {
        click(tab(3));
        enter(2, "9");
        shortcut(Qt::Key_S);
        EXPECT_EQ(progress()->text(), "參數讀取中，請稍候...");
    });
    // Its fifth register is asked three times, then the read stops and says so.
    s.drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 29}, 3);
    click(tab(1));
    EXPECT_EQ(std::pair(currentPage(), core->working()[2]), std::pair(1, 0));
    EXPECT_TRUE(tab(1)->isChecked() && !tab(3)->isChecked() && progress()->isVisible());
    EXPECT_EQ(progress()->text(), "P01.04 參數讀取失敗，變頻機未回應。");
    EXPECT_FALSE(core->pagePresent(1) || core->pagePresent(3));
    for (int reg : Catalogue::instance().page(1).fields)
        EXPECT_EQ(field(reg)->currentText(), "") << reg;
    // The message stays until the next tab change; the next visit reads the page again.
    record.onReply = {};
    record.clear();
    s.clock.advance(std::chrono::seconds(2));  // the line settles meanwhile
    click(tab(2));
    EXPECT_FALSE(progress()->isVisible());
    click(tab(1));
    std::vector<int> reads = span(49, 54);
    for (int reg : span(25, 48)) reads.push_back(reg);
    EXPECT_EQ(record.firstReads(), reads);
    EXPECT_EQ(field(31)->currentText(), "12.34");
    // A close during a read ends it after the register on the line, then the window closes.
    record.clear();
    during(100ms, [this] { editor->close(); });
    click(tab(3));
    EXPECT_EQ(record.reads(), span(55, 55 + static_cast<int>(record.reads().size()) - 1));
    EXPECT_LT(record.reads().size(), 6u);
    expectClosed();
    EXPECT_FALSE(core->pagePresent(3));
}

// The question before edits are dropped is the guards' test.
TEST_F(EditorFixture, ReturnQuitAndTheProgressDots) {
    // Online the framing last used goes back to the link; offline the connection screen returns.
    open();
    core->setFramingInUse(Framing::Rtu);
    shortcut(Qt::Key_R);
    EXPECT_EQ(std::pair(s.services.link().framing, menuShown), std::pair(Framing::Rtu, 1));
    expectClosed();
    open(true);
    find<QAction>(QStringLiteral("returnButton"))->trigger();
    EXPECT_EQ(std::pair(connectionShown, menuShown), std::pair(1, 1));
    expectClosed();
    open();
    // The dots: one a tick up to 40, then the bare text again.
    const QString bare = QStringLiteral("參數寫入中，請稍候");
    progress()->setText(bare);
    for (int i = 0; i < 40; ++i) editor->progressTick();
    EXPECT_EQ(progress()->text(), bare + QString(40, QLatin1Char('.')));
    editor->progressTick();
    EXPECT_EQ(progress()->text(), bare);
    shortcut(Qt::Key_Q);
    EXPECT_TRUE(s.quitCalled && !s.line.isHeld());
}

TEST_F(EditorFixture, DuringAWriteTheControlsAreLockedAndACloseWaitsForItsEnd) {
    open();
    bool during_write = false;
    during(300ms, [&] {
        during_write = true;
        for (const char* name :
             {"saveButton", "loadButton", "writeButton", "returnButton", "quitButton"})
            EXPECT_FALSE(find<QAction>(QString::fromLatin1(name))->isEnabled()) << name;
        EXPECT_FALSE(find<QWidget>(QStringLiteral("pageTabs"))->isEnabled());
        EXPECT_EQ(progress()->text(), "參數寫入中，請稍候");
        enter(2, "9");
        shortcut(Qt::Key_S);
        click(tab(3));
        editor->close();
        EXPECT_EQ(progress()->text(), "參數寫入中，寫入結束後關閉視窗，請稍候");
    });
    shortcut(Qt::Key_T);
    // All of page P00 written, the edit made meanwhile not taken.
    EXPECT_EQ(std::tuple(during_write, s.drive.writeLog().size(), core->working()[2]),
              std::tuple(true, 21u, 6));
    expectClosed();
}

TEST_F(EditorFixture, TheTechnicianIsToldWhatTheWriteDidNotDo) {
    {  // the motor runs
        LineSession other(std::make_unique<SimulatedPort>(s.line, s.clock));
        other.open(1, "9600,N,7,2");
        ASSERT_EQ(other.write(0x2000, 18).outcome, LinkOutcome::Ok);
    }
    open();
    s.dialogs.answerQuestions({Answer::No, Answer::Yes, Answer::Yes});
    const QString running =
        "變頻機運轉設定: 目前變頻機為運轉狀態，部分參數無法在運轉狀態下寫入，是否確定繼續寫入?";
    // The reply after which the drive falls silent (0: at the running check, -1: never), the
    // boxes as "title: text", and whether nothing was written.
    const std::tuple<int, QString, bool> cases[] = {
        {-1, running, true},  // No
        {2, running + "\n寫入未完成: P00.01 監看變數選擇：變頻機未回應", false},
        {0, "通訊錯誤: 變頻機未回應，未寫入任何參數。", true},
        {-1, running, false}};
    for (const auto& [silentAfter, boxes, nothing] : cases) {
        SCOPED_TRACE(boxes.toStdString());
        forget();
        record.onReply = [this, at = silentAfter](int n) {
            if (at > 0 && n == at)
                s.drive.injectFault({DriveFault::Kind::NoReply}, 4);
        };
        if (silentAfter == 0)
            s.drive.injectFault({DriveFault::Kind::NoReply}, 3);
        shortcut(Qt::Key_T);
        QStringList shown;
        for (const ShownDialog& d : s.dialogs.shown())
            if (d.kind != ShownDialog::Kind::Table)
                shown << d.title + ": " + d.text;
        EXPECT_EQ(shown.join('\n'), boxes);
        EXPECT_EQ(s.drive.writeLog().empty(), nothing);  // the next write: the controls are back
    }
    EXPECT_EQ(progress()->text(), "參數寫入完成。");
    during(10s, [] {});
    EXPECT_TRUE(progress()->isVisible()) << "stays until the next action";
    QTest::keyClicks(field(2)->lineEdit(), "2");
    EXPECT_FALSE(progress()->isVisible());
}

TEST_F(EditorFixture, ThePreviewListsTheChangesAndAWriteLeavesOneLogLinePerRegister) {
    QTemporaryDir dir;
    ChangeLogFile log(dir.filePath("data/changes.log"));
    std::vector<QString> opened;
    s.services.changeLog = &log;
    s.services.openFolder = [&opened](const QString& folder) { opened.push_back(folder); };
    open();
    const QString before = field(2)->currentText();  // as the field shows it
    enter(2, "9");
    enter(4, "3");
    forget();
    s.dialogs.answerTables({Answer::No});
    find<QAction>(QStringLiteral("writeItem"))->trigger();
    ASSERT_EQ(s.dialogs.shown().size(), 1u);
    const ShownDialog& preview = s.dialogs.shown().front();
    EXPECT_TRUE(preview.text.startsWith(QStringLiteral("寫入將變更變頻機的 2 項參數，另有 ")));
    EXPECT_EQ(preview.rows, (std::vector<QStringList>{{"P00.02", "監看變數LPF時間", before, "9"},
                                                      {"P00.04", "無單位顯示小數點", "2", "3"}}));
    EXPECT_TRUE(record.reads().empty() && s.drive.writeLog().empty());

    s.dialogs.clear();
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    EXPECT_EQ(record.firstReads(), std::vector<int>{0x2101});
    EXPECT_EQ(writesOf(s.drive), (Writes{{2, 9}, {4, 3}}));
    EXPECT_EQ(shortChanges(log.path()),
              (std::vector<std::string>{"P00.02 6>9 6>9 已確認 寫入變更項目",
                                        "P00.04 2>3 2>3 已確認 寫入變更項目"}));
    EXPECT_EQ(loggedChanges(log.path()).front().port, "COM1（SIM1）");
    find<QAction>(QStringLiteral("changeLogFolderItem"))->trigger();
    EXPECT_EQ(opened, std::vector<QString>{dir.filePath("data")});

    forget();
    s.dialogs.answerTables({Answer::No});
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    ASSERT_EQ(s.dialogs.shown().size(), 1u);
    EXPECT_EQ(s.dialogs.shown().front().text,
              QStringLiteral("畫面上的值與變頻機相同，沒有要變更的參數。是否仍要寫入全部參數？"));
    EXPECT_TRUE(s.drive.writeLog().empty());
}

// The gateway cannot follow a drive whose link a write moves (its station here).
TEST_F(EditorFixture, AWriteThatMovesTheLinkThroughAGatewayIsAskedFirst) {
    GatewayLink gateway(s.drive, Framing::Ascii);  // passes the drive's ASCII frames through
    s.ports.attachGateway("192.168.1.50", gateway);
    s.services.chooseGateway(NetworkAddress{"192.168.1.50", 502}, s.services.link().framing);
    open();
    click(tab(25));  // P15: the link parameters
    enter(drive::kStationParameter, "7");
    s.drive.clearWriteLog();
    s.dialogs.clear();
    s.dialogs.answerQuestions({Answer::No});
    find<QAction>(QStringLiteral("writeChangedItem"))->trigger();
    ASSERT_FALSE(s.dialogs.shown().empty());
    const ShownDialog& asked = s.dialogs.shown().front();
    EXPECT_EQ(asked.title + ": " + asked.text,
              QStringLiteral("網路閘道: 經由網路閘道 192.168.1.50:502 寫入後，變頻機將改用：站號 7。閘道無法"
                             "跟隨，請先將閘道的串列埠設為相同設定，並以新站號連線。是否仍要寫入？"));
    EXPECT_TRUE(s.drive.writeLog().empty());
}

const QString kDropChanges = QStringLiteral("有參數變更尚未寫入變頻機，是否放棄這些變更？");

class EditorGuards : public EditorFixture {
protected:
    void reopen() {
        delete editor.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        open();
    }
    void trigger(const char* name) { find<QAction>(QString::fromLatin1(name))->trigger(); }
    // Page P00 as the drive holds it, with P00.02 at 7.
    QString pageFile() {
        const QString path = desktopFile(QStringLiteral("Page0.txt"));
        const auto held = [this](int reg) { return core->driveValue(reg); };
        writeFile(path, fileOf({{2, "7"}}, 0, 22, held));
        return path;
    }
};

TEST_F(EditorGuards, EveryWayOutAndEveryLoadOverEditsAsksFirst) {
    struct Way {
        const char* name;
        std::function<void()> take;
        std::function<bool()> went;  // what Yes leads to
    };
    const Way ways[] = {
        {"Ctrl+Q", [&] { shortcut(Qt::Key_Q); }, [&] { return s.quitCalled; }},
        {"離開程式", [&] { trigger("quitButton"); }, [&] { return s.quitCalled; }},
        {"X", [&] { editor->close(); }, [&] { return editor.isNull() || !editor->isVisible(); }},
        {"Ctrl+R", [&] { shortcut(Qt::Key_R); }, [&] { return menuShown == 1; }},
        {"Ctrl+O", [&] { shortcut(Qt::Key_O); },
         [&] { return editor && field(2)->currentText() == "7"; }},
    };
    for (const Way& way : ways)
        for (Answer answer : {Answer::No, Answer::Yes}) {
            SCOPED_TRACE(std::string(way.name) + (answer == Answer::Yes ? " Yes" : " No"));
            reopen();
            const QString file = pageFile();
            typeInto(2, "9");
            s.dialogs.clear();
            s.quitCalled = false;
            menuShown = 0;
            s.dialogs.answerQuestions({answer});
            if (answer == Answer::Yes && std::string(way.name) == "Ctrl+O")
                s.dialogs.answerInputs({file});
            way.take();
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_EQ(s.dialogs.questions(), std::vector<QString>{kDropChanges});
            EXPECT_EQ(s.dialogs.shown().front().enterGives, Answer::No);
            EXPECT_EQ(way.went(), answer == Answer::Yes);
            if (answer == Answer::No) {
                EXPECT_EQ(field(2)->currentText(), "9");
                EXPECT_EQ(s.dialogs.shown().size(), 1u);  // no file dialog either
            }
        }
}

// The motor currents and P15.03 fail the drive's own checks; a write of the changes ignoring
// them is the core's test (Core.AWriteIsHeldUpOnlyByWhatItWritesAndWhatDependsOnIt).
TEST_F(EditorGuards, ValuesNobodyChangedDoNotBlockAndAFailureShowsItsField) {
    s.drive.setReg(382, 30);
    open();
    trigger("readAllItem");
    click(tab(5));
    typeInto(97, "30.00");  // P03.01
    forget();
    shortcut(Qt::Key_T);
    const QString heldQuestion = QStringLiteral(
        "下列參數是變頻機本身目前的值，讀取後未變更，不在檢查範圍內：\n"
        "P09.15 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。\n"
        "P10.15 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。\n"
        "P15.03 範圍不在3~50。\n是否略過這些參數，寫入其餘參數？");
    EXPECT_EQ(s.dialogs.questions(), std::vector<QString>{heldQuestion});
    EXPECT_EQ(s.dialogs.shown().back().enterGives, Answer::No);
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_EQ(currentPage(), 12);
    EXPECT_EQ(QApplication::focusWidget(), field(261));

    s.dialogs.clear();
    s.dialogs.answerQuestions({Answer::Yes});
    // What it leaves out is the core's (Core.AFullWriteLeavesOutTheValuesTheTechnicianLetStand).
    shortcut(Qt::Key_T);
    EXPECT_EQ(s.drive.reg(97), 3000);

    // Two values out of range: a box each, in register order.
    click(tab(15));
    typeInto(322, "50.0");
    click(tab(12));
    typeInto(261, "50.0");
    forget();
    const QString message =
        QStringLiteral("P09.15 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。");
    trigger("writeChangedItem");
    EXPECT_EQ(s.dialogs.messages(),
              (std::vector<QString>{message, QString(message).replace("P09.15", "P10.15")}));
    EXPECT_EQ(s.dialogs.shown().back().title, "ERROR");
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_EQ(progress()->text(), message + "（另有 1 項）");
}

// After a lost port the editor names the port, never the drive; 重新連線 opens it again.
TEST_F(EditorGuards, AfterALostPortTheEditorNamesThePortAndReconnects) {
    open();
    auto* reconnect = find<QAction>(QStringLiteral("reconnectItem"));
    EXPECT_FALSE(reconnect->isEnabled());
    // Pulled during a page read: the read ends at once, told once.
    record.clear();
    during(std::chrono::milliseconds(100), [this] { s.line.setPresent(false); });
    click(tab(3));
    EXPECT_EQ(s.dialogs.messages(), std::vector<QString>{"通訊埠已中斷，請檢查連接線。"});
    EXPECT_TRUE(record.reads().size() < 6u && !core->pagePresent(3)) << record.reads().size();
    EXPECT_EQ(find<QLabel>("linkLabel")->text(), "COM1（SIM1）　通訊埠已中斷");
    click(tab(5));
    EXPECT_EQ(progress()->text(), "通訊埠已中斷，請檢查連接線後選「變頻機(I) > 重新連線」。");
    EXPECT_TRUE(reconnect->isEnabled() && s.services.portLost);
    // A write now is not sent: the port is named, not the drive.
    s.dialogs.clear();
    typeInto(2, "9");
    shortcut(Qt::Key_T);
    EXPECT_EQ(s.dialogs.messages(),
              std::vector<QString>{"通訊埠已中斷，請檢查連接線後選「變頻機(I) > 重新連線」。"});
    // Still gone: said so; back: the link line as before and the page in view read.
    s.dialogs.clear();
    reconnect->trigger();
    EXPECT_EQ(s.dialogs.messages(), std::vector<QString>{"通訊埠仍無法開啟，請檢查連接線。"});
    s.line.setPresent(true);
    reconnect->trigger();
    EXPECT_EQ(find<QLabel>("linkLabel")->text(), "COM1（SIM1）　9600,N,7,2　ASCII　站號 1");
    EXPECT_TRUE(core->pagePresent(5) && !reconnect->isEnabled() && !s.services.portLost);
}

}  // namespace
