#include "drive/ConnectSession.h"

#include <algorithm>

#include "model/FaultRegisters.h"

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

SurveyResult ConnectSession::survey(const std::string& settings, Framing framing, int first,
                                   int last) {
    SurveyResult result;
    result.link = {settings, framing, 0, rateIndexOf(settings), formatIndexOf(settings)};
    LineSession* line = openAt(settings, framing);
    if (!line) {
        result.end = ConnectResult::End::PortUnusable;
        return result;
    }
    const Micros start = m_clock.now();
    const long total = last - first + 1;
    const ScanStep step{0, result.link.format.value_or(0), result.link.rate.value_or(0)};
    std::vector<int> found, askAgain;
    const auto probe = [&](int station) {
        const ReplyCheck reply =
            line->probeAt(static_cast<std::uint8_t>(station), drive::kProbeRegister);
        if (drive::probeFound(reply, framing))
            found.push_back(station);
        return reply;
    };
    long late = line->lateReplies();
    int previousSilent = 0;
    for (int station = first; station <= last; ++station) {
        if (stopAsked() || line->portLost())
            break;
        if (m_hooks.progress) {
            // Each station left costs about what those asked so far did (one reply wait each
            // while nothing answers).
            const long done = station - first;
            const Micros each =
                done > 0 ? (m_clock.now() - start) / done : line->replyTimeout() + kProbeGuess / 10;
            ScanStep at = step;
            at.station = station;
            m_hooks.progress({done, total, at, each * (total - done)});
        }
        // The next station is asked at once: a silent one costs one reply wait, not two, and
        // the late reply of the one before, if it comes, is heard as another station's.
        line->forgetOwedReply();
        const std::size_t before = found.size();
        const ReplyCheck reply = probe(station);
        const bool silent = found.size() == before;
        // A reply that came after its wait was given up (or another station's in this one's
        // wait) belongs to this station or the silent one before it: both are asked again at
        // the end, with the longest wait.
        if (line->lateReplies() != late || reply.outcome == LinkOutcome::WrongStation) {
            late = line->lateReplies();
            if (silent)
                askAgain.push_back(station);
            if (previousSilent)
                askAgain.push_back(previousSilent);
        }
        previousSilent = silent ? station : 0;
    }
    const bool stopped = stopAsked() && !line->portLost();
    // Asked again even after a stop: a drive that answered, if late, was found.
    const Micros usualWait = line->replyTimeout();
    if (!askAgain.empty())
        line->setReplyTimeout(std::max(usualWait, LineTrust::kLongestWait));
    for (int station : askAgain)
        if (!line->portLost() && std::find(found.begin(), found.end(), station) == found.end())
            probe(station);
    line->setReplyTimeout(usualWait);
    std::sort(found.begin(), found.end());
    for (int station : found) {
        if (line->portLost())
            break;
        SurveyedDrive drive{static_cast<std::uint8_t>(station), {}, {}};
        const auto value = [&](std::uint16_t reg) -> std::optional<std::uint16_t> {
            const ReplyCheck r = line->readAt(drive.station, reg);
            return r.outcome == LinkOutcome::Ok ? std::optional<std::uint16_t>(r.value)
                                                : std::nullopt;
        };
        drive.model = value(faultregs::kModel);
        drive.hours = value(faultregs::kRunHours);
        result.drives.push_back(drive);
    }
    result.elapsed = m_clock.now() - start;
    if (line->portLost()) {
        result.end = ConnectResult::End::PortLost;
        return result;
    }
    if (stopped)
        result.end = ConnectResult::End::Stopped;
    else
        result.end = found.empty() ? ConnectResult::End::NotFound : ConnectResult::End::Found;
    if (found.empty()) {
        line->close();
        return result;
    }
    result.link.station = static_cast<std::uint8_t>(found.front());
    line->setStation(result.link.station);
    return result;
}

SurveyResult ConnectSession::surveyAll(std::optional<int> rate, std::optional<int> format,
                                       int first, int last) {
    if (rate && format)
        return survey(settingsString(*rate, *format), framingOfFormat(*format), first, last);
    const ConnectResult searched = search(ScanOrder());
    SurveyResult result;
    if (searched.end == ConnectResult::End::Found) {
        result = survey(searched.link.settings, searched.link.framing, first, last);
    } else {
        result.end = searched.end;
    }
    result.search = searched.search;
    return result;
}

void followMovedDrive(std::vector<SurveyedDrive>& drives, const LinkState& before,
                      const LinkState& after) {
    const bool otherSettings =
        after.settings != before.settings || after.framing != before.framing;
    std::erase_if(drives, [&](const SurveyedDrive& d) {
        return otherSettings ? d.station != before.station
                             : d.station == after.station && after.station != before.station;
    });
    for (SurveyedDrive& d : drives)
        if (d.station == before.station)
            d.station = after.station;
    std::ranges::sort(drives, {}, &SurveyedDrive::station);
}

}  // namespace velorin
