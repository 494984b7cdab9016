// The parameter file: what a save writes, what a load refuses, save-load-save through the fields;
// a backup's sidecar: SHA-256 against the standard's vectors, the sidecar read back as written
// and nothing else taken for one, and the verdicts before a restore or a load.

#include <gtest/gtest.h>

#include "editor/BackupSidecar.h"
#include "editor/ParameterFile.h"
#include "model/Sha256.h"

namespace velorin {
namespace {

using Values = std::array<std::int32_t, kRegisterCount>;
using Flags = std::array<std::int16_t, kPageCount + 1>;

Flags pages(std::initializer_list<int> present) {
    Flags flags{};
    for (int p : present) flags[p] = 1;
    return flags;
}

// The lines "P<reg> 0" for first..last.
std::string file(int first, int last) {
    std::string text;
    for (int reg = first; reg <= last; ++reg) text += "P" + std::to_string(reg) + " 0\r\n";
    return text;
}

TEST(ParameterFile, SaveWritesThePresentPagesOrEveryRegisterOffline) {
    Values value{};
    value[5] = -5;
    const std::pair<std::string, std::string> cases[] = {
        {parameterFileText(value, pages({0}), false),
         "P0 0\r\n" + file(1, 4) + "P5 -5\r\n" + file(6, 22)},
        // P15 keeps 496-502 and P17-1 538-548; page 29 (P17.24) is never saved.
        {parameterFileText(value, pages({28, 25, 29}), false), file(496, 502) + file(538, 548)},
        {parameterFileText(value, pages({}), false), ""},
        {parameterFileText(value, pages({}), true), file(0, 4) + "P5 -5\r\n" + file(6, 548)},
    };
    for (const auto& [saved, expected] : cases) EXPECT_EQ(saved, expected);  // CR LF after each
    EXPECT_EQ(parseParameterFile(cases[0].first).values[5], -5);
}

TEST(ParameterFile, SaveLoadSaveThroughTheFieldsGivesTheSameBytes) {
    Values factory{};
    valueConvert(factoryFields(), factory, 0);
    Values edited = factory;
    const std::pair<int, int> edits[] = {{96, 1},      {97, 5},  {229, 1}, {230, 150},
                                         {440, 12345}, {497, 4}, {0, -1},  {3, 60000}};
    for (auto [reg, raw] : edits) edited[reg] = raw;
    for (const auto& [value, flag471] : {std::pair{&factory, 0}, {&edited, 3}}) {
        for (const bool offline : {false, true}) {
            Flags all;
            all.fill(1);
            const std::string saved = parameterFileText(*value, all, offline);
            const ParameterFileLoad load = parseParameterFile(saved);
            ASSERT_TRUE(load.ok());
            // As the editor loads: each field of a held page shows its value, then converts.
            std::array<FieldContent, kRegisterCount> fields{};
            const DisplayContext context = loadDisplayContext(load, flag471);
            for (int reg = 0; reg < kFileRegisterCount; ++reg) {
                const ParameterInfo& p = Catalogue::instance().parameter(reg);
                if (!p.shown || !heldRange(p.page).contains(reg))
                    continue;
                const Display shown = loadedDisplay(reg, *load.values[reg], context);
                if (auto* select = std::get_if<SelectPosition>(&shown))
                    fields[reg].selected = select->position;
                else
                    fields[reg].text = std::get<ShowText>(shown).text;
            }
            // P13.04 converts at the P13.35 the file brings with page P13-2, as it is shown.
            Values back{};
            valueConvert(fields, back, context.pidDecimals);
            EXPECT_EQ(parameterFileText(back, all, offline), saved) << "offline " << offline;
        }
    }
}

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
