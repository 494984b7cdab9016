#include "editor/ParameterSets.h"

#include <algorithm>

#include "model/CsvText.h"

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

ParameterSet driveSet(const EditorCore& core) {
    // A copy shows the drive's pages and takes them as a save would, so the editor's fields,
    // marks and working values stay as they are.
    EditorCore drive = core;
    drive.working() = core.driveValues();
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page < kPageCount; ++page) {
        const RegisterRange& range = catalogue.page(page).read;
        bool read = page < kFilePageCount;
        for (int reg = range.first; read && reg <= range.last; ++reg) read = core.driveKnown(reg);
        drive.setPagePresent(page, read);
    }
    return {parseParameterFile(onlineSaveText(drive)), core.copies().pidDecimals};
}

ParameterSet workingSet(const EditorCore& core) {
    return {parseParameterFile(core.fileText(core.offline())), core.copies().pidDecimals};
}

ParameterSet factorySet() {
    return {parseParameterFile(factorySaveText())};
}

std::optional<SetValue> valueIn(const ParameterSet& set, int reg) {
    if (reg >= kFileRegisterCount || !set.load.usable() || !set.load.values[reg])
        return std::nullopt;
    const std::int32_t raw = *set.load.values[reg];
    return SetValue{
        raw,
        shownText(reg, loadedDisplay(reg, raw, loadDisplayContext(set.load, set.pidDecimals)))};
}

bool CompareRow::inEverySet() const {
    return std::all_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); });
}

Comparison compareSets(std::span<const ParameterSet> sets) {
    Comparison out;
    out.missingPages.resize(sets.size());
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page < kFilePageCount; ++page) {
        auto held = [page](const ParameterSet& set) {
            return set.load.usable() && set.load.pages[page];
        };
        if (std::none_of(sets.begin(), sets.end(), held))
            continue;
        for (std::size_t i = 0; i < sets.size(); ++i)
            if (!held(sets[i]))
                out.missingPages[i].push_back(page);
        const RegisterRange range = heldRange(page);
        for (int reg = range.first; reg <= range.last; ++reg) {
            if (!catalogue.parameter(reg).shown)
                continue;
            CompareRow row{reg, {}, false};
            std::optional<std::int32_t> first;
            for (const ParameterSet& set : sets) {
                auto value = held(set) ? valueIn(set, reg) : std::nullopt;
                if (value) {
                    row.differs = row.differs || (first && *first != value->raw);
                    first = first.value_or(value->raw);
                }
                row.values.push_back(std::move(value));
            }
            out.rows.push_back(std::move(row));
        }
    }
    return out;
}

std::string comparedText(const std::optional<SetValue>& value) {
    if (!value)
        return {};
    if (value->shown)
        return *value->shown;
    return "無法顯示（" + std::to_string(value->raw) + "）";
}

std::string comparisonCsv(const Comparison& comparison, std::span<const std::string> setNames,
                          bool onlyDifferent) {
    std::vector<std::string> fields = {kCodeColumn, kNameColumn};
    fields.insert(fields.end(), setNames.begin(), setNames.end());
    std::string csv = csvLine(fields);
    for (const CompareRow& row : comparison.rows) {
        if (onlyDifferent && !row.differs)
            continue;
        const ParameterInfo& p = Catalogue::instance().parameter(row.reg);
        fields = {p.code, p.name};
        for (const auto& value : row.values) fields.push_back(comparedText(value));
        csv += csvLine(fields);
    }
    return csv;
}

}  // namespace velorin
