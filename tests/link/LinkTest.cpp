// The link's pieces on their own: frames, reply checks and deadlines, line settings, the virtual
// clock, number texts.

#include <gtest/gtest.h>

#include "FuzzCheck.h"
#include "link/LinkSettings.h"
#include "link/NumberText.h"
#include "link/TimedWait.h"
#include "link/Transaction.h"

using namespace velorin;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;
using fuzz::checkReply;
using fuzz::referenceFrame;  // frames built apart from the link's own

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string asciiFrame(const std::string& fields) {
    return ":" + fields + lrc(fields) + "\r\n";
}

}  // namespace

TEST(Frames, WorkedRequestsCrcAndLrc) {
    const auto bytes = [](std::array<std::uint8_t, 8> f) { return Bytes(f.begin(), f.end()); };
    EXPECT_EQ(bytes(rtuRequest(1, FunctionCode::ReadRegisters, 0x01, 0xF0, 0, 1)), (Bytes{1, 3, 1, 0xF0, 0, 1, 0x85, 0xC5}));
    EXPECT_EQ(bytes(rtuRequest(1, FunctionCode::WriteRegister, 0x01, 0xF0, 0, 5)), (Bytes{1, 6, 1, 0xF0, 0, 5, 0x48, 0x06}));
    EXPECT_EQ(bytes(rtuRequest(1, FunctionCode::ReadRegisters, 0x21, 0x01, 0, 1)), (Bytes{1, 3, 0x21, 1, 0, 1, 0xDF, 0xF6}));
    EXPECT_EQ(asciiRequest("010301F00001"), ":010301F000010A\r\n");
    EXPECT_EQ(asciiRequest("0A0301F00001"), ":0A0301F0000101\r\n");
    EXPECT_EQ(asciiRequest("010321010001"), ":010321010001D9\r\n");
    EXPECT_EQ(lrc("FF0100000000"), "00");  // bytes summing to a multiple of 256
    EXPECT_EQ(lrc("000000000001"), "FF");
}

TEST(Reply, CheckedAgainstTheRequestInBothFramings) {
    using O = LinkOutcome;
    const Bytes good{1, 3, 2, 0xFF, 0xF6};
    for (const Framing f : {Framing::Rtu, Framing::Ascii}) {
        SCOPED_TRACE(framingName(f));
        const auto frame = [f](const Bytes& payload) { return referenceFrame(payload, f); };
        const Bytes rq = frame({1, 3, 0x01, 0xF0, 0, 1}), reply = frame(good);
        Bytes badChecksum = reply;
        badChecksum[badChecksum.size() - (isRtu(f) ? 1 : 3)] ^= 1;  // CRC or LRC digit
        const Bytes noise = isRtu(f) ? Bytes{0x00, 0x7E, 0x55} : Bytes{0x7F, '!', 'x'};
        // clang-format off
        const struct { const char* what; Bytes received; O outcome; } cases[] = {
            {"good", reply, O::Ok}, {"nothing", {}, O::NoReply},
            {"bad checksum", badChecksum, O::BadChecksum},
            {"cut short", Bytes(reply.begin(), reply.begin() + 4), O::Malformed},
            {"other station", frame({2, 3, 2, 0, 5}), O::WrongStation},
            {"other function", frame({1, 4, 2, 0, 5}), O::WrongFunction},
            {"byte count", frame({1, 3, 4, 0, 5, 0, 6}), O::Malformed},
            {"exception", frame({1, 0x83, 2}), O::Exception},
            {"local echo first", join(rq, reply), O::Ok},
            {"noise first", join(noise, reply), O::Ok}};
        // clang-format on
        for (const auto& c : cases) {
            const ReplyCheck r = checkReply(f, rq, c.received);
            EXPECT_EQ(r.outcome, c.outcome) << c.what;
            if (c.outcome == O::Ok)
                EXPECT_EQ(r.value, 0xFFF6) << c.what;
            if (c.outcome == O::Exception)
                EXPECT_EQ(r.exceptionCode, ExceptionCode::IllegalAddress);
        }
        // A write is confirmed only by its full echo; behind an adapter known to echo, our own
        // copy alone confirms nothing.
        const Bytes write = frame({1, 6, 0x01, 0xF0, 0, 5});
        EXPECT_EQ((std::vector{checkReply(f, write, write).outcome,
                               checkReply(f, write, frame({1, 6, 1, 0xF0, 0, 6})).outcome,
                               checkReply(f, write, frame({1, 0x86, 3})).outcome,
                               checkReply(f, write, write, true).outcome,
                               checkReply(f, write, join(write, write), true).outcome}),
                  (std::vector{O::Ok, O::Malformed, O::Exception, O::NoReply, O::Ok}));
    }
    const std::string rq = asciiRequest("010301F00001");
    // clang-format off
    const struct { const char* what; std::string received; O outcome; } ascii[] = {
        {"lower case digits", ":010302fff6" + lrc("010302FFF6") + "\r\n", O::Ok},
        {"no line end", ":010302FFF6", O::Malformed},
        {"cut after two data digits", ":010302FF", O::Malformed},
        {"not hexadecimal", ":01030200G5" + lrc("0103020005") + "\r\n", O::Malformed}};
    // clang-format on
    for (const auto& c : ascii)
        EXPECT_EQ(checkAsciiReply(rq, c.received).outcome, c.outcome) << c.what;
}

