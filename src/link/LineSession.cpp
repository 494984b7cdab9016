#include "LineSession.h"

#include <algorithm>

#include "NumberText.h"

namespace velorin {

std::string describeOutcome(const ReplyCheck& check, bool write) {
    switch (check.outcome) {
        case LinkOutcome::Ok:
            return "正常";
        case LinkOutcome::NoReply:
            return "變頻機未回應";
        case LinkOutcome::BadChecksum:
            return "回應檢查碼錯誤";
        case LinkOutcome::WrongStation:
            return "回應來自其他站號";
        case LinkOutcome::WrongFunction:
            return "回應功能碼不符";
        case LinkOutcome::Malformed:
            return "回應格式錯誤";
        case LinkOutcome::Exception:
            return std::string(write ? "變頻機拒絕寫入" : "變頻機拒絕讀取") + " (例外碼 " +
                   formatNumber(check.exceptionCode, "00") + ")";
        case LinkOutcome::PortError:
            return "通訊埠已中斷";
        case LinkOutcome::Stopped:
            return "已停止";
    }
    return "通訊錯誤";
}

LineSession::LineSession(std::unique_ptr<SerialPort> port) : m_port(std::move(port)) {}

LineSession::~LineSession() {
    if (m_port && m_port->isOpen())
        m_port->close();
}

void LineSession::follow(const LinkState& link) {
    m_framing = link.framing;
    m_station = link.station;
}

OpenResult LineSession::open(int comPort, std::string_view settings) {
    if (m_port->isOpen())
        m_port->close();
    m_port->setCommPort(comPort);
    m_echoKnown = false;
    m_port->setEcho(AdapterEcho::Unknown);
    m_portLost = false;
    if (!m_port->setSettings(settings))
        return OpenResult::BadSettings;
    return m_port->open();
}

bool LineSession::changeSettings(std::string_view settings) {
    return m_port->setSettings(settings);
}

void LineSession::close() {
    if (m_port->isOpen())
        m_port->close();
}

void LineSession::setReplyTimeout(Micros wait) {
    m_port->setReplyWait(wait);
}

long LineSession::lateReplies() const {
    return m_port->lateReplies();
}

int LineSession::framedValue(const ReplyCheck& check) const {
    return isRtu(m_framing) ? check.value : static_cast<std::int16_t>(check.value);
}

ReplyCheck LineSession::transactAt(std::uint8_t station, std::uint8_t function, std::uint16_t reg,
                                   std::uint16_t word) {
    if (m_beforeTransaction && !m_stopRequested && !m_portLost)
        m_beforeTransaction(function, reg);
    if (m_stopRequested)
        return {LinkOutcome::Stopped};
    if (m_portLost)
        return {LinkOutcome::PortError};
    const ReplyCheck r = transact(*m_port, isRtu(m_framing), station, function, reg, word);
    if (function == 3 && r.outcome != LinkOutcome::PortError && r.outcome != LinkOutcome::NoReply)
        m_echoKnown = true;  // something came back: the port has shown its echo, if any
    if (!m_slowDriveTold && m_port->lateReplies() > 0) {
        m_slowDriveTold = true;
        if (m_onSlowDrive)
            m_onSlowDrive();
    }
    if (r.outcome == LinkOutcome::PortError && !m_portLost) {
        m_portLost = true;
        if (m_running)
            m_stopRequested = true;
        if (m_onPortLost)
            m_onPortLost();
    }
    return r;
}

ReplyCheck LineSession::read(std::uint16_t reg) {
    return transactAt(m_station, 3, reg, 1);
}

ReplyCheck LineSession::readAt(std::uint8_t station, std::uint16_t reg) {
    return transactAt(station, 3, reg, 1);
}

ReplyCheck LineSession::write(std::uint16_t reg, std::uint16_t value) {
    return writeAt(m_station, reg, value);
}

ReplyCheck LineSession::writeAt(std::uint8_t station, std::uint16_t reg, std::uint16_t value) {
    if (!m_echoKnown) {
        const ReplyCheck first = transactAt(station, 3, reg, 1);
        if (first.outcome == LinkOutcome::Stopped || first.outcome == LinkOutcome::PortError)
            return first;
    }
    return transactAt(station, 6, reg, value);
}

void LineSession::submit(Operation operation, Order order) {
    if (order == Order::Urgent) {
        // Behind the last Barrier or Urgent operation still queued, ahead of the Normal ones.
        auto it = std::find_if(m_queue.rbegin(), m_queue.rend(),
                               [](const Queued& q) { return q.order != Order::Normal; });
        m_queue.insert(it.base(), {order, std::move(operation)});
    } else {
        m_queue.push_back({order, std::move(operation)});
    }
    if (!m_running)
        drain();
}

void LineSession::drain() {
    m_running = true;
    while (!m_queue.empty()) {
        Operation next = std::move(m_queue.front().operation);
        m_queue.pop_front();
        if (m_stopRequested)
            continue;  // dropped by stop()
        next();
    }
    m_running = false;
    m_stopRequested = false;
    auto actions = std::move(m_idleActions);
    m_idleActions.clear();
    for (auto& a : actions) a();
}

void LineSession::stop() {
    if (m_running)
        m_stopRequested = true;
    m_queue.clear();
}

void LineSession::whenIdle(std::function<void()> action) {
    if (!m_running) {
        action();
        return;
    }
    m_idleActions.push_back(std::move(action));
}

}  // namespace velorin
