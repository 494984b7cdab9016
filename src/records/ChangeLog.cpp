#include "records/ChangeLog.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace velorin {

namespace {

constexpr std::size_t kColumnCount = 12;

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

template <class Number>
std::optional<Number> wholeNumber(std::string_view text) {
    Number n{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return n;
}

std::string registerCode(int reg) {
    if (reg >= 0 && reg < kRegisterCount)
        return Catalogue::codeOf(reg);
    std::array<char, 8> hex{};
    std::snprintf(hex.data(), hex.size(), "0x%04X", static_cast<unsigned>(reg & 0xFFFF));
    return hex.data();
}

std::string shownValue(int reg, std::int32_t raw, const DisplayContext& context) {
    if (reg < 0 || reg >= kRegisterCount)
        return {};
    return shownText(reg, displayValue(reg, raw, context)).value_or(std::string());
}

ChangeEntry sourceEntry(const ChangeSource& source, int reg, bool confirmed) {
    ChangeEntry entry;
    entry.port = source.port;
    if (source.link) {
        entry.settings = lineSettingsText(*source.link);
        entry.station = source.link->station;
    }
    entry.code = registerCode(reg);
    if (reg >= 0 && reg < kRegisterCount)
        entry.name = Catalogue::instance().parameter(reg).name;
    entry.confirmed = confirmed;
    entry.command = source.command;
    return entry;
}

}  // namespace

std::string changeLogLine(const ChangeEntry& e) {
    const std::array<std::string, kColumnCount> columns = {
        e.time,
        e.port,
        e.settings,
        std::to_string(e.station),
        e.code,
        e.name,
        e.oldRaw ? std::to_string(*e.oldRaw) : std::string(),
        std::to_string(e.newRaw),
        e.oldShown,
        e.newShown,
        e.confirmed ? kConfirmedText : kNotConfirmedText,
        e.command};
    std::string line = escaped(columns.front());
    for (std::size_t i = 1; i < columns.size(); ++i) line += '\t' + escaped(columns[i]);
    return line + '\n';
}

std::optional<ChangeEntry> parseChangeLogLine(std::string_view line) {
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    std::vector<std::string> columns;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        const auto column = unescaped(line.substr(start, tab - start));
        if (!column)
            return std::nullopt;
        columns.push_back(*column);
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (columns.size() != kColumnCount || columns[0].empty())
        return std::nullopt;
    ChangeEntry e;
    const auto station = wholeNumber<int>(columns[3]);
    const auto newRaw = wholeNumber<std::int32_t>(columns[7]);
    const auto oldRaw = wholeNumber<std::int32_t>(columns[6]);
    const bool confirmed = columns[10] == kConfirmedText;
    if (!station || !newRaw || (!oldRaw && !columns[6].empty()) ||
        (!confirmed && columns[10] != kNotConfirmedText))
        return std::nullopt;
    e.time = columns[0];
    e.port = columns[1];
    e.settings = columns[2];
    e.station = *station;
    e.code = columns[4];
    e.name = columns[5];
    e.oldRaw = oldRaw;
    e.newRaw = *newRaw;
    e.oldShown = columns[8];
    e.newShown = columns[9];
    e.confirmed = confirmed;
    e.command = columns[11];
    return e;
}

ChangeLogRead readChangeLog(std::string_view text) {
    ChangeLogRead read;
    int number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(start, next - start);
        start = next;
        ++number;
        if (line.find_first_not_of(" \t\r\n") == std::string_view::npos)
            continue;
        if (auto entry = parseChangeLogLine(line)) {
            read.entries.push_back(std::move(*entry));
            continue;
        }
        read.damagedLines.push_back(number);
        // A line cut short with the next entry glued behind it: the entry starts with its time,
        // "2026-12-07T", after the remains.
        for (std::size_t at = line.find('T', 11); at != std::string_view::npos;
             at = line.find('T', at + 1)) {
            const std::string_view date = line.substr(at - 10, 10);
            if (!validSinceText(date))
                continue;
            if (auto entry = parseChangeLogLine(line.substr(at - 10))) {
                read.entries.push_back(std::move(*entry));
                break;
            }
        }
    }
    return read;
}

bool ChangeLogFilter::admits(const ChangeEntry& entry) const {
    // Local times of one width compare as text; a date alone is the start of its day.
    return entry.time >= since && (!station || entry.station == *station);
}

bool validSinceText(std::string_view text) {
    // Positions of the digits' groups and their bounds: year, month, day, hour, minute, second.
    const struct {
        std::size_t at;
        char before;
        int low, high;
    } parts[] = {{0, 0, 0, 9999},  {5, '-', 1, 12},  {8, '-', 1, 31},
                 {11, 'T', 0, 23}, {14, ':', 0, 59}, {17, ':', 0, 59}};
    if (text.size() != 10 && text.size() != 16 && text.size() != 19)
        return false;
    for (const auto& part : parts) {
        if (part.at >= text.size())
            break;
        const std::size_t width = part.at == 0 ? 4 : 2;
        if (part.at > 0 && text[part.at - 1] != part.before)
            return false;
        const std::string_view digits = text.substr(part.at, width);
        if (digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        const int value = *wholeNumber<int>(digits);
        if (value < part.low || value > part.high)
            return false;
    }
    return true;
}

ChangeEntry editorChange(const ChangeSource& source, const RegisterWritten& written) {
    ChangeEntry entry = sourceEntry(source, written.reg, written.confirmed);
    entry.oldRaw = written.before;
    entry.newRaw = written.value;
    if (written.before)
        entry.oldShown = shownValue(written.reg, *written.before, written.shownBefore);
    entry.newShown = shownValue(written.reg, written.value, written.shownAfter);
    return entry;
}

ChangeEntry wordChange(const ChangeSource& source, int reg, std::uint16_t word, bool confirmed,
                       std::optional<std::uint16_t> before) {
    ChangeEntry entry = sourceEntry(source, reg, confirmed);
    const bool catalogued = reg >= 0 && reg < kRegisterCount;
    auto raw = [&](std::uint16_t w) {
        return catalogued ? EditorCore::driveValueOf(reg, w) : std::int32_t{w};
    };
    // No unit switch and no P13.35 is known: a time or a PID set point shows nothing.
    const DisplayContext unitsUnknown{-1, -1, std::nullopt};
    entry.newRaw = raw(word);
    entry.newShown = shownValue(reg, entry.newRaw, unitsUnknown);
    if (before) {
        entry.oldRaw = raw(*before);
        entry.oldShown = shownValue(reg, *entry.oldRaw, unitsUnknown);
    }
    return entry;
}

std::optional<std::string> ChangeLog::record(ChangeEntry entry) {
    entry.time = localTime();
    std::optional<std::string> failure = append(changeLogLine(entry));
    if (!failure)
        return std::nullopt;
    ++m_unrecorded;
    m_lastFailure = *failure;
    if (m_failureTold)
        return std::nullopt;
    m_failureTold = true;
    return failure;
}

}  // namespace velorin
