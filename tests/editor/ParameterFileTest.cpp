// The parameter file: which lines a save writes, how a load reads lines and refuses a file with
// any fault, how the loaded values show, a save-load-save round trip through the fields, and a
// save that cannot complete.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "editor/ParameterFile.h"

namespace velorin {
namespace {

using Values = std::array<std::int32_t, kRegisterCount>;
using Flags = std::array<std::int16_t, kPageCount + 1>;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (std::size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(text.substr(pos, end - pos));
    EXPECT_EQ(pos, text.size()) << "text after the last CR LF";
    return lines;
}

Flags pages(std::initializer_list<int> present) {
    Flags flags{};
    for (int p : present) flags[p] = 1;
    return flags;
}

// A file of the lines "P<reg> <value>" for regs first..last, joined by `end`.
std::string file(int first, int last, const std::string& end = "\r\n", int value = 0) {
    std::string text;
    for (int reg = first; reg <= last; ++reg)
        text += "P" + std::to_string(reg) + " " + std::to_string(value) + end;
    return text;
}

TEST(ParameterFileSave, LinesForThePresentPagesOrEveryRegisterOffline) {
    Values value{};
    value[5] = -5;
    value[14] = 0;
    struct Case {
        Flags flags;
        bool offline;
        std::vector<std::string> firstAndLast;
        std::size_t count;
    };
    const Case cases[] = {
        {pages({0}), false, {"P0 0", "P22 0"}, 23},
        // P15 keeps 496-502 and P17-1 538-548; page 29 (P17.24) is never saved.
        {pages({28, 25, 29}), false, {"P496 0", "P548 0"}, 7 + 11},
        {pages({}), false, {}, 0},
        {pages({}), true, {"P0 0", "P548 0"}, 549},
    };
    for (const Case& c : cases) {
        const auto lines = linesOf(parameterFileText(value, c.flags, c.offline));
        ASSERT_EQ(lines.size(), c.count);
        if (c.count == 0)
            continue;
        EXPECT_EQ((std::vector{lines.front(), lines.back()}), c.firstAndLast);
    }
    const auto online = linesOf(parameterFileText(value, pages({0}), false));
    EXPECT_EQ(online[5], "P5 -5");
    EXPECT_EQ((std::vector{online[14], online[15]}), (std::vector<std::string>{"P14 0", "P15 0"}));
    const auto p15 = linesOf(parameterFileText(value, pages({25, 28}), false));
    EXPECT_EQ((std::vector{p15[6], p15[7]}), (std::vector<std::string>{"P502 0", "P538 0"}));
}

TEST(ParameterFileLoad, RefusesTheWholeFileAtItsFirstFault) {
    const std::string page0 = file(0, 22);
    std::string line300 = file(0, 548);
    line300.replace(line300.find("P299 0"), 6, "P299 x1");
    const std::pair<std::string, std::string> cases[] = {
        {file(0, 10) + "P600 1\r\n", "第 12 行：P600 不是參數編號。"},
        {"P549 1", "第 1 行：P549 不是參數編號。"},
        {"P-1 1", "第 1 行：P-1 不是參數編號。"},
        {"PX 7", "第 1 行：PX 不是參數編號。"},
        {"P 7", "第 1 行：P 不是參數編號。"},
        {"P12abc 7", "第 1 行：P12abc 不是參數編號。"},
        {"P5\r\n", "第 1 行：缺少參數編號與數值之間的空格。"},
        {"P23 1\r\n P24 1", "第 2 行：行首是空格。"},
        {"P23 1\r\n\r\nP24 1", "第 2 行：空白行。"},
        {"P23 1\n\nP24 1", "第 2 行：空白行。"},
        {line300, "第 300 行：P299 的數值「x1」不是數字。"},
        {file(0, 4) + "P5 \r\n" + file(6, 22), "第 6 行：P5 的數值「」不是數字。"},
        {file(0, 4) + "P5 3000000000\r\n" + file(6, 22),
         "第 6 行：P5 的數值「3000000000」超出範圍。"},
        // A missing field of a page in the file is told at the page's first line.
        {file(0, 4) + file(6, 22), "第 1 行：頁面 P00 缺少 P5 的數值。"},
        // A register without a field may be missing, but a value in a present page is a number.
        {file(0, 13) + file(16, 22), ""},
        {file(0, 13) + "P14 -\r\n" + file(15, 22), "第 15 行：P14 的數值「-」不是數字。"},
        // Of several faults, the one nearest the top is told.
        {file(0, 21) + "P22 x\r\n" + "P0 y\r\n", "第 23 行：P22 的數值「x」不是數字。"},
    };
    for (const auto& [bytes, expected] : cases) {
        const ParameterFileLoad load = parseParameterFile(bytes);
        EXPECT_EQ(load.error ? load.error->message() : "", expected) << bytes.substr(0, 40);
        if (load.error) {
            EXPECT_EQ(load.pages, decltype(load.pages){}) << "nothing to apply";
        }
    }
    EXPECT_TRUE(parseParameterFile(page0).ok());
}

TEST(ParameterFileLoad, MarksThePagesWhoseStartIsInTheFile) {
    struct Case {
        std::string bytes;
        std::vector<int> pages;
    };
    const Case cases[] = {
        {file(25, 48), {1}},
        {file(0, 548), {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                        15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28}},
        {file(496, 502) + file(538, 548) + "P23 1\r\n", {25, 28}},
        {"", {}},
        {"P23 5", {}},
    };
    for (const Case& c : cases) {
        const ParameterFileLoad load = parseParameterFile(c.bytes);
        ASSERT_TRUE(load.ok()) << load.error->message();
        std::vector<int> marked;
        for (int p = 0; p < kFilePageCount; ++p)
            if (load.pages[p])
                marked.push_back(p);
        EXPECT_EQ(marked, c.pages) << c.bytes.substr(0, 20);
    }
}

TEST(ParameterFileLoad, LineEndsLaterLinesAndValues) {
    const std::string crlf = file(0, 22, "\r\n", 7) + "P3 60000\r\nP23 -4\r\nP24 x\r\nP2 2.5";
    ParameterFileLoad reference = parseParameterFile(crlf);
    ASSERT_TRUE(reference.ok());
    for (const std::string end : {"\n", "\r"}) {
        std::string other = crlf;
        for (std::size_t at; (at = other.find("\r\n")) != std::string::npos;)
            other.replace(at, 2, end);
        const ParameterFileLoad load = parseParameterFile(other);
        ASSERT_TRUE(load.ok()) << load.error->message();
        EXPECT_EQ(load.values, reference.values);
        EXPECT_EQ(load.pages, reference.pages);
    }
    // Later lines win; P23 is kept though no page shows it; halves round to the even neighbour;
    // a value outside every page need not be a number.
    EXPECT_EQ(reference.values[3], 60000);
    EXPECT_EQ(reference.values[23], -4);
    EXPECT_EQ(reference.values[2], 2);
    EXPECT_EQ(reference.values[24], std::nullopt);
    EXPECT_EQ(reference.values[5], 7);
    EXPECT_TRUE(parseParameterFile("\xEF\xBB\xBF" + crlf).ok()) << "byte-order mark";
}

TEST(ParameterFileLoad, ValuesShowAsAPageReadShowsThem) {
    using R = LeaveUnchanged::Reason;
    struct Case {
        int reg;
        std::int32_t raw;
        std::int32_t rampUnit, stepUnit;
        std::int16_t pidDecimals;
        Display shown;
    };
    const Case cases[] = {
        {3, 60000, 0, 0, 0, ShowText{"60000"}},
        {10, -5, 0, 0, 0, ShowText{"-0.05"}},
        {0, -1, 0, 0, 0, SelectPosition{-1}},
        {0, 99, 0, 0, 0, LeaveUnchanged{R::NotAPosition}},
        {230, 150, 0, 0, 0, ShowText{"15.0"}},
        {230, 150, 0, 1, 0, ShowText{"150"}},
        {97, 1000, 0, 0, 0, ShowText{"10.00"}},
        {97, 1000, 1, 0, 0, ShowText{"100.0"}},
        {440, 12345, 0, 0, 3, ShowText{"12.345"}},
        {440, 12345, 0, 0, 9, LeaveUnchanged{R::NoPidDecimals}},
        // The file holds the rate's position, not the drive's code.
        {497, 3, 0, 0, 0, SelectPosition{3}},
        {497, -1, 0, 0, 0, SelectPosition{-1}},
        {497, 192, 0, 0, 0, LeaveUnchanged{R::NotABaudRate}},
    };
    for (const Case& c : cases) {
        const DisplayContext context{c.rampUnit, c.stepUnit, c.pidDecimals};
        EXPECT_EQ(loadedDisplay(c.reg, c.raw, context), c.shown) << c.reg << " " << c.raw;
    }
    const ParameterFileLoad load =
        parseParameterFile(file(226, 228) + "P229 1\r\n" + file(230, 245, "\r\n", 150));
    const DisplayContext context = loadDisplayContext(load, 2);
    EXPECT_EQ(loadedDisplay(230, *load.values[230], context), Display{ShowText{"150"}});
}

// What the editor does on a load: every field of a present page shows the loaded value, and the
// next conversion takes the fields back to working values.
Values throughTheFields(const ParameterFileLoad& load, std::int16_t flag471) {
    std::array<FieldContent, kRegisterCount> fields{};
    const DisplayContext context = loadDisplayContext(load, flag471);
    for (int page = 0; page < kFilePageCount; ++page) {
        if (!load.pages[page])
            continue;
        for (int reg : Catalogue::instance().page(page).fields) {
            if (!heldRange(page).contains(reg))
                continue;
            const Display shown = loadedDisplay(reg, *load.values[reg], context);
            if (auto* select = std::get_if<SelectPosition>(&shown))
                fields[reg].selected = select->position;
            else if (auto* text = std::get_if<ShowText>(&shown))
                fields[reg].text = text->text;
            else
                ADD_FAILURE() << "P" << reg << " " << *load.values[reg] << " not shown";
        }
    }
    Values value{};
    valueConvert(fields, value, flag471);
    return value;
}

TEST(ParameterFileRoundTrip, SaveLoadSaveGivesTheSameBytes) {
    Values factory{};
    valueConvert(factoryFields(), factory, 0);
    Values edited = factory;
    edited[96] = 1;  // ramp times at one decimal
    edited[97] = -5;
    edited[229] = 1;  // step times as integers
    edited[230] = 150;
    edited[440] = 12345;  // P13.04 at three decimals
    edited[497] = 4;
    edited[0] = -1;  // a choice with nothing selected
    edited[3] = 60000;
    struct Case {
        const Values* value;
        std::int16_t flag471;
    };
    for (const Case& c : {Case{&factory, 0}, Case{&edited, 3}}) {
        for (const bool offline : {false, true}) {
            Flags all{};
            all.fill(1);
            const std::string saved = parameterFileText(*c.value, all, offline);
            const ParameterFileLoad load = parseParameterFile(saved);
            ASSERT_TRUE(load.ok()) << load.error->message();
            const Values back = throughTheFields(load, c.flag471);
            EXPECT_EQ(parameterFileText(back, all, offline), saved) << "offline " << offline;
        }
    }
}

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            std::filesystem::temp_directory_path() /
            ("velorin-save-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(std::rand()));
        std::filesystem::create_directories(folder);
        target = folder / kDefaultFileName;
        std::ofstream(target, std::ios::binary) << "P0 1\r\n";
    }
    void TearDown() override {
        std::system(("chattr -i '" + folder.string() + "' 2>/dev/null").c_str());
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        std::filesystem::remove_all(folder);
    }
    std::string contents(const std::filesystem::path& p) const {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::size_t filesInFolder() const {
        return std::distance(std::filesystem::directory_iterator(folder), {});
    }
    // Makes the folder refuse new files, as a read-only folder does even for an administrator.
    bool makeFolderReadOnly() {
        std::filesystem::permissions(
            folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        if (!std::ofstream(folder / "probe"))
            return true;
        std::filesystem::remove(folder / "probe");
        return std::system(("chattr +i '" + folder.string() + "' 2>/dev/null").c_str()) == 0 &&
               !std::ofstream(folder / "probe");
    }
    std::filesystem::path folder, target;
};

TEST_F(SafeSave, ReplacesTheFileWhole) {
    EXPECT_EQ(writeFileSafely(target, "P0 2\r\nP1 3\r\n"), std::nullopt);
    EXPECT_EQ(contents(target), "P0 2\r\nP1 3\r\n");
    EXPECT_EQ(filesInFolder(), 1u) << "no temporary file left behind";
}

TEST_F(SafeSave, AFailureIsToldAndLeavesTheOldFile) {
    const std::string prefix = "無法寫入檔案：";
    // The target is a folder.
    const auto folderTarget = folder / "Sub.txt";
    std::filesystem::create_directory(folderTarget);
    auto failure = writeFileSafely(folderTarget, "P0 2\r\n");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->rfind(prefix + folderTarget.string() + "\n", 0), 0u) << *failure;
    EXPECT_EQ(filesInFolder(), 2u);

    failure = writeFileSafely(folder / "missing" / "Data.txt", "P0 2\r\n");
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("missing"), std::string::npos);

