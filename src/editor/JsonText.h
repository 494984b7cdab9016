#pragma once
// JSON as the program writes and reads its own small documents (a backup's sidecar, the fault
// history for scripts): strings in UTF-8 with the escapes JSON requires, and a reader for one
// flat object of strings, numbers, booleans and nulls. Nested values are refused, not skipped:
// a sidecar that holds more than the program wrote is not the program's.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velorin {

// `text` as a JSON string, quotes included.
std::string jsonQuoted(std::string_view text);

// A member of a flat object: a string as its text, anything else as written ("12", "true").
struct JsonScalar {
    std::string text;
    bool isString = false;
    bool operator==(const JsonScalar&) const = default;
};
// The members of one flat object; empty for anything else (a later duplicate key included).
std::optional<std::map<std::string, JsonScalar>> parseFlatJsonObject(std::string_view text);

}  // namespace velorin