TEST(Deadline, TheRequestsLineTimeThenATenthOfASecondUnlessTheReplyNeedsLonger) {
    // clang-format off
    constexpr auto A = Framing::Ascii, R = Framing::Rtu;
    constexpr auto Read = FunctionCode::ReadRegisters, Write = FunctionCode::WriteRegister;
    const struct { const char* settings; Framing framing; FunctionCode function; Micros deadline; } cases[] = {
        // 17 characters of 10 bits at 9600 baud take 17.71 ms.
        {"9600,N,7,2", A, Read, Micros{17709 + 100000}},
        {"9600,E,8,1", R, Read, Micros{9167 + 100000}},
        {"4800,N,8,2", R, Write, Micros{18334 + 100000}},
        {"115200,N,7,2", A, Read, Micros{1476 + 100000}},
        // At 1200 baud the 15-character reply alone takes 125 ms, plus 60 ms for the drive.
        {"1200,N,7,2", A, Read, Micros{141667 + 125000 + 60000}}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(replyDeadline(*parseSettings(c.settings), c.framing, c.function), c.deadline)
            << c.settings;
    // 3.5 characters of silence: 11 bits at 9600 baud is 4.01 ms; 1.75 ms above 19200.
    EXPECT_EQ(silentGap(*parseSettings("9600,E,8,1")), Micros{4011});
    EXPECT_EQ(silentGap(*parseSettings("115200,N,8,1")), Micros{1750});
}

TEST(AsciiReply, NoiseIsLookedThroughInOnePass) {
    // Megabytes of ':' and CR from a line open to noise are looked through in one pass.
    const std::string rq = asciiRequest("010301F00001");
    std::string colonCr;
    for (int i = 0; i < 1'000'000; ++i) colonCr += ":\r";
    const std::string colons(2'000'000, ':');
    for (const std::string& noise :
         {colonCr, colons, colons + "\r\n", ":" + std::string(2'000'000, 'A')}) {
        EXPECT_EQ(checkAsciiReply(rq, noise + asciiFrame("0103020005")).value, 5);
        EXPECT_NE(checkAsciiReply(rq, noise).outcome, LinkOutcome::Ok);
    }
}

TEST(MbapFrames, TheWorkedReadOfThreeRegisters) {
    // The protocol's own example: transaction 1, unit 0x11 reads three registers from 0x006B and
    // gets 0x022B, 0x0000, 0x0064.
    const Bytes rq{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03, 0x00, 0x6B, 0x00, 0x03};
    EXPECT_EQ(mbapRequest(1, 0x11, FunctionCode::ReadRegisters, 0x006B, 3), rq);
    EXPECT_EQ(mbapRequest(0xBEEF, 1, FunctionCode::WriteRegister, 0x01F0, 5),
              (Bytes{0xBE, 0xEF, 0, 0, 0, 6, 1, 6, 0x01, 0xF0, 0, 5}));
    const Bytes reply{0x00, 0x01, 0x00, 0x00, 0x00, 0x09, 0x11, 0x03, 0x06,
                      0x02, 0x2B, 0x00, 0x00, 0x00, 0x64};
    const ReplyCheck r = checkMbapReply(rq, reply);
    EXPECT_EQ(std::tuple(r.outcome, r.values, mbapTransaction(reply)),
              std::tuple(LinkOutcome::Ok, std::vector<std::uint16_t>{0x022B, 0x0000, 0x0064}, 1));
}

TEST(MbapReply, OtherTransactionsAreSetAsideAndTheStreamIsReadByLength) {
    const Bytes rq = mbapRequest(0x0102, 7, FunctionCode::ReadRegisters, 0x0010, 1);
    const auto frame = [](std::uint16_t id, Bytes pdu) {
        Bytes f{static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id & 0xFF), 0, 0, 0,
                static_cast<std::uint8_t>(pdu.size())};
        return join(f, pdu);
    };
    const Bytes ours = frame(0x0102, {7, 3, 2, 0x12, 0x34});
    const Bytes stale = frame(0x0101, {7, 3, 2, 0x99, 0x99});
    using O = LinkOutcome;
    // clang-format off
    const struct { const char* what; Bytes received; O outcome; int setAside; } cases[] = {
        {"ours", ours, O::Ok, 0},
        {"an old reply before ours", join(stale, ours), O::Ok, 1},
        {"ours twice (a duplicated segment)", join(ours, ours), O::Ok, 0},
        {"only an old reply", stale, O::NoReply, 1},
        {"an old reply, ours cut short", join(stale, Bytes(ours.begin(), ours.begin() + 9)), O::Malformed, 1},
        {"header only", Bytes(ours.begin(), ours.begin() + 7), O::Malformed, 0},
        {"protocol 1", join({0x01, 0x02, 0, 1, 0, 5}, {7, 3, 2, 0x12, 0x34}), O::Malformed, 0},
        {"a length no reply has", join({0x01, 0x02, 0, 0, 0x01, 0}, ours), O::Malformed, 0},
        {"unit 8", frame(0x0102, {8, 3, 2, 0x12, 0x34}), O::WrongStation, 0},
        {"function 4", frame(0x0102, {7, 4, 2, 0x12, 0x34}), O::WrongFunction, 0},
        {"byte count 4", frame(0x0102, {7, 3, 4, 0x12, 0x34, 0, 0}), O::Malformed, 0},
        {"exception 2", frame(0x0102, {7, 0x83, 2}), O::Exception, 0},
        {"nothing", {}, O::NoReply, 0}};
    // clang-format on
    for (const auto& c : cases) {
        int setAside = -1;
        const ReplyCheck r = checkMbapReply(rq, c.received, &setAside);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        EXPECT_EQ(setAside, c.setAside) << c.what;
        if (c.outcome == O::Ok) {
            EXPECT_EQ(r.value, 0x1234) << c.what;
        }
    }
    // A write's reply repeats the request; another value is no confirmation.
    const Bytes write = mbapRequest(9, 1, FunctionCode::WriteRegister, 0x01F0, 5);
    EXPECT_EQ(checkMbapReply(write, write).outcome, O::Ok);
    Bytes otherValue = write;
    otherValue.back() = 6;
    EXPECT_EQ(checkMbapReply(write, otherValue).outcome, O::Malformed);
}

