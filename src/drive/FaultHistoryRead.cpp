#include "drive/FaultHistoryRead.h"

#include "model/DriveFacts.h"
#include "model/Rules.h"

namespace velorin {

std::int32_t driveValue(int reg, std::uint16_t word) {
    return registerSigned(reg) ? static_cast<std::int16_t>(word) : std::int32_t{word};
}

FaultHistoryRead readFaultHistory(LineSession& line) {
    const std::vector<std::uint16_t> regs = faultHistoryRegisters();
    const std::vector<ReplyCheck> replies = line.readRegisters(regs);
    FaultHistoryRead read;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (replies[i].outcome != LinkOutcome::Ok) {
            read.failure = replies[i];
            read.failedRegister = regs[i];
            return read;
        }
        read.values[regs[i]] = driveValue(regs[i], replies[i].value);
    }
    if (replies.size() < regs.size()) {
        // Stopped or the port lost before the rest was asked.
        read.failure.outcome = line.portLost() ? LinkOutcome::PortError : LinkOutcome::Stopped;
        read.failedRegister = regs[replies.size()];
        return read;
    }
    read.history = decodeFaultHistory([&read](int reg) -> std::optional<std::int32_t> {
        const auto it = read.values.find(reg);
        return it == read.values.end() ? std::nullopt : std::optional(it->second);
    });
    return read;
}

ReplyCheck clearFaultHistory(LineSession& line) {
    return line.write(drive::kResetParameter, faultregs::kClearHistory);
}

}  // namespace velorin
