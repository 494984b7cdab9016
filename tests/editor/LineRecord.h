#pragma once
// What went on the line, request by request, as the line sessions tell it; and the rule tables of
// tests/*/data, whose entries name registers as "odd registers 59–77", "90, 92" or "10–13".

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "link/Transaction.h"
#include "support/LineTap.h"

namespace velorin::test {

struct Request {
    FunctionCode function = FunctionCode::ReadRegisters;
    int reg = 0;
    bool operator==(const Request&) const = default;
};

// Records every request of the sessions that tell `observers` while it lives. `onReply(n)` runs
// once the n-th request (from 1) has had its reply or its silence, before the next one goes out.
class LineRecord {
public:
    explicit LineRecord(LineObservers& observers)
        : m_tap(observers, [this](const TransactionRecord& t) {
              m_requests.push_back({t.function, t.reg});
              if (onReply)
                  onReply(static_cast<int>(m_requests.size()));
          }) {}
    const std::vector<Request>& requests() const { return m_requests; }
    std::vector<int> reads() const {
        std::vector<int> regs;
        for (const Request& r : m_requests)
            if (r.function == FunctionCode::ReadRegisters)
                regs.push_back(r.reg);
        return regs;
    }
    void clear() { m_requests.clear(); }
    std::function<void(int)> onReply;

private:
    std::vector<Request> m_requests;
    LineTap m_tap;
};

inline std::vector<int> span(int first, int last) {
    std::vector<int> regs;
    for (int r = first; r <= last; ++r) regs.push_back(r);
    return regs;
}

// The rows of a tab-separated table; lines starting with '#' are notes.
inline std::vector<std::vector<std::string>> tsvRows(const std::string& path) {
    std::vector<std::vector<std::string>> table;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        auto& row = table.emplace_back();
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) row.push_back(cell);
    }
    EXPECT_FALSE(table.empty()) << path;
    return table;
}

struct RuleEntry {
    std::vector<int> regs;
    std::string rule;
};

// Every entry of a table, whatever its row.
inline std::vector<RuleEntry> ruleTable(const std::string& path) {
    static const std::regex entry(
        R"((odd registers |even registers )?(\d+(?:–\d+)?(?:, \d+(?:–\d+)?)*) (.+))");
    std::vector<RuleEntry> entries;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::string rest = line.substr(line.find('\t') + 1) + "; ";
        for (std::size_t at = 0, end; (end = rest.find("; ", at)) != std::string::npos;
             at = end + 2) {
            const std::string item = rest.substr(at, end - at);
            std::smatch m;
            if (!std::regex_match(item, m, entry)) {
                ADD_FAILURE() << "unreadable entry: " << item;
                continue;
            }
            RuleEntry& e = entries.emplace_back(RuleEntry{{}, m[3]});
            std::istringstream parts(m[2]);
            for (std::string part; std::getline(parts, part, ',');) {
                const auto dash = part.find("–");  // 3 bytes in UTF-8
                const int first = std::stoi(part);
                const int last =
                    dash == std::string::npos ? first : std::stoi(part.substr(dash + 3));
                for (int r = first; r <= last; ++r)
                    if (m[1].length() == 0 || (m[1].str()[0] == 'o') == (r % 2 == 1))
                        e.regs.push_back(r);
            }
        }
    }
    EXPECT_FALSE(entries.empty()) << path;
    return entries;
}

}  // namespace velorin::test
