// What the drive takes from the line as a request: only well-formed frames, whatever noise,
// cut-off frames or flipped characters come with them, and never more than a frame held back.

#include <gtest/gtest.h>

#include <string>

#include "link/MBus.h"
#include "sim/RequestReader.h"
#include "sim/SimulatedDrive.h"

using namespace velorin;

namespace {

std::string rtu(std::uint8_t station, std::uint8_t function, std::uint16_t reg,
                std::uint16_t word) {
    const auto f = rtuRequest(station, function, reg >> 8, reg & 0xFF, word >> 8, word & 0xFF);
    return {f.begin(), f.end()};
}

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

const DriveRequest kRead100{1, 3, 100, 1};
const DriveRequest kWrite496{1, 6, 496, 5};

}  // namespace

TEST(RequestReader, TakesOnlyWellFormedFrames) {
    const std::string read = asciiRequest("010300640001"), write = ":010601F0000503\r\n";
    // clang-format off
    const struct { const char* what; bool rtu; std::string line; std::vector<DriveRequest> expected; }
    cases[] = {
        {"ascii read", false, read, {kRead100}}, {"ascii write", false, write, {kWrite496}},
        {"one bit flipped: F to N, the LRC still adds up", false, ":010601N0000503\r\n", {}},
        {"lower-case digits", false, ":010601f0000503\r\n", {}},
        {"wrong LRC", false, ":010601F0000504\r\n", {}},
        {"a digit too many", false, ":010601F00005030\r\n" + read, {kRead100}},
        {"a digit too few", false, ":010601F000050\r\n" + read, {kRead100}},
        {"CR without LF", false, ":010601F0000503\r" + read, {kRead100}},
        {"a noise colon does not swallow the next request", false, ":01:" + read, {kRead100}},
        {"a colon restarts a frame cut short", false, ":0106" + write + read, {kWrite496, kRead100}},
        {"noise between frames", false, "xx\r\n" + write + "\xFF\x00zz" + read, {kWrite496, kRead100}},
        {"rtu frames back to back", true, rtu(1, 3, 100, 1) + rtu(1, 6, 496, 5), {kRead100, kWrite496}},
        {"rtu frame behind noise", true, "\x01\x03\x7F" + rtu(1, 3, 100, 1), {kRead100}},
        {"rtu bad CRC", true, rtu(1, 3, 100, 1).substr(0, 7) + "\x00", {}},
        {"ascii frame on an rtu drive", true, write, {}},
        {"rtu frame on an ascii drive", false, rtu(1, 6, 496, 5), {}}};
    // clang-format on
    for (const auto& c : cases) {
        RequestReader whole(c.rtu), byByte(c.rtu);
        EXPECT_EQ(whole.feed(bytesOf(c.line)), c.expected) << c.what;
        std::vector<DriveRequest> got;
        for (char ch : c.line)
            if (auto rq = byByte.push(static_cast<std::uint8_t>(ch)))
                got.push_back(*rq);
        EXPECT_EQ(got, c.expected) << c.what << ", one character at a time";
    }
}

TEST(RequestReader, HoldsNoMoreThanAFrame) {
    for (bool isRtu : {false, true}) {
        RequestReader r(isRtu);
        // A colon and then 64 KB of digits with no end of frame.
        const std::string noise = ":" + std::string(1 << 16, '0');
        EXPECT_TRUE(r.feed(bytesOf(noise)).empty());
        EXPECT_LE(r.pending(), RequestReader::kAsciiFrame);
        const std::string next = isRtu ? rtu(1, 3, 100, 1) : asciiRequest("010300640001");
        EXPECT_EQ(r.feed(bytesOf(next)), std::vector{kRead100}) << "rtu " << isRtu;
    }
}

TEST(RequestReader, SilenceEndsAnRtuFrameCutShort) {
    RequestReader r(true);
    const std::string frame = rtu(1, 3, 100, 1);
    EXPECT_TRUE(r.feed(bytesOf(frame.substr(0, 5))).empty());
    r.silence();
    EXPECT_EQ(r.pending(), 0u);
    EXPECT_EQ(r.feed(bytesOf(frame)), std::vector{kRead100});
}

// The drive acts on nothing but a well-formed frame: the flipped character of the write to P496
// would otherwise land in register 256.
TEST(SimulatedDrive, IgnoresAMalformedRequest) {
    SimulatedDrive drive;
    const std::string flipped = ":010601N0000503\r\n";
    EXPECT_TRUE(drive.hear(bytesOf(flipped), drive.line()).empty());
    EXPECT_TRUE(drive.writeLog().empty());
    const std::string read = asciiRequest("010300640001");
    EXPECT_EQ(drive.hear(bytesOf(":01" + read), drive.line()).size(), 1u)
        << "a noise colon swallowed the request behind it";
}
