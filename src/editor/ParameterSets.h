#pragma once
// Parameter sets as a parameter file holds them, and their comparison. A set is the drive's values
// as read, the editor's working values, a parameter file or the factory values; the comparison
// lays two to four of them side by side, each value as the editor's field shows it. The editor's
// compare window and velorin-cli's diff show the same comparison; nothing here knows a widget.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "editor/EditorCore.h"
#include "editor/ParameterFile.h"
#include "model/Rules.h"

namespace velorin {

// The lines of the editor's online save for the core's present pages: the fields as shown,
// taken as the conversion takes them, a field that cannot show its value keeping the drive's
// raw value.
std::string onlineSaveText(EditorCore& core);

// The lines of the editor's offline save: the factory values of P0-P548.
std::string factorySaveText();

// A set as a parameter file holds it.
struct ParameterSet {
    ParameterFileLoad load;
    // P13.04 is shown with this set's own P13.35 when it holds page P13-2, else with this.
    std::optional<std::int16_t> pidDecimals = 0;
};

// The drive's values as read in this visit, as the online save would write them: only the pages
// whose every register the drive gave (a page loaded from a file and never read is not one).
// The core is left as it is.
ParameterSet driveSet(const EditorCore& core);
// The editor's working values as its save writes them: online the present pages, offline
// P0-P548. The caller converts the fields first, as a write or save does.
ParameterSet workingSet(const EditorCore& core);
// The factory values of P0-P548.
ParameterSet factorySet();

// The raw value (as a file holds it) and its display in `set`; empty when the set lacks it.
struct SetValue {
    std::int32_t raw = 0;
    std::optional<std::string> shown;  // empty: the field could not show it
};
std::optional<SetValue> valueIn(const ParameterSet& set, int reg);

struct CompareRow {
    int reg = 0;
    std::vector<std::optional<SetValue>> values;  // one per set; empty where it lacks the page
    bool differs = false;  // two of the sets that hold the parameter hold different raw values
    bool inEverySet() const;
};

struct Comparison {
    // Every parameter with a field of the pages any set holds, in page and register order.
    std::vector<CompareRow> rows;
    // For each set, the pages another set holds and this one lacks.
    std::vector<std::vector<int>> missingPages;
};
Comparison compareSets(std::span<const ParameterSet> sets);

// A value as the comparison table shows it: what the field shows; "無法顯示（70）" when the field
// cannot show the raw value; "" when the set lacks it.
std::string comparedText(const std::optional<SetValue>& value);

// The table's first two columns.
inline constexpr const char* kCodeColumn = "代碼";
inline constexpr const char* kNameColumn = "名稱";

// The table as CSV in UTF-8: a header row of code, name and one column per set (`setNames`),
// then one row per parameter (only those that differ with `onlyDifferent`).
std::string comparisonCsv(const Comparison& comparison, std::span<const std::string> setNames,
                          bool onlyDifferent);

}  // namespace velorin