    // A read-only file in a folder that would take a new one.
    std::filesystem::permissions(target, std::filesystem::perms::owner_read);
    if (!std::ofstream(target, std::ios::app)) {
        EXPECT_TRUE(writeFileSafely(target, "P0 2\r\n"));
        EXPECT_EQ(contents(target), "P0 1\r\n");
    }
    std::filesystem::permissions(target, std::filesystem::perms::owner_all);

    if (!makeFolderReadOnly())
        GTEST_SKIP() << "this file system cannot make a folder read-only";
    failure = writeFileSafely(target, "P0 2\r\n");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->rfind(prefix + target.string() + "\n", 0), 0u) << *failure;
    EXPECT_GT(failure->size(), prefix.size() + target.string().size() + 1) << "with a reason";
    EXPECT_EQ(contents(target), "P0 1\r\n");
}

TEST_F(SafeSave, LoadsWhatItSavedAndTellsAFileItCannotRead) {
    ASSERT_EQ(writeFileSafely(target, file(0, 22)), std::nullopt);
    EXPECT_TRUE(loadParameterFile(target).pages[0]);
    const ParameterFileLoad missing = loadParameterFile(folder / "none.txt");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->line, 0);
    EXPECT_EQ(missing.error->message().rfind("無法讀取檔案：" + (folder / "none.txt").string(), 0),
              0u);
}

}  // namespace
}  // namespace velorin
