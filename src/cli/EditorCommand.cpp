#include "EditorCommand.h"
#include "CliEditorTexts.h"

#include <QStringList>
#include <algorithm>

#include "editor/ParameterSets.h"
#include "CliTexts.h"
#include "texts/FileTexts.h"
#include "platform/QtText.h"
#include "texts/CheckTexts.h"

namespace velorin {

QString codeAndName(int reg) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    return qs(p.code + " " + p.name);
}

QString unitUnknown(int reg, std::int32_t unit) {
    const bool ramp = Catalogue::instance().parameter(reg).conversion == ConversionKind::ByRampUnit;
    return QStringLiteral("%1 holds %2, which its list lacks, so the time's unit is unknown")
        .arg(QLatin1String(ramp ? "P03.00" : "P08.03"))
        .arg(unit);
}

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

std::vector<int> pagesOf(const std::vector<int>& regs) {
    std::set<int> pages;
    for (int reg : regs) pages.insert(Catalogue::instance().parameter(reg).page);
    return {pages.begin(), pages.end()};
}

int EditorCommand::openEditor() {
    if (int c = openLine(m_request.settings))
        return c;
    m_line->setBeforeTransaction(
        [this](FunctionCode function, std::uint16_t reg, std::uint16_t registers) {
            beforeTransaction(function, reg, registers);
        });
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
        for (int reg : unread) error(clitext::readFailed(reg));
        return exitCode(CliExit::NoUsableReply);
    }
    return 0;
}

