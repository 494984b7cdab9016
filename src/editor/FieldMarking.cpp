#include "editor/FieldMarking.h"

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

void FieldMarking::clear() {
    m_shown.fill(std::nullopt);
    m_shownUnknown.fill(false);
    m_fromFile.fill(false);
    m_content.fill({});
}

void FieldMarking::shownAs(const FieldView& view) {
    m_fromFile[view.reg] = view.fromFile;
    m_shownUnknown[view.reg] = view.unshowable;
    if (view.unshowable) {
        // The field keeps what it held; whatever that is, it is not the value it was given.
        m_shown[view.reg].reset();
        return;
    }
    FieldContent content;
    if (const auto* shown = std::get_if<ShowText>(&view.display)) {
        content.text = shown->text;
    } else if (const auto* position = std::get_if<SelectPosition>(&view.display)) {
        content.selected = position->position;
        content.text = displayText(view.reg, view.display).value_or("");
    }
    m_shown[view.reg] = content;
    m_content[view.reg] = content;
}

void FieldMarking::showsNothing(int reg) {
    m_shown[reg].reset();
    m_shownUnknown[reg] = false;
    m_content[reg] = {};
}

void FieldMarking::written(int reg) {
    if (!Catalogue::instance().parameter(reg).shown)
        return;
    m_shown[reg] = m_content[reg];
    m_shownUnknown[reg] = false;
}

void FieldMarking::driveReset() {
    m_shown.fill(std::nullopt);
    m_shownUnknown.fill(false);
}

void FieldMarking::allShown(std::span<const FieldContent, kRegisterCount> contents) {
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        if (!Catalogue::instance().parameter(reg).shown)
            continue;
        m_content[reg] = contents[reg];
        m_shown[reg] = contents[reg];
        m_shownUnknown[reg] = false;
        m_fromFile[reg] = false;
    }
}

void FieldMarking::allHold(std::span<const FieldContent, kRegisterCount> contents) {
    for (int reg = 0; reg < kRegisterCount; ++reg)
        if (Catalogue::instance().parameter(reg).shown)
            m_content[reg] = contents[reg];
}

ConversionContext FieldMarking::context(const EditorCore& core) const {
    const Catalogue& catalogue = Catalogue::instance();
    const DriveCopies& copies = core.copies();
    auto unit = [&](int selector, std::optional<std::int16_t> copy) -> std::int32_t {
        const int position = m_content[selector].selected;
        return position >= 0 ? catalogue.optionValue(selector, position) : copy.value_or(0);
    };
    std::optional<std::int16_t> decimals = copies.pidDecimals;
    if (core.pagePresent(pages::kPid))
        if (const auto raw = convertField(drive::kPidDecimalsParameter,
                                          m_content[drive::kPidDecimalsParameter]))
            decimals = static_cast<std::int16_t>(*raw);
    return {unit(drive::kRampUnitParameter, copies.rampUnit),
            unit(drive::kStepUnitParameter, copies.stepUnit), decimals, '.'};
}

bool FieldMarking::sameValue(int reg, const FieldContent& a, const FieldContent& b,
                             const ConversionContext& context) const {
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
    const auto x = convertField(reg, a, context);
    const auto y = convertField(reg, b, context);
    if (x && y)
        return *x == *y;
    return trimmed(a.text) == trimmed(b.text);
}

FieldMarks FieldMarking::marks(const EditorCore& core, int reg) const {
    FieldMarks marks;
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (!p.shown)
        return marks;
    marks.unknown = core.unshown(reg);
    if (marks.unknown)
        return marks;
    marks.refused = core.contentRefused(reg);
    const ConversionContext now = context(core);
    if (m_shown[reg])
        marks.changed = !sameValue(reg, m_content[reg], *m_shown[reg], now);
    else
        // A value it could not show was replaced by the technician's.
        marks.changed = m_shownUnknown[reg];
    if ((m_shown[reg] || m_shownUnknown[reg]) && p.factory.kind != FactoryDefault::Kind::None)
        marks.notFactory = !sameValue(reg, m_content[reg], factoryContents()[reg], now);
    return marks;
}

bool FieldMarking::pageChanged(const EditorCore& core, int page) const {
    for (int reg : Catalogue::instance().page(page).fields)
        if (marks(core, reg).changed)
            return true;
    return false;
}

FieldFacts FieldMarking::facts(const EditorCore& core, int reg) const {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    FieldFacts facts;
    facts.reg = reg;
    facts.range = core.rangeInForce(reg);
    if (p.factory.kind != FactoryDefault::Kind::None)
        facts.factory = displayText(reg, p.factory.kind == FactoryDefault::Kind::Position
                                             ? Display{SelectPosition{p.factory.position}}
                                             : Display{ShowText{p.factory.text}});
    if (p.page >= 0 && core.pagePresent(p.page)) {
        facts.given = true;
        facts.fromFile = m_fromFile[reg];
        facts.raw = core.m_unshownRaw[reg];
        const DisplayContext shownWith{core.m_drive[drive::kRampUnitParameter],
                                       core.m_drive[drive::kStepUnitParameter],
                                       core.copies().pidDecimals};
        facts.shown = displayText(reg, displayValue(reg, facts.raw, shownWith));
    }
    return facts;
}

}  // namespace velorin
