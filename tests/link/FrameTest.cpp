#include <gtest/gtest.h>

#include "link/Transaction.h"

using namespace velorin;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes withCrc(Bytes b) {
    const auto crc = crc16(b);
    b.push_back(crc & 0xFF);
    b.push_back(crc >> 8);
    return b;
}

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

TEST(RtuReply, CheckedAgainstTheRequest) {
    const auto rq = rtuRequest(1, FunctionCode::ReadRegisters, 0x01, 0xF0, 0, 1);
    const Bytes good = withCrc({0x01, 0x03, 0x02, 0xFF, 0xF6});
    Bytes badCrc = good;
    badCrc.back() ^= 1;
    using O = LinkOutcome;
    // clang-format off
    const struct { const char* what; Bytes received; LinkOutcome outcome; } cases[] = {
        {"good", good, O::Ok}, {"nothing", {}, O::NoReply}, {"bad crc", badCrc, O::BadChecksum},
        {"four bytes", Bytes(good.begin(), good.begin() + 4), O::Malformed},
        {"other station", withCrc({0x02, 0x03, 0x02, 0x00, 0x05}), O::WrongStation},
        {"other function", withCrc({0x01, 0x04, 0x02, 0x00, 0x05}), O::WrongFunction},
        {"byte count", withCrc({0x01, 0x03, 0x04, 0, 5, 0, 6}), O::Malformed},
        {"exception", withCrc({0x01, 0x83, 0x02}), O::Exception},
        {"local echo first", join(Bytes(rq.begin(), rq.end()), good), O::Ok},
        {"noise first", join({0x00, 0x7E, 0x55}, good), O::Ok}};
    // clang-format on
    for (const auto& c : cases) {
        const ReplyCheck r = checkRtuReply(rq, c.received);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        if (c.outcome == LinkOutcome::Ok)
            EXPECT_EQ(r.value, 0xFFF6) << c.what;
    }
    EXPECT_EQ(checkRtuReply(rq, withCrc({0x01, 0x83, 0x02})).exceptionCode, ExceptionCode::IllegalAddress);
}

TEST(RtuReply, AWriteIsConfirmedOnlyByItsFullEcho) {
    const auto rq = rtuRequest(1, FunctionCode::WriteRegister, 0x01, 0xF0, 0, 5);
    const Bytes echo(rq.begin(), rq.end());
    EXPECT_EQ(checkRtuReply(rq, echo).outcome, LinkOutcome::Ok);
    EXPECT_EQ(checkRtuReply(rq, withCrc({0x01, 0x06, 0x01, 0xF0, 0x00, 0x06})).outcome,
              LinkOutcome::Malformed);
    EXPECT_EQ(checkRtuReply(rq, withCrc({0x01, 0x86, 0x03})).outcome, LinkOutcome::Exception);
    // Behind an adapter known to echo, our own copy alone confirms nothing.
    EXPECT_EQ(checkRtuReply(rq, echo, true).outcome, LinkOutcome::NoReply);
    EXPECT_EQ(checkRtuReply(rq, join(echo, echo), true).outcome, LinkOutcome::Ok);
}

TEST(AsciiReply, CheckedAgainstTheRequest) {
    const std::string rq = asciiRequest("010301F00001");
    using O = LinkOutcome;
    // clang-format off
    const struct { const char* what; std::string received; O outcome; int value; } cases[] = {
        {"good", asciiFrame("010302FFF6"), O::Ok, 0xFFF6},
        {"lower case digits", ":010302fff6" + lrc("010302FFF6") + "\r\n", O::Ok, 0xFFF6},
        {"nothing", "", O::NoReply, 0}, {"no line end", ":010302FFF6", O::Malformed, 0},
        {"cut after two data digits", ":010302FF", O::Malformed, 0},
        {"bad lrc", ":010302FFF600\r\n", O::BadChecksum, 0},
        {"other station", asciiFrame("020302FFF6"), O::WrongStation, 0}, {"exception", asciiFrame("018302"), O::Exception, 0},
        {"echo first", rq + asciiFrame("0103020005"), O::Ok, 5},
        {"noise first", "\x7f!x" + asciiFrame("0103020005"), O::Ok, 5},
        {"not hexadecimal", ":01030200G5" + lrc("0103020005") + "\r\n", O::Malformed, 0}};
    // clang-format on
    for (const auto& c : cases) {
        const ReplyCheck r = checkAsciiReply(rq, c.received);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        if (c.outcome == LinkOutcome::Ok)
            EXPECT_EQ(r.value, c.value) << c.what;
    }
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
    EXPECT_EQ(r.outcome, LinkOutcome::Ok);
    EXPECT_EQ(r.values, (std::vector<std::uint16_t>{0x022B, 0x0000, 0x0064}));
    EXPECT_EQ(mbapTransaction(reply), 1);
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
        std::string fields;
        for (const auto b : payload) fields += hex2(b);
        Bytes rtu = withCrc(payload);
        rtu[rtu.size() - 2] ^= c.corrupt;
        const std::string ascii = ":" + fields + lrc(c.corrupt ? fields + "01" : fields) + "\r\n";
        const std::string asked = hex2(c.asked >> 8) + hex2(c.asked & 0xFF);
        const auto request =
            rtuRequest(1, FunctionCode::ReadRegisters, 0, 10, c.asked >> 8, c.asked & 0xFF);
        for (const ReplyCheck& r : {checkRtuReply(request, rtu),
                                    checkAsciiReply(asciiRequest("0103000A" + asked), ascii)}) {
            EXPECT_EQ(r.outcome, c.outcome) << c.asked << " " << c.byteCount << " " << c.sent;
            if (c.outcome == LinkOutcome::Ok)
                EXPECT_EQ(r.values, (std::vector<std::uint16_t>{300, 556, 812}));
        }
    }
}
