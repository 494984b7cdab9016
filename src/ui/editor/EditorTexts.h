#pragma once
// Every text the technician sees in the parameter editor, in one place.

#include <QString>
#include <QStringList>

#include "editor/BackupSidecar.h"
#include "editor/EditorCore.h"
#include "editor/ParameterFile.h"
#include "texts/FileTexts.h"
#include "ui/texts/WindowTexts.h"

namespace velorin::editortext {

inline const QString Caption = QStringLiteral("VELORIN － 參數調整");
inline const QString ParameterMenu = QStringLiteral("參數(&P)");
inline const QString SaveItem = QStringLiteral("參數儲存(&S)");
inline const QString LoadItem = QStringLiteral("參數讀取(&O)");
inline const QString DriveMenu = QStringLiteral("變頻機(&I)");
inline const QString WriteItem = QStringLiteral("寫入變頻機(&T)");
inline const QString WriteChanged = QStringLiteral("寫入變更項目");
inline const QString WriteChangedItem = WriteChanged + QStringLiteral("(&G)");
inline const QString WindowsMenu = QStringLiteral("視窗(&W)");
inline const QString ReturnItem = QStringLiteral("返回上一頁(&R)");
inline const QString QuitItem = QStringLiteral("離開程式(&Q)");
inline const QString Save = QStringLiteral("參數儲存");
inline const QString Load = QStringLiteral("參數讀取");
inline const QString Write = QStringLiteral("寫入變頻機");
inline const QString Return = QStringLiteral("返回上一頁");
inline const QString Quit = QStringLiteral("離開程式");
inline const QString Reading = QStringLiteral("參數讀取中，請稍候...");
// A page read that gave up at a register.
inline const QString Writing = QStringLiteral("參數寫入中，請稍候");
inline const QString Done = QStringLiteral("參數寫入完成。");
// What a save or a load did: "已儲存 39 項至 Data.txt", "已讀取 39 項自 Data.txt".
inline const QString Saved = QStringLiteral("已儲存 %1 項至 %2");
inline const QString Loaded = QStringLiteral("已讀取 %1 項自 %2");
// After either: which pages the file holds. A page it lacks is neither saved nor loaded; online
// it is read from the drive when its tab is opened.
inline const QString AllPagesHeld = QStringLiteral("，含全部 29 頁");
inline const QString SomePagesHeld = QStringLiteral("，只含 %1 頁（%2），缺 %3 頁（%4）");
// Before a write: what it changes on the drive.
inline const QString PreviewChanges = QStringLiteral("寫入將變更變頻機的 %1 項參數");
inline const QString PreviewUnchanged = QStringLiteral("，另有 %1 項與變頻機相同的值照樣寫入");
inline const QString PreviewQuestion = QStringLiteral("。是否寫入？");
inline const QString PreviewNothing =
    QStringLiteral("畫面上的值與變頻機相同，沒有要變更的參數。是否仍要寫入全部參數？");
inline const QStringList PreviewColumns = {QStringLiteral("參數"), QStringLiteral("名稱"),
                                           QStringLiteral("變頻機的值"), QStringLiteral("寫入後")};
inline const QString PreviewNotRead = QStringLiteral("（未讀取）");
// Leaving with edits the drive has not been given.
inline const QString DropChanges = QStringLiteral("有參數變更尚未寫入變頻機，是否放棄這些變更？");
inline const QString DropChangesTitle = QStringLiteral("參數未寫入");
inline const QString MonitorItem = QStringLiteral("通訊監視(&L)");
inline const QString CloseAfterWrite = QStringLiteral("參數寫入中，寫入結束後關閉視窗，請稍候");
inline const QString AskRunning =
    QStringLiteral("目前變頻機為運轉狀態，部分參數無法在運轉狀態下寫入，是否確定繼續寫入?");
inline const QString RunningTitle = QStringLiteral("變頻機運轉設定");
inline const QString NoAnswer = QStringLiteral("變頻機未回應，未寫入任何參數。");
inline const QString CommErrorTitle = QStringLiteral("通訊錯誤");
inline const QString BlocksDisagree =
    QStringLiteral("變頻機的區塊讀取結果與單筆讀取不符，已改為單筆讀取。");
inline const QString PortLost = QStringLiteral("通訊埠已中斷，請檢查連接線。");
// After a lost port nothing is the drive's fault: the technician reconnects from the menu.
inline const QString ReconnectItem = QStringLiteral("重新連線(&C)");
inline const QString PortLostStatus =
    QStringLiteral("通訊埠已中斷，請檢查連接線後選「變頻機(I) > 重新連線」。");
inline const QString ReconnectFailed = QStringLiteral("通訊埠仍無法開啟，請檢查連接線。");
inline const QString NotCompleteTitle = QStringLiteral("寫入未完成");
inline const QString CheckTitle = QStringLiteral("ERROR");
// "P09.15 範圍不在…。（另有 2 項）" in the status line after a check failed.
inline const QString ChecksFailed = QStringLiteral("%1（另有 %2 項）");
inline const QString DriveHeldQuestion = QStringLiteral(
    "下列參數是變頻機本身目前的值，讀取後未變更，不在檢查範圍內：\n%1\n"
    "是否略過這些參數，寫入其餘參數？");
inline const QString SaveRefused = QStringLiteral("%1\n檔案未儲存。");
inline const QString Unshown =
    QStringLiteral("此欄位無法顯示變頻機的值 %1，寫入時略過此參數，儲存時存入此值。");
inline const QString UnshownFromFile =
    QStringLiteral("此欄位無法顯示檔案中的值 %1，寫入時略過此參數，儲存時存入此值。");
inline const QString UnreadCopy =
    QStringLiteral("%1 讀取失敗，此欄位無法確認，寫入時略過此參數，儲存時存入此值 %2。");
inline const QString SaveFilter = QStringLiteral("Text Files (*.txt);;All Files (*.*)");
inline const QString LoadFilter = QStringLiteral("Text Files(*.txt)");
inline const QString FileError = QString::fromUtf8(kFileErrorTitle);
inline const QString NoPage = QString::fromUtf8(kNoPageText);
inline QString fileFault(const ParameterFileError& fault) {
    return QString::fromStdString(describeFileError(fault));
}
// A file with lines the format cannot read: the lines (at most kUnreadShown), then the question.
inline const QString UnreadLines = QStringLiteral("檔案中有 %1 行無法讀取：\n%2");
inline const QString MoreUnread = QStringLiteral("……另有 %1 行");
inline const QString SkipUnreadQuestion = QStringLiteral("\n\n略過這些行，讀取其餘的參數？");
inline constexpr int kUnreadShown = 10;
inline const QString DefaultFileName = QString::fromUtf8(kDefaultFileName);
inline const QString Offline = QStringLiteral("離線模式");
// Find.
inline const QString FindItem = QStringLiteral("尋找(&F)");
inline const QString ChangeLogFolderItem = QStringLiteral("開啟變更記錄資料夾(&D)");
inline const QString FindLabel = QStringLiteral("尋找：");
inline const QString FindHint = QStringLiteral("代碼（P09.15）、暫存器（#261）或名稱的一部分");
inline const QString NoMatch = QStringLiteral("沒有符合的參數");
// Marks on the fields and their legend.
inline const QString Legend = QStringLiteral(
    "<span style='color:#d55e00'>▌</span><b>粗體</b> 已修改未寫入　"
    "<span style='background-color:#dcebf7'>&nbsp;&nbsp;&nbsp;&nbsp;</span> 與出廠值不同　"
    "<span style='background-color:#ffd0d0'>&nbsp;&nbsp;&nbsp;&nbsp;</span> 無法顯示　"
    "<span style='background-color:#fff0c0; border: 1px dashed #c00000'>&nbsp;&nbsp;&nbsp;&nbsp;"
    "</span> 格式不符");
inline const QString ChangedTabMark = QStringLiteral(" •");
// Read all.
inline const QString ReadAllItem = QStringLiteral("讀取全部(&A)");
inline const QString ReadAllProgress =
    QStringLiteral("讀取全部：%1（第 %2/%3 頁），暫存器 %4%5（Esc 停止）");
inline const QString TimeLeft = QStringLiteral("，約剩 %1 秒");
inline const QString ReadAllStopped = QStringLiteral("讀取全部已停止。");
// Compare.
inline const QString CompareItem = QStringLiteral("比較(&M)");
inline const QString CompareTitle = QStringLiteral("VELORIN － 參數比較");
inline const QString CompareFileTitle = QStringLiteral("比較");
inline const QString CompareDrive = QStringLiteral("變頻機");
inline const QString CompareEditor = QStringLiteral("編輯器");
inline const QString CompareFile = QStringLiteral("檔案");
inline const QString CompareFactory = QStringLiteral("出廠值");
inline const QString CompareSets = QStringLiteral("比較：");
inline const QString ChooseCompareFile = QStringLiteral("選擇檔案…");
inline const QString OnlyDifferent = QStringLiteral("只顯示不同");
inline const QString ShowAll = QStringLiteral("全部");
inline const QString CompareAgain = QStringLiteral("重新比較");
inline const QString SaveCsv = QStringLiteral("另存 CSV…");
inline const QString CsvFilter = QStringLiteral("CSV 檔 (*.csv)");
inline const QString CompareCsvName = QStringLiteral("參數比較.csv");
// "3 項不同，共 487 項"
inline const QString CompareSummary = QStringLiteral("%1 項不同，共 %2 項");
inline const QString ChooseTwoSets = QStringLiteral("請選擇至少兩組參數比較。");
// Questions before a write.
inline const QString ResetTitle = QStringLiteral("參數重置");
inline const QString WarningTitle = QStringLiteral("參數設定警告");
// Through a network gateway, before a write that moves the drive's link: what changes, and what
// the gateway must be set to.
inline const QString GatewayTitle = QStringLiteral("網路閘道");
inline const QString GatewayLinkChange = QStringLiteral(
    "經由網路閘道 %1 寫入後，變頻機將改用：%2。閘道無法跟隨，請先將閘道的串列埠"
    "設為相同設定，並以新站號連線。是否仍要寫入？");
inline const QString GatewayStation = QStringLiteral("站號 %1");
inline const QString GatewayRate = QStringLiteral("鮑率 %1");
inline const QString GatewayFormat = QStringLiteral("通訊格式 %1");
inline const QString GatewayReset = QStringLiteral("出廠設定 9600,N,7,2（ASCII）、站號 1");

// ---- The editor core's outcomes in words (EditorTexts.cpp) ----
// The report of a write that was not complete: why it stopped, then "P01.06 起動轉速：變頻機未回應"
// for at most `maxLines` parameters, then "…及其他 N 項".
QStringList writeReport(const WriteOutcome& outcome, int maxLines = 20);
// "寫入後變頻機可能顯示 ErP1 …，是否仍要寫入？"
QString warningQuestion(const std::vector<DriveWarning>& warnings);
inline const QString ResetQuestion = QStringLiteral(
    "P17.08 將重置變頻機全部參數為出廠值，通訊設定將回到 9600,N,7,2、站號 1。是否繼續？");
// A field's tooltip: code and name, range in force, factory value, and the value it was given as
// shown and raw.
QString fieldTip(const FieldFacts& facts);
// "P09.17 須為整數（0~65535），「1,5」不符。"
QString refusal(const FieldRefusal& refusal);
// A value the write preview shows: as its field shows it, or "無法顯示（raw）".
QString previewValue(const WritePreview::Value& value);
// A backup's sidecar: "這個檔案來自機種 101 的變頻機（站號 1，9600,N,7,2），備份於 …，運轉 1210
// 小時。", and why a file is refused (empty when it is not).
QString sidecarOrigin(const BackupSidecar& sidecar);
QString sidecarRefusal(const SidecarCheck& check);
inline const QString SidecarTitle = QStringLiteral("備份說明檔");
inline const QString TakeAnyway = QStringLiteral("%1\n%2\n是否仍要讀取這個檔案？");
inline const QString NoSidecar = QStringLiteral("檔案已儲存，但無法在旁邊寫入說明檔（%1）：%2");

}  // namespace velorin::editortext
