#include "ParameterSets.h"

#include <algorithm>

namespace velorin {

std::string onlineSaveText(EditorCore& core) {
    // All pages at once: P13.04 on page P13-1 takes the decimals of P13.35 on page P13-2.
    std::vector<FieldView> views;
    for (int page = 0; page < kFilePageCount; ++page)
        if (core.pagePresent(page))
            for (FieldView& view : core.showPage(page)) views.push_back(std::move(view));
    core.takeShown(views);
    return core.fileText(false);
}

std::string factorySaveText() {
    EditorCore core;
    core.beginVisit(nullptr, Framing::Ascii);
    // P13.04 at the decimals the drive's own P13.35 has after a reset.
    core.copies().pidDecimals =
        static_cast<std::int16_t>(factoryDriveValue(drive::kPidDecimalsParameter));
    core.convert(EditorCore::offlineFields());
    return core.fileText(true);
}

std::optional<SetValue> valueIn(const ParameterSet& set, int reg) {
    if (reg >= kFileRegisterCount || !set.load.values[reg])
        return std::nullopt;
    const std::int32_t raw = *set.load.values[reg];
    return SetValue{
        raw,
        shownText(reg, loadedDisplay(reg, raw, loadDisplayContext(set.load, set.pidDecimals)))};
}

bool Comparison::differs() const {
    return std::any_of(rows.begin(), rows.end(), [](const DiffRow& r) { return r.differs; });
}

Comparison compareSets(const ParameterSet& first, const ParameterSet& second) {
    Comparison out;
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page < kFilePageCount; ++page) {
        const bool a = first.load.pages[page], b = second.load.pages[page];
        if (a != b)
            (a ? out.onlyInFirst : out.onlyInSecond).push_back(page);
        if (!a || !b)
            continue;
        const RegisterRange range = heldRange(page);
        for (int reg = range.first; reg <= range.last; ++reg) {
            if (!catalogue.parameter(reg).shown)
                continue;
            const auto x = valueIn(first, reg), y = valueIn(second, reg);
            if (!x || !y)
                continue;
            out.rows.push_back({reg, *x, *y, x->raw != y->raw});
        }
    }
    return out;
}

}  // namespace velorin
