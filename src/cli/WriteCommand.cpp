#include "Commands.h"
#include "model/DriveFacts.h"

namespace velorin {

int WriteCommand::run() {
    const RegisterArg& reg = m_request.registers.front();
    const QString what = QStringLiteral("write of %1 to register %2")
                             .arg(QString::number(m_request.value), reg.text);
    if (int c = refuseLinkChange(reg.reg, m_request.word()))
        return c;
    if (int c = openLine(m_request.settings))
        return c;
    // The first transaction on the fresh port is a read: it shows the old value, and an adapter
    // that echoes shows it here, where its copy of the request cannot pass for a reply.
    const ReplyCheck before = checked(m_line->read(reg.reg));
    if (before.outcome == LinkOutcome::PortError)
        return portLost(what + QStringLiteral(" not sent"));
    if (m_env.stopRequested()) {
        error(what + QStringLiteral(" not sent"));
        return interrupted();
    }
    if (!before.complete()) {
        m_line->close();
        error(what + QStringLiteral(" not sent: no usable reply to reading it first: %1")
                         .arg(clitext::outcomeText(before, m_request.framing)));
        return exitCode(CliExit::WriteNotConfirmed);
    }

    const ReplyCheck r = checked(
        m_line->write(reg.reg, m_request.word(), drive::writeEffect(reg.reg, m_request.word())));
    const LinkState link{m_request.station, m_request.framing, false, 0, m_request.settings, {}};
    if (r.outcome != LinkOutcome::Stopped)
        logChange(wordChange(
            changeSource(&link), reg.reg, m_request.word(), r.outcome == LinkOutcome::Ok,
            before.outcome == LinkOutcome::Ok ? std::optional(before.value) : std::nullopt));
    if (r.outcome == LinkOutcome::PortError)
        return portLost(what + QStringLiteral(" not confirmed; the drive may or may not have "
                                              "taken it"));
    m_line->close();
    const bool confirmed = r.outcome == LinkOutcome::Ok;
    if (confirmed) {
        const QString old =
            before.outcome == LinkOutcome::Ok ? valueText(before.value) : QStringLiteral("?");
        m_out << reg.text << ' ' << old << " -> " << valueText(r.value) << '\n';
        m_out.flush();
        const QString note = clitext::linkChangeNote(reg.reg, r.value, m_request.settings);
        if (!note.isEmpty())
            m_console.line(QStringLiteral("note: ") + note);
    } else {
        QString why = clitext::outcomeText(r, m_request.framing);
        if (r.outcome == LinkOutcome::NoReply || r.outcome == LinkOutcome::NotAReply ||
            r.outcome == LinkOutcome::Malformed || r.outcome == LinkOutcome::BadChecksum)
            why += QStringLiteral(" (the drive may or may not have taken it)");
        error(what + QStringLiteral(" not confirmed: ") + why);
    }
    if (m_env.stopRequested())
        return interrupted();
    return exitCode(confirmed ? CliExit::Ok : CliExit::WriteNotConfirmed);
}

}  // namespace velorin
