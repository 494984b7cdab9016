// The editor core's outcomes as the editor window words them.

#include <gtest/gtest.h>

#include "texts/LinkTexts.h"
#include "ui/editor/EditorTexts.h"

using namespace velorin;
namespace text = velorin::editortext;

namespace {

using Why = WriteIssue::Why;

WriteOutcome ended(WriteOutcome::End end, std::vector<WriteIssue> unconfirmed,
                   std::vector<WriteIssue> skipped = {}) {
    WriteOutcome outcome;
    outcome.end = end;
    outcome.confirmed = 2;
    outcome.unconfirmed = std::move(unconfirmed);
    outcome.skipped = std::move(skipped);
    outcome.settingsInUse = "9600,E,7,1 ASCII";
    outcome.stationInUse = 5;
    return outcome;
}

}  // namespace

TEST(EditorTexts, AnIncompleteWriteIsReportedLineByLine) {
    using End = WriteOutcome::End;
    const WriteIssue silent{51, Why::NotConfirmed, {LinkOutcome::NoReply}};
    const WriteIssue portGone{51, Why::NotConfirmed, {LinkOutcome::PortError}};
    const struct {
        WriteOutcome outcome;
        QStringList lines;
    } cases[] = {
        {ended(End::DriveSilent, {silent}),
         {"變頻機未回應，寫入已停止：已確認寫入 2 項，其餘參數未寫入。",
          "P01.26 跳躍頻率3：變頻機未回應"}},
        {ended(End::DriveSilent, {portGone}),
         {"通訊埠已中斷，寫入已停止：已確認寫入 2 項，其餘參數未寫入。",
          "P01.26 跳躍頻率3：" + QString::fromStdString(describeOutcome(portGone.reply))}},
        {ended(End::NotAtNewSettings, {}),
         {"變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：9600,E,7,1 ASCII 站號 5"}},
        // The unconfirmed first, then the skipped in their order.
        {ended(End::Finished, {silent},
               {{0, Why::NotShown}, {2, Why::OutOfRange}, {497, Why::NoSelection},
                {261, Why::CopyUnread, {}, 382}}),
         {"P01.26 跳躍頻率3：變頻機未回應", "P00.00 開機顯示畫面選擇：欄位未顯示變頻機的值，未寫入",
          "P00.02 監看變數LPF時間：數值超出 -32768~65535，未寫入",
          "P15.01 PC傳輸速率：未選擇項目，未寫入", "P09.15 IM1額定線電流：P11.14 讀取失敗，未寫入"}},
    };
    for (const auto& c : cases) EXPECT_EQ(text::writeReport(c.outcome), c.lines);
    // At most the lines asked for, then a count.
    const QStringList many = text::writeReport(ended(End::Finished, std::vector(21, silent)), 20);
    ASSERT_EQ(many.size(), 21);
    EXPECT_EQ(many.back(), "…及其他 1 項");
}

TEST(EditorTexts, WarningsAndATooltipInTheWindowsWords) {
    EXPECT_EQ(text::warningQuestion({{"ErP2", {256, 254}, 0, {"3.00", "2.00"}},
                                     {"ErP1", {149, 152}, 0, {"1：運轉許可"}}}),
              "寫入後變頻機可能顯示 ErP2 P09.10 fe0 3.00 大於 P09.08 fe1 2.00；"
              "ErP1 P05.03、P05.06 同為 1：運轉許可，是否仍要寫入？");
    const struct {
        FieldFacts facts;
        const char* tip;
    } cases[] = {
        {{2, {{"0~13"}}, "6", true, false, "6", 6},
         "P00.02：監看變數LPF時間\n範圍：0~13\n出廠值：6\n變頻機的值：6\n原始值：6"},
        {{2, {}, std::nullopt, false}, "P00.02：監看變數LPF時間\n範圍：無範圍檢查\n出廠值：無"},
        {{2, {{"0~13"}}, "6", true, true, "", 0},
         "P00.02：監看變數LPF時間\n範圍：0~13\n出廠值：6\n檔案中的值：（空白）\n原始值：0"},
        {{2, {{"0~13"}}, "6", true, false, std::nullopt, 99},
         "P00.02：監看變數LPF時間\n範圍：0~13\n出廠值：6\n變頻機的值：無法顯示\n原始值：99"},
    };
    for (const auto& c : cases) EXPECT_EQ(text::fieldTip(c.facts), QString::fromUtf8(c.tip));
}

TEST(EditorTexts, ABackupsSidecarNamesTheDriveItCameFrom) {
    BackupSidecar s{101, 3, "19200,E,8,1", "2026-12-08T09:30:00+08:00", 1210, "velorin", ""};
    EXPECT_EQ(text::sidecarOrigin(s),
              "這個檔案來自機種 101 的變頻機（站號 3，19200,E,8,1），備份於 "
              "2026-12-08T09:30:00+08:00，運轉 1210 小時。");
    s.model.reset();
    s.runHours.reset();
    EXPECT_EQ(text::sidecarOrigin(s), "這個檔案來自機種 不明 的變頻機（站號 3，19200,E,8,1），備份於 "
                                      "2026-12-08T09:30:00+08:00。");
    s.model = 101;
    EXPECT_EQ(text::sidecarRefusal({SidecarVerdict::OtherModel, s, 102}),
              "檔案來自機種 101 的變頻機，這台變頻機是機種 102。");
    EXPECT_TRUE(text::sidecarRefusal({SidecarVerdict::Matches, s}).isEmpty());
}

// A refused text's words are the editor files' test, where the save names them.
TEST(EditorTexts, AValueNoFieldShows) {
    EXPECT_EQ(text::previewValue({std::nullopt, 99}), "無法顯示（99）");
    EXPECT_EQ(text::previewValue({"6", 6}), "6");
}
