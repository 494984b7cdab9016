#include "CommandRun.h"

#include "model/DriveFacts.h"

namespace velorin {

void CommandRun::Trace::onTransaction(const TransactionRecord& record) {
    for (const QString& line : clitext::traceLines(record, m_run.m_start))
        m_run.m_console.line(line);
}

int CommandRun::execute() {
    if (m_request.trace)
        m_trace.emplace(*this);
    ChangeLog* log = m_env.changeLog();
    const long unrecordedBefore = log ? log->unrecorded() : 0;
    const int code = run();
    const long unrecorded = log ? log->unrecorded() - unrecordedBefore : 0;
    if (unrecorded == 0)
        return code;
    // Writes the drive may have taken are missing from the log: the status says so unless it
    // already tells of a failure of its own.
    error(QStringLiteral("%1 writes are not in the change log: %2")
              .arg(unrecorded)
              .arg(QString::fromStdString(log->lastFailure())));
    return code == 0 ? exitCode(CliExit::NotLogged) : code;
}

int CommandRun::interrupted() {
    if (m_line)
        m_line->close();
    error(QLatin1String(clitext::kInterrupted));
    return 128 + m_env.stopSignal();
}

int CommandRun::portLost(const QString& consequence) {
    m_line->close();
    error(m_request.gateway ? clitext::connectionLost(portLabel(), consequence)
                            : clitext::portLost(portLabel(), consequence));
    return exitCode(CliExit::PortUnusable);
}

QString CommandRun::portLabel() const {
    const QString& name = m_request.portName;
    const QString device = m_line ? QString::fromStdString(m_line->port().deviceName()) : QString();
    if (device.isEmpty() || name.endsWith(device))
        return name;
    return QStringLiteral("%1 (%2)").arg(name, device);
}

int CommandRun::openLine(const std::string& settings) {
    if (!m_line) {
        std::unique_ptr<SerialPort> port =
            m_request.gateway
                ? m_env.createGatewayPort(m_request.gatewayHost, m_request.gatewayPort,
                                          std::chrono::milliseconds(m_request.connectTimeoutMs))
                : m_env.createPort(m_request.portName);
        if (!port) {
            error(clitext::openFailure(OpenResult::NotFound, portLabel(), settings, {}));
            return exitCode(CliExit::PortUnusable);
        }
        m_line = std::make_unique<LineSession>(std::move(port));
        if (m_trace)
            m_line->observers().add(*m_trace);
        m_line->setFraming(m_request.framing);
        if (m_request.gateway)
            m_line->setGatewayFraming(m_request.framing);
        m_line->setStation(m_request.station);
    }
    const OpenResult r = m_line->open(m_line->port().commPort(), settings);
    if (r == OpenResult::Ok) {
        m_line->setReplyTimeout(std::chrono::milliseconds(m_request.timeoutMs));
        m_line->setBlockReads(m_request.blockReads);
        m_line->setOnBlocksDisagree([this] { error(QLatin1String(clitext::kBlocksDisagree)); });
        return 0;
    }
    if (m_request.gateway) {
        error(clitext::connectFailure(r, portLabel(), m_request.connectTimeoutMs));
        return exitCode(CliExit::PortUnusable);
    }
    // The system refuses line settings for anything that is no terminal; say what it is.
    const bool refused = r == OpenResult::BadSettings || r == OpenResult::Failed;
    if (refused && m_env.notASerialPort(m_request.portName))
        error(clitext::notASerialPort(portLabel()));
    else
        error(clitext::openFailure(
            r, portLabel(), settings,
            r == OpenResult::NoPermission ? m_env.permissionFix(m_request.portName) : QString()));
    return exitCode(CliExit::PortUnusable);
}

int CommandRun::refuseLinkChange(std::uint16_t reg, std::int32_t value) {
    if (!m_request.gateway || m_request.allowLinkChange ||
        drive::writeEffect(reg, value) != WriteEffect::MovesLink)
        return 0;
    error(clitext::linkChangeRefused(portLabel(), reg, static_cast<std::uint16_t>(value),
                                     m_request.settings));
    return exitCode(CliExit::Refused);
}

ReplyCheck CommandRun::checked(const ReplyCheck& reply) {
    if (!m_toldLateReplies && m_line->lateReplies() > 0) {
        m_toldLateReplies = true;
        error(QString::fromLatin1(clitext::kLateReplies)
                  .arg(static_cast<qlonglong>(m_line->replyTimeout().count() / 1000)));
    }
    return reply;
}

ChangeSource CommandRun::changeSource(const LinkState* link) const {
    return {portLabel().toStdString(), link, m_request.commandLine.toStdString()};
}

void CommandRun::logChange(const ChangeEntry& entry) {
    ChangeLog* log = m_env.changeLog();
    if (m_request.noLog || !log)
        return;
    const long before = log->unrecorded();
    log->record(entry);
    if (log->unrecorded() > before && !m_toldUnlogged) {
        m_toldUnlogged = true;
        error(QStringLiteral("the change log cannot be written (%1); the writes go on unlogged")
                  .arg(QString::fromStdString(log->lastFailure())));
    }
}

}  // namespace velorin
