#include "Commands.h"

#include <map>

#include "ParameterOutput.h"
#include "editor/ParameterSets.h"

namespace velorin {

int GetCommand::run() {
    if (int c = openEditor())
        return c;
    if (int c = readPages(pagesOf(m_request.parameters)))
        return c;
    std::map<int, FieldView> views;
    for (int page : pagesOf(m_request.parameters))
        for (FieldView& view : m_core->showPage(page)) views[view.reg] = view;
    m_line->close();
    std::vector<paramout::ParameterValue> rows;
    for (int reg : m_request.parameters)
        rows.push_back({reg, views[reg].driveValue, shownText(reg, views[reg].display)});
    m_out << paramout::values(rows, m_request.format, m_request.raw);
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