TEST(BlockReply, CarriesExactlyTheRegistersAskedForWithItsChecksumRight) {
    // Asked for `asked` registers from 10; the reply's byte count, the registers it carries.
    const struct {
        std::uint16_t asked;
        int byteCount, sent;
        bool corrupt;
        LinkOutcome outcome;
    } cases[] = {
        {3, 6, 3, false, LinkOutcome::Ok},         {3, 4, 2, false, LinkOutcome::Malformed},
        {3, 8, 4, false, LinkOutcome::Malformed},  {3, 6, 2, false, LinkOutcome::Malformed},
        {3, 6, 3, true, LinkOutcome::BadChecksum}, {126, 252, 126, false, LinkOutcome::Malformed},
    };
    for (const auto& c : cases) {
        Bytes payload{1, 3, static_cast<std::uint8_t>(c.byteCount)};
        for (int i = 1; i <= c.sent; ++i)
            payload.insert(payload.end(), {static_cast<std::uint8_t>(i), 44});
        const Bytes rq{1, 3, 0, 10, static_cast<std::uint8_t>(c.asked >> 8),
                       static_cast<std::uint8_t>(c.asked & 0xFF)};
        for (const Framing f : {Framing::Rtu, Framing::Ascii}) {
            Bytes reply = referenceFrame(payload, f);
            reply[reply.size() - 3] ^= c.corrupt;  // the last data byte; the LRC's second digit
            const ReplyCheck r = checkReply(f, referenceFrame(rq, f), reply);
            EXPECT_EQ(r.outcome, c.outcome) << c.asked << " " << c.byteCount << " " << c.sent;
            if (c.outcome == LinkOutcome::Ok)
                EXPECT_EQ(r.values, (std::vector<std::uint16_t>{300, 556, 812}));
        }
    }
}

