// The line monitor's window: its pause stops the view, never the record (a write made while
// paused once never appeared, and the counters stopped).

#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>

#include "ui/monitor/MonitorWindow.h"
#include "support/ScriptedDialogs.h"

using namespace velorin;
using namespace velorin::test;

namespace {

MonitorRow write(std::uint16_t reg, std::uint16_t word) {
    return {.function = FunctionCode::WriteRegister, .reg = reg, .word = word,
            .check = {LinkOutcome::Ok, word}};
}

TEST(MonitorWindow, PauseStopsTheViewAndTheRecordGoesOn) {
    VirtualClock clock;
    LineMonitor monitor(clock);
    ScriptedDialogs dialogs;
    MonitorWindow window(monitor, dialogs);
    auto* table = window.findChild<QTableView*>("monitorTable");
    auto* counts = window.findChild<QLabel*>("countsLine");
    auto* pause = window.findChild<QPushButton*>("pauseButton");
    monitor.record(write(32, 6000));
    window.refresh();
    ASSERT_EQ(table->model()->rowCount(), 1);

    QTest::mouseClick(pause, Qt::LeftButton);
    monitor.record(write(48, 600));
    monitor.record(write(32, 3000));
    window.refresh();
    EXPECT_EQ(table->model()->rowCount(), 1);  // the view stands still
    EXPECT_TRUE(counts->text().startsWith(QStringLiteral("請求 3　")))
        << counts->text().toStdString();
    EXPECT_EQ(monitor.rows().size(), 3u);

    QTest::mouseClick(pause, Qt::LeftButton);
    ASSERT_EQ(table->model()->rowCount(), 3);  // the writes made meanwhile are there
    EXPECT_EQ(table->model()->index(1, 4).data().toInt(), 48);
}

}  // namespace
