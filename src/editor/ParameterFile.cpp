#include "editor/ParameterFile.h"

#include "model/DriveFacts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "editor/EditorSteps.h"
#include "link/NumberText.h"

namespace velorin {

using pages::kPid;

namespace {

constexpr std::uintmax_t kLargestTextFile = 16u << 20;

std::string pathText(const std::filesystem::path& path) {
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// The length of the well-formed UTF-8 character at the start of `text` (2-4), 0 for none.
std::size_t utf8Length(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's bounds: no overlong form, no surrogate
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

// Everything a load or a save tells the technician, in one place.
namespace text {
const std::string CannotRead = "無法讀取檔案：";
const char* const EmptyLine = "空白行。";
const char* const NoBlank = "缺少參數編號與數值之間的空格。";
const char* const StartsWithBlank = "行首是空格。";
const char* const TooLarge = "檔案過大，不是參數檔。";
std::string notARegister(std::string_view label) {
    return visible(label) + " 不是參數編號。";
}
std::string missingValue(const std::string& page, int reg) {
    return "頁面 " + page + " 缺少 P" + std::to_string(reg) + " 的數值。";
}
std::string codeNotRegister(std::string_view label) {
    return visible(label) + " 是參數代碼，不是參數編號（例如 P31）。";
}
std::string repeated(int reg, int earlierLine) {
    return "P" + std::to_string(reg) + " 重複（第 " + std::to_string(earlierLine) +
           " 行已有），以這一行為準。";
}
enum class ValueIs { NotNumber, NotWhole, BeyondWord };
std::string badValue(int reg, std::string_view value, ValueIs fault) {
    const char* why = fault == ValueIs::NotNumber  ? "不是數字。"
                      : fault == ValueIs::NotWhole ? "不是整數。"
                                                   : "超出範圍（-32768 到 65535）。";
    return "P" + std::to_string(reg) + " 的數值「" + visible(value) + "」" + why;
}
std::string onLine(int line, const std::string& reason) {
    return "第 " + std::to_string(line) + " 行：" + reason;
}
}  // namespace text

std::string readFailure(const std::filesystem::path& path, const std::string& reason) {
    return text::CannotRead + pathText(path) + "\n" + reason;
}

void appendLine(std::string& out, int reg, std::int32_t value) {
    out += 'P';
    out += std::to_string(reg);
    out += ' ';
    out += std::to_string(value);
    out += "\r\n";
}

// The page that starts at `reg`, or -1.
int pageStartingAt(int reg) {
    for (int page = 0; page < kFilePageCount; ++page)
        if (heldRange(page).first == reg)
            return page;
    return -1;
}

ParameterFileLoad failed(int line, std::string reason) {
    ParameterFileLoad load;
    load.error = ParameterFileError{line, std::move(reason)};
    return load;
}

}  // namespace

std::string visible(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += bytes[i++];
            continue;
        }
        if (const std::size_t length = c >= 0x80 ? utf8Length(bytes.substr(i)) : 0) {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        static const char digits[] = "0123456789ABCDEF";
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 15];
        ++i;
    }
    return out;
}

RegisterRange heldRange(int page) {
    const auto& range = Catalogue::instance().page(page).onlineSave;
    return range ? *range : RegisterRange{};
}

std::string parameterFileText(std::span<const std::int32_t, kRegisterCount> value,
                              std::span<const std::int16_t> pageFlags, bool offline) {
    std::string out;
    if (offline) {
        for (int reg = 0; reg < kFileRegisterCount; ++reg) appendLine(out, reg, value[reg]);
        return out;
    }
    for (int page = 0; page < kFilePageCount && page < static_cast<int>(pageFlags.size()); ++page) {
        if (pageFlags[page] != 1)
            continue;
        const RegisterRange range = heldRange(page);
        for (int reg = range.first; reg <= range.last; ++reg) appendLine(out, reg, value[reg]);
    }
    return out;
}

std::string notARegularFile(std::filesystem::file_type type) {
    using Type = std::filesystem::file_type;
    switch (type) {
        case Type::directory:
            return "這是資料夾，不是一般檔案。";
        case Type::character:
        case Type::block:
            return "這是裝置，不是一般檔案。";
        case Type::fifo:
            return "這是具名管道（FIFO），不是一般檔案。";
        case Type::socket:
            return "這是通訊端（socket），不是一般檔案。";
        default:
            return "這不是一般檔案。";
    }
}

std::string ParameterFileError::message() const {
    if (line <= 0)
        return reason;
    return text::onLine(line, reason);
}

bool ParameterFileLoad::holdsAnyPage() const {
    return std::find(pages.begin(), pages.end(), true) != pages.end();
}

std::vector<std::string> ParameterFileLoad::messages() const {
    std::vector<std::string> out;
    for (const ParameterFileError& fault : unreadLines) out.push_back(fault.message());
    if (error)
        out.push_back(error->message());
    return out;
}

namespace {

// What one line says, or why it cannot be read.
struct LineRead {
    int reg = -1;
    std::int32_t value = 0;
    std::string fault;  // empty when the line was read
};

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

LineRead readLine(std::string_view line, char decimalSeparator) {
    if (line.empty())
        return {.fault = text::EmptyLine};
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return {.fault = text::NoBlank};
    if (blank == 0)
        return {.fault = text::StartsWithBlank};
    const std::string_view label = line.substr(0, blank);
    const std::string_view number = label.substr(1);
    if (label[0] != 'P' || !allDigits(number) || number.size() > 3) {
        // "P01.24": the code the drive's panel shows, where the file wants the register.
        const std::size_t dot = number.find('.');
        const bool code = label[0] == 'P' && dot != std::string_view::npos &&
                          allDigits(number.substr(0, dot)) && allDigits(number.substr(dot + 1));
        return {.fault = code ? text::codeNotRegister(label) : text::notARegister(label)};
    }
    LineRead read;
    read.reg = std::stoi(std::string(number));
    if (read.reg >= kFileRegisterCount)
        return {.fault = text::notARegister(label)};
    const std::string_view valueText = line.substr(blank + 1);
    const auto value = strictNumber(valueText, decimalSeparator);
    const auto whole = value ? roundTo<std::int32_t>(*value) : std::nullopt;
    if (!value)
        return {.fault = text::badValue(read.reg, valueText, text::ValueIs::NotNumber)};
    if (whole && *whole != *value)
        return {.fault = text::badValue(read.reg, valueText, text::ValueIs::NotWhole)};
    if (!whole || *whole < drive::kLowestWord || *whole > drive::kHighestWord)
        return {.fault = text::badValue(read.reg, valueText, text::ValueIs::BeyondWord)};
    read.value = *whole;
    return read;
}

}  // namespace

ParameterFileLoad parseParameterFile(std::string_view bytes, char decimalSeparator) {
    // Notepad may put a byte-order mark in front of a file it saved.
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);

