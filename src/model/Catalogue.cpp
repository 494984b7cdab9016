#include "model/Catalogue.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "model/EmbeddedData.h"
#include "model/DriveFacts.h"

namespace velorin {

namespace {

constexpr std::array<int, kGroupCount> kGroupBases = {0,   25,  55,  96,  115, 146, 170, 186, 226,
                                                      246, 307, 368, 400, 436, 476, 496, 505, 538};

// Page layout in twips: three columns of eight rows.
constexpr int kRowsPerColumn = 8;
constexpr std::array<int, 3> kLabelX = {240, 6840, 13560};
constexpr int kFieldOffset = 3120;  // field x = label x + 3120
constexpr int kFirstRowY = 1080;
constexpr int kRowPitch = 970;

constexpr std::string_view kColon = "\xEF\xBC\x9A";  // U+FF1A, full-width colon

std::string_view dataFile(std::string_view name) {
    for (const auto& f : embedded::files())
        if (f.name == name)
            return f.text;
    throw std::logic_error("editor data file missing from the build");
}

// The data lines of a file with their line numbers: comments (#) and empty lines dropped,
// a trailing carriage return removed.
std::vector<std::pair<int, std::string_view>> dataLines(std::string_view text) {
    std::vector<std::pair<int, std::string_view>> lines;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        lines.emplace_back(number, line);
    }
    return lines;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text = text.substr(at + 1);
    }
}

std::optional<int> toInt(std::string_view text) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::optional<RegisterRange> toRange(std::string_view text) {
    const auto parts = split(text, '-');
    if (parts.size() != 2)
        return std::nullopt;
    const auto a = toInt(parts[0]), b = toInt(parts[1]);
    if (!a || !b || *a > *b || *a < 0 || *b >= kRegisterCount)
        return std::nullopt;
    return RegisterRange{*a, *b};
}

template <class E>
std::optional<E> lookup(std::string_view word,
                        std::initializer_list<std::pair<const char*, E>> map) {
    for (const auto& [key, value] : map)
        if (word == key)
            return value;
    return std::nullopt;
}

bool validRegister(int reg) {
    return reg >= 0 && reg < kRegisterCount;
}

}  // namespace

const Catalogue& Catalogue::instance() {
    static const Catalogue catalogue;
    return catalogue;
}

Catalogue::Catalogue() {
    for (int r = 0; r < kRegisterCount; ++r) m_parameters[r].reg = r;
    for (int p = 0; p < kPageCount; ++p) m_pages[p].index = p;
    loadCatalogue(dataFile("catalogue.tsv"));
    loadConversion(dataFile("conversion.tsv"));
    loadPages(dataFile("pages.tsv"));
    loadOptions(dataFile("options.txt"));
    loadWidths(dataFile("widths.tsv"));
    loadDefaults(dataFile("defaults.tsv"));
    loadChecks(dataFile("checks.tsv"));
    placeFields();
}

void Catalogue::error(std::string_view file, int line, std::string_view what) {
    m_errors.push_back(std::string(file) + ":" + std::to_string(line) + ": " + std::string(what));
}

int Catalogue::groupBase(int group) {
    return kGroupBases.at(group);
}

std::optional<int> Catalogue::registerOf(std::string_view code) {
    if (code.size() != 6 || code[0] != 'P' || code[3] != '.')
        return std::nullopt;
    const auto group = toInt(code.substr(1, 2));
    const auto index = toInt(code.substr(4, 2));
    if (!group || !index || *group < 0 || *group >= kGroupCount || *index < 0)
        return std::nullopt;
    const int reg = kGroupBases[*group] + *index;
    const int groupEnd = *group + 1 < kGroupCount ? kGroupBases[*group + 1] : kRegisterCount;
    if (reg >= groupEnd)
        return std::nullopt;
    return reg;
}

std::string Catalogue::codeOf(int reg) {
    if (!validRegister(reg))
        throw std::out_of_range("register number");
    int group = kGroupCount - 1;
    while (kGroupBases[group] > reg) --group;
    const int index = reg - kGroupBases[group];
    std::string code = "P00.00";
    code[1] = static_cast<char>('0' + group / 10);
    code[2] = static_cast<char>('0' + group % 10);
    code[4] = static_cast<char>('0' + index / 10);
    code[5] = static_cast<char>('0' + index % 10);
    return code;
}

