#pragma once
// What each of the editor's fields holds and was last shown or written with, and the marks that
// follow from it: changed and not yet written, not at the factory value, cannot show its value,
// holds a text that is no number in its form. The editor core holds one and tells it what its
// fields are shown; the windows and the command line read the marks and a field's facts.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "model/Catalogue.h"
#include "model/Rules.h"
#include "model/ValueCheck.h"

namespace velorin {

class EditorCore;
struct FieldView;

// How a field stands beside what it was shown (read from the drive or loaded from a file) and
// beside the factory value.
struct FieldMarks {
    bool changed = false;     // holds another value than it was shown, not yet written
    bool notFactory = false;  // holds another value than the factory's
    bool unknown = false;     // cannot show the drive's (the file's) value
    bool refused = false;     // holds a text that is no number in the field's form
    bool operator==(const FieldMarks&) const = default;
};

// What a field's tooltip tells, as the front ends word it.
struct FieldFacts {
    int reg = 0;
    std::vector<RangeInForce> range;     // the ranges in force (EditorCore::rangeInForce)
    std::optional<std::string> factory;  // the factory value as the field shows it; empty: none
    // Once the field's page was read or loaded: the value it was given, from the drive or from a
    // file, as shown (empty: it cannot be shown) and raw.
    bool given = false;
    bool fromFile = false;
    std::optional<std::string> shown;
    std::int32_t raw = 0;
};

class FieldMarking {
public:
    // A new visit: no field holds or was shown anything.
    void clear();
    // The field shows `view`: what it now holds is the value it is compared with.
    void shownAs(const FieldView& view);
    // The field shows nothing: its page is not present.
    void showsNothing(int reg);
    // A confirmed write: the field's value is now the drive's.
    void written(int reg);
    // The drive went back to its factory values: no field shows the drive's value any more.
    void driveReset();
    // The technician typed or picked: the field now holds `content`.
    void contentIs(int reg, const FieldContent& content) { m_content.at(reg) = content; }
    // Every field holds `contents` as it was shown (offline: the factory values); none is changed.
    void allShown(std::span<const FieldContent, kRegisterCount> contents);
    // Every field holds `contents`, as a conversion of all fields takes them.
    void allHold(std::span<const FieldContent, kRegisterCount> contents);
    const FieldContent& content(int reg) const { return m_content.at(reg); }

    // The unit switches and P13.35 as their fields hold them now; the core's copies where a
    // unit switch has nothing selected or page P13-2 is not present.
    ConversionContext context(const EditorCore& core) const;
    FieldMarks marks(const EditorCore& core, int reg) const;
    // Whether a field of the page holds a change not yet written.
    bool pageChanged(const EditorCore& core, int page) const;
    // The field's tooltip facts: range in force, factory value, and the value it was given.
    FieldFacts facts(const EditorCore& core, int reg) const;

private:
    bool sameValue(int reg, const FieldContent& a, const FieldContent& b,
                   const ConversionContext& context) const;

    // Empty while the field shows nothing of the drive's (its page unread) or could not show the
    // value it was given.
    std::array<std::optional<FieldContent>, kRegisterCount> m_shown{};
    std::array<bool, kRegisterCount> m_shownUnknown{};  // it was given a value it cannot show
    std::array<bool, kRegisterCount> m_fromFile{};      // what it was shown came from a file
    std::array<FieldContent, kRegisterCount> m_content{};  // what each field holds now
};

}  // namespace velorin
