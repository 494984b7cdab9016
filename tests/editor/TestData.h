#pragma once
// The tables under tests/editor/data that the catalogue is compared with.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "model/Catalogue.h"
#include "editor/LineRecord.h"

namespace velorin::editortest {

inline const Catalogue& cat() {
    return Catalogue::instance();
}

using Row = std::vector<std::string>;

inline std::vector<Row> rows(const std::string& file) {
    return test::tsvRows(std::string(VELORIN_EDITOR_TEST_DATA) + "/" + file);
}

// "14-15,23,112-114" as the registers it names; "-" names none.
inline std::vector<int> registers(const std::string& text) {
    std::vector<int> regs;
    std::istringstream parts(text == "-" ? "" : text);
    for (std::string part; std::getline(parts, part, ',');) {
        const int last = std::stoi(part.substr(part.find('-') + 1));  // npos + 1: no dash
        for (int r = std::stoi(part); r <= last; ++r) regs.push_back(r);
    }
    return regs;
}

}  // namespace velorin::editortest
