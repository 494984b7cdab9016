#include "LineMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "model/CsvText.h"

namespace velorin {

namespace {

std::string milliseconds(Micros t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(t.count()) / 1000.0);
    return text;
}

constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;

std::int64_t utcTimeOfDayMs() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % kDayMs;
}

}  // namespace

LineMonitor::LineMonitor(TimedWait& clock, TimeOfDay timeOfDay)
    : m_clock(clock),
      m_start(clock.now()),
      m_timeOfDay(timeOfDay ? std::move(timeOfDay) : TimeOfDay(utcTimeOfDayMs)),
      m_startOfDayMs(m_timeOfDay()) {}

void LineMonitor::record(MonitorRow row) {
    MonitorCounts& c = m_counts;
    ++c.requests;
    const LinkOutcome o = row.check.outcome;
    if (o != LinkOutcome::Ok && o != LinkOutcome::Exception)
        ++c.failed;
    c.repeated += row.askedAgain;
    c.late += row.setAside;
    if (row.latency && row.check.complete()) {
        ++c.answered;
        c.latencySum += *row.latency;
        c.latencyMax = std::max(c.latencyMax, *row.latency);
    }
    row.at -= m_start;
    const std::int64_t sinceStartMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(row.at).count();
    row.timeOfDayMs = ((m_startOfDayMs + sinceStartMs) % kDayMs + kDayMs) % kDayMs;
    m_rows.push_back(std::move(row));
    if (m_rows.size() > kRowsKept)
        m_rows.pop_front();
    ++m_recorded;
}

void LineMonitor::onTransaction(const TransactionRecord& t) {
    MonitorRow row;
    row.at = t.notes.sentAt;
    row.station = t.station;
    row.function = t.function;
    row.reg = t.reg;
    row.word = t.word;
    row.framing = t.framing;
    row.request.assign(t.request.begin(), t.request.end());
    row.received.assign(t.received.begin(), t.received.end());
    row.check = t.check;
    row.askedAgain = t.purpose == RequestPurpose::ReadAgain;
    row.setAside = t.notes.tooSoon || t.notes.lateReplyHeard || t.notes.otherTransactions > 0;
    row.copies = t.notes.copies;
    row.settings = t.settings;
    if (t.check.complete() && t.notes.answeredAfter >= Micros{0})
        row.latency =
            std::max(Micros{0}, t.notes.sentAt + t.notes.answeredAfter - t.notes.requestEnd);
    record(std::move(row));
}

void LineMonitor::clear() {
    m_rows.clear();
    m_counts = {};
    m_recorded = 0;
    m_start = m_clock.now();
    m_startOfDayMs = m_timeOfDay();
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

std::string monitorBytesText(Framing framing, const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char hex[8];
    if (isBinary(framing)) {
        for (std::uint8_t b : bytes) {
            std::snprintf(hex, sizeof hex, text.empty() ? "%02X" : " %02X", b);
            text += hex;
        }
        return text;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        const bool lineEnd = (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ||
                             (b == '\n' && i > 0 && bytes[i - 1] == '\r');
        if (lineEnd)
            continue;
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            std::snprintf(hex, sizeof hex, "<%02X>", b);
            text += hex;
        }
    }
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

std::string monitorClockText(std::int64_t ms) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return text;
}

std::string monitorCsv(const LineMonitor& monitor) {
    // The mark tells a spreadsheet the file is UTF-8; without it one on a Chinese Windows PC
    // reads the bytes as Big5.
    std::string csv =
        "\xEF\xBB\xBF時刻,時間(ms),線路設定,站號,功能,暫存器,數值,請求,回應,結果,延遲(ms)\r\n";
    for (const MonitorRow& row : monitor.rows()) {
        const std::string fields[] = {monitorClockText(row.timeOfDayMs),
                                      milliseconds(row.at),
                                      row.settings,
                                      std::to_string(row.station),
                                      monitorFunctionText(row.function),
                                      std::to_string(row.reg),
                                      monitorValueText(row),
                                      monitorBytesText(row.framing, row.request),
                                      monitorBytesText(row.framing, row.received),
                                      monitorOutcomeText(row),
                                      row.latency ? milliseconds(*row.latency) : std::string()};
        std::string line = csvLine(fields);
        line.insert(line.size() - 1, 1, '\r');
        csv += line;
    }
    return csv;
}

std::string monitorCountsText(const MonitorCounts& c) {
    return "請求 " + std::to_string(c.requests) + "　失敗 " + std::to_string(c.failed) + "　重讀 " +
           std::to_string(c.repeated) + "　遲到 " + std::to_string(c.late) + "　平均 " +
           milliseconds(c.averageLatency()) + " ms　最長 " + milliseconds(c.latencyMax) + " ms";
}

}  // namespace velorin
