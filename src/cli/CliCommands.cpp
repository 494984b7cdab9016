#include "CliCommands.h"

#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "CliConsole.h"
#include "CliTexts.h"
#include "ParameterOutput.h"
#include "ParameterSets.h"
#include "drive/Scan.h"
#include "editor/ParameterFile.h"
#include "link/LineSession.h"

namespace velorin {

namespace {

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
    int get();
    int set();
    int backup();
    int restore();
    int diff();
    int catalogue();

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

    // ---- Parameter sets, through the editor's core ----
    // Opens the line and begins the editor's visit with the five single reads the editor makes
    // when it opens; an exit status when the port cannot be used, else 0.
    int openEditor();
    // Reads the pages not yet present, one register per request, with progress on stderr and
    // Ctrl+C between registers; an exit status when a page could not be read, else 0.
    int readPages(const std::vector<int>& pages);
    void beforeTransaction(std::uint8_t function, std::uint16_t reg);
    // Loads a parameter file with the core's loader; an exit status for a file that is unsound.
    int loadFile(const QString& path, ParameterFileLoad& load);
    // The core's working values from a sound file, as the editor's fields would hold them
    // after loading it; an exit status when the file cannot be shown on this drive.
    int takeFile(const ParameterFileLoad& load);
    // The range checks over the working values; `concerned` limits them to the checks of these
    // parameters and of those whose bounds they are. An exit status when one failed.
    int rangeCheck(const std::set<int>* concerned);
    // The editor's write sequence and its report. With `reported`, stdout gets a line for each
    // of these parameters the drive confirmed; the exit status counts only them.
    // `followers`: parameters the technician did not name whose raw value the write changes,
    // each with its line, printed once the drive confirmed it.
    int writeAndReport(const std::vector<int>* reported,
                       const std::vector<std::pair<int, QString>>* followers = nullptr);

