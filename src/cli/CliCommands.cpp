#include "CliCommands.h"

#include <memory>

#include "Commands.h"

namespace velorin {

namespace {

template <class Command>
std::unique_ptr<CommandRun> make(const CliRequest& request, CliEnvironment& env, QTextStream& out,
                                 QTextStream& err) {
    return std::make_unique<Command>(request, env, out, err);
}

// What runs each command. A new command is a row here, a class in Commands.h and a row in the
// parser's syntax table.
struct CommandEntry {
    CliCommand command;
    std::unique_ptr<CommandRun> (*make)(const CliRequest&, CliEnvironment&, QTextStream&,
                                        QTextStream&);
};
constexpr CommandEntry kCommands[] = {
    {CliCommand::Help, &make<HelpCommand>},
    {CliCommand::Version, &make<VersionCommand>},
    {CliCommand::Ports, &make<PortsCommand>},
    {CliCommand::Probe, &make<ProbeCommand>},
    {CliCommand::Read, &make<ReadCommand>},
    {CliCommand::Write, &make<WriteCommand>},
    {CliCommand::Scan, &make<ScanCommand>},
    {CliCommand::Survey, &make<SurveyCommand>},
    {CliCommand::Get, &make<GetCommand>},
    {CliCommand::Set, &make<SetCommand>},
    {CliCommand::Backup, &make<BackupCommand>},
    {CliCommand::Restore, &make<RestoreCommand>},
    {CliCommand::Diff, &make<DiffCommand>},
    {CliCommand::Catalogue, &make<CatalogueCommand>},
    {CliCommand::Log, &make<LogCommand>},
    {CliCommand::Faults, &make<FaultsCommand>},
    {CliCommand::Report, &make<ReportCommand>},
};

}  // namespace

int runRequest(const CliRequest& request, CliEnvironment& env, QTextStream& out, QTextStream& err) {
    int code = exitCode(CliExit::Usage);
    for (const CommandEntry& entry : kCommands)
        if (entry.command == request.command)
            code = entry.make(request, env, out, err)->execute();
    out.flush();
    err.flush();
    return code;
}

int runCli(const QStringList& args, CliEnvironment& env, QTextStream& out, QTextStream& err) {
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (parsed.request) {
        // The change log names the command as it was typed.
        CliRequest request = *parsed.request;
        QStringList typed{QStringLiteral("velorin-cli")};
        for (const QString& a : args.mid(1))
            typed << (a.isEmpty() || a.contains(QLatin1Char(' '))
                          ? QLatin1Char('"') + a + QLatin1Char('"')
                          : a);
        request.commandLine = typed.join(QLatin1Char(' '));
        return runRequest(request, env, out, err);
    }
    CliConsole console(err, env.errIsTerminal());
    console.line(QLatin1String(clitext::kPrefix) + parsed.usageError);
    console.line(QLatin1String(clitext::kSeeHelp));
    return exitCode(CliExit::Usage);
}

}  // namespace velorin
