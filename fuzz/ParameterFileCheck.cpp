// The parameter-file reader over any file contents. The file is taken apart again here, line by
// line, without the reader's help: a line the reader must refuse makes the whole file refused,
// the fault is told on a line of the file, and a file made only of plain lines ("P12 -300") is
// read exactly as worked out here. Whatever the reader takes must save and load back to the
// same values, online (the held pages) and offline (every register).

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "editor/Catalogue.h"
#include "editor/ParameterFile.h"

namespace velorin::fuzz {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
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
        Bad,     // the reader must refuse the file
        Plain,   // "P" + decimal digits + one blank + an optional minus and decimal digits
        Unsure,  // may be sound ("P+5 1", "P5 &H10", "P5  1"); not judged line by line
    };
    Kind kind = Kind::Unsure;
    int reg = -1;            // with a register number in plain digits
    std::int64_t value = 0;  // with Plain
};

Line judgeLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (line.empty() || blank == std::string_view::npos || blank == 0)
        return {Line::Kind::Bad};
    const std::string_view label = line.substr(1, blank - 1);
    const std::string_view value = line.substr(blank + 1);
    Line out;
    if (allDigits(label)) {
        const std::string_view significant =
            label.substr(std::min(label.find_first_not_of('0'), label.size()));
        if (significant.size() > 3)
            return {Line::Kind::Bad};
        out.reg = significant.empty() ? 0 : std::stoi(std::string(significant));
        if (out.reg >= kFileRegisterCount)
            return {Line::Kind::Bad};
        const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
        if (allDigits(digits) && digits.size() <= 18) {
            out.kind = Line::Kind::Plain;
            out.value = std::stoll(std::string(digits));
            if (value.starts_with('-'))
                out.value = -out.value;
        }
        return out;
    }
    // Whatever else reads as a number has digits (hexadecimal ones after "&H") with signs,
    // separators, exponents, "&H", "&O" and blanks; anything else is no register number.
    const bool hex = label.find('&') != std::string_view::npos;
    const bool anyDigit = std::any_of(label.begin(), label.end(), [hex](char c) {
        return isDigit(c) ||
               (hex && std::string_view("AaBbCcDdEeFf").find(c) != std::string_view::npos);
    });
    const bool numberCharacters = std::all_of(label.begin(), label.end(), [](char c) {
        return isDigit(c) ||
               std::string_view("+-.,&HhOoEeDdAaBbCcFf\t").find(c) != std::string_view::npos;
    });
    if (!anyDigit || !numberCharacters)
        return {Line::Kind::Bad};
    return out;
}

bool fitsInt32(std::int64_t v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

std::string text(const std::optional<std::int32_t>& v) {
    return v ? std::to_string(*v) : "none";
}

// What the reader must make of a file of plain lines only.
struct Expected {
    std::optional<int> errorLine;
    std::array<bool, kFilePageCount> pages{};
    std::array<std::optional<std::int32_t>, kFileRegisterCount> values{};
};

Expected readPlainFile(const std::vector<Line>& lines) {
    Expected e;
    std::array<int, kFileRegisterCount> lastLine{};
    std::array<std::optional<std::int64_t>, kFileRegisterCount> value{};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lastLine[lines[i].reg] = static_cast<int>(i) + 1;
        value[lines[i].reg] = lines[i].value;
    }
    auto fault = [&e](int line) {
        if (!e.errorLine || line < *e.errorLine)
            e.errorLine = line;
    };
    for (int page = 0; page < kFilePageCount; ++page) {
        const RegisterRange range = heldRange(page);
        std::optional<int> startLine;
        for (std::size_t i = 0; i < lines.size() && !startLine; ++i)
            if (lines[i].reg == range.first && range.last >= range.first)
                startLine = static_cast<int>(i) + 1;
        if (!startLine)
            continue;
        e.pages[page] = true;
        for (int reg = range.first; reg <= range.last; ++reg) {
            if (!value[reg] && Catalogue::instance().parameter(reg).shown)
                fault(*startLine);
            if (value[reg] && !fitsInt32(*value[reg]))
                fault(lastLine[reg]);
        }
    }
    for (int reg = 0; reg < kFileRegisterCount; ++reg)
        if (value[reg] && fitsInt32(*value[reg]))
            e.values[reg] = static_cast<std::int32_t>(*value[reg]);
    return e;
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
        return "its " + where + " save does not load: " + again.error->message();
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
    std::optional<int> firstBad;
    bool allPlain = true;
    for (std::size_t i = 0; i < rawLines.size(); ++i) {
        lines.push_back(judgeLine(rawLines[i]));
        if (lines.back().kind == Line::Kind::Bad && !firstBad)
            firstBad = static_cast<int>(i) + 1;
        allPlain = allPlain && lines.back().kind == Line::Kind::Plain;
    }
    const int lineCount = static_cast<int>(rawLines.size());

    if (!load.ok()) {
        const int at = load.error->line;
        if (at < 1 || at > lineCount)
            return "told a fault on line " + std::to_string(at) + " of a file of " +
                   std::to_string(lineCount) + " lines";
        if (load.error->reason.empty())
            return "refused the file without a reason";
        if (firstBad && at > *firstBad)
            return "told line " + std::to_string(at) + " though line " + std::to_string(*firstBad) +
                   " is already unreadable";
    } else if (firstBad) {
        return "took the file though line " + std::to_string(*firstBad) + " is unreadable";
    }

    if (allPlain) {
        const Expected e = readPlainFile(lines);
        if (e.errorLine) {
            if (load.ok())
                return "took the file though line " + std::to_string(*e.errorLine) +
                       " makes it unsound";
            if (load.error->line != *e.errorLine)
                return "told line " + std::to_string(load.error->line) + ", not line " +
                       std::to_string(*e.errorLine) + ", the first fault";
        } else {
            if (!load.ok())
                return "refused a sound file: " + load.error->message();
            if (load.pages != e.pages)
                return "read other pages than the file holds";
            for (int reg = 0; reg < kFileRegisterCount; ++reg)
                if (load.values[reg] != e.values[reg])
                    return "read P" + std::to_string(reg) + " as " + text(load.values[reg]) +
                           ", not " + text(e.values[reg]);
        }
    }

    if (!load.ok())
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
