// The parameter-file reader over any contents, the file taken apart again here without it: an
// unreadable line is told, a plain line ("P12 -300") is not unless it repeats a register, a file
// of plain lines is read exactly, and what is taken saves and loads back the same.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "model/Catalogue.h"
#include "editor/ParameterFile.h"

namespace velorin::fuzz {

namespace {

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A line ends at CR LF, a lone CR or a lone LF; the end of the file closes a last line that has
// characters.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

struct Line {
    enum class Kind {
        Bad,     // the reader must leave it out and tell it
        Plain,   // "P" + 1-3 decimal digits below 549 + one blank + an optional minus and
                 // decimal digits from -32768 to 65535
        Unsure,  // "P" + a register + a blank + a value the strict number rule may take ("+5",
                 // "&H10", " 5"); not judged line by line
    };
    Kind kind = Kind::Bad;
    int reg = -1;            // with Plain and Unsure
    std::int64_t value = 0;  // with Plain
};

Line judgeLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (line.empty() || blank == std::string_view::npos || blank == 0 || line[0] != 'P')
        return {Line::Kind::Bad};
    const std::string_view label = line.substr(1, blank - 1);
    const std::string_view value = line.substr(blank + 1);
    if (!allDigits(label) || label.size() > 3 ||
        std::stoi(std::string(label)) >= kFileRegisterCount)
        return {Line::Kind::Bad};
    Line out{Line::Kind::Unsure, std::stoi(std::string(label))};
    const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
    if (!allDigits(digits))
        return out;
    // Leading zeros do not count: "0000001" is 1.
    std::string_view significant = digits;
    while (significant.size() > 1 && significant.front() == '0') significant.remove_prefix(1);
    if (significant.size() > 6)
        return {Line::Kind::Bad};
    out.value = std::stoll(std::string(significant)) * (value.starts_with('-') ? -1 : 1);
    out.kind = out.value >= -32768 && out.value <= 65535 ? Line::Kind::Plain : Line::Kind::Bad;
    return out;
}

std::string text(const std::optional<std::int32_t>& v) {
    return v ? std::to_string(*v) : "none";
}

// What the reader must make of a file of plain lines only.
struct Expected {
    std::optional<int> errorLine;
    bool repeats = false;
    std::array<bool, kFilePageCount> pages{};
    std::array<std::optional<std::int32_t>, kFileRegisterCount> values{};
};

Expected readPlainFile(const std::vector<Line>& lines) {
    Expected e;
    for (const Line& line : lines) {
        e.repeats = e.repeats || e.values[line.reg];
        e.values[line.reg] = static_cast<std::int32_t>(line.value);
    }
    for (int page = 0; page < kFilePageCount; ++page) {
        const RegisterRange range = heldRange(page);
        std::optional<int> startLine;
        for (std::size_t i = 0; i < lines.size() && !startLine; ++i)
            if (lines[i].reg == range.first && range.last >= range.first)
                startLine = static_cast<int>(i) + 1;
        if (!startLine)
            continue;
        e.pages[page] = true;
        for (int reg = range.first; reg <= range.last; ++reg)
            if (!e.values[reg] && Catalogue::instance().parameter(reg).shown &&
                (!e.errorLine || *startLine < *e.errorLine))
                e.errorLine = *startLine;
    }
    return e;
}

std::string faultText(const ParameterFileError& fault) {
    return "fault " + std::to_string(static_cast<int>(fault.kind)) + " at line " +
           std::to_string(fault.line) + " (P" + std::to_string(fault.reg) + ", \"" + fault.quoted +
           "\")";
}

// Saves what was loaded, loads the save and compares the registers the save holds.
std::string roundTrip(const ParameterFileLoad& load, char separator, bool offline) {
    std::array<std::int32_t, kRegisterCount> value{};
    std::array<std::int16_t, kFilePageCount> flags{};
    std::array<bool, kFileRegisterCount> saved{};
    for (int page = 0; page < kFilePageCount; ++page) {
        flags[page] = load.pages[page] ? 1 : 0;
        const RegisterRange range = heldRange(page);
        for (int reg = range.first; reg <= range.last && load.pages[page]; ++reg) saved[reg] = true;
    }
    if (offline)
        saved.fill(true);
    for (int reg = 0; reg < kFileRegisterCount; ++reg)
        if (saved[reg])
            value[reg] = load.values[reg].value_or(0);

    const std::string where = offline ? "offline" : "online";
    const ParameterFileLoad again =
        parseParameterFile(parameterFileText(value, flags, offline), separator);
    if (!again.ok())
        return "its " + where + " save does not load: " +
               faultText(again.unreadLines.empty() ? *again.error : again.unreadLines.front());
    for (int page = 0; page < kFilePageCount; ++page)
        if (again.pages[page] != (offline || load.pages[page]))
            return "its " + where + " save loads page " + std::to_string(page) +
                   (again.pages[page] ? " too" : " no longer");
    for (int reg = 0; reg < kFileRegisterCount; ++reg) {
        const std::optional<std::int32_t> due =
            saved[reg] ? std::optional<std::int32_t>(value[reg]) : std::nullopt;
        if (again.values[reg] != due)
            return "its " + where + " save loads P" + std::to_string(reg) + " as " +
                   text(again.values[reg]) + ", not " + text(due);
    }
    return {};
}

std::string checkWith(std::string_view bytes, char separator) {
    const ParameterFileLoad load = parseParameterFile(bytes, separator);

    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    const std::vector<std::string_view> rawLines = splitLines(bytes);
    std::vector<Line> lines;
    std::vector<bool> seen(kFileRegisterCount);
    std::vector<bool> told(rawLines.size() + 1);
    bool allPlain = true;
    for (const std::string_view raw : rawLines) {
        lines.push_back(judgeLine(raw));
        allPlain = allPlain && lines.back().kind == Line::Kind::Plain;
    }
    const int lineCount = static_cast<int>(rawLines.size());
    for (const ParameterFileError& fault : load.unreadLines) {
        if (fault.line < 1 || fault.line > lineCount ||
            fault.kind == ParameterFileError::Kind::Unreadable ||
            fault.kind == ParameterFileError::Kind::MissingValue)
            return "told line " + std::to_string(fault.line) + " of a file of " +
                   std::to_string(lineCount) + " lines as " + faultText(fault);
        told[fault.line] = true;
    }
    for (int i = 0; i < lineCount; ++i) {
        const Line& line = lines[i];
        const bool repeat = line.reg >= 0 && seen[line.reg];
        if (line.kind != Line::Kind::Bad && line.reg >= 0)
            seen[line.reg] = true;
        if (line.kind == Line::Kind::Bad && !told[i + 1])
            return "did not tell line " + std::to_string(i + 1) + ", which is unreadable";
        if (line.kind == Line::Kind::Plain && told[i + 1] && !repeat)
            return "told line " + std::to_string(i + 1) + ", a plain line";
    }
    if (load.error && (load.error->line < 1 || load.error->line > lineCount))
        return "refused the file at line " + std::to_string(load.error->line);

    if (allPlain) {
        const Expected e = readPlainFile(lines);
        if (e.errorLine != (load.error ? std::optional<int>(load.error->line) : std::nullopt))
            return "told the file unusable at line " +
                   (load.error ? std::to_string(load.error->line) : std::string("none")) +
                   ", not " + (e.errorLine ? std::to_string(*e.errorLine) : std::string("none"));
        if (load.ok() == e.repeats && !e.errorLine)
            return e.repeats ? "took repeated registers without a word" : "told a sound file";
        if (!e.errorLine) {
            if (load.pages != e.pages)
                return "read other pages than the file holds";
            for (int reg = 0; reg < kFileRegisterCount; ++reg)
                if (load.values[reg] != e.values[reg])
                    return "read P" + std::to_string(reg) + " as " + text(load.values[reg]) +
                           ", not " + text(e.values[reg]);
        }
    }

    if (!load.usable())
        return {};
    for (const bool offline : {false, true})
        if (std::string fault = roundTrip(load, separator, offline); !fault.empty())
            return fault;
    return {};
}

}  // namespace

// Input: the file's bytes. The file is read with either decimal separator.
std::string checkParameterFileInput(std::span<const std::uint8_t> fileBytes) {
    const std::string_view bytes(reinterpret_cast<const char*>(fileBytes.data()), fileBytes.size());
    for (const char separator : {'.', ','})
        if (std::string fault = checkWith(bytes, separator); !fault.empty())
            return fault + " (decimal separator '" + separator + "')";
    return {};
}

}  // namespace velorin::fuzz
