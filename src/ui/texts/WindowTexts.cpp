#include "ui/texts/WindowTexts.h"

#include <cstdio>

#include "model/CsvText.h"
#include "texts/LinkTexts.h"

namespace velorin {

namespace {

const char* const kLinkTitle = "通訊錯誤";
const char* const kNothingWritten = "未寫入任何參數。";

std::string fileFaultText(DeveloperFileFault fault) {
    switch (fault) {
        case DeveloperFileFault::TooManyEntries:
            return "檔案超過 " + std::to_string(kDeveloperEntryLimit) + " 項";
        case DeveloperFileFault::NoBlank:
            return "缺少編號與數值之間的空格";
        case DeveloperFileFault::NumberNotANumber:
            return "編號不是數字";
        case DeveloperFileFault::NumberTooLarge:
            return "編號超出範圍";
        case DeveloperFileFault::ValueNotANumber:
            return "數值不是數字";
        case DeveloperFileFault::ValueOutOfRange:
            return "數值超出範圍";
        case DeveloperFileFault::BadStation:
            return "站號須在 0 到 255 之間";
        case DeveloperFileFault::BadFormat:
            return "通訊格式須在 0 到 6 之間";
        case DeveloperFileFault::BadRate:
            return "傳輸速率須為 0 到 4，或 48、96、192、384、1152";
    }
    return {};
}

std::string badEntryText(const DeveloperFileError& e) {
    const std::string why = fileFaultText(e.fault);
    const std::string what =
        e.entry > 0 ? "第 " + std::to_string(e.entry) + " 項「" + e.text + "」：" + why : why;
    return what + "。" + kNothingWritten;
}

// Why the run stopped part-way ("通訊埠已中斷"), then how far it came.
std::string stoppedAfter(const std::string& why, int written) {
    return why + "，已寫入 " + std::to_string(written) + " 項，其餘未寫入。";
}

std::string summaryText(int confirmed, const std::vector<int>& unconfirmed) {
    constexpr std::size_t kListed = 20;
    std::string s = "開發參數寫入完成：寫入 " + std::to_string(confirmed) + " 項，未確認 " +
                    std::to_string(unconfirmed.size()) + " 項";
    for (std::size_t i = 0; i < unconfirmed.size() && i < kListed; ++i)
        s += "\nP" + std::to_string(unconfirmed[i]);
    if (unconfirmed.size() > kListed)
        s += "\n…";
    return s;
}

}  // namespace

MessageBoxText developerNoticeText(const DeveloperNotice& n) {
    using Kind = DeveloperNotice::Kind;
    switch (n.kind) {
        case Kind::PortNotOpened:
            return {kLinkTitle, "無法開啟通訊埠，請確認連接埠未被其他程式占用。"};
        case Kind::NoReply:
            return {kLinkTitle, describeOutcome(n.reply, false) + "，" + kNothingWritten};
        case Kind::DriveRunning:
            return {"變頻機運轉中",
                    "目前變頻機為運轉狀態，請手動停止變頻機運轉，否則部分參數將無法寫入。"};
        case Kind::BadFile:
            return {"檔案錯誤", n.fileError ? badEntryText(*n.fileError) : kNothingWritten};
        case Kind::LineLost:
            return {kLinkTitle, stoppedAfter(describeOutcome(n.reply), n.written)};
        case Kind::PortNotReopened:
            return {kLinkTitle, stoppedAfter("無法重新開啟通訊埠", n.written)};
        case Kind::Finished:
            break;
    }
    return {kDeveloperTitle, summaryText(n.confirmed, n.unconfirmed)};
}

std::string monitorOutcomeText(const MonitorRow& row) {
    const ReplyCheck& r = row.check;
    std::string text;
    switch (r.outcome) {
        case LinkOutcome::Ok:
            text = "正常";
            break;
        case LinkOutcome::NoReply:
            text = "無回應";
            break;
        case LinkOutcome::NotAReply:
            text = "非回應資料";
            break;
        case LinkOutcome::BadChecksum:
            text = isRtu(row.framing) ? "CRC 錯誤" : "LRC 錯誤";
            break;
        case LinkOutcome::WrongStation:
            text = "其他站號";
            break;
        case LinkOutcome::WrongFunction:
            text = "功能碼不符";
            break;
        case LinkOutcome::Malformed:
            text = "格式錯誤";
            break;
        case LinkOutcome::Exception: {
            char code[16];
            std::snprintf(code, sizeof code, "例外碼 %02u", static_cast<unsigned>(r.exceptionCode));
            text = code;
            break;
        }
        case LinkOutcome::PortError:
            text = "通訊埠中斷";
            break;
        case LinkOutcome::Stopped:
            text = "已停止";
            break;
        case LinkOutcome::Unsettled:
            text = "線路不穩";
            break;
    }
    // A write's echo is the request's first copy; the drive's reply to a write is a copy too.
    const int drivesCopy =
        row.function == FunctionCode::WriteRegister && r.outcome == LinkOutcome::Ok ? 1 : 0;
    if (row.copies > drivesCopy)
        text += "，回波";
    if (row.setAside)
        text += "，遲到回應已略過";
    if (row.askedAgain)
        text += "（疑慮重讀）";
    if (row.framing == Framing::Mbap)
        text += "（交易 " + std::to_string(mbapTransaction(row.request)) + "）";
    return text;
}

std::string monitorFunctionText(FunctionCode function) {
    return function == FunctionCode::ReadRegisters ? "讀取" : "寫入";
}

std::string monitorValueText(const MonitorRow& row) {
    if (row.function == FunctionCode::WriteRegister)
        return std::to_string(row.word);
    if (row.check.outcome != LinkOutcome::Ok)
        return {};
    if (row.word <= 1)
        return std::to_string(row.check.value);
    // A block is one row: its count, then every value.
    std::string text = "(" + std::to_string(row.word) + " 筆)";
    for (const std::uint16_t v : row.check.values) text += " " + std::to_string(v);
    return text;
}

std::string monitorCsv(const LineMonitor& monitor) {
    // The mark tells a spreadsheet the file is UTF-8; without it one on a Chinese Windows PC
    // reads the bytes as Big5.
    std::string csv =
        "\xEF\xBB\xBF時刻,時間(ms),線路設定,站號,功能,暫存器,數值,請求,回應,結果,延遲(ms)\r\n";
    for (const MonitorRow& row : monitor.rows()) {
        const std::string fields[] = {
            monitorClockText(row.timeOfDayMs),
            monitorMillisecondsText(row.at),
            row.settings,
            std::to_string(row.station),
            monitorFunctionText(row.function),
            std::to_string(row.reg),
            monitorValueText(row),
            monitorBytesText(row.framing, row.request),
            monitorBytesText(row.framing, row.received),
            monitorOutcomeText(row),
            row.latency ? monitorMillisecondsText(*row.latency) : std::string()};
        std::string line = csvLine(fields);
        line.insert(line.size() - 1, 1, '\r');
        csv += line;
    }
    return csv;
}

std::string monitorCountsText(const MonitorCounts& c) {
    return "請求 " + std::to_string(c.requests) + "　失敗 " + std::to_string(c.failed) + "　重讀 " +
           std::to_string(c.repeated) + "　遲到 " + std::to_string(c.late) + "　平均 " +
           monitorMillisecondsText(c.averageLatency()) + " ms　最長 " +
           monitorMillisecondsText(c.latencyMax) + " ms";
}

}  // namespace velorin
