// The parameter file: the lines a save writes, a load that refuses a file with any fault, the
// loaded values as the fields show them, save-load-save through the fields, and a failed save.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "editor/ParameterFile.h"
#include "support/Files.h"

namespace velorin {
namespace {

using Values = std::array<std::int32_t, kRegisterCount>;
using Flags = std::array<std::int16_t, kPageCount + 1>;

Flags pages(std::initializer_list<int> present) {
    Flags flags{};
    for (int p : present) flags[p] = 1;
    return flags;
}

// The lines "P<reg> <value>" for first..last, each followed by `end`.
std::string file(int first, int last, const std::string& end = "\r\n", int value = 0) {
    std::string text;
    for (int reg = first; reg <= last; ++reg)
        text += "P" + std::to_string(reg) + " " + std::to_string(value) + end;
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
    for (const auto& [saved, expected] : cases) EXPECT_EQ(saved, expected);
    EXPECT_EQ(parseParameterFile(cases[0].first).values[5], -5);
}

TEST(ParameterFile, LoadRefusesTheWholeFileAtItsFirstFault) {
    std::string line300 = file(0, 548);
    line300.replace(line300.find("P299 0"), 6, "P299 x1");
    const std::pair<std::string, std::string> cases[] = {
        {"P549 1", "第 1 行：P549 不是參數編號。"},
        {"PX 7", "第 1 行：PX 不是參數編號。"},
        {"P5\r\n", "第 1 行：缺少參數編號與數值之間的空格。"},
        {"P23 1\r\n P24 1", "第 2 行：行首是空格。"},
        {"P23 1\n\nP24 1", "第 2 行：空白行。"},
        {line300, "第 300 行：P299 的數值「x1」不是數字。"},
        {file(0, 4) + "P5 3000000000\r\n" + file(6, 22),
         "第 6 行：P5 的數值「3000000000」超出範圍。"},
        {file(0, 4) + file(6, 22), "第 1 行：頁面 P00 缺少 P5 的數值。"},
        {file(0, 13) + "P14 -\r\n" + file(15, 22), "第 15 行：P14 的數值「-」不是數字。"},
        // Of several faults the one nearest the top is told, though P0 comes first by number.
        {file(0, 21) + "P22 x\r\n" + "P0 y\r\n", "第 23 行：P22 的數值「x」不是數字。"},
    };
    for (const auto& [bytes, expected] : cases) {
        const ParameterFileLoad load = parseParameterFile(bytes);
        EXPECT_EQ(load.error ? load.error->message() : "(loaded)", expected);
    }
}

TEST(ParameterFile, LoadMarksThePagesWhoseStartIsInTheFileWhateverTheLineEnds) {
    for (const std::string end : {"\r\n", "\n", "\r"}) {
        // Later lines win; P23 is kept though no page shows it; halves round to the even
        // neighbour; a value outside every page need not be a number; registers without a field
        // may be absent; Notepad's byte-order mark is passed over.
        const std::string page0 = "\xEF\xBB\xBF" + file(0, 13, end) + file(16, 22, end, 7) +
                                  "P23 -4" + end + "P24 x" + end + "P2 2.5";
        const std::pair<std::string, std::vector<int>> cases[] = {
            {file(25, 48, end), {1}},
            {file(496, 502, end) + file(538, 548, end), {25, 28}},
            {"", {}},
            {page0, {0}},
        };
        for (const auto& [bytes, expected] : cases) {
            const ParameterFileLoad load = parseParameterFile(bytes);
            ASSERT_TRUE(load.ok()) << load.error->message();
            std::vector<int> marked;
            for (int p = 0; p < kFilePageCount; ++p)
                if (load.pages[p])
                    marked.push_back(p);
            EXPECT_EQ(marked, expected);
        }
        const ParameterFileLoad load = parseParameterFile(page0);
        EXPECT_EQ((std::vector{load.values[23], load.values[2], load.values[24], load.values[20]}),
                  (std::vector<std::optional<std::int32_t>>{-4, 2, std::nullopt, 7}));
    }
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
            ASSERT_TRUE(load.ok()) << load.error->message();
            // What the editor does with a load: every field of a held page shows its value, and
            // the next conversion takes the fields back.
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

TEST(ParameterFile, SaveReplacesTheFileWholeOrTellsWhyNotAndLeavesIt) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("velorin-save-" + std::to_string(std::rand()));
    fs::create_directories(folder);
    const fs::path target = folder / kDefaultFileName;
    std::ofstream(target, std::ios::binary) << "P0 1\r\n";
    const auto contents = [&target] {
        return test::fileBytes(QString::fromStdString(target.string()));
    };
    auto failure = [](const fs::path& path) -> std::string {
        const auto told = writeFileSafely(path, "P0 2\r\n");
        if (!told)
            return "(written)";
        EXPECT_EQ(told->rfind("無法寫入檔案：" + path.string() + "\n", 0), 0u) << *told;
        return "(failed)";
    };
    fs::create_directory(folder / "Sub.txt");
    EXPECT_EQ(failure(folder / "Sub.txt"), "(failed)");
    // A read-only folder, made so with the immutable flag where permissions do not bind.
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const bool canLock =
        !std::ofstream(folder / "probe") ||
        (fs::remove(folder / "probe") &&
         std::system(("chattr +i '" + folder.string() + "' 2>/dev/null").c_str()) == 0);
    if (canLock) {
        EXPECT_EQ(failure(target), "(failed)");
        EXPECT_EQ(contents(), "P0 1\r\n");
    }
    std::system(("chattr -i '" + folder.string() + "' 2>/dev/null").c_str());
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(failure(target), "(written)");
    EXPECT_EQ(contents(), "P0 2\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "no temporary file left";
    EXPECT_EQ(loadParameterFile(folder / "Sub.txt").error->message().rfind("無法讀取檔案：", 0),
              0u);
    fs::remove_all(folder);
    if (!canLock)
        GTEST_SKIP() << "no way to make a folder read-only here";
}

}  // namespace
}  // namespace velorin
