#include "Commands.h"

namespace velorin {

SurveyResult CommandRun::surveyLine(int& openStatus) {
    openStatus = 0;
    ConnectHooks hooks;
    hooks.open = [&](const std::string& settings) -> LineSession* {
        openStatus = openLine(settings);
        return openStatus == 0 ? m_line.get() : nullptr;
    };
    const ScanOrder order;  // the search, while the settings are not known
    const int first = m_request.firstStation, last = m_request.lastStation;
    bool surveying = m_request.gateway || m_request.settingsGiven;
    hooks.progress = [&](const ScanProgress& p) {
        if (!surveying) {
            if (m_console.terminal())
                m_console.live(clitext::scanProgress(order, p.step, p.left));
            else if (p.step.format == 0 && p.step.rate == 0)
                m_console.line(clitext::scanStation(order, p.step));
        } else if (m_console.terminal()) {
            m_console.live(clitext::surveyProgress(p.step.station, first, last, p.left));
        } else if (p.index % 10 == 0) {
            m_console.line(clitext::surveyProgress(p.step.station, first, last, p.left));
        }
    };
    hooks.stopRequested = [this] { return m_env.stopRequested(); };
    ConnectSession connecting(m_env.timedWait(), hooks);
    if (m_request.gateway)
        m_console.line(clitext::gatewaySurveyNote(portLabel(), m_request.framing));
    SurveyResult result;
    if (surveying) {
        result = connecting.survey(m_request.settings, m_request.framing, first, last);
    } else {
        const ConnectResult found = connecting.search(order);
        if (found.end == ConnectResult::End::Found) {
            m_console.line(QStringLiteral("the line speaks %1; surveying stations %2-%3")
                               .arg(QString::fromStdString(found.link.settings))
                               .arg(first)
                               .arg(last));
            surveying = true;
            result = connecting.survey(found.link.settings, found.link.framing, first, last);
        } else {
            result.end = found.end;
        }
        result.search = found.search;
    }
    m_console.endLive();
    return result;
}

int CommandRun::surveyFailure(const SurveyResult& result, int openStatus) {
    switch (result.end) {
        case ConnectResult::End::Found:
        case ConnectResult::End::Stopped:
            return 0;
        case ConnectResult::End::PortUnusable:
            return openStatus;
        case ConnectResult::End::PortLost:
            return portLost(QStringLiteral("the survey stopped"));
        case ConnectResult::End::NotFound:
            break;
    }
    if (result.link.settings.empty())
        error(QStringLiteral("no drive found on %1: no settings string got an answer")
                  .arg(portLabel()));
    else
        error(QStringLiteral("no drive answered on %1 at %2, stations %3-%4")
                  .arg(portLabel(), QString::fromStdString(result.link.settings))
                  .arg(m_request.firstStation)
                  .arg(m_request.lastStation));
    return exitCode(CliExit::NoUsableReply);
}

int SurveyCommand::run() {
    int openStatus = 0;
    const SurveyResult result = surveyLine(openStatus);
    // What was found is printed even after Ctrl+C.
    for (const SurveyedDrive& drive : result.drives)
        m_out << clitext::surveyedLine(result.link.settings, result.link.framing, drive);
    m_out.flush();
    if (int c = surveyFailure(result, openStatus))
        return c;
    if (result.end == ConnectResult::End::Stopped) {
        m_console.line(QStringLiteral("survey stopped after %1; drives found before: %2")
                           .arg(clitext::durationText(result.elapsed))
                           .arg(result.drives.size()));
        return interrupted();
    }
    m_console.line(QStringLiteral("%1 of stations %2-%3 answered at %4 (asked in %5)")
                       .arg(result.drives.size())
                       .arg(m_request.firstStation)
                       .arg(m_request.lastStation)
                       .arg(QString::fromStdString(result.link.settings))
                       .arg(clitext::durationText(result.elapsed)));
    m_line->close();
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