std::span<const std::string> Catalogue::options(int reg) const {
    const int list = parameter(reg).list;
    if (list < 0)
        return {};
    return m_lists[list].texts;
}

int Catalogue::optionValue(int reg, int position) const {
    const int list = parameter(reg).list;
    if (list < 0 || position < 0 || position >= static_cast<int>(m_lists[list].numbers.size()))
        return position;
    return m_lists[list].numbers[position];
}

std::optional<int> Catalogue::optionPosition(int reg, std::int32_t value) const {
    const int list = parameter(reg).list;
    if (list < 0)
        return std::nullopt;
    const auto& numbers = m_lists[list].numbers;
    const auto it = std::find(numbers.begin(), numbers.end(), value);
    if (it == numbers.end())
        return std::nullopt;
    return static_cast<int>(it - numbers.begin());
}

void Catalogue::loadCatalogue(std::string_view text) {
    constexpr std::string_view file = "catalogue.tsv";
    std::vector<bool> seen(kRegisterCount, false);
    for (const auto& [n, line] : dataLines(text)) {
        const auto cols = split(line, '\t');
        const auto reg = toInt(cols[0]);
        if (!reg || !validRegister(*reg) || seen[*reg]) {
            error(file, n, "bad or repeated register number");
            continue;
        }
        seen[*reg] = true;
        ParameterInfo& p = m_parameters[*reg];
        if (cols.size() == 2 && cols[1] == "-")
            continue;  // no field
        if (cols.size() != 7) {
            error(file, n, "expected 7 columns");
            continue;
        }
        const auto page = toInt(cols[2]);
        const auto kind = lookup<FieldKind>(cols[3], {{"choice", FieldKind::Choice},
                                                      {"number", FieldKind::Number},
                                                      {"number-list", FieldKind::NumberWithList}});
        const auto rule = lookup<DisplayRule>(cols[4], {{"position", DisplayRule::Position},
                                                        {"int", DisplayRule::Integer},
                                                        {"d10", DisplayRule::Div10},
                                                        {"d100", DisplayRule::Div100},
                                                        {"d1000", DisplayRule::Div1000},
                                                        {"ramp", DisplayRule::RampTime},
                                                        {"step", DisplayRule::StepTime},
                                                        {"pid", DisplayRule::PidSetpoint},
                                                        {"baud", DisplayRule::BaudRate}});
        const auto access = lookup<Access>(cols[5], {{"editable", Access::Editable},
                                                     {"locked", Access::Locked},
                                                     {"disabled", Access::Disabled}});
        if (!page || *page < 0 || *page >= kPageCount || !kind || !rule || !access) {
            error(file, n, "bad page, kind, display rule or access");
            continue;
        }
        if (cols[1] != codeOf(*reg))
            error(file, n, "code does not match the register");
        p.shown = true;
        p.page = *page;
        p.code = std::string(cols[1]);
        p.name = std::string(cols[6]);
        // "P2.24": that page writes its group with one digit.
        const std::string labelCode = *page == pages::kOneDigitGroup ? "P" + p.code.substr(2) : p.code;
        p.label = labelCode + std::string(kColon) + p.name;
        p.kind = *kind;
        p.display = *rule;
        p.access = *access;
    }
    if (std::count(seen.begin(), seen.end(), true) != kRegisterCount)
        error(file, 0, "not every register 0-562 is listed");
}

void Catalogue::loadConversion(std::string_view text) {
    constexpr std::string_view file = "conversion.tsv";
    for (const auto& [n, line] : dataLines(text)) {
        const auto cols = split(line, '\t');
        const auto reg = cols.size() == 2 ? toInt(cols[0]) : std::nullopt;
        const auto kind =
            cols.size() == 2
                ? lookup<ConversionKind>(cols[1], {{"list", ConversionKind::List},
                                                   {"int", ConversionKind::Integer},
                                                   {"x10", ConversionKind::Scale10},
                                                   {"x100", ConversionKind::Scale100},
                                                   {"x1000", ConversionKind::Scale1000},
                                                   {"ramp", ConversionKind::ByRampUnit},
                                                   {"step", ConversionKind::ByStepUnit},
                                                   {"pid", ConversionKind::ByPidDecimals}})
                : std::nullopt;
        if (!reg || !validRegister(*reg) || !kind) {
            error(file, n, "bad register or conversion kind");
            continue;
        }
        if (!m_parameters[*reg].shown)
            error(file, n, "conversion of a register without a field");
        if (m_parameters[*reg].conversion != ConversionKind::None)
            error(file, n, "repeated");
        m_parameters[*reg].conversion = *kind;
    }
}

