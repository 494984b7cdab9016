// The simulated drive where no product test shows it: a bad setting's trip, its request reader.

#include <gtest/gtest.h>

#include <string>

#include "link/Transaction.h"
#include "sim/RequestReader.h"
#include "sim/SimulatedPort.h"

using namespace velorin;

namespace {

constexpr auto kRead = FunctionCode::ReadRegisters, kWrite = FunctionCode::WriteRegister;
constexpr auto A = Framing::Ascii, R = Framing::Rtu;

std::string rtu(std::uint8_t station, FunctionCode function, std::uint16_t reg,
                std::uint16_t word) {
    const auto f = rtuRequest(station, function, reg >> 8, reg & 0xFF, word >> 8, word & 0xFF);
    return {f.begin(), f.end()};
}

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

const DriveRequest kRead100{1, wireByte(kRead), 100, 1};
const DriveRequest kWrite496{1, wireByte(kWrite), 496, 5};

}  // namespace

TEST(SimFaults, RunWithABadSettingTripsAndIsRecorded) {
    // what, registers set, the fault the run command records (0: the motor runs)
    const struct { const char* what; std::vector<std::pair<int, int>> regs; int fault; } cases[] = {
        {"factory settings", {}, 0},
        {"M0 and M3 with one function", {{149, 3}, {152, 3}}, 20},
        {"motor 1: fe1 below fe0", {{254, 100}, {256, 200}}, 21},
        {"motor 2: fe4 below fe3", {{309, 1}}, 22},
        {"P02.36 above P02.37, its bound", {{91, 5000}, {92, 100}}, 19},
        {"a constant bound is the write's to refuse, not the run's", {{2, 99}}, 0},
    };
    const auto run = bytesOf(asciiRequest("010620000012"));  // 18 to the command register
    for (const auto& c : cases) {
        SimulatedDrive drive;
        const RecordedFault before[] = {{6, 100}};
        drive.setFaultHistory(before);
        drive.setReg(543, 120);
        for (auto [reg, value] : c.regs) drive.setReg(reg, static_cast<std::uint16_t>(value));
        ASSERT_EQ(drive.hear(run, drive.line()).size(), 1u) << c.what;
        EXPECT_EQ(drive.running(), c.fault == 0) << c.what;
        EXPECT_EQ(std::tuple(drive.reg(403), drive.reg(424)),
                  c.fault ? std::tuple(c.fault, 120) : std::tuple(6, 100))
            << c.what;
        if (c.fault)
            EXPECT_EQ(std::tuple(drive.reg(404), drive.reg(425)), std::tuple(6, 100)) << c.what;
    }
}

TEST(RequestReader, TakesOnlyWellFormedFrames) {
    const std::string read = asciiRequest("010300640001"), write = ":010601F0000503\r\n";
    // clang-format off
    const struct { const char* what; Framing framing; std::string line; std::vector<DriveRequest> expected; }
    cases[] = {
        {"ascii read", A, read, {kRead100}}, {"ascii write", A, write, {kWrite496}},
        {"one bit flipped: F to N, the LRC still adds up", A, ":010601N0000503\r\n", {}},
        {"lower-case digits", A, ":010601f0000503\r\n", {}},
        {"wrong LRC", A, ":010601F0000504\r\n", {}},
        {"a digit too many", A, ":010601F00005030\r\n" + read, {kRead100}},
        {"a digit too few", A, ":010601F000050\r\n" + read, {kRead100}},
        {"CR without LF", A, ":010601F0000503\r" + read, {kRead100}},
        {"a noise colon does not swallow the next request", A, ":01:" + read, {kRead100}},
        {"a colon restarts a frame cut short", A, ":0106" + write + read, {kWrite496, kRead100}},
        {"noise between frames", A, "xx\r\n" + write + "\xFF\x00zz" + read, {kWrite496, kRead100}},
        {"rtu frames back to back", R, rtu(1, kRead, 100, 1) + rtu(1, kWrite, 496, 5), {kRead100, kWrite496}},
        {"rtu frame behind noise", R, "\x01\x03\x7F" + rtu(1, kRead, 100, 1), {kRead100}},
        {"rtu bad CRC", R, rtu(1, kRead, 100, 1).substr(0, 7) + "\x00", {}},
        {"ascii frame on an rtu drive", R, write, {}},
        {"rtu frame on an ascii drive", A, rtu(1, kWrite, 496, 5), {}}};
    // clang-format on
    for (const auto& c : cases) {
        RequestReader whole(c.framing), byByte(c.framing);
        EXPECT_EQ(whole.feed(bytesOf(c.line)), c.expected) << c.what;
        std::vector<DriveRequest> got;
        for (char ch : c.line)
            if (auto rq = byByte.push(static_cast<std::uint8_t>(ch)))
                got.push_back(*rq);
        EXPECT_EQ(got, c.expected) << c.what << ", one character at a time";
    }
}

// No more than a frame held, whatever comes; silence ends an RTU frame cut short.
TEST(RequestReader, HoldsNoMoreThanAFrame) {
    for (Framing framing : {A, R}) {
        RequestReader r(framing);
        // A colon and then 64 KB of digits with no end of frame.
        const std::string noise = ":" + std::string(1 << 16, '0');
        EXPECT_TRUE(r.feed(bytesOf(noise)).empty());
        EXPECT_LE(r.pending(), RequestReader::kAsciiFrame);
        const std::string next = isRtu(framing) ? rtu(1, kRead, 100, 1) : asciiRequest("010300640001");
        EXPECT_EQ(r.feed(bytesOf(next)), std::vector{kRead100}) << framingName(framing);
    }
    RequestReader r(R);
    EXPECT_TRUE(r.feed(bytesOf(rtu(1, kRead, 100, 1).substr(0, 5))).empty());
    r.silence();
    EXPECT_EQ(r.pending(), 0u);
    EXPECT_EQ(r.feed(bytesOf(rtu(1, kRead, 100, 1))), std::vector{kRead100});
}

// The drive acts on nothing but a well-formed frame: the flipped character of the write to P496
// would otherwise land in register 256.
TEST(SimulatedDrive, IgnoresAMalformedRequest) {
    SimulatedDrive drive;
    EXPECT_TRUE(drive.hear(bytesOf(":010601N0000503\r\n"), drive.line()).empty());
    EXPECT_TRUE(drive.writeLog().empty());
    EXPECT_EQ(drive.hear(bytesOf(":01" + asciiRequest("010300640001")), drive.line()).size(), 1u)
        << "a noise colon swallowed the request behind it";
}
