#include "CliCommands.h"

#include <optional>

#include "CliConsole.h"
#include "CliTexts.h"
#include "link/LineSession.h"

namespace velorin {

namespace {

constexpr Micros kProbeGuess{100000};  // time of one probe before any has been measured

// One run of one request. The commands reach the drive only through the line session.
class CommandRun {
public:
    CommandRun(const CliRequest& request, CliEnvironment& env, QTextStream& out, QTextStream& err)
        : m_request(request),
          m_env(env),
          m_out(out),
          m_console(err, env.errIsTerminal()),
          m_start(env.timedWait().now()) {}

    int run();

    // ---- The commands ----
    int help();
    int version();
    int ports();
    int probe();
    int read();
    int write();
    int scan();

private:
    void error(const QString& message) {
        m_console.line(QLatin1String(clitext::kPrefix) + message);
    }
    int interrupted();
    int portLost(const QString& consequence);
    QString portLabel() const;
    QString valueText(std::uint16_t v) const {
        return clitext::valueText(v, m_request.signedValues);
    }

    // Opens the port with `settings`; an exit status when it cannot be used, else 0.
    int openLine(const std::string& settings);
    // Every transaction of a command passes here: the technician hears once that replies came
    // too late to be used.
    ReplyCheck checked(const ReplyCheck& reply);
    void showProgress(const ScanOrder& order, long index, const ScanStep& step, Micros elapsed);

