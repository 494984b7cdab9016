// A backup's sidecar: SHA-256 against the standard's vectors, the sidecar read back as written
// and nothing else taken for one, and the verdicts before a restore or a load.

#include <gtest/gtest.h>

#include "editor/BackupSidecar.h"
#include "model/Sha256.h"

namespace velorin {
namespace {

TEST(Sha256, StandardVectors) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the last block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [bytes, hex] : cases) EXPECT_EQ(sha256Hex(bytes), hex) << bytes.size();
}

const std::string kFile = "P0 1\r\nP1 2\r\n";

BackupSidecar sidecarOf(const std::string& file, std::optional<std::int32_t> model = 101) {
    return {model,          3, "19200,E,8,1", "2026-12-08T09:30:00+08:00", 1210, "velorin-cli 1.0",
            sha256Hex(file)};
}

TEST(BackupSidecar, ReadBackAsWrittenAndNothingElse) {
    for (const BackupSidecar& s : {sidecarOf(kFile), sidecarOf("", std::nullopt)})
        EXPECT_EQ(parseSidecar(sidecarText(s)), s);
    const std::string hash = "\"sha256\":\"" + sha256Hex(kFile) + "\"";
    const std::pair<std::string, bool> cases[] = {
        {"{" + hash + ",\"station\":1,\"link\":\"x\"}", true},
        {"{" + hash + ",\"added\":\"later\"}", true},  // members of a later program
        {"{" + hash + ",\"model\":\"101\"}", false},   // a number as text
        {"{" + hash + ",\"model\":{\"a\":1}}", false},
        {"{" + hash + ",\"model\":1,\"model\":2}", false},
        {"{\"sha256\":\"" + sha256Hex(kFile).substr(1) + "\"}", false},
        {"{\"sha256\":\"" + std::string(64, 'A') + "\"}", false},
        {"{" + hash + "} trailing", false},
        {"", false},
        {"[]", false},
    };
    for (const auto& [text, read] : cases) EXPECT_EQ(parseSidecar(text).has_value(), read) << text;
}

TEST(BackupSidecar, VerdictsBeforeARestore) {
    using V = SidecarVerdict;
    const std::string side = sidecarText(sidecarOf(kFile));
    const struct {
        const char* what;
        std::string file;
        std::optional<std::string> sidecar;
        std::optional<std::int32_t> driveModel;
        V verdict;
    } cases[] = {
        {"no sidecar", kFile, std::nullopt, 101, V::None},
        {"as written, same model", kFile, side, 101, V::Matches},
        {"offline: the model is not known", kFile, side, std::nullopt, V::Matches},
        {"another model", kFile, side, 102, V::OtherModel},
        {"a line edited", "P0 1\r\nP1 3\r\n", side, 101, V::Altered},
        {"edited and another model: the file is judged first", "P0 9\r\n", side, 102, V::Altered},
        {"a sidecar that is not ours", kFile, std::string("{\"sha256\": 5}"), 101, V::Unreadable},
    };
    for (const auto& c : cases) {
        const SidecarCheck check = checkSidecar(c.file, c.sidecar, c.driveModel);
        EXPECT_EQ(check.verdict, c.verdict) << c.what;
        EXPECT_EQ(check.sidecar.has_value(), c.sidecar && c.verdict != V::Unreadable) << c.what;
    }
}

}  // namespace
}  // namespace velorin
