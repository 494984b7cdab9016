#include "drive/ConnectSession.h"

namespace velorin {

LineSession* ConnectSession::openAt(const std::string& settings, Framing framing) {
    LineSession* line = m_hooks.open ? m_hooks.open(settings) : nullptr;
    if (line)
        line->setFraming(framing);
    return line;
}

ConnectResult ConnectSession::probe(const std::string& settings, Framing framing,
                                    std::uint8_t station) {
    ConnectResult result;
    LineSession* line = openAt(settings, framing);
    if (!line) {
        result.end = ConnectResult::End::PortUnusable;
        return result;
    }
    result.probe = line->probeAt(station, drive::kProbeRegister);
    if (result.probe->outcome == LinkOutcome::PortError) {
        result.end = ConnectResult::End::PortLost;
        return result;
    }
    if (drive::probeFound(*result.probe, framing)) {
        result.end = ConnectResult::End::Found;
        result.link = {settings, framing, station, rateIndexOf(settings), formatIndexOf(settings)};
        return result;
    }
    line->close();
    return result;
}

ConnectResult ConnectSession::search(const ScanOrder& order) {
    ScanHooks hooks;
    hooks.open = [this](const ScanStep& step) { return m_hooks.open(step.settings()); };
    hooks.progress = m_hooks.progress;
    hooks.stopRequested = [this] { return stopAsked(); };
    ConnectResult result;
    result.search = scanForDrive(order, m_clock, hooks);
    const ScanResult& scan = *result.search;
    switch (scan.end) {
        case ScanResult::End::Found:
            result.end = ConnectResult::End::Found;
            result.link = {scan.step.settings(), scan.step.framing(),
                           static_cast<std::uint8_t>(scan.step.station), scan.step.rate,
                           scan.step.format};
            break;
        case ScanResult::End::Stopped:
            result.end = ConnectResult::End::Stopped;
            break;
        case ScanResult::End::PortUnusable:
            result.end = ConnectResult::End::PortUnusable;
            break;
        case ScanResult::End::PortLost:
            result.end = ConnectResult::End::PortLost;
            break;
        case ScanResult::End::NotFound:
            // A stop asked during the last probe still counts as a stop.
            result.end = stopAsked() ? ConnectResult::End::Stopped : ConnectResult::End::NotFound;
            break;
    }
    return result;
}

ConnectResult ConnectSession::connect(std::uint8_t station, std::optional<int> rate,
                                      std::optional<int> format) {
    if (rate && format) {
        ConnectResult tried =
            probe(settingsString(*rate, *format), framingOfFormat(*format), station);
        if (tried.end != ConnectResult::End::NotFound)
            return tried;
        if (stopAsked()) {
            tried.end = ConnectResult::End::Stopped;
            return tried;
        }
    }
    return search(ScanOrder());
}

ConnectResult ConnectSession::connectThroughGateway(const std::string& settings, Framing framing,
                                                    std::uint8_t station, int first, int last) {
    ConnectResult result;
    LineSession* line = openAt(settings, framing);
    if (!line) {
        result.end = ConnectResult::End::PortUnusable;
        return result;
    }
    const auto found = [&](int at) {
        result.probe = line->probeAt(static_cast<std::uint8_t>(at), drive::kProbeRegister);
        return drive::probeFound(*result.probe, framing);
    };
    std::optional<int> at;
    if (station > 0 && found(station))
        at = station;
    for (int s = first; !at && s <= last; ++s) {
        if (stopAsked() || line->portLost())
            break;
        if (m_hooks.progress)
            m_hooks.progress({s - first, last - first + 1, {s, 0, 0}, Micros{0}});
        if (found(s))
            at = s;
    }
    if (at) {
        result.end = ConnectResult::End::Found;
        result.link = {settings, framing, static_cast<std::uint8_t>(*at), std::nullopt,
                       std::nullopt};
        return result;
    }
    result.end = line->portLost() ? ConnectResult::End::PortLost
                 : stopAsked()    ? ConnectResult::End::Stopped
                                  : ConnectResult::End::NotFound;
    line->close();
    return result;
}

}  // namespace velorin