TEST(SettingsString, BuiltFromTheTablesAndEditedByItsLastSixCharacters) {
    EXPECT_EQ(settingsString(4, 0), "115200,N,7,2");
    EXPECT_EQ(replaceFormat("115200,N,7,2", 5), "115200,E,8,1");
    EXPECT_EQ(replaceRate("9600,O,8,1", 2), "19200,O,8,1");
    EXPECT_EQ(replaceRate(replaceFormat("4800,N,7,2", 3), 4), "115200,N,8,2");
    for (std::size_t f = 0; f < kFormats.size(); ++f) {
        EXPECT_EQ(kFormats[f].suffix.size(), 6u);
        EXPECT_EQ(kFormats[f].framing, framingOfFormat(static_cast<int>(f)));
        // The list text names the same data bits, parity and stop bits as the suffix.
        const auto s = kFormats[f].suffix, t = kFormats[f].listText;
        const std::string tail{s[3], ',', s[1], ',', s[5]};
        EXPECT_EQ(t.substr(t.size() - 5), tail);
    }
}

TEST(SettingsString, ParsedIntoLineSettings) {
    const auto ls = parseSettings("19200,E,8,1");
    ASSERT_TRUE(ls);
    EXPECT_EQ(std::tuple(ls->baud, ls->parity, ls->dataBits, ls->stopBits, ls->bitsPerCharacter()),
              std::tuple(19200, 'E', 8, 1, 11));
    EXPECT_EQ(parseSettings("9600,N,7,2")->bitsPerCharacter(), 10);
    for (const char* bad : {"", "9600", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "abc,N,8,1",
                            "9600,N,8,1,", "-9600,N,8,1"})
        EXPECT_FALSE(parseSettings(bad)) << bad;
    EXPECT_EQ(std::tuple(rateIndexOf("38400,O,7,1"), formatIndexOf("38400,O,7,1")),
              std::tuple(3, 2));
    EXPECT_FALSE(rateIndexOf("57600,N,8,1") || formatIndexOf("9600,N,7,1"));
}

// The tests' clock: scheduled actions run in time order inside later waits, an action may itself
// wait (a handler that talks to the drive) without losing its place, and a wait ends at the first
// moment its condition holds.
TEST(VirtualClock, ScheduledActionsRunInsideLaterWaitsInTimeOrder) {
    VirtualClock clock;
    std::vector<std::pair<int, Micros>> ran;
    clock.after(150ms, [&] { ran.push_back({2, clock.now()}); });
    clock.after(50ms, [&] { ran.push_back({1, clock.now()}); });
    EXPECT_FALSE(clock.wait(100ms));
    EXPECT_EQ(ran, (std::vector<std::pair<int, Micros>>{{1, Micros{50000}}}));
    clock.after(10ms, [&] { clock.wait(20ms); });
    EXPECT_TRUE(clock.wait(100ms, [&] { return ran.size() == 2; }));
    EXPECT_EQ(std::pair(ran[1].first, clock.now()), std::pair(2, ran[1].second));
    int pumped = 0;
    clock.setPump([&] { ++pumped; });
    clock.wait(1ms);
    EXPECT_GT(pumped, 0);
}