    std::array<int, kFileRegisterCount> lineOf{};
    std::array<int, kFilePageCount> pageLine{};
    ParameterFileLoad load;

    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", pos);
        const std::string_view line =
            bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end != std::string_view::npos && bytes[end] == '\r' && pos < bytes.size() &&
            bytes[pos] == '\n')
            ++pos;
        ++lineNumber;

        const LineRead read = readLine(line, decimalSeparator);
        if (!read.fault.empty()) {
            load.unreadLines.push_back({lineNumber, read.fault});
            continue;
        }
        if (lineOf[read.reg] != 0)
            load.unreadLines.push_back({lineNumber, text::repeated(read.reg, lineOf[read.reg])});
        load.values[read.reg] = read.value;
        lineOf[read.reg] = lineNumber;
        if (const int page = pageStartingAt(read.reg); page >= 0) {
            load.pages[page] = true;
            if (pageLine[page] == 0)
                pageLine[page] = lineNumber;
        }
    }

    // Every field of a held page needs its value; of several pages lacking one, the page that
    // starts nearest the top of the file is told.
    for (int page = 0; page < kFilePageCount; ++page) {
        if (!load.pages[page])
            continue;
        const RegisterRange range = heldRange(page);
        for (int reg = range.first; reg <= range.last; ++reg) {
            if (load.values[reg] || !Catalogue::instance().parameter(reg).shown)
                continue;
            if (!load.error || pageLine[page] < load.error->line)
                load.error = ParameterFileError{
                    pageLine[page],
                    text::missingValue(Catalogue::instance().page(page).caption, reg)};
            break;
        }
    }
    return load;
}

TextFileRead readTextFile(const std::filesystem::path& path) {
    TextFileRead result;
    std::error_code ec;
    // Asked before the open: opening a FIFO waits for a writer, a device may never end.
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        result.error = readFailure(path, notARegularFile(status.type()));
        return result;
    }
    errno = 0;
    std::FILE* file = openFile(path, "rb");
    if (!file) {
        result.error = readFailure(path, systemReason(errno ? errno : ENOENT));
        return result;
    }
    std::string bytes;
    char buffer[65536];
    bool tooLarge = false;
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes.size() + got > kLargestTextFile) {
            tooLarge = true;
            break;
        }
        bytes.append(buffer, got);
    }
    const bool failedRead = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (tooLarge)
        result.error = readFailure(path, text::TooLarge);
    else if (failedRead)
        result.error = readFailure(path, systemReason(readError ? readError : EIO));
    else
        result.bytes = std::move(bytes);
    return result;
}

ParameterFileLoad loadParameterFile(const std::filesystem::path& path, char decimalSeparator) {
    TextFileRead read = readTextFile(path);
    if (!read.bytes)
        return failed(0, read.error);
    return parseParameterFile(*read.bytes, decimalSeparator);
}

DisplayContext loadDisplayContext(const ParameterFileLoad& load,
                                  std::optional<std::int16_t> pidDecimals) {
    DisplayContext context;
    context.rampUnit = load.values[drive::kRampUnitParameter].value_or(0);
    context.stepUnit = load.values[drive::kStepUnitParameter].value_or(0);
    // A file holding page P13-2 brings its own P13.35, which the write then leaves on the drive.
    context.pidDecimals = pidDecimals;
    if (load.pages[pages::kPid] && load.values[drive::kPidDecimalsParameter])
        context.pidDecimals = static_cast<std::int16_t>(*load.values[drive::kPidDecimalsParameter]);
    return context;
}

Display loadedDisplay(int reg, std::int32_t raw, const DisplayContext& context) {
    // The file keeps the rate's list position, not the drive's code.
    if (reg == drive::kRateParameter) {
        if (raw == -1 || rateCodeAt(raw))
            return SelectPosition{raw};
        return LeaveUnchanged{LeaveUnchanged::Reason::NotABaudRate};
    }
    return displayValue(reg, raw, context);
}

}  // namespace velorin
