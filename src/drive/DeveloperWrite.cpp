#include "drive/DeveloperWrite.h"

#include <array>
#include <chrono>

#include "link/LineSession.h"
#include "link/NumberText.h"
#include "link/Transaction.h"
#include "model/DriveFacts.h"

namespace velorin {

namespace {

constexpr int kHighestRegister = 562;
constexpr auto kResetSettle = std::chrono::seconds(2);  // the drive reloads its factory set

// Entries of a developer file: a line end or a comma ends one, blanks before it are skipped.
std::vector<std::string_view> splitEntries(std::string_view text) {
    std::vector<std::string_view> entries;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n,", pos);
        std::string_view entry =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        if (!entry.empty())
            entries.push_back(entry);
        if (end == std::string_view::npos)
            break;
        pos = end + 1;
    }
    return entries;
}

// The 16-bit word a value text becomes on the line, as each framing's write takes it.
std::optional<std::uint16_t> encodeValue(std::string_view valueText, Framing framing) {
    const auto number = lenientNumber(valueText);
    if (!number)
        return std::nullopt;  // too large to hold
    double v = *number;
    if (!isRtu(framing)) {
        // The ASCII write takes 0..65535 only: a negative value travels as its two's complement.
        if (v < 0)
            v += 65536;
        const auto word = roundHalfEven(v, 0, 65535);
        if (!word)
            return std::nullopt;
        return static_cast<std::uint16_t>(*word);
    }
    if (v > 65536)
        v = 131072 - v;
    std::array<std::uint8_t, 2> bytes{};
    if (!registerBytes(plainText(v), bytes))
        return std::nullopt;
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::optional<int> rateIndexOfValue(int value) {
    for (int i = 0; i < static_cast<int>(kRates.size()); ++i)
        if (value == i || value == kRates[i].driveValue)
            return i;
    return std::nullopt;
}

// The drive acts on the word it receives: a lock/reset word of 2-7 restores its factory set.
bool resetsDrive(std::uint16_t reg, std::uint16_t word) {
    return reg == drive::kResetParameter && drive::isFactoryReset(static_cast<std::int16_t>(word));
}

}  // namespace

DeveloperPlanResult planDeveloperWrite(std::string_view fileText, Framing framing) {
    const std::vector<std::string_view> entries = splitEntries(fileText);
    auto fail = [](int entry, std::string_view text, DeveloperFileFault fault) {
        return DeveloperPlanResult{std::nullopt,
                                   DeveloperFileError{entry, std::string(text), fault}};
    };
    using Fault = DeveloperFileFault;
    if (entries.size() > static_cast<std::size_t>(kDeveloperEntryLimit))
        return fail(0, {}, Fault::TooManyEntries);

    DeveloperPlan plan;
    std::int16_t station = -1, format = -1, rate = -1;
    std::array<int, 3> heldEntry{};
    std::array<std::string_view, 3> heldText{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int place = static_cast<int>(i) + 1;
        const std::string_view entry = entries[i];
        const std::size_t blank = entry.find(' ');
        if (blank == std::string_view::npos)
            return fail(place, entry, Fault::NoBlank);
        const auto number = strictNumber(entry.substr(1, blank - 1));
        if (!number)
            return fail(place, entry, Fault::NumberNotANumber);
        const auto reg = roundDown<std::int16_t>(*number);
        if (!reg)
            return fail(place, entry, Fault::NumberTooLarge);
        const std::string_view valueText = entry.substr(blank + 1);
        if (*reg < 0 || *reg > kHighestRegister)
            continue;

        if (*reg == drive::kStationParameter || *reg == drive::kRateParameter ||
            *reg == drive::kFormatParameter) {
            const auto value = strictNumber(valueText);
            if (!value)
                return fail(place, entry, Fault::ValueNotANumber);
            const auto held = roundTo<std::int16_t>(*value);
            if (!held)
                return fail(place, entry, Fault::ValueOutOfRange);
            const int slot = *reg - drive::kStationParameter;
            std::int16_t& target = slot == 0 ? station : slot == 1 ? rate : format;
            target = *held;
            heldEntry[slot] = place;
            heldText[slot] = entry;
            continue;
        }
        const auto word = encodeValue(valueText, framing);
        if (!word)
            return fail(place, entry, Fault::ValueOutOfRange);
        plan.writes.push_back({static_cast<std::uint16_t>(*reg), *word, place});
        if (resetsDrive(*reg, *word))
            framing = drive::kFactoryFraming;
    }
    if (station != -1) {
        if (station < 0 || station > 255)
            return fail(heldEntry[0], heldText[0], Fault::BadStation);
        plan.station = static_cast<std::uint8_t>(station);
    }
    if (format != -1) {
        if (format < 0 || format >= static_cast<int>(kFormats.size()))
            return fail(heldEntry[2], heldText[2], Fault::BadFormat);
        plan.format = format;
    }
    if (rate != -1) {
        plan.rate = rateIndexOfValue(rate);
        if (!plan.rate)
            return fail(heldEntry[1], heldText[1], Fault::BadRate);
    }
    return {std::move(plan), std::nullopt};
}

DeveloperWriteResult runDeveloperWrite(LineSession& session, LinkState& link,
                                       const DeveloperWriteHooks& hooks) {
    DeveloperWriteResult result;
    using Kind = DeveloperNotice::Kind;
    auto tell = [&hooks](DeveloperNotice notice) {
        if (hooks.tell)
            hooks.tell(notice);
    };
    auto written = [&result] {
        return result.confirmed + static_cast<int>(result.unconfirmed.size());
    };
    auto finish = [&session, &result](DeveloperWriteEnd end) {
        session.close();
        result.end = end;
        return result;
    };
    auto lineLost = [&](const ReplyCheck& check) {
        tell({.kind = Kind::LineLost, .reply = check, .written = written()});
        return finish(DeveloperWriteEnd::LineFailed);
    };

    session.follow(link);
    if (!session.isOpen() && session.open(link.comPort, link.settings) != OpenResult::Ok) {
        tell({.kind = Kind::PortNotOpened});
        return finish(DeveloperWriteEnd::PortNotOpened);
    }
    const ReplyCheck status = session.read(drive::kStatusRegister);
    if (status.outcome != LinkOutcome::Ok) {
        tell({.kind = Kind::NoReply, .reply = status});
        return finish(DeveloperWriteEnd::NoReply);
    }
    if (drive::motorRuns(status.value)) {
        tell({.kind = Kind::DriveRunning});
        return finish(DeveloperWriteEnd::DriveRunning);
    }

    const std::optional<std::string> file = hooks.chooseFile ? hooks.chooseFile() : std::nullopt;
    if (!file)
        return finish(DeveloperWriteEnd::NoFile);
    const DeveloperPlanResult checked = planDeveloperWrite(*file, session.framing());
    if (!checked.plan) {
        tell({.kind = Kind::BadFile, .fileError = checked.error});
        return finish(DeveloperWriteEnd::BadFile);
    }
    const DeveloperPlan& plan = *checked.plan;
    const int total = static_cast<int>(plan.writes.size()) + (plan.station ? 1 : 0) +
                      (plan.format ? 1 : 0) + (plan.rate ? 1 : 0);

    // One write; false when the line is gone and the run must stop.
    std::optional<ReplyCheck> lastCheck;
    auto put = [&](std::uint16_t reg, std::uint16_t word) {
        const ReplyCheck check = session.write(reg, word, drive::writeEffect(reg, word));
        lastCheck = check;
        if (hooks.written && check.outcome != LinkOutcome::Stopped)
            hooks.written(reg, word, check.outcome == LinkOutcome::Ok);
        if (check.outcome == LinkOutcome::PortError || check.outcome == LinkOutcome::Stopped)
            return false;
        if (check.outcome == LinkOutcome::Ok)
            ++result.confirmed;
        else
            result.unconfirmed.push_back(reg);
        if (hooks.progress)
            hooks.progress(result.confirmed + static_cast<int>(result.unconfirmed.size()), total);
        return true;
    };
    // A drive that refused a link change with an exception reply still talks as before.
    auto refused = [&lastCheck] { return lastCheck->outcome == LinkOutcome::Exception; };
    auto reopen = [&]() {
        if (session.open(link.comPort, link.settings) == OpenResult::Ok)
            return true;
        tell({.kind = Kind::PortNotReopened, .written = written()});
        return false;
    };

    for (const DeveloperWord& w : plan.writes) {
        if (!put(w.reg, w.word))
            return lineLost(*lastCheck);
        if (w.reg != drive::kResetParameter)
            continue;
        session.clock().wait(kResetSettle);
        if (!resetsDrive(w.reg, w.word) || refused())
            continue;
        link.settings = drive::kFactorySettings;
        link.framing = drive::kFactoryFraming;
        link.station = drive::kFactoryStation;
        session.follow(link);
        if (!reopen())
            return finish(DeveloperWriteEnd::LineFailed);
    }

    if (plan.station) {
        if (!put(drive::kStationParameter, *plan.station))
            return lineLost(*lastCheck);
        if (!refused()) {
            link.station = *plan.station;
            session.setStation(link.station);
        }
    }
    if (plan.format) {
        if (!put(drive::kFormatParameter, static_cast<std::uint16_t>(*plan.format)))
            return lineLost(*lastCheck);
        if (!refused()) {
            link.framing = framingOfFormat(*plan.format);
            link.settings = replaceFormat(link.settings, *plan.format);
            session.setFraming(link.framing);
            if (!reopen())
                return finish(DeveloperWriteEnd::LineFailed);
        }
    }
    if (plan.rate) {
        const auto code = static_cast<std::uint16_t>(kRates[*plan.rate].driveValue);
        if (!put(drive::kRateParameter, code))
            return lineLost(*lastCheck);
        // The port closes next; the next window opens it at the new rate.
        if (!refused())
            link.settings = replaceRate(link.settings, *plan.rate);
    }
    session.close();
    tell(
        {.kind = Kind::Finished, .confirmed = result.confirmed, .unconfirmed = result.unconfirmed});
    return finish(DeveloperWriteEnd::Finished);
}

}  // namespace velorin
