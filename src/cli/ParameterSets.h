#pragma once
// Parameter sets for the command line, over the editor's core: what a field shows and holds, the
// drive's pages as the editor's online save writes them, the factory values as its offline save
// writes them, and the comparison of two sets. Every rule here is the core's; this only puts the
// core's pieces together the way the editor window does, without widgets.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "editor/EditorCore.h"
#include "editor/ParameterFile.h"

namespace velorin {

// The lines of the editor's online save for the core's present pages: the fields as shown,
// taken as the conversion takes them, a field that cannot show its value keeping the drive's
// raw value.
std::string onlineSaveText(EditorCore& core);

// The lines of the editor's offline save: the factory values of P0-P548.
std::string factorySaveText();

// One side of a comparison: a set as a parameter file holds it.
struct ParameterSet {
    ParameterFileLoad load;
    // P13.04 is shown with this set's own P13.35 when it holds page P13-2, else with this.
    std::optional<std::int16_t> pidDecimals = 0;
};

// The raw value (as a file holds it) and its display in `set`; empty when the set lacks it.
struct SetValue {
    std::int32_t raw = 0;
    std::optional<std::string> shown;  // empty: the field could not show it
};
std::optional<SetValue> valueIn(const ParameterSet& set, int reg);

struct DiffRow {
    int reg = 0;
    SetValue first, second;
    bool differs = false;
};

struct Comparison {
    std::vector<DiffRow> rows;     // every parameter with a field of the pages both sets hold
    std::vector<int> onlyInFirst;  // pages held by one set only: not compared
    std::vector<int> onlyInSecond;
    bool differs() const;
};
Comparison compareSets(const ParameterSet& first, const ParameterSet& second);

}  // namespace velorin
