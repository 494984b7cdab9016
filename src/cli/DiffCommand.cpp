#include "Commands.h"

#include <QStringList>
#include <array>

#include "ParameterOutput.h"
#include "editor/ParameterSets.h"

namespace velorin {

int DiffCommand::run() {
    std::array<ParameterSet, 2> sets;
    ParameterSet& first = sets[0];
    ParameterSet& second = sets[1];
    if (!m_request.file.isEmpty())
        if (int c = loadFile(m_request.file, first.load))
            return c;
    if (!m_request.againstFile.isEmpty())
        if (int c = loadFile(m_request.againstFile, second.load))
            return c;
    if (m_request.againstFactory)
        second = factorySet();
    if (m_request.usesDrive()) {
        ParameterSet& drive = m_request.file.isEmpty() ? first : second;
        const ParameterSet& other = m_request.file.isEmpty() ? second : first;
        std::vector<int> pages;
        for (int page = 0; page < kFilePageCount; ++page)
            if (other.load.pages[page])
                pages.push_back(page);
        if (int c = openEditor())
            return c;
        if (int c = readPages(pages))
            return c;
        m_line->close();
        drive = driveSet(*m_core);
        // Only the file's pages are read from the drive: the others go unseen, and are named.
        if (const QStringList lacking = pagesLacking(other.load); !lacking.isEmpty())
            m_console.line(
                QStringLiteral("note: %1 lacks pages %2; not compared")
                    .arg(m_request.file.isEmpty() ? m_request.againstFile : m_request.file,
                         lacking.join(QLatin1Char(' '))));
    }
    const Comparison comparison = compareSets(sets);
    auto tellPages = [this](const std::vector<int>& pages, const char* side) {
        if (pages.empty())
            return;
        QStringList captions;
        for (int page : pages) captions << qs(Catalogue::instance().page(page).caption);
        m_console.line(QStringLiteral("note: pages only in the %1 set, not compared: %2")
                           .arg(QLatin1String(side), captions.join(QLatin1Char(' '))));
    };
    // The pages the first set holds and the second lacks, then the other way round.
    tellPages(comparison.missingPages[1], "first");
    tellPages(comparison.missingPages[0], "second");
    std::vector<CompareRow> rows;
    long compared = 0, differing = 0;
    for (const CompareRow& row : comparison.rows) {
        if (!row.inEverySet())
            continue;
        ++compared;
        differing += row.differs;
        if (row.differs || m_request.all)
            rows.push_back(row);
    }
    m_out << paramout::differences(rows, m_request.format);
    m_console.line(QStringLiteral("%1 of %2 parameters differ").arg(differing).arg(compared));
    return exitCode(differing > 0 ? CliExit::Different : CliExit::Ok);
}

}  // namespace velorin
