// Entering and leaving the run panel: every way out puts the drive back as it was found.

#include "RunFixture.h"

using namespace velorin;
using namespace velorin::test;

// On a drive on the link already nothing is asked; the way out writes back only what was read.
TEST_P(RunFraming, EntryAndExitWriteBackOnlyWhatWasRead) {
    const Writes raised{{96, 0}, {248, 40000}, {32, 40000}}, restored{{248, 6000}, {32, 5000}};
    // clang-format off
    const struct { const char* what; Writes regs; int unread; Writes entry, exit; } cases[] = {
        {"on the link", {}, -1, raised, restored},
        {"an unknown ramp unit is not written", {{96, 5}}, -1, {{248, 40000}, {32, 40000}}, restored},
        {"a top frequency above 32767", {{248, 40000}}, -1, raised, {{248, 40000}, {32, 5000}}},
        {"a top frequency not read is neither raised nor put back", {}, 248, {{96, 0}, {32, 40000}},
         {{32, 5000}}},
        // Register 5 would be asked about, and Yes would write 2.
        {"a question whose read failed is not asked", {{5, 0}}, 5, raised, restored}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setRegs({{96, 0}, {248, 6000}, {5, 2}});
        for (auto [r, v] : c.regs) s.drive.setReg(r, v);
        forget();
        if (c.unread >= 0)
            aim({kRead, c.unread, DriveFault::Kind::NoReply}, 3);
        s.dialogs.answerQuestions({Answer::Yes, Answer::Yes});
        load(false);
        EXPECT_EQ(writes(), c.entry);
        EXPECT_TRUE(s.dialogs.shown().empty());
        EXPECT_EQ(unitCombo()->currentIndex(), (c.regs == Writes{{96, 5}} ? -1 : 0));
        if (!isRtu(framing) && c.regs == Writes{{248, 40000}})
            EXPECT_EQ(panel->session().maxFrequencyAtEntry(), -25536);  // ASCII reads it signed
        // Every raise is told while the panel is open, the frequency command's too.
        const bool topRaised = c.unread != 248 && c.regs != Writes{{248, 40000}};
        EXPECT_EQ(panel->findChild<QLabel*>("noteLabel")->text(),
                  topRaised ? "暫時變更：P09.02 最高輸出頻率 400.00 Hz、P01.07 頻率指令0 400.00 Hz"
                              "（離開時還原）"
                            : "暫時變更：P01.07 頻率指令0 400.00 Hz（離開時還原）");
        EXPECT_EQ(panel->findChild<QLabel*>("linkLabel")->text(),
                  QStringLiteral("COM1（SIM1）　%1　%2　站號 1")
                      .arg(s.services.link().settings.c_str(), isRtu(framing) ? "RTU" : "ASCII"));
        forget();
        panel->close();
        flushDeletes();
        EXPECT_EQ(writes(), c.exit);
        EXPECT_TRUE(s.dialogs.shown().empty());
    }
}

TEST_F(RunFixture, SourcesSwitchedOnYesAreOfferedBackOnExit) {
    setRegs({{25, 1}, {5, 0}, {28, 3}});
    s.dialogs.answerQuestions({Answer::Yes, Answer::No, Answer::Yes});
    load(false);
    EXPECT_EQ(s.dialogs.questions(), (Texts{"是否自動將主頻率來源設定為通信輸入?",
                                            "是否自動將運轉訊號設定為通信輸入?", "是否解除禁止反轉?"}));
    // No: 5 left as it was.
    EXPECT_EQ(writes(), (Writes{{96, 0}, {248, 40000}, {32, 40000}, {25, 0}, {28, 0}}));
    // On the way out the two changed settings are offered back, the unchanged one is not.
    forget();
    s.dialogs.answerQuestions({Answer::Yes, Answer::No});
    child<QAction>("returnAction")->trigger();
    EXPECT_EQ(s.dialogs.questions(),
              (Texts{"是否自動將主頻率來源設定改回原始設定?", "是否自動將禁止反轉改回原始設定?"}));
    EXPECT_EQ(writes(), (Writes{{248, 6000}, {32, 5000}, {25, 1}}));  // No: 28 left
}

