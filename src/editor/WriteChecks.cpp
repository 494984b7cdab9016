#include <algorithm>
#include <cmath>
#include <functional>

#include "editor/EditorSteps.h"
#include "editor/WriteChecks.h"

namespace velorin {

using namespace editorsteps;

namespace {

// The raw value of the register a bound comes from (P02.37, P11.14, P13.34); empty while it
// is not known.
using BoundSource = std::function<std::optional<std::int32_t>(const CheckBound&)>;

std::optional<std::string> writtenAs(int reg, std::int32_t raw, const DisplayContext& display) {
    const auto text = shownText(reg, displayValue(reg, raw, display));
    if (!text || text->empty())
        return std::nullopt;
    return text;
}

// The range a check holds the field to, with the numbers in force where a bound comes from
// another parameter (P01.09 at 0.6~4.0, from P11.14's rated current 3.0 A and its 20.0~135.0%;
// P13.04 at 0.00~0.40 from P13.34 = 40). The lowest and highest raw values that pass are shown
// as the field writes them. Where a number is not known, the catalogue's range alone.
RangeInForce rangeOf(const RangeCheck& check, bool otherUnit, const DisplayContext& display,
                     const BoundSource& source) {
    const std::string range = otherUnit ? check.otherUnitText : check.boundsText;
    RangeInForce failure{range, {}};
    const CheckBound* from = nullptr;
    for (const CheckBound* b : {&check.lower, &check.upper})
        if (b->kind != CheckBound::Kind::Constant)
            from = b;
    if (!from)
        return failure;
    auto bound = [&](const CheckBound& b) -> std::optional<double> {
        if (b.kind == CheckBound::Kind::Constant)
            return b.value;
        const auto raw = source(b);
        if (!raw)
            return std::nullopt;
        return b.kind == CheckBound::Kind::RatedCurrent ? *raw * b.factor : *raw;
    };
    const auto lower = bound(check.lower), upper = bound(check.upper);
    const auto sourceRaw = source(*from);
    if (!lower || !upper || !sourceRaw)
        return failure;
    const auto low =
        writtenAs(check.reg, static_cast<std::int32_t>(std::ceil(*lower - 1e-9)), display);
    const auto high =
        writtenAs(check.reg, static_cast<std::int32_t>(std::floor(*upper + 1e-9)), display);
    const auto sourceText = writtenAs(from->reg, *sourceRaw, display);
    if (!low || !high || !sourceText)
        return failure;
    failure.range = *low + "~" + *high;
    failure.source = RangeInForce::Source{
        from->reg, *sourceText, from->kind == CheckBound::Kind::RatedCurrent ? range : ""};
    return failure;
}

bool usesOtherUnit(const RangeCheck& check, const DisplayContext& display) {
    if (check.unitSelector < 0)
        return false;
    return (check.unitSelector == drive::kRampUnitParameter ? display.rampUnit
                                                            : display.stepUnit) != 0;
}

std::string trimmedText(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<int> WriteChecks::sources(int reg) {
    std::vector<int> sources;
    for (const RangeCheck& check : Catalogue::instance().checks()) {
        if (check.reg != reg)
            continue;
        for (const CheckBound* b : {&check.lower, &check.upper})
            if (b->kind != CheckBound::Kind::Constant && b->reg >= 0)
                sources.push_back(b->reg);
        if (check.unitSelector >= 0)
            sources.push_back(check.unitSelector);
    }
    switch (Catalogue::instance().parameter(reg).conversion) {
        case ConversionKind::ByRampUnit:
            sources.push_back(drive::kRampUnitParameter);
            break;
        case ConversionKind::ByStepUnit:
            sources.push_back(drive::kStepUnitParameter);
            break;
        case ConversionKind::ByPidDecimals:
            sources.push_back(drive::kPidDecimalsParameter);
            break;
        default:
            break;
    }
    return sources;
}

bool WriteChecks::changes(int reg) const {
    const int page = Catalogue::instance().parameter(reg).page;
    if (page < 0 || page > pages::kLockReset || !m_core.pagePresent(page))
        return false;
    if (!m_core.m_driveKnown[reg])
        return true;
    std::int32_t value = m_core.m_working[reg];
    // The rate's field holds a list position; the drive keeps the baud code.
    if (reg == drive::kRateParameter)
        value = rateCodeAt(value).value_or(-1);
    return value != m_core.m_drive[reg];
}

std::vector<CheckFailure> WriteChecks::values() const {
    std::vector<CheckFailure> failures;
    for (const RangeFailure& f :
         valueCheck(m_core.m_working, m_core.m_pages, m_core.m_copies.ratedCurrent,
                    m_core.pidFullScaleAfterWrite()))
        failures.push_back({f.reg, f.code, {f.bounds, {}}});
    std::erase_if(failures, [this](const CheckFailure& f) { return m_core.m_unshown[f.reg]; });
    // A bound from another parameter: the message names the numbers it gives now.
    const DisplayContext display = m_core.workingDisplayContext();
    const BoundSource source = [this](const CheckBound& b) -> std::optional<std::int32_t> {
        switch (b.kind) {
            case CheckBound::Kind::RatedCurrent:
                return m_core.m_copies.ratedCurrent;
            case CheckBound::Kind::PidFullScale:
                return m_core.pidFullScaleAfterWrite();
            default:
                return m_core.m_working[b.reg];
        }
    };
    for (CheckFailure& failure : failures)
        for (const RangeCheck& check : Catalogue::instance().checks())
            if (check.reg == failure.reg && (check.lower.kind != CheckBound::Kind::Constant ||
                                             check.upper.kind != CheckBound::Kind::Constant))
                failure.inForce = rangeOf(check, usesOtherUnit(check, display), display, source);
    // What the drive's register cannot hold is refused before anything is written, not
    // found half-way through the write.
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page <= pages::kLockReset; ++page) {
        if (!m_core.pagePresent(page))
            continue;
        for (int reg : catalogue.page(page).fields) {
            const ParameterInfo& p = catalogue.parameter(reg);
            if (p.conversion == ConversionKind::None || p.conversion == ConversionKind::List ||
                p.access != Access::Editable || m_core.m_unshown[reg])
                continue;
            const RegisterSpan span = registerSpan(reg);
            if (m_core.m_working[reg] < span.lowest || m_core.m_working[reg] > span.highest)
                failures.push_back(
                    {reg, p.code,
                     {wordRangeText(reg, m_core.isSigned(reg), m_core.conversionContext()), {}}});
        }
    }
    return failures;
}

WriteCheck WriteChecks::write(WriteScope scope) const {
    auto bearsOn = [this](int reg) {
        const std::vector<int> from = sources(reg);
        return std::any_of(from.begin(), from.end(),
                           [this](int source) { return changes(source); });
    };
    WriteCheck result;
    bool touchedAny = false;
    for (CheckFailure& failure : values()) {
        const bool touched = changes(failure.reg) || bearsOn(failure.reg);
        // Writing the changed values only: a value the write leaves alone, and whose bounds
        // nothing written moves, is the drive's business, not this write's.
        if (scope == WriteScope::ChangedOnly && !touched)
            continue;
        touchedAny = touchedAny || touched;
        result.failures.push_back(std::move(failure));
    }
    // A full write whose only failures are the drive's own values asks; one failure of its own
    // holds it up with every other, in page and list order.
    if (!touchedAny)
        result.driveHeld.swap(result.failures);
    return result;
}

bool WriteChecks::refused(int reg) const {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (!p.shown || p.access != Access::Editable || m_core.m_unshown[reg] ||
        p.conversion == ConversionKind::None || p.conversion == ConversionKind::List)
        return false;
    // An empty field keeps its value: P01.13 starts empty.
    const FieldContent& content = m_core.m_marking.content(reg);
    if (trimmedText(content.text).empty())
        return false;
    const ConversionContext context = m_core.markContext();
    return fieldDecimals(reg, context) && !convertField(reg, content, context);
}

std::optional<FieldRefusal> WriteChecks::refusal(int reg) const {
    if (!refused(reg))
        return std::nullopt;
    const auto form = fieldForm(reg, m_core.markContext());
    FieldRefusal refusal{reg, 0, {}, trimmedText(m_core.m_marking.content(reg).text)};
    if (form) {
        refusal.decimals = form->decimals;
        refusal.range = form->range;
    }
    return refusal;
}

std::vector<FieldRefusal> WriteChecks::refusedFields() const {
    std::vector<FieldRefusal> fields;
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        const int page = Catalogue::instance().parameter(reg).page;
        // Offline every field goes into a file; online the present pages'.
        if (page < 0 || (!m_core.offline() && !m_core.pagePresent(page)))
            continue;
        if (auto refused = refusal(reg))
            fields.push_back(std::move(*refused));
    }
    return fields;
}

std::vector<RangeInForce> WriteChecks::rangeInForce(int reg) const {
    const ConversionContext context = m_core.markContext();
    const DisplayContext display{context.rampUnit, context.stepUnit, context.pidDecimals};
    // A bound from another field takes what that field holds now.
    const BoundSource source = [&](const CheckBound& b) -> std::optional<std::int32_t> {
        switch (b.kind) {
            case CheckBound::Kind::Constant:
                return b.value;
            case CheckBound::Kind::WorkingValue:
                if (const auto raw = convertField(b.reg, m_core.m_marking.content(b.reg), context))
                    return *raw;
                return m_core.m_working[b.reg];
            case CheckBound::Kind::RatedCurrent:
                return m_core.m_copies.ratedCurrent;
            case CheckBound::Kind::PidFullScale:
                if (m_core.pagePresent(pages::kPid))
                    if (const auto raw =
                            convertField(b.reg, m_core.m_marking.content(b.reg), context))
                        return *raw;
                return m_core.m_copies.pidFullScale;
        }
        return std::nullopt;
    };
    std::vector<RangeInForce> ranges;
    for (const RangeCheck& check : Catalogue::instance().checks())
        if (check.reg == reg)
            ranges.push_back(rangeOf(check, usesOtherUnit(check, display), display, source));
    return ranges;
}

}  // namespace velorin
