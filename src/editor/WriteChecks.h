#pragma once
// What stands between the editor's fields and a write or a save: texts that are no number in their
// field's form, the range checks with the bounds in force, and what a write of the changed values
// only is held up by. Works on the editor core's state; the core's check methods hand over here.

#include <string>
#include <vector>

#include "editor/EditorCore.h"

namespace velorin {

class WriteChecks {
public:
    explicit WriteChecks(const EditorCore& core) : m_core(core) {}

    // The range checks of every present page over the working values, then every value that does
    // not fit its register's 16 bits.
    std::vector<CheckFailure> values() const;
    // The checks as a write with `scope` meets them.
    WriteCheck write(WriteScope scope) const;
    // Whether a write of the changed values only sends `reg`.
    bool changes(int reg) const;
    // The registers the checks, unit and decimals of `reg` follow.
    static std::vector<int> sources(int reg);
    // A number field holding a text that is no number in its form, and what is said of it.
    bool refused(int reg) const;
    std::optional<FieldRefusal> refusal(int reg) const;
    std::vector<FieldRefusal> refusedFields() const;
    // The range the check holds the field to now, as the field writes it.
    std::vector<RangeInForce> rangeInForce(int reg) const;

private:
    const EditorCore& m_core;
};

}  // namespace velorin
