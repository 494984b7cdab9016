#pragma once
// The commands of velorin-cli, one class each, each defined in a file of its own name (the four
// that need no drive share InfoCommands.cpp). The base classes hold what they share.

#include "CommandRun.h"
#include "EditorCommand.h"

namespace velorin {

// Without a drive.
class HelpCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
class VersionCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
class PortsCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
class CatalogueCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
// The change log, filtered.
class LogCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};

// Registers on the line.
class ProbeCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
class ReadCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
class WriteCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};
class ScanCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;

private:
    // Through a gateway: station by station at the gateway's framing, on one connection.
    int scanStations();
};
// Every drive on the line, with its model and running hours.
class SurveyCommand final : public CommandRun {
    using CommandRun::CommandRun;
    int run() override;
};

// Parameter sets, through the editor's core.
class GetCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;
};
class SetCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;
};
class BackupCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;

private:
    // --stations LIST or --all: one file per drive in the folder, a summary of every drive
    // (ManyDrives.cpp).
    int backUpMany();
};
class RestoreCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;

private:
    // --stations LIST: each drive from its latest file in the folder, a summary of every drive
    // (ManyDrives.cpp).
    int restoreMany();
};
class DiffCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;
};
// The service report of the drive, or of a backup.
class ReportCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;
};
// The drive's fault history, or a parameter file's.
class FaultsCommand final : public EditorCommand {
    using EditorCommand::EditorCommand;
    int run() override;
};

}  // namespace velorin
