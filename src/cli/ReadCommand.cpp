#include "Commands.h"

namespace velorin {

int ReadCommand::run() {
    if (int c = openLine(m_request.settings))
        return c;
    bool allRead = true;
    for (const RegisterArg& reg : m_request.registers) {
        if (m_env.stopRequested())
            return interrupted();
        const ReplyCheck r = checked(m_line->read(reg.reg));
        if (r.outcome == LinkOutcome::PortError)
            return portLost(
                QStringLiteral("register %1 and those after it were not read").arg(reg.text));
        if (r.outcome == LinkOutcome::Ok) {
            m_out << reg.text << ' ' << valueText(r.value) << '\n';
            m_out.flush();
        } else {
            allRead = false;
            error(QStringLiteral("register %1: no usable reply: %2")
                      .arg(reg.text, clitext::outcomeText(r, m_request.framing)));
        }
    }
    if (m_env.stopRequested())
        return interrupted();
    m_line->close();
    return exitCode(allRead ? CliExit::Ok : CliExit::NoUsableReply);
}

}  // namespace velorin
