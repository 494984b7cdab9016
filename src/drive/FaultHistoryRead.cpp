#include "drive/FaultHistoryRead.h"

#include "model/DriveFacts.h"
#include "model/FaultRegisters.h"
#include "model/Rules.h"

namespace velorin {

std::int32_t driveValue(int reg, std::uint16_t word) {
    return registerSigned(reg) ? static_cast<std::int16_t>(word) : std::int32_t{word};
}

FaultHistoryRead readFaultHistory(LineSession& line) {
    FaultHistoryRead read;
    // False, the failure kept, when a register went unanswered or the read ended early.
    const auto readAll = [&](const std::vector<std::uint16_t>& regs) {
        const std::vector<ReplyCheck> replies = line.readRegisters(regs);
        for (std::size_t i = 0; i < replies.size(); ++i) {
            if (replies[i].outcome != LinkOutcome::Ok) {
                read.failure = replies[i];
                read.failedRegister = regs[i];
                return false;
            }
            read.values[regs[i]] = driveValue(regs[i], replies[i].value);
        }
        if (replies.size() < regs.size()) {
            // Stopped or the port lost before the rest was asked.
            read.failure.outcome = line.portLost() ? LinkOutcome::PortError : LinkOutcome::Stopped;
            read.failedRegister = regs[replies.size()];
            return false;
        }
        return true;
    };
    const std::vector<std::uint16_t> all = faultHistoryRegisters();
    const auto isHours = [](int reg) {
        return reg >= faultregs::kFirstHours && reg < faultregs::kFirstHours + faultregs::kSlots;
    };
    if (line.blockReads()) {
        // A block across the hours of empty places costs less than a second request.
        if (!readAll(all))
            return read;
    } else {
        // One request a register, the hours of a place that holds no fault left out, in two
        // reads that each fit the session's group behind one quiet check: the faults, the
        // first of what the drive saw and its running time; then the rest of what it saw and
        // the hours of the faults found.
        const int firstEnd = faultregs::kFirstCode + int{LineSession::kReadGroup} - 2;
        std::vector<std::uint16_t> first, then;
        for (const std::uint16_t reg : all)
            if (!isHours(reg))
                (reg < firstEnd || reg >= faultregs::kRunHours ? first : then).push_back(reg);
        if (!readAll(first))
            return read;
        for (int slot = 0; slot < faultregs::kSlots; ++slot)
            if (read.values[faultregs::kFirstCode + slot] != 0)
                then.push_back(static_cast<std::uint16_t>(faultregs::kFirstHours + slot));
        if (!readAll(then))
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