TEST(LenientNumber, ReadsAsFarAsTheTextFormsANumber) {
    // clang-format off
    const struct { const char* text; double value; } cases[] = {
        {"496", 496}, {" 496", 496}, {"05", 5}, {"1 2", 12}, {"12abc", 12}, {"1\t2\n3", 123},
        {"", 0}, {"abc", 0}, {"-2.5", -2.5}, {"+5", 5}, {"1.2.3", 1.2}, {".5", 0.5},
        {"1.5E3", 1500}, {"1D2", 100}, {"2e", 2}, {"2e+", 2}, {"- 3", -3}, {"&HFFFF", -1},
        {"&H8000", -32768}, {"&H7FFF", 32767}, {"&H10000", 65536}, {"&hff", 255}, {"&H", 0},
        {"&O17", 15}, {"&O177777", -1}, {"&HFFFFFFFF", -1}, {"60.005", 60.005}, {"1,5", 1}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(lenientNumber(c.text).value_or(-999), c.value) << c.text;
}

TEST(LenientNumber, ANumberTooLargeToHoldIsAFailureNotZero) {
    const std::string hugeDigits(400, '9');
    for (const std::string text : {"1e400", "-1E400", "1D309", "&H123456789", hugeDigits.c_str()})
        EXPECT_FALSE(lenientNumber(text)) << text;
    // Tiny numbers are no overflow, and a failure stays one through the rounding.
    EXPECT_EQ(lenientNumber("1e-400"), 0.0);
    EXPECT_EQ(lenientNumber("1.7e308"), 1.7e308);
    EXPECT_FALSE(roundTo<std::int32_t>(lenientNumber("1e400")));
    EXPECT_EQ(roundTo<std::int32_t>(lenientNumber("12.5")), 12);
}

TEST(StrictNumber, TakesOnlyOneWholeNumberInTheGivenFormat) {
    for (auto [text, point, value] : {std::tuple{" 12.5 ", '.', 12.5}, {"12,5", ',', 12.5},
                                      {"-3", '.', -3.0}, {"&HFF", '.', 255.0}, {"1e3", '.', 1e3}})
        EXPECT_EQ(strictNumber(text, point), value) << text;
    for (const char* bad : {"", "  ", "12abc", "1 2", "1.2.3", "&HFG", "abc", "-"})
        EXPECT_FALSE(strictNumber(bad)) << bad;
    EXPECT_FALSE(strictNumber("12.5", ','));
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndOverflowIsAnError) {
    for (auto [value, rounded] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-32768.5, -32768}})
        EXPECT_EQ(roundTo<std::int16_t>(value), rounded) << value;
    EXPECT_FALSE(roundTo<std::int16_t>(32767.5) || roundTo<std::int16_t>(-32769));
    EXPECT_EQ(roundTo<std::int32_t>(2147483647.4), 2147483647);
    EXPECT_FALSE(roundTo<std::int32_t>(2147483647.5));
    EXPECT_EQ(roundDown<std::int32_t>(-1.5), -2);
    EXPECT_EQ(roundDown<std::int32_t>(1.99), 1);
}

TEST(NumberToText, PlainBlankAndPatternForms) {
    EXPECT_EQ((std::vector{plainText(-10), plainText(1234.5), plainText(6000.0000000000009),
                           plainText(1e16), blankText(496), blankText(0), blankText(-10)}),
              (std::vector<std::string>{"-10", "1234.5", "6000", "1E+16", " 496", " 0", "-10"}));
    // clang-format off
    const struct { double value; const char* pattern; const char* text; } cases[] = {
        {5, "00", "05"}, {496, "00", "496"}, {2.5, "0", "3"}, {400, "00.00", "400.00"},
        {0.01, "00.00", "00.01"}, {1.5, "000.00", "001.50"}, {10, "0.0", "10.0"},
        {0.125, "0.00", "0.13"}, {1.005, "0.00", "1.01"}, {-5, "00", "-05"},
        {-0.001, "0.00", "0.00"}, {0.5, "0.0000", "0.5000"}, {99.995, "0.00", "100.00"},
        {1.23456, "0.000", "1.235"}, {-12.5, "0.0", "-12.5"}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(formatNumber(c.value, c.pattern), c.text) << c.value << " " << c.pattern;
    EXPECT_EQ(formatNumber(12.5, "0.00", ','), "12,50");
}

TEST(RegisterBytes, SplitsTextIntoHighAndLowByteAndLeavesThemAloneOnOverflow) {
    // clang-format off
    const struct { const char* text; int high, low; } cases[] = {
        {"32767", 0x7F, 0xFF}, {"32768", 0x80, 0x00}, {"-32768", 0x80, 0x00}, {"-1", 0xFF, 0xFF},
        {"-10", 0xFF, 0xF6},   {"1.5", 0x00, 0x02},   {"2.5", 0x00, 0x02},    {" 562", 0x02, 0x32},
        {"abc", 0x00, 0x00},   {"40000", 0x9C, 0x40}, {"65535", 0xFF, 0xFF},  {"70000", 0x11, 0x70},
        {"32767.5", 0x80, 0x00}};
    // clang-format on
    for (const auto& c : cases) {
        std::uint8_t b[3] = {0xAA, 0xAA, 0xAA};
        ASSERT_TRUE(registerBytes(c.text, b)) << c.text;
        EXPECT_EQ(std::tuple(b[0], b[1], b[2]), std::tuple(c.high, c.low, 0xAA)) << c.text;
    }
    for (const char* text : {"-40000", "-32768.6", "2147483647.5", "1E10", "1e400", "-1e400"}) {
        std::uint8_t b[2] = {1, 2};
        EXPECT_FALSE(registerBytes(text, b)) << text;
        EXPECT_EQ(std::tuple(b[0], b[1]), std::tuple(1, 2)) << text;
    }
}
