// Every fuzz target's seed corpus through its check on every run, found inputs among them.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzCheck.h"

namespace fs = std::filesystem;

TEST(FuzzCorpus, EveryInputPassesItsTargetsCheck) {
    ASSERT_FALSE(velorin::fuzz::targets().empty());
    for (const auto& target : velorin::fuzz::targets()) {
        const fs::path dir = fs::path(VELORIN_FUZZ_CORPUS) / target.name;
        ASSERT_TRUE(fs::is_directory(dir)) << dir << ": every target keeps a seed corpus";
        int files = 0;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            EXPECT_EQ(target.check(bytes), "") << entry.path();
            ++files;
        }
        EXPECT_GE(files, 3) << dir;
    }
}

// The checks are no use if they pass anything: the independent judge of replies must call a
// result wrong exactly where it is.
TEST(FuzzCorpus, TheJudgeOfRepliesHasTeeth) {
    using namespace velorin;
    using namespace velorin::fuzz;
    const OracleRequest read{1, FunctionCode::ReadRegisters, 100, 1},
        write{1, FunctionCode::WriteRegister, 496, 5};
    constexpr auto A = Framing::Ascii, R = Framing::Rtu;
    auto rtu = [](std::vector<std::uint8_t> p) { return referenceFrame(p, Framing::Rtu); };
    auto ascii = [](std::vector<std::uint8_t> p) { return referenceFrame(p, Framing::Ascii); };
    auto text = [](const char* t) { return std::vector<std::uint8_t>(t, t + std::strlen(t)); };
    const ReplyCheck ok5{LinkOutcome::Ok, 5}, ex2{LinkOutcome::Exception, 0, ExceptionCode{2}},
        noReply{LinkOutcome::NoReply};
    // what, request, framing, bytes received, the result claimed, whether the judge finds fault
    const std::tuple<const char*, OracleRequest, Framing, std::vector<std::uint8_t>, ReplyCheck,
                     bool>
        cases[] = {
        {"rtu read reply", read, R, rtu({1, 3, 2, 0, 5}), ok5, false},
        {"its value misread", read, R, rtu({1, 3, 2, 0, 6}), ok5, true},
        {"another station", read, R, rtu({2, 3, 2, 0, 5}), ok5, true},
        {"another function", read, R, rtu({1, 4, 2, 0, 5}), ok5, true},
        {"bad CRC", read, R, {1, 3, 2, 0, 5, 0x79, 0x47}, ok5, true},  // 0x78 0x47 is right
        {"two registers for one", read, R, rtu({1, 3, 4, 0, 5, 0, 5}), ok5, true},
        {"bad CRC behind noise", read, R, {0xFF, 1, 3, 2, 0, 5, 0x89, 0x87}, ok5, true},
        {"an exception", read, R, rtu({1, 0x83, 2}), ex2, false},
        {"an exception to another function", read, R, rtu({1, 0x86, 2}), ex2, true},
        {"the write's echo", write, R, rtu({1, 6, 1, 0xF0, 0, 5}), ok5, false},
        {"an echo that differs", write, R, rtu({1, 6, 1, 0xF1, 0, 5}), ok5, true},
        {"ascii read reply", read, A, ascii({1, 3, 2, 0, 5}), ok5, false},
        {"ascii in lower case", read, A, text(":0103020005f5\r\n"), ok5, false},
        {"ascii bad LRC", read, A, text(":01030200050F\r\n"), ok5, true},
        {"ascii without CR LF", read, A, text(":0103020005F5"), ok5, true},
        {"ascii with a stray character", read, A, text(":0103020 005F5\r\n"), ok5, true},
        {"nothing claimed is never wrong", read, R, text("garbage"), noReply, false},
    };
    for (const auto& [what, rq, framing, received, claimed, fault] : cases)
        EXPECT_EQ(!judgeReply(rq, framing, received, claimed).empty(), fault) << what;
}
