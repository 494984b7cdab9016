#include "drive/DeveloperWrite.h"

#include <array>
#include <chrono>

#include "model/DriveFacts.h"
#include "link/LineSession.h"
#include "link/NumberText.h"
#include "link/Transaction.h"

namespace velorin {

namespace {

constexpr int kHighestRegister = 562;
constexpr auto kResetSettle = std::chrono::seconds(2);  // the drive reloads its factory set

// Everything the run tells the technician, in one place.
namespace text {
const char* const PortInUse = "無法開啟通訊埠，請確認連接埠未被其他程式占用。";
const char* const Running = "目前變頻機為運轉狀態，請手動停止變頻機運轉，否則部分參數將無法寫入。";
const char* const RunningTitle = "變頻機運轉中";
const char* const LinkTitle = "通訊錯誤";
const char* const FileTitle = "檔案錯誤";
const char* const PortNotReopened = "無法重新開啟通訊埠";
const char* const NothingWritten = "未寫入任何參數。";
const char* const NoBlank = "缺少編號與數值之間的空格";
const char* const NumberNotANumber = "編號不是數字";
const char* const NumberTooLarge = "編號超出範圍";
const char* const ValueNotANumber = "數值不是數字";
const char* const ValueOutOfRange = "數值超出範圍";
const char* const BadStation = "站號須在 0 到 255 之間";
const char* const BadFormat = "通訊格式須在 0 到 6 之間";
const char* const BadRate = "傳輸速率須為 0 到 4，或 48、96、192、384、1152";
std::string tooManyEntries() {
    return "檔案超過 " + std::to_string(kDeveloperEntryLimit) + " 項";
}
std::string badEntry(const DeveloperFileError& e) {
    const std::string what =
        e.entry > 0 ? "第 " + std::to_string(e.entry) + " 項「" + e.text + "」：" + e.reason
                    : e.reason;
    return what + "。" + NothingWritten;
}
// Why the run stopped part-way ("通訊埠已中斷"), then how far it came.
std::string stoppedAfter(const std::string& why, std::size_t written) {
    return why + "，已寫入 " + std::to_string(written) + " 項，其餘未寫入。";
}
std::string summary(int confirmed, const std::vector<int>& unconfirmed) {
    constexpr std::size_t kListed = 20;
    std::string s = "開發參數寫入完成：寫入 " + std::to_string(confirmed) + " 項，未確認 " +
                    std::to_string(unconfirmed.size()) + " 項";
    for (std::size_t i = 0; i < unconfirmed.size() && i < kListed; ++i)
        s += "\nP" + std::to_string(unconfirmed[i]);
    if (unconfirmed.size() > kListed)
        s += "\n…";
    return s;
}
}  // namespace text

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
    auto fail = [](int entry, std::string_view text, std::string reason) {
        return DeveloperPlanResult{std::nullopt,
                                   DeveloperFileError{entry, std::string(text), std::move(reason)}};
    };
    if (entries.size() > static_cast<std::size_t>(kDeveloperEntryLimit))
        return fail(0, {}, text::tooManyEntries());

    DeveloperPlan plan;
    std::int16_t station = -1, format = -1, rate = -1;
    std::array<int, 3> heldEntry{};
    std::array<std::string_view, 3> heldText{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int place = static_cast<int>(i) + 1;
        const std::string_view entry = entries[i];
        const std::size_t blank = entry.find(' ');
        if (blank == std::string_view::npos)
            return fail(place, entry, text::NoBlank);
        const auto number = strictNumber(entry.substr(1, blank - 1));
        if (!number)
            return fail(place, entry, text::NumberNotANumber);
        const auto reg = roundDown<std::int16_t>(*number);
        if (!reg)
            return fail(place, entry, text::NumberTooLarge);
        const std::string_view valueText = entry.substr(blank + 1);
        if (*reg < 0 || *reg > kHighestRegister)
            continue;

        if (*reg == drive::kStationParameter || *reg == drive::kRateParameter ||
            *reg == drive::kFormatParameter) {
            const auto value = strictNumber(valueText);
            if (!value)
                return fail(place, entry, text::ValueNotANumber);
            const auto held = roundTo<std::int16_t>(*value);
            if (!held)
                return fail(place, entry, text::ValueOutOfRange);
            const int slot = *reg - drive::kStationParameter;
            std::int16_t& target = slot == 0 ? station : slot == 1 ? rate : format;
            target = *held;
            heldEntry[slot] = place;
            heldText[slot] = entry;
            continue;
        }
        const auto word = encodeValue(valueText, framing);
        if (!word)
            return fail(place, entry, text::ValueOutOfRange);
        plan.writes.push_back({static_cast<std::uint16_t>(*reg), *word, place});
        if (resetsDrive(*reg, *word))
            framing = drive::kFactoryFraming;
    }
    if (station != -1) {
        if (station < 0 || station > 255)
            return fail(heldEntry[0], heldText[0], text::BadStation);
        plan.station = static_cast<std::uint8_t>(station);
    }
    if (format != -1) {
        if (format < 0 || format >= static_cast<int>(kFormats.size()))
            return fail(heldEntry[2], heldText[2], text::BadFormat);
        plan.format = format;
    }
    if (rate != -1) {
        plan.rate = rateIndexOfValue(rate);
        if (!plan.rate)
            return fail(heldEntry[1], heldText[1], text::BadRate);
    }
    return {std::move(plan), std::nullopt};
}

DeveloperWriteResult runDeveloperWrite(LineSession& session, LinkState& link,
                                       const DeveloperWriteHooks& hooks) {
    DeveloperWriteResult result;
    auto tell = [&hooks](std::string title, std::string message) {
        if (hooks.tell)
            hooks.tell({std::move(title), std::move(message)});
    };
    auto written = [&result] { return result.confirmed + result.unconfirmed.size(); };
    auto finish = [&session, &result](DeveloperWriteEnd end) {
        session.close();
        result.end = end;
        return result;
    };
    auto lineLost = [&](const ReplyCheck& check) {
        tell(text::LinkTitle, text::stoppedAfter(describeOutcome(check), written()));
        return finish(DeveloperWriteEnd::LineFailed);
    };

    session.follow(link);
    if (!session.isOpen() && session.open(link.comPort, link.settings) != OpenResult::Ok) {
        tell(text::LinkTitle, text::PortInUse);
        return finish(DeveloperWriteEnd::PortNotOpened);
    }
    const ReplyCheck status = session.read(drive::kStatusRegister);
    if (status.outcome != LinkOutcome::Ok) {
        tell(text::LinkTitle, describeOutcome(status, false) + "，" + text::NothingWritten);
        return finish(DeveloperWriteEnd::NoReply);
    }
    if (drive::motorRuns(status.value)) {
        tell(text::RunningTitle, text::Running);
        return finish(DeveloperWriteEnd::DriveRunning);
    }

    const std::optional<std::string> file = hooks.chooseFile ? hooks.chooseFile() : std::nullopt;
    if (!file)
        return finish(DeveloperWriteEnd::NoFile);
    const DeveloperPlanResult checked = planDeveloperWrite(*file, session.framing());
    if (!checked.plan) {
        tell(text::FileTitle, text::badEntry(*checked.error));
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
        tell(text::LinkTitle, text::stoppedAfter(text::PortNotReopened, written()));
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
    tell(kDeveloperTitle, text::summary(result.confirmed, result.unconfirmed));
    return finish(DeveloperWriteEnd::Finished);
}

}  // namespace velorin