// An entry that cannot go on tells why and what it changed, and returns to the menu.
TEST_P(RunFraming, AnEntryThatCannotGoOnReturnsToTheMenu) {
    using Kind = DriveFault::Kind;
    // clang-format off
    const struct { std::function<void()> arrange; Writes written; const char* told; } cases[] = {
        {[&] { aim({kRead, 0x2101, Kind::NoReply}, 3); }, {}, "變頻機未回應，無法進入運轉試車。"},
        // 32 is written back too: a raise the drive did not confirm may have been carried out.
        {[&] { aim({kWrite, 32, Kind::Exception}); }, {{96, 0}, {248, 40000}, {248, 6000}, {32, 5000}},
         "P01.07 頻率指令0 未能設定為 400.00，無法進入運轉試車。"},
        {[&] { aim({kRead, 25, Kind::NoReply, [&] { s.line.setPresent(false); }}); }, {{96, 0}, {248, 40000}, {32, 40000}},
         "通訊埠已中斷，請檢查連接線。\n接好後再進入運轉試車即重新連線。\n"
         "P09.02 最高輸出頻率 未能還原為 60.00，請手動設定。\n"
         "P01.07 頻率指令0 未能還原為 50.00，請手動設定。"},
        // An adapter gone before the entry is lost, not taken by another program.
        {[&] { s.line.setPresent(false); }, {},
         "通訊埠已中斷，請檢查連接線。\n接好後再進入運轉試車即重新連線。"},
        {[&] { startMotorElsewhere(); }, {}, "變頻機運轉中，請先停止變頻機再進入運轉試車。"},
        {[&] { s.line.setHeldElsewhere(true); }, {}, "無法開啟通訊埠，請確認連接埠未被其他程式占用。"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        forget();
        menuShown = 0;
        s.line.setPresent(true);
        setRegs({{25, 1}});  // the entry ends before its questions
        c.arrange();
        EXPECT_EQ(showRunPanel(s.services, {nullptr, s.services.windows.menu}), &menuWindow);
        flushDeletes();
        EXPECT_EQ(std::pair(menuShown, writes()), std::pair(1, c.written));
        ASSERT_EQ(s.dialogs.shown().size(), 1u);
        EXPECT_EQ(s.dialogs.shown()[0].text, QString(c.told));
        const bool runs = QString(c.told).startsWith(QStringLiteral("變頻機運轉中"));
        EXPECT_EQ(s.dialogs.shown()[0].title, runs ? QStringLiteral("變頻機運轉中") : kCommError);
        s.line.setHeldElsewhere(false);
        EXPECT_FALSE(s.line.isHeld());
    }
}

// Each way out in each framing: parameter / 2 is the way, parameter % 2 the framing.
class RunWayOut : public RunFraming {};

// Left while running: the stop word, then what the entry found, restored once; one box names the
// write-backs refused or unanswered, with the values to set by hand.
TEST_P(RunWayOut, StopsRestoresOnceNamesWhatWasNotPutBackAndGoesWhereItShould) {
    const int way = GetParam() / 2;  // return, quit, window close
    setRegs({{25, 1}});
    s.dialogs.answerQuestions({Answer::Yes, Answer::Yes});
    load();
    click(button("runForwardButton"));
    forget();
    aim({kWrite, 248, DriveFault::Kind::Exception});
    unconfirmed(25);
    int menuShownAtBox = -1;
    s.dialogs.onShow([&](const ShownDialog&) { menuShownAtBox = menuShown; });
    if (way == 2)
        panel->close();
    else
        child<QAction>(way == 0 ? "returnToolAction" : "quitAction")->trigger();
    // 248 refused; 25 carried out but never confirmed.
    EXPECT_EQ(writes(), (Writes{{kCmd, 1}, {32, 5000}, {25, 1}}));
    EXPECT_EQ(s.dialogs.questions(), Texts{"是否自動將主頻率來源設定改回原始設定?"});
    EXPECT_EQ(s.dialogs.messages(),
              Texts{QStringLiteral("P09.02 最高輸出頻率 未能還原為 60.00，請手動設定。\n"
                                   "P01.00 頻率指令選擇1 未能還原為 1，請手動設定。")});
    EXPECT_EQ(s.dialogs.shown().back().title, kCommError);
    // The box came before the menu, the port is closed, Return shows the menu and Quit quits.
    EXPECT_EQ(std::tuple(menuShownAtBox, s.line.isHeld(), menuShown, s.quitCalled),
              std::tuple(0, false, way == 0 ? 1 : 0, way == 1));
    // Whatever closes the window afterwards restores nothing more.
    forget();
    if (panel)
        panel->close();
    flushDeletes();
    EXPECT_TRUE(writes().empty() && s.dialogs.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, RunWayOut, ::testing::Range(0, 6), [](const auto& i) {
    return (std::vector<std::string>{"Ascii", "Rtu"})[i.param % 2] +
           (std::vector<std::string>{"Return", "Quit", "Close"})[i.param / 2];
});

TEST_F(RunFixture, ACloseDuringACommandIsTakenWhenTheLineIsIdle) {
    load();
    edit("frequencyEdit")->setText("60");
    during(10, [&] { panel->close(); });
    click(button("runForwardButton"));
    // The run command went out whole, then the way out stopped the motor and restored.
    EXPECT_EQ(writes(), (Writes{{32, 6000}, {kCmd, 18}, {kCmd, 1}, {248, 6000}, {32, 5000}}));
    flushDeletes();
    EXPECT_TRUE(panel.isNull() && !s.line.isHeld());
}
