#include "texts/FileTexts.h"

#include "model/Catalogue.h"

namespace velorin {

namespace {

std::string pathText(const std::filesystem::path& path) {
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

std::string reason(const ParameterFileError& e) {
    using Kind = ParameterFileError::Kind;
    const std::string reg = "P" + std::to_string(e.reg);
    const auto badValue = [&](const char* why) {
        return reg + " 的數值「" + visible(e.quoted) + "」" + why;
    };
    switch (e.kind) {
        case Kind::Unreadable:
            return e.file ? describeReadFault(*e.file) : std::string("無法讀取檔案：");
        case Kind::EmptyLine:
            return "空白行。";
        case Kind::NoBlank:
            return "缺少參數編號與數值之間的空格。";
        case Kind::StartsWithBlank:
            return "行首是空格。";
        case Kind::NotARegister:
            return visible(e.quoted) + " 不是參數編號。";
        case Kind::CodeNotRegister:
            return visible(e.quoted) + " 是參數代碼，不是參數編號（例如 P31）。";
        case Kind::NotANumber:
            return badValue("不是數字。");
        case Kind::NotWhole:
            return badValue("不是整數。");
        case Kind::BeyondWord:
            return badValue("超出範圍（-32768 到 65535）。");
        case Kind::Repeated:
            return reg + " 重複（第 " + std::to_string(e.earlierLine) + " 行已有），以這一行為準。";
        case Kind::MissingValue:
            return "頁面 " + Catalogue::instance().page(e.page).caption + " 缺少 " + reg + " 的數值。";
    }
    return {};
}

}  // namespace

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

std::string describeReadFault(const FileReadFault& fault) {
    std::string why;
    switch (fault.kind) {
        case FileReadFault::Kind::NotRegular:
            why = notARegularFile(fault.type);
            break;
        case FileReadFault::Kind::System:
            why = fault.systemReason;
            break;
        case FileReadFault::Kind::TooLarge:
            why = "檔案過大，不是參數檔。";
            break;
    }
    return "無法讀取檔案：" + pathText(fault.path) + "\n" + why;
}

std::string describeWriteFault(const FileWriteFault& fault) {
    std::string why;
    switch (fault.kind) {
        case FileWriteFault::Kind::NotRendered:
            return "無法產生 PDF。";
        case FileWriteFault::Kind::NotRegular:
            why = notARegularFile(fault.type);
            break;
        case FileWriteFault::Kind::PlantedLink:
            why = "這是其他使用者可寫入之資料夾中的符號連結，可能由他人放置，因此不跟隨；"
                  "請另選檔名或資料夾。";
            break;
        case FileWriteFault::Kind::System:
            why = fault.systemReason;
            break;
    }
    if (!fault.keptAt.empty())
        why += "\n新內容完整保存在 " + pathText(fault.keptAt) + "。";
    return "無法寫入檔案：" + pathText(fault.path) + "\n" + why;
}

std::string describeFileError(const ParameterFileError& error) {
    if (error.line <= 0)
        return reason(error);
    return "第 " + std::to_string(error.line) + " 行：" + reason(error);
}

std::vector<std::string> describeFileFaults(const ParameterFileLoad& load) {
    std::vector<std::string> out;
    for (const ParameterFileError& fault : load.unreadLines) out.push_back(describeFileError(fault));
    if (load.error)
        out.push_back(describeFileError(*load.error));
    return out;
}

}  // namespace velorin
