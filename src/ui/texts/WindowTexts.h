#pragma once
// The windows' words for what the cores below them hand back as typed values, grouped by topic:
// the link in the status line, the change log's notice, the developers' bulk write (mode menu)
// and the line monitor. Words velorin-cli says alike
// (the link's outcomes, the fault history, the service report) are in texts/.

#include <cstdint>
#include <string>

#include "drive/DeveloperWrite.h"
#include "records/LineMonitor.h"

namespace velorin {

// ---- The link in use, as every window's status line names it ----

// "站號 1", after the port, the settings and the framing.
inline constexpr const char* kStationText = "站號 %1";
// After the port's name once the port is gone.
inline constexpr const char* kPortLostText = "通訊埠已中斷";
// Beside the link once the drive was seen to answer late; %1 is the new wait in milliseconds.
inline constexpr const char* kSlowDriveText = "變頻機回應慢於 0.1 秒，已延長等待時間至 %1 毫秒";

// ---- The change log of a window's write ----

inline constexpr const char* kChangeLogTitle = "變更記錄";
// %1 is why the log could not be written; told once in the program's run.
inline constexpr const char* kChangeLogFailedText =
    "無法寫入變更記錄（%1）。參數照常寫入變頻機，本次執行不再提示。";

// ---- The developers' bulk write (mode menu, F12) ----

inline constexpr const char* kDeveloperPrompt = "F12為開發專用功能，請輸入開發密碼。";
inline constexpr const char* kDeveloperTitle = "開發功能";
inline constexpr const char* kWrongPasswordText = "密碼錯誤!!";
inline constexpr const char* kWrongPasswordTitle = "ERROR";
inline constexpr const char* kDeveloperProgressText = "開發參數寫入中，請稍候";
// What the change log names the bulk write by, with the file's name.
inline constexpr const char* kDeveloperCommand = "開發參數寫入";
inline constexpr const char* kFileErrorTitle = "檔案錯誤";

struct MessageBoxText {
    std::string title;
    std::string text;
    bool operator==(const MessageBoxText&) const = default;
};

// The box a notice of the run is told in: "第 3
// 項「P12」：缺少編號與數值之間的空格。未寫入任何參數。" under "檔案錯誤", "通訊埠已中斷，已寫入 1
// 項，其餘未寫入。" under "通訊錯誤", the summary "開發參數寫入完成：寫入 2 項，未確認 1 項" (then
// the first 20 unconfirmed, "P11" a line) under "開發功能" …
MessageBoxText developerNoticeText(const DeveloperNotice& notice);

// ---- The line monitor ----

// What happened: "正常", "無回應", "CRC 錯誤", "例外碼 02" …, with "，回波" for an adapter's
// echo, "，遲到回應已略過" for a reply set aside and "（疑慮重讀）" for a read sent again.
std::string monitorOutcomeText(const MonitorRow& row);
// "讀取" for a read, "寫入" for a write.
std::string monitorFunctionText(FunctionCode function);
// A read's value or the value written; empty when there is none. A block: "(3 筆) 1 2 3".
std::string monitorValueText(const MonitorRow& row);
// "請求 120　失敗 3　重讀 2　遲到 1　平均 12.3 ms　最長 48.0 ms"
std::string monitorCountsText(const MonitorCounts& counts);
// The rows as CSV with a header row, in UTF-8 with a byte-order mark and CR LF line ends, as a
// spreadsheet on a Chinese Windows PC reads it.
std::string monitorCsv(const LineMonitor& monitor);

}  // namespace velorin