    std::unique_ptr<EditorCore> m_core;
    struct PageProgress {
        int page = -1;
        int pageNumber = 0, pageCount = 0;
        long done = 0, total = 0;
        Micros started{0};
    } m_progress;
    bool m_showProgress = false;
    std::vector<int> m_writesSent;  // registers of the writes that went out, in order

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
    {CliCommand::Help, &CommandRun::help},
    {CliCommand::Version, &CommandRun::version},
    {CliCommand::Ports, &CommandRun::ports},
    {CliCommand::Probe, &CommandRun::probe},
    {CliCommand::Read, &CommandRun::read},
    {CliCommand::Write, &CommandRun::write},
    {CliCommand::Scan, &CommandRun::scan},
    {CliCommand::Get, &CommandRun::get},
    {CliCommand::Set, &CommandRun::set},
    {CliCommand::Backup, &CommandRun::backup},
    {CliCommand::Restore, &CommandRun::restore},
    {CliCommand::Diff, &CommandRun::diff},
    {CliCommand::Catalogue, &CommandRun::catalogue},
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
    return 128 + m_env.stopSignal();
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
    if (r == OpenResult::Ok) {
        m_line->setReplyTimeout(std::chrono::milliseconds(m_request.timeoutMs));
        return 0;
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

int CommandRun::scan() {
    const ScanOrder order(m_request.firstStation, m_request.lastStation);
    int openStatus = 0;
    ScanHooks hooks;
    hooks.open = [&](const ScanStep& step) -> LineSession* {
        // Every probe opens the port afresh with its own settings.
        openStatus = openLine(step.settings());
        return openStatus == 0 ? m_line.get() : nullptr;
    };
    hooks.progress = [&](const ScanProgress& p) {
        if (m_console.terminal())
            m_console.live(clitext::scanProgress(order, p.step, p.left));
        else if (p.step.format == 0 && p.step.rate == 0)
            m_console.line(clitext::scanStation(order, p.step));
    };
    hooks.stopRequested = [this] { return m_env.stopRequested(); };
    const ScanResult r = scanForDrive(order, m_env.timedWait(), hooks);
    switch (r.end) {
        case ScanResult::End::Found:
            m_console.line(QStringLiteral("found by probe %1 of %2 after %3")
                               .arg(r.index + 1)
                               .arg(order.total())
                               .arg(clitext::durationText(r.elapsed)));
            m_out << clitext::foundLine(r.step.settings(), r.step.framing(), r.step.station);
            return exitCode(CliExit::Ok);
        case ScanResult::End::Stopped:
            m_console.endLive();
            error(QStringLiteral("scan stopped before probe %1 of %2 (%3); nothing found")
                      .arg(r.index + 1)
                      .arg(order.total())
                      .arg(clitext::scanStep(r.step)));
            return interrupted();
        case ScanResult::End::PortUnusable:
            error(QStringLiteral("scan stopped at %1").arg(clitext::scanStep(r.step)));
            return openStatus;
        case ScanResult::End::PortLost:
            m_console.endLive();
            return portLost(QStringLiteral("scan stopped at %1").arg(clitext::scanStep(r.step)));
        case ScanResult::End::NotFound:
            break;
    }
    error(QStringLiteral("no drive found on %1 at stations %2-%3 (%4 probes)")
              .arg(portLabel())
              .arg(order.firstStation())
              .arg(order.lastStation())
              .arg(order.total()));
    return exitCode(CliExit::NoUsableReply);
}

// ---- Parameter sets ----

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString codeAndName(int reg) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    return qs(p.code + " " + p.name);
}

// Why a time cannot be shown or taken: its unit switch holds `unit`, which its list lacks.
QString unitUnknown(int reg, std::int32_t unit) {
    const bool ramp = Catalogue::instance().parameter(reg).conversion == ConversionKind::ByRampUnit;
    return QStringLiteral("%1 holds %2, which its list lacks, so the time's unit is unknown")
        .arg(QLatin1String(ramp ? "P03.00" : "P08.03"))
        .arg(unit);
}

// The option numbers of a list as ranges: "0-22, 26-33, 60".
QString optionNumbers(int reg) {
    const auto count = static_cast<int>(Catalogue::instance().options(reg).size());
    QStringList ranges;
    for (int i = 0; i < count;) {
        int last = i;
        while (last + 1 < count && Catalogue::instance().optionValue(reg, last + 1) ==
                                       Catalogue::instance().optionValue(reg, last) + 1)
            ++last;
        const int first = Catalogue::instance().optionValue(reg, i);
        const int end = Catalogue::instance().optionValue(reg, last);
        ranges << (first == end ? QString::number(first)
                                : QStringLiteral("%1-%2").arg(first).arg(end));
        i = last + 1;
    }
    return ranges.join(QStringLiteral(", "));
}

int CommandRun::openEditor() {
    if (int c = openLine(m_request.settings))
        return c;
    m_line->setBeforeTransaction(
        [this](std::uint8_t function, std::uint16_t reg) { beforeTransaction(function, reg); });
    m_core = std::make_unique<EditorCore>();
    m_core->beginVisit(m_line.get(), m_request.framing);
    m_line->submit([this] { m_core->readOpeningCopies(); });
    if (m_line->portLost())
        return portLost(QStringLiteral("nothing was read"));
    if (m_env.stopRequested())
        return interrupted();
    // A copy the display, conversion or checks depend on is never taken as 0.
    const std::vector<int> unread = m_core->unreadCopies();
    if (!unread.empty()) {
        m_line->close();
        for (int reg : unread) error(qs(EditorCore::readFailureText(reg)));
        return exitCode(CliExit::NoUsableReply);
    }
    return 0;
}

void CommandRun::beforeTransaction(std::uint8_t function, std::uint16_t reg) {
    checked({});
    if (m_env.stopRequested()) {
        m_line->stop();
        return;
    }
    if (function == 6)
        m_writesSent.push_back(reg);
    PageProgress& p = m_progress;
    if (!m_showProgress || p.page < 0 || function != 3)
        return;
    const Micros elapsed = m_env.timedWait().now() - p.started;
    const QString caption = qs(Catalogue::instance().page(p.page).caption);
    QString rate, left;
    if (p.done > 0 && elapsed.count() > 0) {
        rate = QStringLiteral(", %1 registers/s")
                   .arg(static_cast<double>(p.done) * 1e6 / static_cast<double>(elapsed.count()), 0,
                        'f', 1);
        left = QStringLiteral(", about %1 left")
                   .arg(clitext::durationText(elapsed * (p.total - p.done) / p.done));
    }
    const QString line = QStringLiteral("reading page %1 (%2 of %3), register %4%5%6")
                             .arg(caption)
                             .arg(p.pageNumber)
                             .arg(p.pageCount)
                             .arg(reg)
                             .arg(rate, left);
    if (m_console.terminal())
        m_console.live(line);
    else if (reg == Catalogue::instance().page(p.page).read.first)
        m_console.line(line);
    ++p.done;
}

int CommandRun::readPages(const std::vector<int>& pages) {
    std::vector<int> toRead;
    for (int page : pages)
        if (!m_core->pagePresent(page))
            toRead.push_back(page);
    m_progress = {};
    m_progress.pageCount = static_cast<int>(toRead.size());
    for (int page : toRead)
        m_progress.total += Catalogue::instance().page(page).read.last -
                            Catalogue::instance().page(page).read.first + 1;
    m_progress.started = m_env.timedWait().now();
    int status = 0;
    m_line->submit([&] {
        for (int page : toRead) {
            m_progress.page = page;
            ++m_progress.pageNumber;
            const PageReadOutcome outcome = m_core->readPage(page);
            if (outcome.kind == PageReadOutcome::Kind::Stopped || m_env.stopRequested()) {
                status = exitCode(CliExit::Interrupted);
                return;
            }
            if (outcome.kind == PageReadOutcome::Kind::Failed) {
                status = exitCode(CliExit::NoUsableReply);
                if (!m_line->portLost())
                    error(qs(outcome.message));
                return;
            }
        }
    });
    m_progress.page = -1;
    m_console.endLive();
    if (m_line->portLost())
        return portLost(QStringLiteral("the parameters were not all read"));
    if (status == exitCode(CliExit::Interrupted))
        return interrupted();
    return status;
}

int CommandRun::loadFile(const QString& path, ParameterFileLoad& load) {
    load = loadParameterFile(path.toStdString());
    if (load.ok())
        return 0;
    error(QStringLiteral("%1: %2").arg(path, qs(load.error->message())));
    return exitCode(CliExit::Refused);
}

int CommandRun::takeFile(const ParameterFileLoad& load) {
    // As the editor loads a file: the pages it holds are present, their fields show the file's
    // values, and the conversion takes them.
    const std::vector<FieldView> views = m_core->applyLoad(load);
    for (const FieldView& view : views)
        if (view.unshowable) {
            // The editor would leave the field as it was and never write it; a restore that
            // cannot bring this value to the drive says so before it writes anything.
            QString why;
            const auto* left = std::get_if<LeaveUnchanged>(&view.display);
            const DisplayContext context = loadDisplayContext(load, m_core->copies().pidDecimals);
            if (left && left->reason == LeaveUnchanged::Reason::NoPidDecimals)
                why = QStringLiteral(" (P13.35 is %1)").arg(context.pidDecimals.value_or(-1));
            else if (left && left->reason == LeaveUnchanged::Reason::NoUnit)
                why = QStringLiteral(" (%1)").arg(
                    unitUnknown(view.reg, Catalogue::instance().parameter(view.reg).conversion ==
                                                  ConversionKind::ByRampUnit
                                              ? context.rampUnit
                                              : context.stepUnit));
            error(QStringLiteral("%1: the file's value %2 cannot be shown on this drive%3; "
                                 "nothing was written")
                      .arg(codeAndName(view.reg))
                      .arg(view.driveValue)
                      .arg(why));
            return exitCode(CliExit::Refused);
        }
    m_core->takeShown(views);
    return 0;
}

int CommandRun::rangeCheck(const std::set<int>* concerned) {
    auto concerns = [concerned](int reg) {
        if (!concerned || concerned->count(reg))
            return true;
        for (const RangeCheck& check : Catalogue::instance().checks())
            if (check.reg == reg &&
                (concerned->count(check.lower.reg) || concerned->count(check.upper.reg) ||
                 concerned->count(check.unitSelector)))
                return true;
        return false;
    };
    bool refused = false;
    for (const CheckFailure& failure : m_core->checkValues()) {
        if (!concerns(failure.reg))
            continue;
        refused = true;
        error(qs(failure.message));
    }
    if (!refused)
        return 0;
    error(QStringLiteral("range check failed; nothing was written"));
    return exitCode(CliExit::Refused);
}

int CommandRun::writeAndReport(const std::vector<int>* reported,
                               const std::vector<std::pair<int, QString>>* followers) {
    LinkState link{m_request.station, m_request.framing, false, m_line->port().commPort(),
                   m_request.settings};
    const LinkState before = link;
    WriteHooks hooks;
    hooks.confirmWhileRunning = [this] { return m_request.forceRunning; };
    std::vector<std::pair<int, std::uint16_t>> planned;
    if (m_request.dryRun)
        hooks.rehearse = [&planned](int reg, std::uint16_t word) {
            planned.emplace_back(reg, word);
        };
    WriteOutcome outcome;
    m_writesSent.clear();
    m_line->submit([&] { outcome = m_core->writeToDrive(link, hooks); });
    if (m_line->portLost())
        return portLost(QStringLiteral("the write stopped: %1 writes confirmed, the rest not "
                                       "written (the write under way may or may not have been "
                                       "taken)")
                            .arg(outcome.confirmed));
    if (outcome.end == WriteOutcome::End::NoAnswer) {
        error(
            QStringLiteral("the drive did not answer the running check (register 0x2101); "
                           "nothing was written"));
        return exitCode(CliExit::WriteNotConfirmed);
    }
    if (outcome.end == WriteOutcome::End::Declined) {
        error(
            QStringLiteral("the motor runs, and some parameters cannot be written while it runs; "
                           "nothing was written (--force-running writes anyway)"));
        return exitCode(CliExit::Refused);
    }
    for (const auto& [reg, word] : planned)
        m_out << qs(Catalogue::codeOf(reg)) << '\t' << qs(Catalogue::instance().parameter(reg).name)
              << '\t' << reg << '\t' << word << '\n';
    bool allConfirmed = outcome.complete();
    if (reported) {
        // Only the technician's parameters decide; the others of their pages are told below.
        allConfirmed = outcome.end == WriteOutcome::End::Finished;
        auto listed = [](const std::vector<WriteIssue>& issues, int reg) {
            return std::any_of(issues.begin(), issues.end(),
                               [reg](const WriteIssue& i) { return i.reg == reg; });
        };
        const DisplayContext context = m_core->workingDisplayContext();
        for (int reg : *reported) {
            const bool sent =
                std::find(m_writesSent.begin(), m_writesSent.end(), reg) != m_writesSent.end();
            const bool changedWithoutWrite = !sent && !listed(outcome.unconfirmed, reg) &&
                                             !listed(outcome.skipped, reg) &&
                                             outcome.end == WriteOutcome::End::Finished;
            if ((!sent && !changedWithoutWrite) || listed(outcome.unconfirmed, reg) ||
                listed(outcome.skipped, reg)) {
                allConfirmed = false;
                continue;
            }
            const std::int32_t value = m_core->working()[reg];
            const auto shown = shownText(reg, loadedDisplay(reg, value, context));
            m_out << qs(Catalogue::codeOf(reg)) << '\t'
                  << qs(Catalogue::instance().parameter(reg).name) << '\t'
                  << (shown ? qs(*shown) : QString::number(value)) << '\n';
        }
    }
    if (followers)
        for (const auto& [reg, line] : *followers) {
            const bool sent =
                std::find(m_writesSent.begin(), m_writesSent.end(), reg) != m_writesSent.end();
            const bool failed =
                std::any_of(outcome.unconfirmed.begin(), outcome.unconfirmed.end(),
                            [reg = reg](const WriteIssue& i) { return i.reg == reg; });
            if (sent && !failed)
                m_out << line << '\n';
        }
    m_out.flush();
    WriteOutcome told = outcome;
    if (m_env.stopRequested()) {
        // The technician stopped it: not a drive that fell silent.
        std::erase_if(told.unconfirmed, [](const WriteIssue& i) {
            return i.reply.outcome == LinkOutcome::Stopped;
        });
        told.end = WriteOutcome::End::Finished;
        error(QStringLiteral("the write stopped at %1: %2 writes confirmed, the rest not written")
                  .arg(clitext::stopCause(m_env.stopSignal()))
                  .arg(outcome.confirmed));
    }
    for (const std::string& line : EditorCore::reportLines(told, 1000))
        m_console.line(QLatin1String(clitext::kPrefix) + qs(line));
    if (outcome.factoryReset)
        m_console.line(QStringLiteral("note: the drive was reset to its factory values"));
    if (link.station != before.station || link.settings != before.settings) {
        const QString note = m_request.dryRun ? QStringLiteral(
                                                    "note: the drive would answer at --settings %1 "
                                                    "--station %2 afterwards")
                                              : QStringLiteral(
                                                    "note: the drive answers at --settings %1 "
                                                    "--station %2 from now on");
        m_console.line(note.arg(qs(link.settings)).arg(link.station));
    }
    if (m_request.dryRun)
        m_console.line(
            QStringLiteral("dry run: %1 writes would be sent; none was").arg(planned.size()));
    if (m_env.stopRequested())
        return interrupted();
    m_line->close();
    return exitCode(allConfirmed ? CliExit::Ok : CliExit::WriteNotConfirmed);
}

std::vector<int> pagesOf(const std::vector<int>& regs) {
    std::set<int> pages;
    for (int reg : regs) pages.insert(Catalogue::instance().parameter(reg).page);
    return {pages.begin(), pages.end()};
}

int CommandRun::get() {
    m_showProgress = true;
    if (int c = openEditor())
        return c;
    if (int c = readPages(pagesOf(m_request.parameters)))
        return c;
    std::map<int, FieldView> views;
    for (int page : pagesOf(m_request.parameters))
        for (FieldView& view : m_core->showPage(page)) views[view.reg] = view;
    m_line->close();
    std::vector<paramout::ParameterValue> rows;
    for (int reg : m_request.parameters)
        rows.push_back({reg, views[reg].driveValue, shownText(reg, views[reg].display)});
    m_out << paramout::values(rows, m_request.format, m_request.raw);
    return exitCode(CliExit::Ok);
}

int CommandRun::set() {
    // Each value as its field would take it, before the drive is asked anything.
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,5}$"));
    const Catalogue& catalogue = Catalogue::instance();
    std::vector<int> regs;
    std::map<int, FieldContent> edits;
    for (const Assignment& a : m_request.assignments) {
        const ParameterInfo& p = catalogue.parameter(a.reg);
        regs.push_back(a.reg);
        QString why;
        // A list takes the number of an option, the value the drive keeps for it.
        const auto option = number.match(qs(a.text)).hasMatch()
                                ? catalogue.optionPosition(a.reg, std::stoi(a.text))
                                : std::nullopt;
        if (p.conversion == ConversionKind::None || p.access != Access::Editable)
            why = QStringLiteral("the drive shows it; it cannot be set");
        else if (p.conversion == ConversionKind::List && !option)
            why = QStringLiteral("\"%1\" is no option of its list (%2)")
                      .arg(qs(a.text), optionNumbers(a.reg));
        if (!why.isEmpty()) {
            error(QStringLiteral("%1: %2; nothing was written").arg(codeAndName(a.reg), why));
            return exitCode(CliExit::Refused);
        }
        edits[a.reg] = p.conversion == ConversionKind::List ? FieldContent{*option, {}}
                                                            : FieldContent{-1, a.text};
    }
    m_showProgress = true;
    if (int c = openEditor())
        return c;
    if (int c = readPages(pagesOf(regs)))
        return c;
    // The pages as the window shows them, taken with the technician's values as its conversion
    // takes its fields: a unit switch first, then every other field of the pages at the unit it
    // leaves, as the fields show them.
    std::vector<FieldView> views;
    for (int page : pagesOf(regs))
        for (FieldView& view : m_core->showPage(page)) views.push_back(std::move(view));
    const std::vector<int> refused = m_core->takeFields(views, edits);
    for (int reg : refused) {
        const ConversionKind kind = catalogue.parameter(reg).conversion;
        const int selector = kind == ConversionKind::ByRampUnit   ? EditorCore::kRampUnitRegister
                             : kind == ConversionKind::ByStepUnit ? EditorCore::kStepUnitRegister
                                                                  : -1;
        if (selector >= 0 && m_core->unshown(selector))
            error(QStringLiteral("%1: %2; nothing was written")
                      .arg(codeAndName(reg), unitUnknown(reg, m_core->driveValue(selector))));
        else
            error(QStringLiteral("%1: \"%2\" is no value its field takes; nothing was written")
                      .arg(codeAndName(reg),
                           qs(catalogue.parameter(reg).conversion == ConversionKind::List
                                  ? std::to_string(edits[reg].selected)
                                  : edits[reg].text)));
    }
    if (!refused.empty()) {
        m_line->close();
        return exitCode(CliExit::Refused);
    }
    // Fields the technician did not name whose raw value changes with a new unit or P13.35.
    std::vector<std::pair<int, QString>> followers;
    for (const FieldView& view : views) {
        const std::int32_t working = m_core->working()[view.reg];
        const std::int32_t raw = view.reg == drive::kRateParameter && working >= 0 && working < 5
                                     ? kBaudCodes[working]
                                     : working;
        if (edits.count(view.reg) || m_core->unshown(view.reg) ||
            catalogue.parameter(view.reg).conversion == ConversionKind::None ||
            raw == view.driveValue)
            continue;
        const auto before = shownText(view.reg, view.display);
        const auto after =
            shownText(view.reg, loadedDisplay(view.reg, working, m_core->workingDisplayContext()));
        followers.emplace_back(view.reg, QStringLiteral("%1 %2 -> %3")
                                             .arg(codeAndName(view.reg), qs(before.value_or("?")),
                                                  qs(after.value_or(std::to_string(working)))));
    }
    const std::set<int> concerned(regs.begin(), regs.end());
    if (int c = rangeCheck(&concerned)) {
        m_line->close();
        return c;
    }
    return writeAndReport(&regs, &followers);
}

int CommandRun::backup() {
    m_showProgress = true;
    if (int c = openEditor())
        return c;
    const int read = readPages(m_request.pages);
    if (read != 0) {
        error(QStringLiteral("no file was written"));
        return read;
    }
    m_line->close();
    const std::string text = onlineSaveText(*m_core);
    if (const auto failure = writeFileSafely(m_request.file.toStdString(), text)) {
        error(qs(*failure).replace(QLatin1Char('\n'), QStringLiteral(": ")));
        return exitCode(CliExit::Refused);
    }
    m_console.line(QStringLiteral("%1 parameters of %2 pages saved in %3")
                       .arg(std::count(text.begin(), text.end(), '\n'))
                       .arg(m_request.pages.size())
                       .arg(m_request.file));
    return exitCode(CliExit::Ok);
}

int CommandRun::restore() {
    ParameterFileLoad load;
    if (int c = loadFile(m_request.file, load))
        return c;
    m_showProgress = true;
    if (int c = openEditor())
        return c;
    // The drive's own link and lock values, so the write changes them only where the file
    // differs from the drive.
    std::vector<int> linkPages;
    for (int page : {25, 28})
        if (load.pages[page])
            linkPages.push_back(page);
    if (int c = readPages(linkPages))
        return c;
    if (int c = takeFile(load)) {
        m_line->close();
        return c;
    }
    if (int c = rangeCheck(nullptr)) {
        m_line->close();
        return c;
    }
    if (m_request.dryRun)
        m_console.line(QStringLiteral("range check passed"));
    return writeAndReport(nullptr);
}

int CommandRun::diff() {
    ParameterSet first, second;
    if (!m_request.file.isEmpty())
        if (int c = loadFile(m_request.file, first.load))
            return c;
    if (!m_request.againstFile.isEmpty())
        if (int c = loadFile(m_request.againstFile, second.load))
            return c;
    if (m_request.againstFactory)
        second.load = parseParameterFile(factorySaveText());
    if (m_request.usesDrive()) {
        ParameterSet& drive = m_request.file.isEmpty() ? first : second;
        const ParameterSet& other = m_request.file.isEmpty() ? second : first;
        std::vector<int> pages;
        for (int page = 0; page < kFilePageCount; ++page)
            if (other.load.pages[page])
                pages.push_back(page);
        m_showProgress = true;
        if (int c = openEditor())
            return c;
        if (int c = readPages(pages))
            return c;
        m_line->close();
        drive.load = parseParameterFile(onlineSaveText(*m_core));
        drive.pidDecimals = m_core->copies().pidDecimals;
    }
    const Comparison comparison = compareSets(first, second);
    auto tellPages = [this](const std::vector<int>& pages, const char* side) {
        if (pages.empty())
            return;
        QStringList captions;
        for (int page : pages) captions << qs(Catalogue::instance().page(page).caption);
        m_console.line(QStringLiteral("note: pages only in the %1 set, not compared: %2")
                           .arg(QLatin1String(side), captions.join(QLatin1Char(' '))));
    };
    tellPages(comparison.onlyInFirst, "first");
    tellPages(comparison.onlyInSecond, "second");
    std::vector<DiffRow> rows;
    for (const DiffRow& row : comparison.rows)
        if (row.differs || m_request.all)
            rows.push_back(row);
    m_out << paramout::differences(rows, m_request.format);
    const auto differing = std::count_if(comparison.rows.begin(), comparison.rows.end(),
                                         [](const DiffRow& r) { return r.differs; });
    m_console.line(
        QStringLiteral("%1 of %2 parameters differ").arg(differing).arg(comparison.rows.size()));
    return exitCode(comparison.differs() ? CliExit::Different : CliExit::Ok);
}

int CommandRun::catalogue() {
    std::vector<int> regs = m_request.parameters;
    if (regs.empty())
        for (const ParameterInfo& p : Catalogue::instance().parameters())
            if (p.shown)
                regs.push_back(p.reg);
    m_out << paramout::catalogue(regs, m_request.format);
    return exitCode(CliExit::Ok);
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
