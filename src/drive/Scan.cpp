#include "drive/Scan.h"

namespace velorin {

ScanResult scanForDrive(const ScanOrder& order, TimedWait& clock, const ScanHooks& hooks) {
    const Micros started = clock.now();
    auto end = [&](ScanResult::End how, long index) {
        return ScanResult{how, index, order.step(index), clock.now() - started};
    };
    for (long i = 0; i < order.total(); ++i) {
        const ScanStep step = order.step(i);
        if (hooks.stopRequested && hooks.stopRequested())
            return end(ScanResult::End::Stopped, i);
        if (hooks.progress) {
            // The pace of the probes so far; before the first one, a guess.
            const Micros perProbe = i > 0 ? (clock.now() - started) / i : kProbeGuess;
            hooks.progress({i, order.total(), step, perProbe * (order.total() - i)});
        }
        LineSession* line = hooks.open(step);
        if (!line)
            return end(ScanResult::End::PortUnusable, i);
        line->setFraming(step.framing());
        const ReplyCheck reply =
            line->probeAt(static_cast<std::uint8_t>(step.station), drive::kProbeRegister);
        if (reply.outcome == LinkOutcome::PortError)
            return end(ScanResult::End::PortLost, i);
        line->close();
        if (drive::probeFound(reply, step.framing()))
            return end(ScanResult::End::Found, i);
    }
    return end(ScanResult::End::NotFound, order.total() - 1);
}

}  // namespace velorin
