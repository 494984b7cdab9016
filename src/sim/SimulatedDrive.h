#pragma once
// The drive's side of the line: a Modbus slave with the drive's registers, answering only
// requests for its own station, in its own framing and line settings, as a real drive does.
// One engine serves the in-process port (tests, demo) and the pseudo-terminal simulator.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/DriveFacts.h"
#include "link/Frames.h"
#include "link/LinkSettings.h"
#include "link/TimedWait.h"
#include "sim/RequestReader.h"

namespace velorin {

inline constexpr int kParameterCount = 563;

// The drive's registers at its factory settings (station 1, 9600 baud, format 0).
std::array<std::uint16_t, kParameterCount> factoryRegisterValues();

struct DriveFault {
    enum class Kind {
        NoReply,          // the request is carried out, the reply never comes
        CorruptChecksum,  // the reply's CRC or LRC is wrong
        Truncated,        // the reply loses its last bytes
        Split,            // the reply comes in two parts with a gap between them
        Exception,        // the request is refused with an exception reply
        OtherStation,     // the reply carries another station number
        Noise,            // garbage on the line instead of the reply
        Slow,             // the reply comes `delay` later than usual (a late reply)
        Duplicate,        // the reply comes, and `delay` after it the same reply once more, as
                          // a gateway or repeater can send a frame twice
        BlockShift,       // a block read across gaps (setBlockGaps) is answered without an
                          // exception, the values after a gap shifted up over it; other
                          // requests are answered as usual
    };
    Kind kind = Kind::NoReply;
    ExceptionCode exceptionCode = ExceptionCode::DriveFailure;  // with Exception
    Micros delay{20000};    // with Slow: the extra delay; with Split: the gap; with Duplicate: the
                            // time from the end of the reply to the start of its copy
    int onlyRegister = -1;  // when set, only requests for this register meet it (others pass)
};

// A fault in the drive's history: its number (P12.03's list) and the running hours at it.
struct RecordedFault {
    int number = 0;
    int hours = 0;
    bool operator==(const RecordedFault&) const = default;
};

// "20@1200,6@1190": faults latest first as NUMBER@HOURS, at most eight, each 0..65535; empty
// for anything else. The empty text is no fault.
std::optional<std::vector<RecordedFault>> parseFaultHistory(std::string_view text);

struct WriteRecord {
    std::uint16_t reg;
    std::uint16_t value;
};

// Part of a reply and when its last byte reaches the master, counted from the moment the master
// handed over the request.
struct ReplyChunk {
    std::vector<std::uint8_t> bytes;
    Micros at{0};
};

// When a drive's answers come, beyond the fixed response delay and the wire time: the spread of
// real lines. A drive answers from a main loop, a USB adapter hands received bytes on when its
// latency timer runs out (in pieces), a busy drive now and then pauses.
struct AnswerProfile {
    Micros answerLow{-1}, answerHigh{-1};  // a response delay drawn in [low, high] (else fixed)
    Micros usbLatency{0};                  // bytes handed on at ticks of this timer, in pieces
    Micros loopPeriod{0};                  // the answer leaves at the next tick of this loop
    int pausePercent = 0;                  // this share of the answers pauses
    Micros pauseLongest{0};                // up to this long
    bool operator==(const AnswerProfile&) const = default;
};

// How closely the drive compares the master's line settings with its own: a pseudo-terminal
// carries rate and stop bits but forces 8 data bits without parity.
enum class LineMatch { Full, RateAndStopBits };

class SimulatedDrive {
public:
    SimulatedDrive();

    // ---- Link settings (P496 station, P497 rate / 100, P498 format) ----
    std::uint8_t station() const { return m_station; }
    int rateIndex() const { return m_rate; }
    int formatIndex() const { return m_format; }
    Framing framing() const { return kFormats[m_format].framing; }
    std::string settings() const { return settingsString(m_rate, m_format); }
    LineSettings line() const { return *parseSettings(settings()); }
    // Sets station, rate and format, and the registers that hold them.
    void setLink(std::uint8_t station, int rateIndex, int formatIndex);

    // ---- Registers ----
    std::uint16_t reg(int r) const { return m_regs.at(r); }
    void setReg(int r, std::uint16_t v) { m_regs.at(r) = v; }
    std::uint16_t command() const { return m_command; }
    bool running() const { return m_status & 1; }
    // Back to the factory values and link settings (what a P546 write of 2..7 does).
    void resetToFactory();

    // ---- Fault history (SimFaults.cpp) ----
    // The faults the drive remembers, latest first (at most eight; P12.03-P12.10 with their
    // running hours in P12.24-P12.31); running hours (P17.05) are raised to the latest's.
    void setFaultHistory(std::span<const RecordedFault> faults);
    // Records a fault as the drive does when it trips: the older ones move down a place, the
    // oldest is forgotten, and what the drive saw is kept in P12.11-P12.23.
    void recordFault(int number);
    // The fault a run command meets with the settings held now: ErP1 (two of M0-M9 with one
    // function), ErP2 or ErP3 (a V/F curve's frequencies out of order), ErP0 for a value beyond
    // a bound another setting gives; 0 for none.
    int settingFault() const;
    // What P17.08 = 8 does: every fault and its hours forgotten.
    void clearFaultHistory();

    // Writes the drive carried out, in order (the command register included).
    const std::vector<WriteRecord>& writeLog() const { return m_writeLog; }
    void clearWriteLog() { m_writeLog.clear(); }
    // Requests heard on the line at matching line settings, for any station.
    long requestsHeard() const { return m_heard; }

