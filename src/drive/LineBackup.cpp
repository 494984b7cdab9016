#include "drive/LineBackup.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <system_error>

#include "drive/FaultHistoryRead.h"
#include "editor/BackupSidecar.h"
#include "editor/EditorCore.h"
#include "editor/ParameterSets.h"
#include "model/FaultRegisters.h"
#include "model/Sha256.h"

namespace velorin {

namespace {

std::optional<int> number(std::string_view text) {
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parseStationList(std::string_view text, int first,
                                                          int last) {
    first = std::max(first, 1);  // never the broadcast address
    std::vector<std::uint8_t> stations;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t dash = item.find('-');
        const auto a = number(item.substr(0, dash));
        const auto b = dash == std::string_view::npos ? a : number(item.substr(dash + 1));
        if (!a || !b || *a < first || *b > last || *a > *b)
            return std::nullopt;
        for (int s = *a; s <= *b; ++s) stations.push_back(static_cast<std::uint8_t>(s));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    std::sort(stations.begin(), stations.end());
    stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    return stations;
}

std::string backupFileName(const BackupFileName& name) {
    std::string station = std::to_string(name.station);
    if (station.size() < 2)
        station.insert(0, 1, '0');
    return "S" + station + "_M" + (name.model ? std::to_string(*name.model) : std::string()) + "_" +
           name.day + kParameterFileExtension;
}

std::optional<BackupFileName> parseBackupFileName(std::string_view fileName) {
    const std::string_view extension = kParameterFileExtension;
    const std::string whole(fileName);
    if (fileName.size() <= extension.size() || !fileName.ends_with(extension) ||
        !fileName.starts_with('S'))
        return std::nullopt;
    fileName.remove_suffix(extension.size());
    fileName.remove_prefix(1);
    const std::size_t first = fileName.find("_M");
    const std::size_t second = fileName.rfind('_');
    if (first == std::string_view::npos || second <= first + 1)
        return std::nullopt;
    const std::string_view station = fileName.substr(0, first);
    const std::string_view model = fileName.substr(first + 2, second - first - 2);
    const std::string_view day = fileName.substr(second + 1);
    const auto s = number(station);
    if (!allDigits(station) || station.size() < 2 || !s || *s < 1 || *s > 255 || day.size() != 8 ||
        !allDigits(day) || (!model.empty() && (!allDigits(model) || model.size() > 6)))
        return std::nullopt;
    BackupFileName name;
    name.station = static_cast<std::uint8_t>(*s);
    if (!model.empty())
        name.model = std::stoi(std::string(model));
    name.day = std::string(day);
    // Only the name backupFileName() gives ("S1_..." or "S001_..." are someone else's).
    if (backupFileName(name) != whole)
        return std::nullopt;
    return name;
}

std::optional<std::filesystem::path> latestBackupOf(const std::filesystem::path& folder,
                                                    std::uint8_t station) {
    std::error_code ec;
    std::optional<std::filesystem::path> best;
    std::string bestKey;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = it->path().filename().string();
        const auto name = parseBackupFileName(file);
        if (!name || name->station != station || !it->is_regular_file(ec))
            continue;
        const std::string key = name->day + file;
        if (!best || key > bestKey) {
            best = it->path();
            bestKey = key;
        }
    }
    return best;
}

bool LineBackup::stopAsked() const {
    return m_line.stopRequested() || (m_hooks.stopRequested && m_hooks.stopRequested());
}

std::vector<DriveBackupOutcome> LineBackup::run(std::span<const std::uint8_t> stations,
                                                const std::vector<int>& pages,
                                                const std::filesystem::path& folder,
                                                const BackupStamp& stamp) {
    const std::uint8_t stationBefore = m_line.station();
    std::vector<DriveBackupOutcome> outcomes;
    const int count = static_cast<int>(stations.size());
    for (int i = 0; i < count; ++i) {
        DriveBackupOutcome outcome;
        outcome.station = stations[i];
        if (!stopAsked() && !m_line.portLost())
            outcome = backUp(i, count, stations[i], pages, folder, stamp);
        if (m_hooks.driveDone)
            m_hooks.driveDone(outcome);
        outcomes.push_back(std::move(outcome));
    }
    m_line.setStation(stationBefore);
    return outcomes;
}

DriveBackupOutcome LineBackup::backUp(int index, int count, std::uint8_t station,
                                      const std::vector<int>& pages,
                                      const std::filesystem::path& folder,
                                      const BackupStamp& stamp) {
    using K = DriveBackupOutcome::Kind;
    DriveBackupOutcome outcome;
    outcome.station = station;
    const auto ended = [&](K kind, int unread = -1, std::string detail = {}) {
        outcome.kind = m_line.portLost() ? K::PortLost : stopAsked() ? K::Stopped : kind;
        if (outcome.kind == kind) {
            outcome.unreadRegister = unread;
            outcome.detail = std::move(detail);
        }
        return outcome;
    };
    DriveBackupProgress progress{index, count, station, -1, 0, static_cast<int>(pages.size())};
    if (m_hooks.progress)
        m_hooks.progress(progress);

    // A core of its own for each drive: nothing of one drive's values may pass for another's.
    m_line.setStation(station);
    const auto core = std::make_unique<EditorCore>();
    core->beginVisit(&m_line, m_line.framing());
    core->readOpeningCopies();
    if (const std::vector<int> unread = core->unreadCopies(); !unread.empty())
        return ended(K::Silent, unread.front());
    if (m_line.portLost() || stopAsked())
        return ended(K::Silent);
    for (int page : pages) {
        ++progress.pageNumber;
        progress.page = page;
        if (m_hooks.progress)
            m_hooks.progress(progress);
        const PageReadOutcome read = core->readPage(page);
        if (read.kind == PageReadOutcome::Kind::Stopped || stopAsked() || m_line.portLost())
            return ended(K::Stopped);
        if (read.kind == PageReadOutcome::Kind::Failed)
            return ended(K::ReadFailed, read.failedRegister);
    }
    const std::string text = onlineSaveText(*core);
    core->endVisit();
    const auto value = [&](int reg) -> std::optional<std::int32_t> {
        const ReplyCheck r = m_line.read(static_cast<std::uint16_t>(reg));
        return r.outcome == LinkOutcome::Ok ? std::optional(driveValue(reg, r.value))
                                            : std::nullopt;
    };
    outcome.model = value(faultregs::kModel);
    outcome.runHours = value(faultregs::kRunHours);
    if (m_line.portLost() || stopAsked())
        return ended(K::Saved);  // told as lost or stopped: nothing written

    outcome.file = folder / backupFileName({station, outcome.model, stamp.day});
    if (auto failure = m_hooks.save(outcome.file, text))
        return ended(K::NotWritten, -1, std::move(*failure));
    outcome.kind = K::Saved;
    outcome.parameters = static_cast<int>(std::count(text.begin(), text.end(), '\n'));

    BackupSidecar sidecar;
    sidecar.model = outcome.model;
    sidecar.runHours = outcome.runHours;
    sidecar.station = station;
    sidecar.link = m_line.settings();
    sidecar.date = stamp.date;
    sidecar.program = stamp.program;
    sidecar.sha256 = sha256Hex(text);
    const std::filesystem::path side = sidecarPath(outcome.file.string());
    if (auto failure = m_hooks.save(side, sidecarText(sidecar))) {
        // The file stands without it; an older sidecar would speak for another file.
        std::error_code ec;
        std::filesystem::remove(side, ec);
        outcome.sidecarFailure = std::move(*failure);
    }
    return outcome;
}

}  // namespace velorin
