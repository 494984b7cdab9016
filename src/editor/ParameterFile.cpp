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

FileReadFault readFault(FileReadFault::Kind kind, const std::filesystem::path& path,
                        std::filesystem::file_type type = std::filesystem::file_type::none,
                        std::string reason = {}) {
    FileReadFault fault;
    fault.kind = kind;
    fault.path = path;
    fault.type = type;
    fault.systemReason = std::move(reason);
    return fault;
}

FileReadFault systemFault(const std::filesystem::path& path, int error) {
    return readFault(FileReadFault::Kind::System, path, {}, systemReason(error));
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

using Kind = ParameterFileError::Kind;

ParameterFileError fileError(Kind kind, int line, int reg = -1, std::string_view quoted = {}) {
    ParameterFileError error;
    error.kind = kind;
    error.line = line;
    error.reg = reg;
    error.quoted = std::string(quoted);
    return error;
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

bool ParameterFileLoad::holdsAnyPage() const {
    return std::find(pages.begin(), pages.end(), true) != pages.end();
}

namespace {

// What one line says, or why it cannot be read.
struct LineRead {
    int reg = -1;
    std::int32_t value = 0;
    std::optional<ParameterFileError> fault;  // without its line number
};

LineRead fault(Kind kind, int reg = -1, std::string_view quoted = {}) {
    LineRead read;
    read.fault = fileError(kind, 0, reg, quoted);
    return read;
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

LineRead readLine(std::string_view line, char decimalSeparator) {
    if (line.empty())
        return fault(Kind::EmptyLine);
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return fault(Kind::NoBlank);
    if (blank == 0)
        return fault(Kind::StartsWithBlank);
    const std::string_view label = line.substr(0, blank);
    const std::string_view number = label.substr(1);
    if (label[0] != 'P' || !allDigits(number) || number.size() > 3) {
        // "P01.24": the code the drive's panel shows, where the file wants the register.
        const std::size_t dot = number.find('.');
        const bool code = label[0] == 'P' && dot != std::string_view::npos &&
                          allDigits(number.substr(0, dot)) && allDigits(number.substr(dot + 1));
        return fault(code ? Kind::CodeNotRegister : Kind::NotARegister, -1, label);
    }
    LineRead read;
    read.reg = std::stoi(std::string(number));
    if (read.reg >= kFileRegisterCount)
        return fault(Kind::NotARegister, -1, label);
    const std::string_view valueText = line.substr(blank + 1);
    const auto value = strictNumber(valueText, decimalSeparator);
    const auto whole = value ? roundTo<std::int32_t>(*value) : std::nullopt;
    if (!value)
        return fault(Kind::NotANumber, read.reg, valueText);
    if (whole && *whole != *value)
        return fault(Kind::NotWhole, read.reg, valueText);
    if (!whole || *whole < drive::kLowestWord || *whole > drive::kHighestWord)
        return fault(Kind::BeyondWord, read.reg, valueText);
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

        LineRead read = readLine(line, decimalSeparator);
        if (read.fault) {
            read.fault->line = lineNumber;
            load.unreadLines.push_back(std::move(*read.fault));
            continue;
        }
        if (lineOf[read.reg] != 0) {
            load.unreadLines.push_back(fileError(Kind::Repeated, lineNumber, read.reg));
            load.unreadLines.back().earlierLine = lineOf[read.reg];
        }
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
            if (!load.error || pageLine[page] < load.error->line) {
                load.error = fileError(Kind::MissingValue, pageLine[page], reg);
                load.error->page = page;
            }
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
        result.fault = readFault(FileReadFault::Kind::NotRegular, path, status.type());
        return result;
    }
    errno = 0;
    std::FILE* file = openFile(path, "rb");
    if (!file) {
        result.fault = systemFault(path, errno ? errno : ENOENT);
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
        result.fault = readFault(FileReadFault::Kind::TooLarge, path);
    else if (failedRead)
        result.fault = systemFault(path, readError ? readError : EIO);
    else
        result.bytes = std::move(bytes);
    return result;
}

ParameterFileLoad loadParameterFile(const std::filesystem::path& path, char decimalSeparator) {
    TextFileRead read = readTextFile(path);
    if (!read.bytes) {
        ParameterFileLoad load;
        load.error = fileError(Kind::Unreadable, 0);
        load.error->file = std::move(read.fault);
        return load;
    }
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
