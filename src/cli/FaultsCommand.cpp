#include "Commands.h"

#include "drive/FaultHistoryRead.h"
#include "texts/FaultHistoryText.h"

namespace velorin {

int FaultsCommand::run() {
    FaultHistory history;
    if (!m_request.file.isEmpty()) {
        // A backup's history: the P12 and P17-1 pages as the file holds them.
        ParameterFileLoad load;
        if (int c = loadFile(m_request.file, load))
            return c;
        history = decodeFaultHistory([&load](int reg) -> std::optional<std::int32_t> {
            if (reg < 0 || reg >= kFileRegisterCount)
                return std::nullopt;
            return load.values[reg];
        });
    } else {
        if (int c = openLine(m_request.settings))
            return c;
        m_line->setBeforeTransaction([this](FunctionCode, std::uint16_t, std::uint16_t) {
            checked({});
            if (m_env.stopRequested())
                m_line->stop();
        });
        const FaultHistoryRead read = readFaultHistory(*m_line);
        if (m_env.stopRequested())
            return interrupted();
        if (read.failure.outcome == LinkOutcome::PortError)
            return portLost(QStringLiteral("the fault history was not read"));
        m_line->close();
        if (!read.history) {
            error(QStringLiteral("%1: no usable reply: %2; the fault history was not read")
                      .arg(codeAndName(read.failedRegister),
                           clitext::outcomeText(read.failure, m_request.framing)));
            return exitCode(CliExit::NoUsableReply);
        }
        history = *read.history;
    }
    switch (m_request.format) {
        case OutputFormat::Text:
            m_out << qs(faultHistoryText(history));
            break;
        case OutputFormat::Csv:
            m_out << qs(faultHistoryCsv(history));
            break;
        case OutputFormat::Json:
            m_out << qs(faultHistoryJson(history));
            break;
    }
    return exitCode(CliExit::Ok);
}

}  // namespace velorin
