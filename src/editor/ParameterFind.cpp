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

    const std::string needle = lowered(q);
    for (const ParameterInfo& p : catalogue.parameters())
        if (p.shown && lowered(p.name).find(needle) != std::string::npos)
            add(p.reg);
    return found;
}

}  // namespace velorin
