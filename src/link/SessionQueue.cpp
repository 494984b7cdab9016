// The line session's queue: operations run one at a time in the order they came, a stop ahead of
// the queued ones but never ahead of a run or jog command.

#include <algorithm>

#include "LineSession.h"

namespace velorin {

void LineSession::submit(Operation operation, Order order) {
    if (order == Order::Urgent) {
        // Behind the last Barrier or Urgent operation still queued, ahead of the Normal ones.
        auto it = std::find_if(m_queue.rbegin(), m_queue.rend(),
                               [](const Queued& q) { return q.order != Order::Normal; });
        m_queue.insert(it.base(), {order, std::move(operation)});
    } else {
        m_queue.push_back({order, std::move(operation)});
    }
    if (m_queueState == QueueState::Idle) {
        if (m_portState == PortState::Lost)
            reconnect();  // a new job: a dropped connection is tried once more
        drain();
    }
}

void LineSession::drain() {
    m_queueState = QueueState::Running;
    while (!m_queue.empty()) {
        Operation next = std::move(m_queue.front().operation);
        m_queue.pop_front();
        if (m_queueState == QueueState::Stopping)
            continue;  // dropped by stop()
        next();
    }
    m_queueState = QueueState::Idle;
    auto actions = std::move(m_idleActions);
    m_idleActions.clear();
    for (auto& a : actions) a();
}

void LineSession::stop() {
    if (m_queueState == QueueState::Running)
        m_queueState = QueueState::Stopping;
    m_queue.clear();
}

void LineSession::whenIdle(std::function<void()> action) {
    if (m_queueState == QueueState::Idle) {
        action();
        return;
    }
    m_idleActions.push_back(std::move(action));
}

}  // namespace velorin
