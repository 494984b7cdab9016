#include "Commands.h"

#include <QStringList>

#include "ParameterOutput.h"
#include "ParameterSets.h"

namespace velorin {

int DiffCommand::run() {
    ParameterSet first, second;
    if (!m_request.file.isEmpty())
        if (int c = loadFile(m_request.file, first.load))
            return c;
    if (!m_request.againstFile.isEmpty())
        if (int c = loadFile(m_request.againstFile, second.load))
            return c;
    if (m_request.againstFactory)
        second.load = parseParameterFile(factorySaveText());
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
        drive.load = parseParameterFile(onlineSaveText(*m_core));
        drive.pidDecimals = m_core->copies().pidDecimals;
    }
    const Comparison comparison = compareSets(first, second);
    auto tellPages = [this](const std::vector<int>& pages, const char* side) {
        if (pages.empty())
            return;
        QStringList captions;
        for (int page : pages) captions << qs(Catalogue::instance().page(page).caption);
        m_console.line(QStringLiteral("note: pages only in the %1 set, not compared: %2")
                           .arg(QLatin1String(side), captions.join(QLatin1Char(' '))));
    };
    tellPages(comparison.onlyInFirst, "first");
    tellPages(comparison.onlyInSecond, "second");
    std::vector<DiffRow> rows;
    for (const DiffRow& row : comparison.rows)
        if (row.differs || m_request.all)
            rows.push_back(row);
    m_out << paramout::differences(rows, m_request.format);
    const auto differing = std::count_if(comparison.rows.begin(), comparison.rows.end(),
                                         [](const DiffRow& r) { return r.differs; });
    m_console.line(
        QStringLiteral("%1 of %2 parameters differ").arg(differing).arg(comparison.rows.size()));
    return exitCode(comparison.differs() ? CliExit::Different : CliExit::Ok);
}

}  // namespace velorin
