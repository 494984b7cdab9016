#pragma once
// The service report a technician leaves at the end of a visit: the drive (model, running and
// power-on hours, station and link), the date and the program's version, every parameter that
// differs from its factory value, optionally the differences against a chosen file, the fault
// history, this drive's entries of the change log, and the SHA-256 of the parameter set as read
// (the bytes a backup of it would hold, so a report and a backup's sidecar can be compared).
//
// The document is HTML, built from its inputs alone: the same inputs give the same document,
// the date aside. A Qt adapter (platform/ReportPdf) prints it to PDF.

#include <optional>
#include <string>
#include <vector>

#include "editor/ParameterSets.h"
#include "records/ChangeLog.h"

namespace velorin {

struct ReportInputs {
    ParameterSet drive;                 // the parameter set as read (or as a backup holds it)
    std::string setBytes;               // the same set as a parameter file: what the SHA-256 is of
    std::optional<std::int32_t> model;  // P17.11; not held in a parameter file
    int station = 0;
    std::string link;     // "COM3, 9600,N,7,2 ASCII"
    std::string date;     // of the report
    std::string program;  // "velorin-cli 1.0.0"
    std::string source;   // where the set came from: "變頻機" or a backup's file name
    std::optional<ParameterSet> against;
    std::string againstName;
    std::vector<ChangeEntry> changes;  // this drive's, oldest first
};

// The report's title and section headings, shared with whoever checks the document.
inline constexpr const char* kReportTitle = "變頻機維修報告";

std::string serviceReportHtml(const ReportInputs& inputs);

// The entries of the log that concern this drive: its station.
std::vector<ChangeEntry> changesOfStation(const std::vector<ChangeEntry>& entries, int station);

}  // namespace velorin
