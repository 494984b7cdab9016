#pragma once
// The data get, diff and catalogue print on stdout, in the three formats docs/cli.md documents:
//   text  tab-separated lines without a header, for people and `cut -f`;
//   csv   a header line, then one line per parameter (RFC 4180 quoting);
//   json  one array, one object per parameter.
// The keys and columns are a promise to scripts: add new ones at the end, never rename.

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "CliRequest.h"
#include "editor/ParameterSets.h"

namespace velorin::paramout {

// A parameter's value as get prints it.
struct ParameterValue {
    int reg = 0;
    std::int32_t raw = 0;
    std::optional<std::string> shown;  // empty: the field cannot show the raw value
};

// text: code, name, display (the raw value with `rawValues`); csv and json: code, register,
// label, raw, display.
QString values(const std::vector<ParameterValue>& rows, OutputFormat format, bool rawValues);
// text: code, name, first display, second display; csv: code, register, label, raw and display
// of each set, differs; json: code, register, label, raw [first, second], display [first,
// second], differs. Every row holds a value of both sets.
QString differences(const std::vector<CompareRow>& rows, OutputFormat format);
// text: code, register, name, kind, display form, checks, factory default, options; csv the same
// with access and page; json with options and checks as arrays.
QString catalogue(const std::vector<int>& regs, OutputFormat format);

// What stands for a value the field cannot show in text and csv ("?"); json has null.
inline constexpr const char* kUnshowable = "?";

}  // namespace velorin::paramout
