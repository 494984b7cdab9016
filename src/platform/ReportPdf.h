#pragma once
// The service report printed to PDF with Qt's own text layout (QTextDocument to QPdfWriter), on
// A4, in the Traditional Chinese font the package depends on. Needs a QGuiApplication.

#include <optional>
#include <string>

#include "editor/ParameterFile.h"

namespace velorin {

// Writes the report's HTML as a PDF titled `title` at `path` (whole or not at all, as every file
// the program writes); why not, when it could not.
std::optional<FileWriteFault> writeReportPdf(const std::string& html, const std::string& title,
                                             const std::string& path);

}  // namespace velorin
