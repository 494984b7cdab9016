#include "Commands.h"

#include "drive/ConnectSession.h"

namespace velorin {

int ScanCommand::scanStations() {
    int openStatus = 0;
    ConnectHooks hooks;
    hooks.open = [&](const std::string& settings) -> LineSession* {
        openStatus = openLine(settings);
        return openStatus == 0 ? m_line.get() : nullptr;
    };
    hooks.stopRequested = [this] { return m_env.stopRequested(); };
    m_console.line(clitext::gatewayScanNote(portLabel(), m_request.framing));
    ConnectSession connecting(m_env.timedWait(), hooks);
    const ConnectResult found =
        connecting.connectThroughGateway(m_request.settings, m_request.framing, 0,
                                         m_request.firstStation, m_request.lastStation);
    switch (found.end) {
        case ConnectResult::End::Found:
            m_line->close();
            m_out << clitext::foundLine(m_request.settings, m_request.framing, found.link.station);
            return exitCode(CliExit::Ok);
        case ConnectResult::End::PortUnusable:
            return openStatus;
        case ConnectResult::End::PortLost:
            return portLost(QStringLiteral("the scan stopped"));
        case ConnectResult::End::Stopped:
            return interrupted();
        case ConnectResult::End::NotFound:
            break;
    }
    error(QStringLiteral("no drive found through %1 at stations %2-%3")
              .arg(portLabel())
              .arg(m_request.firstStation)
              .arg(m_request.lastStation));
    return exitCode(CliExit::NoUsableReply);
}

int ScanCommand::run() {
    if (m_request.gateway)
        return scanStations();
    const ScanOrder order(m_request.firstStation, m_request.lastStation);
    int openStatus = 0;
    ConnectHooks hooks;
    hooks.open = [&](const std::string& settings) -> LineSession* {
        // Every probe opens the port afresh with its own settings.
        openStatus = openLine(settings);
        return openStatus == 0 ? m_line.get() : nullptr;
    };
    hooks.progress = [&](const ScanProgress& p) {
        if (m_console.terminal())
            m_console.live(clitext::scanProgress(order, p.step, p.left));
        else if (p.step.format == 0 && p.step.rate == 0)
            m_console.line(clitext::scanStation(order, p.step));
    };
    hooks.stopRequested = [this] { return m_env.stopRequested(); };
    ConnectSession connecting(m_env.timedWait(), hooks);
    const ConnectResult found = connecting.search(order);
    const ScanResult& r = *found.search;
    switch (found.end) {
        case ConnectResult::End::Found:
            m_console.line(QStringLiteral("found by probe %1 of %2 after %3")
                               .arg(r.index + 1)
                               .arg(order.total())
                               .arg(clitext::durationText(r.elapsed)));
            m_out << clitext::foundLine(found.link.settings, found.link.framing,
                                        found.link.station);
            return exitCode(CliExit::Ok);
        case ConnectResult::End::Stopped:
            m_console.endLive();
            error(QStringLiteral("scan stopped before probe %1 of %2 (%3); nothing found")
                      .arg(r.index + 1)
                      .arg(order.total())
                      .arg(clitext::scanStep(r.step)));
            return interrupted();
        case ConnectResult::End::PortUnusable:
            error(QStringLiteral("scan stopped at %1").arg(clitext::scanStep(r.step)));
            return openStatus;
        case ConnectResult::End::PortLost:
            m_console.endLive();
            return portLost(QStringLiteral("scan stopped at %1").arg(clitext::scanStep(r.step)));
        case ConnectResult::End::NotFound:
            break;
    }
    error(QStringLiteral("no drive found on %1 at stations %2-%3 (%4 probes)")
              .arg(portLabel())
              .arg(order.firstStation())
              .arg(order.lastStation())
              .arg(order.total()));
    return exitCode(CliExit::NoUsableReply);
}

}  // namespace velorin
