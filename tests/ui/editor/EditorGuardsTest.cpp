// What the editor window guards: edits are never dropped without a question whose Enter keeps
// them, a range failure shows its field, a value the drive holds itself blocks no write.

#include "EditorFixture.h"
#include "support/DriveWrites.h"

using namespace velorin;
using namespace velorin::test;

namespace {

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
            if (answer == Answer::No) {
                ASSERT_TRUE(editor && editor->isVisible());
                EXPECT_EQ(field(2)->currentText(), "9");
                EXPECT_FALSE(way.went());
                EXPECT_EQ(s.dialogs.shown().size(), 1u);  // no file dialog either
            } else {
                EXPECT_TRUE(way.went());
            }
        }
}

// A drive whose motor currents and P15.03 fail its own checks, read whole: a write of the
// changes says nothing of them; a full write names them and asks (Enter keeps, Yes writes the
// rest); a value typed out of range names its numbers, and the editor shows its field.
TEST_F(EditorGuards, ValuesNobodyChangedDoNotBlockAndAFailureShowsItsField) {
    s.drive.setReg(382, 30);
    open();
    trigger("readAllItem");
    click(tab(5));
    typeInto(97, "20.00");  // P03.01
    s.drive.clearWriteLog();
    trigger("writeChangedItem");
    EXPECT_TRUE(s.dialogs.messages().empty() && s.dialogs.questions().empty());
    EXPECT_EQ(writesOf(s.drive), (Writes{{97, 2000}}));

    typeInto(97, "30.00");
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
    shortcut(Qt::Key_T);
    std::set<int> sent;
    for (auto [reg, word] : writesOf(s.drive)) sent.insert(reg);
    EXPECT_TRUE(sent.count(97) && !sent.count(261) && !sent.count(322) && !sent.count(499));
    EXPECT_EQ(s.drive.reg(97), 3000);

    // Two values out of range: a box each, in register order, the first one's field shown.
    click(tab(15));
    typeInto(322, "50.0");
    click(tab(12));
    typeInto(261, "50.0");
    click(tab(0));
    forget();
    const QString message =
        QStringLiteral("P09.15 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。");
    trigger("writeChangedItem");
    EXPECT_EQ(s.dialogs.messages(),
              (std::vector<QString>{message, QString(message).replace("P09.15", "P10.15")}));
    EXPECT_EQ(s.dialogs.shown().back().title, "ERROR");
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_EQ(currentPage(), 12);
    EXPECT_EQ(QApplication::focusWidget(), field(261));
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