    const CliRequest& m_request;
    CliEnvironment& m_env;
    QTextStream& m_out;
    CliConsole m_console;
    Micros m_start;
    std::unique_ptr<LineSession> m_line;
    bool m_toldLateReplies = false;
};

// What runs each command. A new command is a row here and a row in the parser's syntax table.
struct CommandEntry {
    CliCommand command;
    int (CommandRun::*run)();
};
constexpr CommandEntry kCommands[] = {
    {CliCommand::Help, &CommandRun::help},   {CliCommand::Version, &CommandRun::version},
    {CliCommand::Ports, &CommandRun::ports}, {CliCommand::Probe, &CommandRun::probe},
    {CliCommand::Read, &CommandRun::read},   {CliCommand::Write, &CommandRun::write},
    {CliCommand::Scan, &CommandRun::scan},
};

int CommandRun::run() {
    // The trace lives as long as the command; the link must not call into it afterwards.
    struct TraceScope {
        explicit TraceScope(CommandRun* run) {
            setLinkTrace([run](const LinkTraceEvent& e) {
                run->m_console.line(clitext::traceLine(e, e.time - run->m_start));
            });
        }
        ~TraceScope() { setLinkTrace({}); }
    };
    std::optional<TraceScope> trace;
    if (m_request.trace)
        trace.emplace(this);
    for (const CommandEntry& entry : kCommands)
        if (entry.command == m_request.command)
            return (this->*entry.run)();
    return exitCode(CliExit::Usage);
}

int CommandRun::interrupted() {
    if (m_line)
        m_line->close();
    error(QLatin1String(clitext::kInterrupted));
    return exitCode(CliExit::Interrupted);
}

int CommandRun::portLost(const QString& consequence) {
    m_line->close();
    error(clitext::portLost(portLabel(), consequence));
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
        std::unique_ptr<SerialPort> port = m_env.createPort(m_request.portName);
        if (!port) {
            error(clitext::openFailure(OpenResult::NotFound, portLabel(), settings, {}));
            return exitCode(CliExit::PortUnusable);
        }
        m_line = std::make_unique<LineSession>(std::move(port));
        m_line->setFraming(m_request.framing);
        m_line->setStation(m_request.station);
    }
    const OpenResult r = m_line->open(m_line->port().commPort(), settings);
    if (r == OpenResult::Ok)
        return 0;
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

ReplyCheck CommandRun::checked(const ReplyCheck& reply) {
    if (!m_toldLateReplies && m_line->lateReplies() > 0) {
        m_toldLateReplies = true;
        error(QLatin1String(clitext::kLateReplies));
    }
    return reply;
}

int CommandRun::help() {
    m_out << clitext::helpText();
    return exitCode(CliExit::Ok);
}

int CommandRun::version() {
    m_out << clitext::versionLine();
    return exitCode(CliExit::Ok);
}

int CommandRun::ports() {
    const std::vector<CliPort> list = m_env.listPorts();
    if (list.empty()) {
        m_console.line(QStringLiteral("no serial ports found"));
        return exitCode(CliExit::Ok);
    }
    std::vector<QString> fixes;
    for (const CliPort& p : list)
        fixes.push_back(p.state == OpenResult::NoPermission ? m_env.permissionFix(p.comName)
                                                            : QString());
    for (const QString& line : clitext::portLines(list, fixes)) m_out << line << '\n';
    return exitCode(CliExit::Ok);
}

int CommandRun::probe() {
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

int CommandRun::read() {
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

int CommandRun::write() {
    const RegisterArg& reg = m_request.registers.front();
    const QString what = QStringLiteral("write of %1 to register %2")
                             .arg(QString::number(m_request.value), reg.text);
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

    const ReplyCheck r = checked(m_line->write(reg.reg, m_request.word()));
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
        if (r.outcome == LinkOutcome::NoReply || r.outcome == LinkOutcome::Malformed ||
            r.outcome == LinkOutcome::BadChecksum)
            why += QStringLiteral(" (the drive may or may not have taken it)");
        error(what + QStringLiteral(" not confirmed: ") + why);
    }
    if (m_env.stopRequested())
        return interrupted();
    return exitCode(confirmed ? CliExit::Ok : CliExit::WriteNotConfirmed);
}

void CommandRun::showProgress(const ScanOrder& order, long index, const ScanStep& step,
                              Micros elapsed) {
    if (!m_console.terminal()) {
        if (step.format == 0 && step.rate == 0)
            m_console.line(clitext::scanStation(order, step));
        return;
    }
    const Micros perProbe = index > 0 ? elapsed / index : kProbeGuess;
    m_console.live(clitext::scanProgress(order, step, perProbe * (order.total() - index)));
}

int CommandRun::scan() {
    const ScanOrder order(m_request.firstStation, m_request.lastStation);
    TimedWait& clock = m_env.timedWait();
    const Micros started = clock.now();
    for (long i = 0; i < order.total(); ++i) {
        const ScanStep step = order.step(i);
        if (m_env.stopRequested()) {
            m_console.endLive();
            error(QStringLiteral("scan stopped before probe %1 of %2 (%3); nothing found")
                      .arg(i + 1)
                      .arg(order.total())
                      .arg(clitext::scanStep(step)));
            return interrupted();
        }
        showProgress(order, i, step, clock.now() - started);
        // Every probe opens the port afresh with its own settings.
        if (int c = openLine(step.settings())) {
            m_console.line(QLatin1String(clitext::kPrefix) +
                           QStringLiteral("scan stopped at %1").arg(clitext::scanStep(step)));
            return c;
        }
        m_line->setFraming(step.framing());
        const ReplyCheck r = m_line->readAt(step.station, drive::kProbeRegister);
        if (r.outcome == LinkOutcome::PortError) {
            m_console.endLive();
            return portLost(QStringLiteral("scan stopped at %1").arg(clitext::scanStep(step)));
        }
        m_line->close();
        if (drive::probeFound(r, step.framing())) {
            m_console.line(QStringLiteral("found by probe %1 of %2 after %3")
                               .arg(i + 1)
                               .arg(order.total())
                               .arg(clitext::durationText(clock.now() - started)));
            m_out << clitext::foundLine(step.settings(), step.framing(), step.station);
            return exitCode(CliExit::Ok);
        }
    }
    error(QStringLiteral("no drive found on %1 at stations %2-%3 (%4 probes)")
              .arg(portLabel())
              .arg(order.firstStation())
              .arg(order.lastStation())
              .arg(order.total()));
    return exitCode(CliExit::NoUsableReply);
}

}  // namespace

int runRequest(const CliRequest& request, CliEnvironment& env, QTextStream& out, QTextStream& err) {
    const int code = CommandRun(request, env, out, err).run();
    out.flush();
    err.flush();
    return code;
}

int runCli(const QStringList& args, CliEnvironment& env, QTextStream& out, QTextStream& err) {
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (parsed.request)
        return runRequest(*parsed.request, env, out, err);
    CliConsole console(err, env.errIsTerminal());
    console.line(QLatin1String(clitext::kPrefix) + parsed.usageError);
    console.line(QLatin1String(clitext::kSeeHelp));
    return exitCode(CliExit::Usage);
}

}  // namespace velorin
