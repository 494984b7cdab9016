#include "texts/ServiceReport.h"

#include "model/FaultRegisters.h"
#include "model/Sha256.h"
#include "texts/FaultHistoryText.h"

namespace velorin {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string row(const std::vector<std::string>& cells, const char* tag = "td") {
    std::string out = "<tr>";
    for (const std::string& c : cells)
        out += std::string("<") + tag + ">" + escaped(c) + "</" + tag + ">";
    return out + "</tr>\n";
}

std::string table(const std::vector<std::string>& header,
                  const std::vector<std::vector<std::string>>& rows) {
    std::string out = "<table>\n" + row(header, "th");
    for (const auto& r : rows) out += row(r);
    return out + "</table>\n";
}

std::optional<std::int32_t> valueOf(const ParameterSet& set, int reg) {
    if (reg < 0 || reg >= kFileRegisterCount)
        return std::nullopt;
    return set.load.values[reg];
}

std::string timeOf(const ParameterSet& set, int hoursReg, int secondsReg) {
    const auto hours = valueOf(set, hoursReg), seconds = valueOf(set, secondsReg);
    if (!hours || !seconds)
        return "—";
    return runTimeText(std::int64_t{*hours} * 3600 + *seconds);
}

// The rows of two sets that differ, as code, name, first, second.
std::vector<std::vector<std::string>> differing(const ParameterSet& first,
                                                const ParameterSet& second) {
    const std::vector<ParameterSet> sets{first, second};
    std::vector<std::vector<std::string>> rows;
    for (const CompareRow& r : compareSets(sets).rows) {
        if (!r.inEverySet() || !r.differs)
            continue;
        const ParameterInfo& info = Catalogue::instance().parameter(r.reg);
        rows.push_back(
            {info.code, info.name, comparedText(r.values[0]), comparedText(r.values[1])});
    }
    return rows;
}

std::string faultSection(const ParameterSet& set) {
    const FaultHistory history = decodeFaultHistory([&set](int reg) { return valueOf(set, reg); });
    std::string out = "<h2>異常履歷</h2>\n";
    if (history.records.empty()) {
        out += "<p>" + std::string(kNoFaults) + "</p>\n";
    } else {
        std::vector<std::vector<std::string>> rows;
        for (const FaultRecord& r : history.records)
            rows.push_back({r.slotName, faultText(r), r.shortCode,
                            r.hours ? std::to_string(*r.hours) : "",
                            r.secondsAgo ? agoText(*r.secondsAgo) : ""});
        out += table({"記錄", "異常", "代碼", "運轉時數", "距今"}, rows);
    }
    std::vector<std::vector<std::string>> seen;
    for (const SeenValue& s : history.seen)
        seen.push_back(
            {s.code, s.name, s.shown + (s.unit.empty() || s.shown.empty() ? "" : " " + s.unit)});
    const auto terminals = [](const std::vector<TerminalState>& states) {
        std::string on;
        for (const TerminalState& t : states)
            if (t.on)
                on += (on.empty() ? "" : " ") + t.name;
        return on.empty() ? std::string("—") : on;
    };
    if (history.inputBits)
        seen.push_back({Catalogue::codeOf(faultregs::kInputTerminals),
                        Catalogue::instance().parameter(faultregs::kInputTerminals).name,
                        terminals(history.inputs)});
    if (history.outputBits)
        seen.push_back({Catalogue::codeOf(faultregs::kOutputTerminals),
                        Catalogue::instance().parameter(faultregs::kOutputTerminals).name,
                        terminals(history.outputs)});
    return out + "<h3>最新異常發生時</h3>\n" + table({"參數", "名稱", "數值"}, seen);
}

}  // namespace

std::vector<ChangeEntry> changesOfStation(const std::vector<ChangeEntry>& entries, int station) {
    std::vector<ChangeEntry> out;
    for (const ChangeEntry& e : entries)
        if (e.station == station)
            out.push_back(e);
    return out;
}

std::string serviceReportHtml(const ReportInputs& in) {
    using namespace faultregs;
    std::string html =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + std::string(kReportTitle) +
        "</title>\n<style>body{font-family:'AR PL UMing TW','新細明體',serif;font-size:10pt}"
        "table{border-collapse:collapse;margin-bottom:8pt}th,td{border:1px solid #888;"
        "padding:2px 6px;text-align:left}th{background:#e8e8e8}</style></head><body>\n<h1>" +
        std::string(kReportTitle) + "</h1>\n";
    html +=
        "<h2>變頻機</h2>\n" +
        table({"項目", "內容"}, {{"機種（P17.11）", in.model ? std::to_string(*in.model) : "—"},
                                 {"累計運轉時間", timeOf(in.drive, kRunHours, kRunSeconds)},
                                 {"累計開機時間", timeOf(in.drive, kPowerOnHours, kPowerOnSeconds)},
                                 {"站號", std::to_string(in.station)},
                                 {"通訊", in.link},
                                 {"參數來源", in.source},
                                 {"報告時間", in.date},
                                 {"程式版本", in.program},
                                 {"參數組 SHA-256", sha256Hex(in.setBytes)}});
    const auto factory = differing(factorySet(), in.drive);
    html += "<h2>與出廠值不同的參數（" + std::to_string(factory.size()) + " 項）</h2>\n" +
            table({"代碼", "名稱", "出廠值", "變頻機"}, factory);
    if (in.against) {
        const auto against = differing(in.drive, *in.against);
        html += "<h2>與 " + escaped(in.againstName) + " 不同的參數（" +
                std::to_string(against.size()) + " 項）</h2>\n" +
                table({"代碼", "名稱", "變頻機", "檔案"}, against);
    }
    html += faultSection(in.drive);
    std::vector<std::vector<std::string>> changes;
    for (const ChangeEntry& e : in.changes)
        changes.push_back({e.time, e.code, e.name, e.oldShown, e.newShown,
                           e.confirmed ? kConfirmedText : kNotConfirmedText, e.command});
    html += "<h2>變更記錄（" + std::to_string(changes.size()) + " 筆）</h2>\n" +
            table({"時間", "代碼", "名稱", "原值", "新值", "確認", "來源"}, changes);
    return html + "</body></html>\n";
}

}  // namespace velorin
