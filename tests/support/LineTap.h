#pragma once
// Runs a function for each transaction the observed sessions make, while it lives.

#include <functional>
#include <utility>

#include "link/Transaction.h"

namespace velorin::test {

class LineTap : public TransactionObserver {
public:
    LineTap(LineObservers& observers, std::function<void(const TransactionRecord&)> told)
        : m_observers(observers), m_told(std::move(told)) {
        m_observers.add(*this);
    }
    ~LineTap() { m_observers.remove(*this); }
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;
    void onTransaction(const TransactionRecord& record) override { m_told(record); }

private:
    LineObservers& m_observers;
    std::function<void(const TransactionRecord&)> m_told;
};

}  // namespace velorin::test
