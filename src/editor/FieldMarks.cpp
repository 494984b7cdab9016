// The marks of the editor's fields (changed and not yet written, not at the factory value,
// cannot be shown) and the facts a field's tooltip gives.

#include <cmath>

#include "editor/EditorCore.h"
#include "editor/EditorSteps.h"

namespace velorin {

using namespace editorsteps;

namespace {

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

const std::array<FieldContent, kRegisterCount>& factoryContents() {
    static const std::array<FieldContent, kRegisterCount> contents = factoryFields();
    return contents;
}

// The text a display puts into its field; empty when it puts none there.
std::optional<std::string> displayText(int reg, const Display& display) {
    if (const auto* shown = std::get_if<ShowText>(&display))
        return shown->text;
    if (const auto* position = std::get_if<SelectPosition>(&display)) {
        const auto options = Catalogue::instance().options(reg);
        if (position->position >= 0 && position->position < static_cast<int>(options.size()))
            return options[position->position];
        return std::string();
    }
    return std::nullopt;
}

}  // namespace

void EditorCore::shownAs(const FieldView& view) {
    m_fields.fromFile[view.reg] = view.fromFile;
    m_fields.shownUnknown[view.reg] = view.unshowable;
    if (view.unshowable) {
        // The field keeps what it held; whatever that is, it is not the value it was given.
        m_fields.shown[view.reg].reset();
        return;
    }
    FieldContent content;
    if (const auto* shown = std::get_if<ShowText>(&view.display)) {
        content.text = shown->text;
    } else if (const auto* position = std::get_if<SelectPosition>(&view.display)) {
        content.selected = position->position;
        content.text = displayText(view.reg, view.display).value_or("");
    }
    m_fields.shown[view.reg] = content;
    m_fields.content[view.reg] = content;
}

void EditorCore::written(int reg) {
    if (!Catalogue::instance().parameter(reg).shown)
        return;
    m_fields.shown[reg] = m_fields.content[reg];
    m_fields.shownUnknown[reg] = false;
}

void EditorCore::fieldContentIs(int reg, const FieldContent& content) {
    m_fields.content.at(reg) = content;
}

void EditorCore::fieldsShown(std::span<const FieldContent, kRegisterCount> contents) {
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        if (!Catalogue::instance().parameter(reg).shown)
            continue;
        m_fields.content[reg] = contents[reg];
        m_fields.shown[reg] = contents[reg];
        m_fields.shownUnknown[reg] = false;
        m_fields.fromFile[reg] = false;
    }
}

ConversionContext EditorCore::markContext() const {
    const Catalogue& catalogue = Catalogue::instance();
    auto unit = [&](int selector, std::optional<std::int16_t> copy) -> std::int32_t {
        const int position = m_fields.content[selector].selected;
        return position >= 0 ? catalogue.optionValue(selector, position) : copy.value_or(0);
    };
    std::optional<std::int16_t> decimals = m_copies.pidDecimals;
    if (pagePresent(pages::kPid))
        if (const auto raw = convertField(drive::kPidDecimalsParameter, m_fields.content[drive::kPidDecimalsParameter]))
            decimals = static_cast<std::int16_t>(*raw);
    return {unit(drive::kRampUnitParameter, m_copies.rampUnit), unit(drive::kStepUnitParameter, m_copies.stepUnit),
            decimals, '.'};
}

bool EditorCore::sameValue(int reg, const FieldContent& a, const FieldContent& b) const {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (p.kind == FieldKind::Choice)
        return a.selected == b.selected;
    if (p.display == DisplayRule::BaudRate) {
        // A rate typed in bit/s is the option it names.
        auto position = [](const FieldContent& c) {
            return c.selected >= 0 ? std::optional(c.selected) : typedRatePosition(trimmed(c.text));
        };
        return position(a) == position(b);
    }
    if (p.kind == FieldKind::NumberWithList && (a.selected >= 0 || b.selected >= 0))
        return a.selected == b.selected;
    const ConversionContext context = markContext();
    const auto x = convertField(reg, a, context);
    const auto y = convertField(reg, b, context);
    if (x && y)
        return *x == *y;
    return trimmed(a.text) == trimmed(b.text);
}

FieldMarks EditorCore::marks(int reg) const {
    FieldMarks marks;
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (!p.shown)
        return marks;
    marks.unknown = m_unshown[reg];
    if (marks.unknown)
        return marks;
    marks.refused = contentRefused(reg);
    if (m_fields.shown[reg])
        marks.changed = !sameValue(reg, m_fields.content[reg], *m_fields.shown[reg]);
    else
        // A value it could not show was replaced by the technician's.
        marks.changed = m_fields.shownUnknown[reg];
    if ((m_fields.shown[reg] || m_fields.shownUnknown[reg]) && p.factory.kind != FactoryDefault::Kind::None)
        marks.notFactory = !sameValue(reg, m_fields.content[reg], factoryContents()[reg]);
    return marks;
}

bool EditorCore::pageChanged(int page) const {
    for (int reg : Catalogue::instance().page(page).fields)
        if (marks(reg).changed)
            return true;
    return false;
}

std::string EditorCore::fieldTip(int reg) const {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    std::string tip = p.code + "：" + p.name;
    tip += "\n範圍：" + rangeInForce(reg);
    const auto factory = p.factory.kind == FactoryDefault::Kind::None
                             ? std::nullopt
                             : displayText(reg, p.factory.kind == FactoryDefault::Kind::Position
                                                    ? Display{SelectPosition{p.factory.position}}
                                                    : Display{ShowText{p.factory.text}});
    tip += "\n出廠值：" + factory.value_or("無");
    if (p.page >= 0 && pagePresent(p.page)) {
        const std::int32_t raw = m_unshownRaw[reg];
        const DisplayContext context{m_drive[drive::kRampUnitParameter], m_drive[drive::kStepUnitParameter],
                                     m_copies.pidDecimals};
        const auto shown = displayText(reg, displayValue(reg, raw, context));
        tip += std::string(m_fields.fromFile[reg] ? "\n檔案中的值：" : "\n變頻機的值：") +
               (shown ? (shown->empty() ? "（空白）" : *shown) : "無法顯示");
        tip += "\n原始值：" + std::to_string(raw);
    }
    return tip;
}

}  // namespace velorin
