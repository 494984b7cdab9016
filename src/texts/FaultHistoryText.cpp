// The fault history in the three forms velorin-cli prints: tab-separated text for people and
// `cut -f`, CSV of the faults, and one JSON object with everything.

#include "texts/FaultHistoryText.h"

#include <cstdio>

#include "editor/JsonText.h"
#include "model/Catalogue.h"
#include "model/CsvText.h"

namespace velorin {

namespace {

std::string orEmpty(const std::optional<std::int32_t>& v) {
    return v ? std::to_string(*v) : std::string();
}

std::string onTerminals(const std::vector<TerminalState>& states) {
    std::string on;
    for (const TerminalState& t : states)
        if (t.on)
            on += (on.empty() ? "" : " ") + t.name;
    return on.empty() ? "-" : on;
}

template <class T>
std::string jsonOr(const std::optional<T>& v) {
    return v ? std::to_string(*v) : "null";
}

std::string jsonTerminals(const std::optional<std::int32_t>& bits,
                          const std::vector<TerminalState>& states) {
    std::string on;
    for (const TerminalState& t : states)
        if (t.on)
            on += (on.empty() ? "" : ",") + jsonQuoted(t.name);
    return "{\"bits\":" + jsonOr(bits) + ",\"on\":[" + on + "]}";
}

}  // namespace

std::string agoText(std::int64_t seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1f 小時前", static_cast<double>(seconds) / 3600.0);
    return text;
}

std::string runTimeText(std::int64_t seconds) {
    return std::to_string(seconds / 3600) + " 小時 " + std::to_string(seconds % 3600 / 60) + " 分";
}

std::string faultText(const FaultRecord& record) {
    if (!record.text.empty())
        return record.text;
    return "未知異常（" + std::to_string(record.number) + "）";
}

std::string faultHistoryText(const FaultHistory& history) {
    std::string out;
    if (history.records.empty())
        out += std::string(kNoFaults) + "\n";
    for (const FaultRecord& r : history.records)
        out += r.slotName + "\t" + faultText(r) + "\t" +
               (r.hours ? std::to_string(*r.hours) + " 小時" : "") + "\t" +
               (r.secondsAgo ? agoText(*r.secondsAgo) : "") + "\n";
    if (history.runSeconds)
        out += "累計運轉時間\t" + runTimeText(*history.runSeconds) + "\n";
    for (const SeenValue& s : history.seen)
        out += s.code + " " + s.name + "\t" + s.shown + (s.unit.empty() ? "" : " " + s.unit) + "\n";
    const auto& catalogue = Catalogue::instance();
    using namespace faultregs;
    if (history.inputBits)
        out += catalogue.codeOf(kInputTerminals) + " " + catalogue.parameter(kInputTerminals).name +
               "\t" + onTerminals(history.inputs) + "\n";
    if (history.outputBits)
        out += catalogue.codeOf(kOutputTerminals) + " " +
               catalogue.parameter(kOutputTerminals).name + "\t" + onTerminals(history.outputs) +
               "\n";
    return out;
}

std::string faultHistoryCsv(const FaultHistory& history) {
    const std::string header[] = {"slot", "number", "code", "text", "hours", "seconds_ago"};
    std::string out = csvLine(header);
    for (const FaultRecord& r : history.records) {
        const std::string row[] = {std::to_string(r.slot),
                                   std::to_string(r.number),
                                   r.shortCode,
                                   faultText(r),
                                   orEmpty(r.hours),
                                   r.secondsAgo ? std::to_string(*r.secondsAgo) : ""};
        out += csvLine(row);
    }
    return out;
}

std::string faultHistoryJson(const FaultHistory& history) {
    std::string faults;
    for (const FaultRecord& r : history.records)
        faults +=
            std::string(faults.empty() ? "\n" : ",\n") + "  {\"slot\":" + std::to_string(r.slot) +
            ",\"number\":" + std::to_string(r.number) + ",\"code\":" + jsonQuoted(r.shortCode) +
            ",\"text\":" + jsonQuoted(faultText(r)) + ",\"hours\":" + jsonOr(r.hours) +
            ",\"seconds_ago\":" + jsonOr(r.secondsAgo) + "}";
    std::string seen;
    for (const SeenValue& s : history.seen)
        seen += std::string(seen.empty() ? "\n" : ",\n") + "  {\"code\":" + jsonQuoted(s.code) +
                ",\"name\":" + jsonQuoted(s.name) + ",\"shown\":" + jsonQuoted(s.shown) +
                ",\"unit\":" + jsonQuoted(s.unit) + "}";
    return "{\"run_seconds\":" + jsonOr(history.runSeconds) + ",\n\"faults\":[" + faults +
           "],\n\"seen\":[" + seen +
           "],\n\"inputs\":" + jsonTerminals(history.inputBits, history.inputs) +
           ",\n\"outputs\":" + jsonTerminals(history.outputBits, history.outputs) + "}\n";
}

}  // namespace velorin
