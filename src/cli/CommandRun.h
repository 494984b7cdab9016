#pragma once
// What every velorin-cli command works with: the request, the environment, stdout, the
// technician's stderr and the line session, with the messages every command says the same way
// (a port lost, Ctrl+C, a drive that answers late). Each command is a subclass in a file of its
// own (Commands.h lists them); the commands reach the drive only through the line session.

#include <QString>
#include <QTextStream>
#include <memory>
#include <optional>
#include <string>

#include "CliConsole.h"
#include "CliEnvironment.h"
#include "CliRequest.h"
#include "CliTexts.h"
#include "drive/ConnectSession.h"
#include "link/LineSession.h"

namespace velorin {

class CommandRun {
public:
    CommandRun(const CliRequest& request, CliEnvironment& env, QTextStream& out, QTextStream& err)
        : m_request(request),
          m_env(env),
          m_out(out),
          m_console(err, env.errIsTerminal()),
          m_start(env.timedWait().now()) {}
    virtual ~CommandRun() = default;
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

    // Runs the command, with every frame on stderr when the request asks for the trace.
    // Returns the exit status.
    int execute();

protected:
    virtual int run() = 0;

    void error(const QString& message) {
        m_console.line(QLatin1String(clitext::kPrefix) + message);
    }
    // Ctrl+C (or SIGTERM, SIGHUP): the port is closed and the status is 128 + the signal.
    int interrupted();
    // The port went away; `consequence` says what that means for the command.
    int portLost(const QString& consequence);
    QString portLabel() const;
    QString valueText(std::uint16_t v) const {
        return clitext::valueText(v, m_request.signedValues);
    }
    // Through a gateway, a write of `value` to `reg` that moves the drive's link is refused unless
    // --allow-link-change: the exit status then, else 0.
    int refuseLinkChange(std::uint16_t reg, std::int32_t value);
    // Opens the port with `settings`; an exit status when it cannot be used, else 0.
    int openLine(const std::string& settings);
    // Every transaction of a command passes here: the technician hears once that replies came
    // too late to be used.
    ReplyCheck checked(const ReplyCheck& reply);
    // Where this command's writes are logged from: the port as the messages name it, `link`
    // (followed as the write changes it) and the command line.
    ChangeSource changeSource(const LinkState* link) const;
    // Every drive on the line (SurveyCommand.cpp): stations --stations A-B asked in turn at
    // --settings (through a gateway at its framing), or with no --settings given, the search
    // for the line's settings first, as scan runs it. Progress on stderr; Ctrl+C stops it and
    // keeps the drives found. The line stays open when a drive was found. `openStatus` is the
    // exit status of a port that could not be opened.
    SurveyResult surveyLine(int& openStatus);
    // The message and exit status of a survey that found no drive or could not finish (the
    // port unusable or lost); 0 for one that ended Found or Stopped.
    int surveyFailure(const SurveyResult& result, int openStatus);
    // Appends a write to the change log unless --no-log; a log that cannot be written is told
    // once, the write goes on, and the command ends with CliExit::NotLogged unless it failed
    // otherwise.
    void logChange(const ChangeEntry& entry);

    const CliRequest& m_request;
    CliEnvironment& m_env;
    QTextStream& m_out;
    CliConsole m_console;
    Micros m_start;
    // Every frame on stderr, as the session's transactions end.
    class Trace : public TransactionObserver {
    public:
        explicit Trace(CommandRun& run) : m_run(run) {}
        void onTransaction(const TransactionRecord& record) override;

    private:
        CommandRun& m_run;
    };
    // With --trace; declared before the line, which must not outlive it.
    std::optional<Trace> m_trace;
    std::unique_ptr<LineSession> m_line;

private:
    bool m_toldLateReplies = false;
    bool m_toldUnlogged = false;
};

}  // namespace velorin
