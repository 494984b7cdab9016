#include "editor/ParameterFind.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "model/Catalogue.h"

namespace velorin {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    // Only ASCII letters change; the bytes of the Chinese names stay as they are.
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// UTF-8 text as its characters, so a Chinese character is one step of a match; a byte that
// starts no character stands for itself.
std::u32string characters(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const int length = lead < 0x80         ? 1
                           : (lead >> 5) == 6  ? 2
                           : (lead >> 4) == 14 ? 3
                           : (lead >> 3) == 30 ? 4
                                               : 1;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        int k = 1;
        for (; k < length && i + k < s.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(c);
        i += static_cast<std::size_t>(k);
    }
    return out;
}

// Whether `name` holds the characters of `query` but blanks in order within a stretch at most twice
// the query's length: "額定電流" is in "額定線電流", not in a long name that merely has 額 near its
// start and 流 near its end.
bool heldInOrder(const std::u32string& name, std::u32string query) {
    std::erase(query, U' ');  // a blank typed or not: "IM1 額定線電流" is IM1額定線電流
    if (query.empty())
        return false;
    for (std::size_t start = name.find(query.front()); start != std::u32string::npos;
         start = name.find(query.front(), start + 1)) {
        std::size_t at = start, matched = 1;
        while (matched < query.size() &&
               (at = name.find(query[matched], at + 1)) != std::u32string::npos)
            ++matched;
        if (matched == query.size() && at - start + 1 <= 2 * query.size())
            return true;
    }
    return false;
}

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A code as typed: optional P, a group of one or two digits, and, after a point, an index of
// up to two digits (none yet while the technician is typing). `index` is empty without a point.
struct TypedCode {
    int group = 0;
    std::optional<std::string> index;
};

std::optional<TypedCode> typedCode(std::string_view q) {
    bool letter = false;
    if (!q.empty() && (q.front() == 'P' || q.front() == 'p')) {
        q.remove_prefix(1);
        letter = true;
    }
    const auto point = q.find('.');
    const std::string_view group = q.substr(0, point);
    if (!allDigits(group) || group.size() > 2)
        return std::nullopt;
    TypedCode code{std::stoi(std::string(group)), std::nullopt};
    if (point == std::string_view::npos) {
        // Bare digits are part of a name ("定位點指令10") or a register; "P9" is a group.
        if (!letter)
            return std::nullopt;
    } else {
        const std::string_view index = q.substr(point + 1);
        if ((!index.empty() && !allDigits(index)) || index.size() > 2)
            return std::nullopt;
        code.index = std::string(index);
    }
    if (code.group >= kGroupCount)
        return std::nullopt;
    return code;
}

}  // namespace

std::vector<int> findParameters(std::string_view query) {
    const std::string_view q = trimmed(query);
    if (q.empty())
        return {};
    const Catalogue& catalogue = Catalogue::instance();
    std::vector<int> found;
    auto add = [&](int reg) {
        if (reg >= 0 && reg < kRegisterCount && catalogue.parameter(reg).shown &&
            std::find(found.begin(), found.end(), reg) == found.end())
            found.push_back(reg);
    };

    if (q.front() == '#') {
        const std::string_view digits = q.substr(1);
        if (allDigits(digits) && digits.size() <= 3)
            add(std::stoi(std::string(digits)));
        return found;
    }

    if (const auto code = typedCode(q)) {
        const int base = Catalogue::groupBase(code->group);
        const int end =
            code->group + 1 < kGroupCount ? Catalogue::groupBase(code->group + 1) : kRegisterCount;
        // "9.1" is P09.01 itself, and the start of P09.10-P09.19.
        if (code->index && !code->index->empty())
            add(base + std::stoi(*code->index));
        for (int reg = base; reg < end; ++reg) {
            const std::string index = Catalogue::codeOf(reg).substr(4);
            if (!code->index || index.starts_with(*code->index))
                add(reg);
        }
        return found;
    }

    // The name holding the query whole comes first, then holding it in one piece, then holding
    // its characters in order with a few others between ("額定電流" in "IM1額定線電流").
    const std::u32string needle = characters(lowered(q));
    std::vector<std::pair<int, int>> ranked;  // (rank, register)
    for (const ParameterInfo& p : catalogue.parameters()) {
        if (!p.shown)
            continue;
        const std::u32string name = characters(lowered(p.name));
        if (name == needle)
            ranked.emplace_back(0, p.reg);
        else if (name.find(needle) != std::u32string::npos)
            ranked.emplace_back(1, p.reg);
        else if (heldInOrder(name, needle))
            ranked.emplace_back(2, p.reg);
    }
    std::stable_sort(ranked.begin(), ranked.end());
    for (const auto& [rank, reg] : ranked) add(reg);
    return found;
}

}  // namespace velorin
