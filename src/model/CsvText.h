#pragma once
// CSV as the program saves its tables (the line monitor, the comparison): UTF-8, fields joined by
// commas, a field quoted where it holds a comma, a quote or a line break, "\n" after every line.

#include <span>
#include <string>

namespace velorin {

std::string csvLine(std::span<const std::string> fields);

}  // namespace velorin
