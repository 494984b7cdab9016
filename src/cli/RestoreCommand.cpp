#include "Commands.h"

namespace velorin {

int RestoreCommand::run() {
    ParameterFileLoad load;
    if (int c = loadFile(m_request.file, load))
        return c;
    if (int c = openEditor())
        return c;
    // The drive's own link and lock values, so the write changes them only where the file
    // differs from the drive.
    std::vector<int> linkPages;
    for (int page : {25, 28})
        if (load.pages[page])
            linkPages.push_back(page);
    if (int c = readPages(linkPages))
        return c;
    if (int c = takeFile(load)) {
        m_line->close();
        return c;
    }
    if (int c = rangeCheck(nullptr)) {
        m_line->close();
        return c;
    }
    if (int c = checkBeforeWrite()) {
        m_line->close();
        return c;
    }
    if (m_request.dryRun)
        m_console.line(QStringLiteral("range check passed"));
    const int code = writeAndReport(nullptr);
    if (code == 0 && !m_request.dryRun) {
        // The link and lock values go out only where the file differs from the drive.
        int unchanged = 0;
        for (int page = 0; page < static_cast<int>(load.pages.size()); ++page)
            if (load.pages[page])
                for (int reg : Catalogue::instance().page(page).writtenWhenChanged)
                    unchanged += !sent(reg);
        m_console.line(QStringLiteral("restore done: %1 writes sent, %2 confirmed, %3 parameters "
                                      "left as the drive held them")
                           .arg(m_writesSent.size())
                           .arg(m_writesConfirmed)
                           .arg(unchanged));
    }
    return code;
}

}  // namespace velorin