void Catalogue::loadPages(std::string_view text) {
    constexpr std::string_view file = "pages.tsv";
    std::vector<bool> seen(kPageCount, false);
    for (const auto& [n, line] : dataLines(text)) {
        const auto cols = split(line, '\t');
        const auto index = cols.size() == 6 ? toInt(cols[0]) : std::nullopt;
        if (!index || *index < 0 || *index >= kPageCount || seen[*index]) {
            error(file, n, "bad or repeated page");
            continue;
        }
        seen[*index] = true;
        PageInfo& page = m_pages[*index];
        page.caption = std::string(cols[1]);
        const auto read = toRange(cols[2]);
        if (!read)
            error(file, n, "bad read range");
        page.read = read.value_or(RegisterRange{});
        if (cols[3] != "-") {
            page.onlineSave = toRange(cols[3]);
            if (!page.onlineSave)
                error(file, n, "bad save range");
        }
        if (cols[4] != "-") {
            for (auto part : split(cols[4], ',')) {
                const auto range = toRange(part);
                if (!range)
                    error(file, n, "bad write range");
                page.write.push_back(range.value_or(RegisterRange{}));
            }
        }
        if (cols[5] != "-") {
            for (auto part : split(cols[5], ',')) {
                const auto reg = toInt(part);
                if (!reg || !validRegister(*reg))
                    error(file, n, "bad register");
                page.writtenWhenChanged.push_back(reg.value_or(0));
            }
        }
    }
    if (std::count(seen.begin(), seen.end(), true) != kPageCount)
        error(file, 0, "not every page is listed");
    for (const auto& p : m_parameters)
        if (p.shown)
            m_pages[p.page].fields.push_back(p.reg);
}

void Catalogue::loadOptions(std::string_view text) {
    constexpr std::string_view file = "options.txt";
    // Each list starts with "list" and the codes of the fields that carry it, then one option
    // text per line, exactly as the field offers it.
    for (const auto& [n, line] : dataLines(text)) {
        if (line.starts_with("list ")) {
            OptionList list;
            for (auto code : split(line.substr(5), ' ')) {
                const auto reg = registerOf(code);
                if (!reg || !m_parameters[*reg].shown || m_parameters[*reg].list >= 0) {
                    error(file, n, "bad, fieldless or repeated code");
                    continue;
                }
                m_parameters[*reg].list = static_cast<int>(m_lists.size());
                list.fields.push_back(*reg);
            }
            std::sort(list.fields.begin(), list.fields.end());
            m_lists.push_back(std::move(list));
        } else if (m_lists.empty()) {
            error(file, n, "option text before the first list");
        } else {
            // The number before the full-width colon is the drive's value for the option; a
            // list without numbers (the rates of P15.01) stands for its positions.
            OptionList& list = m_lists.back();
            const auto colon = line.find("：");
            const auto number =
                colon == std::string_view::npos ? std::nullopt : toInt(line.substr(0, colon));
            list.numbers.push_back(number.value_or(static_cast<int>(list.texts.size())));
            list.texts.emplace_back(line);
        }
    }
}

void Catalogue::loadWidths(std::string_view text) {
    constexpr std::string_view file = "widths.tsv";
    for (const auto& [n, line] : dataLines(text)) {
        const auto cols = split(line, '\t');
        const auto reg = cols.size() == 2 ? registerOf(cols[0]) : std::nullopt;
        const auto width = cols.size() == 2 ? toInt(cols[1]) : std::nullopt;
        if (!reg || !width || *width <= 0 || !m_parameters[*reg].shown ||
            m_parameters[*reg].dropDownWidth != 0) {
            error(file, n, "bad, fieldless or repeated width");
            continue;
        }
        m_parameters[*reg].dropDownWidth = *width;
    }
}

