#include "Commands.h"

#include "drive/ConnectSession.h"

namespace velorin {

int ProbeCommand::run() {
    int openStatus = 0;
    ConnectHooks hooks;
    hooks.open = [&](const std::string& settings) -> LineSession* {
        openStatus = openLine(settings);
        return openStatus == 0 ? m_line.get() : nullptr;
    };
    ConnectSession connecting(m_env.timedWait(), hooks);
    const ConnectResult found =
        connecting.probe(m_request.settings, m_request.framing, m_request.station);
    if (found.end == ConnectResult::End::PortUnusable)
        return openStatus;
    const ReplyCheck r = checked(*found.probe);
    if (found.end == ConnectResult::End::PortLost)
        return portLost(QStringLiteral("the probe got no reply"));
    if (m_env.stopRequested())
        return interrupted();
    m_line->close();
    if (found.end == ConnectResult::End::Found) {
        m_out << clitext::foundLine(m_request.settings, m_request.framing, m_line->framedValue(r));
        return exitCode(CliExit::Ok);
    }
    if (r.outcome == LinkOutcome::Ok)
        error(QStringLiteral("the drive at station %1 answered, but its station register P496 "
                             "holds %2, so it is not taken as found")
                  .arg(m_request.station)
                  .arg(valueText(r.value)));
    else
        error(QStringLiteral("no drive answered at station %1 with %2 (Modbus %3) on %4: %5")
                  .arg(QString::number(m_request.station),
                       QString::fromStdString(m_request.settings),
                       QString::fromLatin1(framingName(m_request.framing)), portLabel(),
                       clitext::outcomeText(r, m_request.framing)));
    return exitCode(CliExit::NoUsableReply);
}

}  // namespace velorin
