#include "Commands.h"

namespace velorin {

int ProbeCommand::run() {
    if (int c = openLine(m_request.settings))
        return c;
    const ReplyCheck r = checked(m_line->read(drive::kProbeRegister));
    if (r.outcome == LinkOutcome::PortError)
        return portLost(QStringLiteral("the probe got no reply"));
    if (m_env.stopRequested())
        return interrupted();
    m_line->close();
    if (drive::probeFound(r, m_request.framing)) {
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