void EditorCommand::beforeTransaction(FunctionCode function, std::uint16_t reg,
                                      std::uint16_t registers) {
    checked({});
    if (m_env.stopRequested()) {
        m_line->stop();
        return;
    }
    if (function == FunctionCode::WriteRegister)
        m_writesSent.push_back(reg);
    PageProgress& p = m_progress;
    if (p.page < 0 || function != FunctionCode::ReadRegisters)
        return;
    const Micros elapsed = m_env.timedWait().now() - p.started;
    const QString caption = qs(Catalogue::instance().page(p.page).caption);
    QString rate, left;
    if (p.done > 0 && elapsed.count() > 0) {
        rate = QStringLiteral(", %1 registers/s")
                   .arg(static_cast<double>(p.done) * 1e6 / static_cast<double>(elapsed.count()), 0,
                        'f', 1);
        // Registers read again (a block checked one by one, a doubtful value) count too: the
        // count may pass the total, and nothing is then said of the time left.
        if (p.done < p.total)
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
    p.done += registers;
}

bool EditorCommand::sent(int reg) const {
    return std::find(m_writesSent.begin(), m_writesSent.end(), reg) != m_writesSent.end();
}

int EditorCommand::readPages(const std::vector<int>& pages) {
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
                    error(clitext::readFailed(outcome.failedRegister));
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

int EditorCommand::loadFile(const QString& path, ParameterFileLoad& load) {
    load = loadParameterFile(path.toStdString());
    for (const std::string& message : describeFileFaults(load))
        error(QStringLiteral("%1: %2").arg(path, clitext::oneLine(message)));
    if (!load.usable())
        return exitCode(CliExit::Refused);
    if (!load.unreadLines.empty() && !m_request.lenient) {
        error(QStringLiteral("%1: %2 lines cannot be read; nothing was done (--lenient leaves "
                             "them out)")
                  .arg(path)
                  .arg(load.unreadLines.size()));
        return exitCode(CliExit::Refused);
    }
    if (!load.unreadLines.empty())
        m_console.line(QStringLiteral("%1note: %2: %3 lines left out (--lenient)")
                           .arg(QLatin1String(clitext::kPrefix), path)
                           .arg(load.unreadLines.size()));
    if (!load.holdsAnyPage()) {
        error(QStringLiteral("%1: %2 Nothing was done.").arg(path, QString::fromUtf8(kNoPageText)));
        return exitCode(CliExit::Refused);
    }
    return 0;
}

QStringList EditorCommand::pagesLacking(const ParameterFileLoad& load) {
    QStringList captions;
    for (int page = 0; page < kFilePageCount; ++page)
        if (!load.pages[page])
            captions << qs(Catalogue::instance().page(page).caption);
    return captions;
}

int EditorCommand::takeFile(const ParameterFileLoad& load) {
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

int EditorCommand::rangeCheck(const std::set<int>* concerned) {
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
        error(qs(checkFailureText(failure)));
    }
    if (!refused)
        return 0;
    error(QStringLiteral("range check failed; nothing was written"));
    return exitCode(CliExit::Refused);
}

int EditorCommand::checkBeforeWrite() {
    if (const auto reset = m_core->resetPending(); reset && !m_request.allowReset) {
        error(QStringLiteral("%1 = %2 resets every parameter of the drive to its factory values "
                             "and its link to %3, station %4; nothing was written "
                             "(--allow-reset writes it)")
                  .arg(codeAndName(drive::kResetParameter))
                  .arg(*reset)
                  .arg(QLatin1String(drive::kFactorySettings))
                  .arg(drive::kFactoryStation));
        return exitCode(CliExit::Refused);
    }
    const std::vector<DriveWarning> warnings = m_core->driveWarnings();
    for (const DriveWarning& w : warnings)
        m_console.line(QStringLiteral("%1warning: the drive may answer with %2: %3")
                           .arg(QLatin1String(clitext::kPrefix), qs(w.error), clitext::warningDetail(w)));
    if (!warnings.empty() && m_request.strict) {
        error(QStringLiteral("--strict: nothing was written"));
        return exitCode(CliExit::Refused);
    }
    return 0;
}

int EditorCommand::writeAndReport(const std::vector<int>* reported,
                                  const std::vector<std::pair<int, QString>>* followers,
                                  WriteScope scope) {
    // The CLI's own line follows the write; the gateway, if any, is its port's own.
    LinkState link{m_request.station, m_request.framing, false, m_line->port().commPort(),
                   m_request.settings, {}};
    const LinkState before = link;
    WriteHooks hooks;
    hooks.confirmWhileRunning = [this] { return m_request.forceRunning; };
    const ChangeSource source = changeSource(&link);
    hooks.registerWritten = [this, &source](const RegisterWritten& written) {
        logChange(editorChange(source, written));
    };
    std::vector<std::pair<int, std::uint16_t>> planned;
    if (m_request.dryRun)
        hooks.rehearse = [&planned](int reg, std::uint16_t word) {
            planned.emplace_back(reg, word);
        };
    if (!m_request.dryRun)
        for (const PlannedWrite& w : m_core->plannedWrites(scope))
            if (int c = refuseLinkChange(static_cast<std::uint16_t>(w.reg), w.value)) {
                m_line->close();
                return c;
            }
    WriteOutcome outcome;
    m_writesSent.clear();
    m_line->submit([&] { outcome = m_core->writeToDrive(link, hooks, scope); });
    m_writesConfirmed = outcome.confirmed;
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
            const bool written = sent(reg);
            const bool changedWithoutWrite = !written && !listed(outcome.unconfirmed, reg) &&
                                             !listed(outcome.skipped, reg) &&
                                             outcome.end == WriteOutcome::End::Finished;
            if ((!written && !changedWithoutWrite) || listed(outcome.unconfirmed, reg) ||
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
            const bool failed =
                std::any_of(outcome.unconfirmed.begin(), outcome.unconfirmed.end(),
                            [reg = reg](const WriteIssue& i) { return i.reg == reg; });
            if (sent(reg) && !failed)
                m_out << line << '\n';
        }
    m_out.flush();
    WriteOutcome told = outcome;
    if (m_env.stopRequested()) {
        // The technician stopped it: not a drive that fell silent.
        std::erase_if(told.unconfirmed,
                      [](const WriteIssue& i) { return i.reply.outcome == LinkOutcome::Stopped; });
        told.end = WriteOutcome::End::Finished;
        error(QStringLiteral("the write stopped at %1: %2 writes confirmed, the rest not written")
                  .arg(clitext::stopCause(m_env.stopSignal()))
                  .arg(outcome.confirmed));
    }
    for (const QString& line : clitext::writeReport(told, 1000))
        m_console.line(QLatin1String(clitext::kPrefix) + line);
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

}  // namespace velorin
