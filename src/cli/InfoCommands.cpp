// The commands that need no drive: help, version, the serial ports and the catalogue.

#include "Commands.h"

#include "ParameterOutput.h"

namespace velorin {

int HelpCommand::run() {
    m_out << clitext::helpText();
    return exitCode(CliExit::Ok);
}

int VersionCommand::run() {
    m_out << clitext::versionLine();
    return exitCode(CliExit::Ok);
}

int PortsCommand::run() {
    const std::vector<CliPort> list = m_env.listPorts();
    if (list.empty()) {
        m_console.line(QStringLiteral("no serial ports found"));
        return exitCode(CliExit::Ok);
    }
    std::vector<QString> fixes;
    for (const CliPort& p : list)
        fixes.push_back(p.state == OpenResult::NoPermission ? m_env.permissionFix(p.comName)
                                                            : QString());
    for (const QString& line : clitext::portLines(list, fixes)) m_out << line << '\n';
    return exitCode(CliExit::Ok);
}

int CatalogueCommand::run() {
    std::vector<int> regs = m_request.parameters;
    if (regs.empty())
        for (const ParameterInfo& p : Catalogue::instance().parameters())
            if (p.shown)
                regs.push_back(p.reg);
    m_out << paramout::catalogue(regs, m_request.format);
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