void Catalogue::loadDefaults(std::string_view text) {
    constexpr std::string_view file = "defaults.tsv";
    std::vector<bool> seen(kRegisterCount, false);
    for (const auto& [n, line] : dataLines(text)) {
        const auto cols = split(line, '\t');
        const auto reg = cols.size() == 2 ? toInt(cols[0]) : std::nullopt;
        if (!reg || !validRegister(*reg) || !m_parameters[*reg].shown || seen[*reg]) {
            error(file, n, "bad, fieldless or repeated register");
            continue;
        }
        seen[*reg] = true;
        FactoryDefault& d = m_parameters[*reg].factory;
        if (cols[1] == "none") {
            d.kind = FactoryDefault::Kind::None;
        } else if (cols[1].starts_with('#')) {
            const auto position = toInt(cols[1].substr(1));
            if (!position)
                error(file, n, "bad list position");
            d.kind = FactoryDefault::Kind::Position;
            d.position = position.value_or(0);
        } else {
            d.kind = FactoryDefault::Kind::Text;
            d.text = std::string(cols[1]);
        }
    }
}

void Catalogue::loadChecks(std::string_view text) {
    constexpr std::string_view file = "checks.tsv";
    auto bound = [&](std::string_view word, int n) {
        CheckBound b;
        if (word == "ratedCurrent*0.2" || word == "ratedCurrent*1.35") {
            b.kind = CheckBound::Kind::RatedCurrent;
            b.reg = drive::kRatedCurrentParameter;
            b.factor = word.ends_with("0.2") ? 0.2 : 1.35;
        } else if (word == "pidFullScale") {
            b.kind = CheckBound::Kind::PidFullScale;
            b.reg = drive::kPidFullScaleParameter;
        } else if (const auto reg = registerOf(word)) {
            b.kind = CheckBound::Kind::WorkingValue;
            b.reg = *reg;
        } else if (const auto v = toInt(word)) {
            b.value = *v;
        } else {
            error(file, n, "bad bound");
        }
        return b;
    };
    for (const auto& [n, line] : dataLines(text)) {
        const auto cols = split(line, '\t');
        if (cols.size() != 5 && cols.size() != 6) {
            error(file, n, "expected 5 or 6 columns");
            continue;
        }
        RangeCheck c;
        const auto page = toInt(cols[0]);
        const auto reg = registerOf(cols[1]);
        if (!page || *page < 0 || *page >= kPageCount || !reg) {
            error(file, n, "bad page or code");
            continue;
        }
        c.page = *page;
        c.reg = *reg;
        c.code = std::string(cols[1]);
        c.lower = bound(cols[2], n);
        c.upper = bound(cols[3], n);
        const auto texts = split(cols[4], '|');
        c.boundsText = std::string(texts[0]);
        if (cols.size() == 6) {
            const auto selector = registerOf(cols[5]);
            if (!selector || texts.size() != 2)
                error(file, n, "bad unit selector");
            c.unitSelector = selector.value_or(-1);
            c.otherUnitText = std::string(texts.back());
        } else if (texts.size() != 1) {
            error(file, n, "two texts without a unit selector");
        }
        m_checks.push_back(std::move(c));
    }
}

void Catalogue::placeFields() {
    for (auto& page : m_pages) {
        if (static_cast<int>(page.fields.size()) > kRowsPerColumn * 3)
            error("catalogue.tsv", 0, "more than 24 fields on page " + std::to_string(page.index));
        for (int i = 0; i < static_cast<int>(page.fields.size()) && i < kRowsPerColumn * 3; ++i) {
            FieldPlace& place = m_parameters[page.fields[i]].place;
            place.column = i / kRowsPerColumn + 1;
            place.row = i % kRowsPerColumn + 1;
            place.labelX = kLabelX[place.column - 1];
            place.fieldX = place.labelX + kFieldOffset;
            place.y = kFirstRowY + kRowPitch * (place.row - 1);
        }
    }
}

}  // namespace velorin
