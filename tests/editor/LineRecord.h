#pragma once
// What went on the line, request by request; and the rows of the tables of tests/*/data.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "link/Transaction.h"
#include "support/LineTap.h"

namespace velorin::test {

using Request = std::pair<FunctionCode, int>;  // the function and the register

// Records every request of the sessions that tell `observers` while it lives. `onReply(n)` runs
// once the n-th request (from 1) has had its reply or its silence, before the next one goes out.
class LineRecord {
public:
    explicit LineRecord(LineObservers& observers)
        : m_tap(observers, [this](const TransactionRecord& t) {
              m_requests.push_back({t.function, t.reg});
              m_purposes.push_back(t.purpose);
              if (onReply)
                  onReply(static_cast<int>(m_requests.size()));
          }) {}
    const std::vector<Request>& requests() const { return m_requests; }
    // The registers read, or written, in order, each time a request was sent.
    std::vector<int> reads() const { return registers(FunctionCode::ReadRegisters); }
    std::vector<int> writes() const { return registers(FunctionCode::WriteRegister); }
    // The registers asked for the first time, in order: without the reads that confirm a value,
    // ask a failed register again or read a write back.
    std::vector<int> firstReads() const {
        std::vector<int> regs;
        for (std::size_t i = 0; i < m_requests.size(); ++i)
            if (m_purposes[i] == RequestPurpose::Read)
                regs.push_back(m_requests[i].second);
        return regs;
    }
    void clear() {
        m_requests.clear();
        m_purposes.clear();
    }
    std::function<void(int)> onReply;

private:
    std::vector<int> registers(FunctionCode function) const {
        std::vector<int> regs;
        for (const auto& [f, reg] : m_requests)
            if (f == function)
                regs.push_back(reg);
        return regs;
    }
    std::vector<Request> m_requests;
    std::vector<RequestPurpose> m_purposes;
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

}  // namespace velorin::test