    // ---- Behaviour on the line ----
    // The next `count` requests addressed to this drive meet `fault`.
    void injectFault(DriveFault fault, int count = 1);
    // Every request addressed to this drive meets `fault` (once the injected ones are used up);
    // none to go back to answering normally.
    void setFaultMode(std::optional<DriveFault> fault) {
        setFaultMix(fault ? std::vector<DriveFault>{*fault} : std::vector<DriveFault>{}, 100, 1);
    }
    // A share of the requests addressed to this drive, `percent` of them on average, meets one
    // of `faults` picked at random; the draws follow `seed`, so a run can be repeated exactly.
    void setFaultMix(std::vector<DriveFault> faults, int percent, std::uint32_t seed);
    void clearFaults() {
        m_faults.clear();
        m_faultMix.clear();
    }
    // Injected faults still to come.
    std::size_t faultsQueued() const { return m_faults.size(); }
    // Time from the end of a request to the start of the reply.
    void setResponseDelay(Micros d) { m_responseDelay = d; }
    // Whether replies take their time on the line at the set rate (else they arrive at once
    // after the response delay).
    void setWireTime(bool on) { m_wireTime = on; }
    bool wireTime() const { return m_wireTime; }
    // The spread of answer times; the draws follow `seed`.
    void setAnswerProfile(const AnswerProfile& profile, std::uint32_t seed = 1) {
        m_profile = profile;
        m_timingDraw.seed(seed);
    }
    const AnswerProfile& answerProfile() const { return m_profile; }
    // The drive's factory link as the demo's simulated drive answers it: wire time and a few
    // milliseconds of spread, as a real drive on a USB adapter.
    static AnswerProfile realisticProfile();

    // The most registers one read is answered for (32 unless set); a read of more is refused
    // with exception 3 (IllegalValue).
    void setMaxBlock(int count) { m_maxBlock = count; }
    int maxBlock() const { return m_maxBlock; }
    // Registers a block read may not include (none unless set), as a drive's registers without
    // a setting behind them: read on its own one is answered, a block that includes one is
    // refused with exception 2 (IllegalAddress).
    void setBlockGaps(std::vector<std::uint16_t> registers) { m_gaps = std::move(registers); }

    // The line was quiet for 3.5 characters: an RTU request cut short there is dropped.
    void silence() { m_reader.silence(); }

    // The master put `bytes` on the line with settings `master`. Returns the reply chunks, if
    // any. Bytes of an incomplete request are kept until the rest arrives; anything that is not
    // a well-formed request is ignored.
    std::vector<ReplyChunk> hear(std::span<const std::uint8_t> bytes, const LineSettings& master,
                                 LineMatch match = LineMatch::Full);
    // The drive behind a Modbus TCP gateway: `bytes` from the connection, read frame by frame by
    // the length in each header, each request for this station answered with its transaction id
    // (the drive's line settings play no part). A header that cannot be one (protocol not 0, a
    // length no request has) drops what is held, as a gateway out of step would.
    // (SimulatedGateway.cpp)
    std::vector<ReplyChunk> hearMbap(std::span<const std::uint8_t> bytes);
    // A new connection: nothing half-heard is kept.
    void clearMbap() { m_mbapHeld.clear(); }

private:
    std::vector<ReplyChunk> answer(const DriveRequest& rq, std::size_t requestChars);
    // The fault the next request, for register `reg`, meets, if any.
    std::optional<DriveFault> nextFault(std::uint16_t reg);
    bool inGap(unsigned reg) const;
    // A block read across gaps answered with the values shifted over each gap, if `rq` is such
    // a read.
    std::optional<std::vector<std::uint8_t>> shiftedBlock(const DriveRequest& rq) const;
    std::vector<std::uint8_t> frame(std::vector<std::uint8_t> payload, bool corrupt) const;
    // When the answer starts, from the master's handing over of the request, by the profile.
    Micros answerStart(Micros requestOnLine);
    // The chunks as the master's port hands them on (the USB adapter's latency timer).
    std::vector<ReplyChunk> delivered(std::vector<ReplyChunk> chunks);
    Micros drawn(Micros low, Micros high);
    // Carries out a request: the reply payload (without checksum), or an exception code.
    std::vector<std::uint8_t> execute(const DriveRequest& rq, ExceptionCode& exception);
    void applyPendingLinkChange();

    std::array<std::uint16_t, kParameterCount> m_regs{};
    std::uint16_t m_command = 1;
    std::uint16_t m_status = 0;
    std::uint8_t m_station = 1;
    int m_rate = 1;
    int m_format = 0;
    bool m_linkChangePending = false;
    bool m_resetPending = false;
    std::vector<WriteRecord> m_writeLog;
    std::deque<DriveFault> m_faults;
    std::vector<DriveFault> m_faultMix;
    int m_faultPercent = 100;
    std::mt19937 m_faultDraw;
    RequestReader m_reader;
    std::vector<std::uint8_t> m_mbapHeld;          // a Modbus TCP frame not yet complete
    std::optional<std::uint16_t> m_mbapAnswering;  // the transaction a reply is framed for
    long m_heard = 0;
    Micros m_responseDelay{2000};
    bool m_wireTime = true;
    AnswerProfile m_profile;
    std::mt19937 m_timingDraw;
    int m_maxBlock = 32;
    std::vector<std::uint16_t> m_gaps;
    unsigned m_noiseSeed = 12345;
};

// The drives on one RS-485 line: each hears every request the master puts on it and answers
// those for its own station. The replies of all of them, in order of arrival.
std::vector<ReplyChunk> hearOnBus(const std::vector<SimulatedDrive*>& drives,
                                  std::span<const std::uint8_t> bytes, const LineSettings& master,
                                  LineMatch match = LineMatch::Full);

}  // namespace velorin
