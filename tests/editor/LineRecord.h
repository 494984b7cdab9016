#pragma once
// What went on the line, request by request, as function and register, taken from the link's
// trace; and the rule tables of tests/*/data, whose entries name registers the way the drive's
// documentation does ("odd registers 59–77", "90, 92", "10–13").

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "link/MBus.h"

namespace velorin::test {

struct Request {
    int function = 0;
    int reg = 0;
    bool operator==(const Request&) const = default;
};

// Records every request while it lives. `onReply(n)` runs after the reply (or its absence) to
// the n-th request (counted from 1), before the next one goes out.
class LineRecord {
public:
    LineRecord() {
        setLinkTrace([this](const LinkTraceEvent& e) {
            if (e.sent) {
                m_requests.push_back(decode(e));
            } else if (onReply) {
                onReply(static_cast<int>(m_requests.size()));
            }
        });
    }
    ~LineRecord() { setLinkTrace({}); }
    LineRecord(const LineRecord&) = delete;
    LineRecord& operator=(const LineRecord&) = delete;

    const std::vector<Request>& requests() const { return m_requests; }
    // Registers of the reads, in order.
    std::vector<int> reads() const {
        std::vector<int> regs;
        for (const Request& r : m_requests)
            if (r.function == 3)
                regs.push_back(r.reg);
        return regs;
    }
    void clear() { m_requests.clear(); }
    std::function<void(int)> onReply;

private:
    static Request decode(const LinkTraceEvent& e) {
        if (e.rtu)
            return {e.bytes.at(1), e.bytes.at(2) << 8 | e.bytes.at(3)};
        const std::string frame(e.bytes.begin(), e.bytes.end());  // ":SSFFRRRR..."
        return {std::stoi(frame.substr(3, 2), nullptr, 16),
                std::stoi(frame.substr(5, 4), nullptr, 16)};
    }
    std::vector<Request> m_requests;
};

inline std::vector<int> span(int first, int last) {
    std::vector<int> regs;
    for (int r = first; r <= last; ++r) regs.push_back(r);
    return regs;
}

// One entry of a rule table: the registers it names and what it says of them.
struct RuleEntry {
    std::vector<int> regs;
    std::string rule;
};

// The rows of a table under `folder`: first column, then the entries of the second.
inline std::vector<std::pair<std::string, std::vector<RuleEntry>>> ruleTable(
    const std::string& path) {
    static const std::regex entry(
        R"(^(odd registers |even registers )?(\d+(?:–\d+)?(?:, \d+(?:–\d+)?)*) (.+)$)");
    std::vector<std::pair<std::string, std::vector<RuleEntry>>> table;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        auto& row = table.emplace_back(line.substr(0, tab), std::vector<RuleEntry>{});
        std::string rest = line.substr(tab + 1);
        for (std::size_t at = 0; at < rest.size();) {
            const std::size_t end = std::min(rest.find("; ", at), rest.size());
            const std::string item = rest.substr(at, end - at);
            at = end + 2;
            std::smatch m;
            if (!std::regex_match(item, m, entry)) {
                ADD_FAILURE() << "unreadable entry: " << item;
                continue;
            }
            RuleEntry e{{}, m[3]};
            const std::string parity = m[1];
            std::istringstream parts(m[2]);
            for (std::string part; std::getline(parts, part, ',');) {
                const int first = std::stoi(part);
                const auto dash = part.find("–");
                const int last =
                    dash == std::string::npos ? first : std::stoi(part.substr(dash + 3));
                for (int r = first; r <= last; ++r)
                    if (parity.empty() || (parity[0] == 'o') == (r % 2 == 1))
                        e.regs.push_back(r);
            }
            row.second.push_back(std::move(e));
        }
    }
    EXPECT_FALSE(table.empty()) << path;
    return table;
}

}  // namespace velorin::test
