#pragma once
// The commands that work on parameter sets (get, set, backup, restore, diff) do it through the
// editor's own core, as the editor window does: the opening reads, page reads with progress on
// stderr and Ctrl+C between registers, the range checks and the write sequence with its report.

#include <QString>
#include <QStringList>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "CommandRun.h"
#include "platform/QtText.h"
#include "editor/EditorCore.h"
#include "editor/ParameterFile.h"

namespace velorin {

class EditorCommand : public CommandRun {
public:
    using CommandRun::CommandRun;

protected:
    // Opens the line and begins the editor's visit with the five single reads the editor makes
    // when it opens; an exit status when the port cannot be used, else 0.
    int openEditor();
    // Reads the pages not yet present, one register per request, with progress on stderr and
    // Ctrl+C between registers; an exit status when a page could not be read, else 0.
    int readPages(const std::vector<int>& pages);
    // Loads a parameter file with the core's loader, telling every line it cannot read; an exit
    // status for a file that is unusable, holds no page, or has unread lines without --lenient.
    int loadFile(const QString& path, ParameterFileLoad& load);
    // Reads a register as the drive keeps it; empty without a usable reply (SidecarCommand.cpp).
    std::optional<std::int32_t> readDriveValue(int reg);
    // Writes the sidecar of a backup just saved at `path` with `text`; one that cannot be written
    // is told on stderr, and no older one is left beside the file.
    void writeSidecar(const QString& path, const std::string& text);
    // What the sidecar beside `path` says of the file: its origin on stderr, and an exit status
    // when it refuses the file (an altered file without --force, another model without
    // --force-model), else 0. `driveModel`: P17.11 of the drive the file goes to.
    int checkFileOrigin(const QString& path, std::optional<std::int32_t> driveModel);
    // The captions of the pages a file does not hold, in page order.
    static QStringList pagesLacking(const ParameterFileLoad& load);
    // The core's working values from a sound file, as the editor's fields would hold them
    // after loading it; an exit status when the file cannot be shown on this drive.
    int takeFile(const ParameterFileLoad& load);
    // The range checks over the working values; `concerned` limits them to the checks of these
    // parameters and of those whose bounds they are. An exit status when one failed.
    int rangeCheck(const std::set<int>* concerned);
    // Before the write: a P17.08 that resets the drive is refused without --allow-reset; the
    // settings the drive would answer with ErP1-ErP3 are told on stderr, and refuse the write
    // with --strict. An exit status when nothing may be written, else 0.
    int checkBeforeWrite();
    // The editor's write sequence and its report. With `reported`, stdout gets a line for each
    // of these parameters the drive confirmed; the exit status counts only them.
    // `followers`: parameters the technician did not name whose raw value the write changes,
    // each with its line, printed once the drive confirmed it.
    // `scope`: every register of the present pages, or only those that differ from the drive.
    int writeAndReport(const std::vector<int>* reported,
                       const std::vector<std::pair<int, QString>>* followers = nullptr,
                       WriteScope scope = WriteScope::Everything);

    // Whether the last writeAndReport() sent a write of `reg`.
    bool sent(int reg) const;

    std::unique_ptr<EditorCore> m_core;
    std::vector<int> m_writesSent;  // registers of the writes that went out, in order
    int m_writesConfirmed = 0;      // by the last writeAndReport()

private:
    void beforeTransaction(FunctionCode function, std::uint16_t reg, std::uint16_t registers);

    struct PageProgress {
        int page = -1;
        int pageNumber = 0, pageCount = 0;
        long done = 0, total = 0;
        Micros started{0};
    } m_progress;
};

// ---- Words for parameters ----
// "P01.06 起動轉速"
QString codeAndName(int reg);
// Why a time cannot be shown or taken: its unit switch holds `unit`, which its list lacks.
QString unitUnknown(int reg, std::int32_t unit);
// The option numbers of a list as ranges: "0-22, 26-33, 60".
QString optionNumbers(int reg);
// The pages holding the parameters, in page order.
std::vector<int> pagesOf(const std::vector<int>& regs);

}  // namespace velorin
