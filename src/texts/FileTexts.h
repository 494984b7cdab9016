#pragma once
// The parameter file's faults in the technician's words, as the windows and velorin-cli both
// say them.

#include <filesystem>
#include <string>
#include <vector>

#include "editor/ParameterFile.h"

namespace velorin {

// Said of a file that holds no page: nothing in it can be loaded, written or compared.
inline constexpr const char* kNoPageText =
    "檔案中沒有任何參數頁（沒有任何一頁第一個參數的行，例如 P0 或 P25）。";

// Why a file of this type is neither read nor written as a parameter file ("這是具名管道
// （FIFO），不是一般檔案。"); every type but a regular file has a reason.
std::string notARegularFile(std::filesystem::file_type type);

// "無法讀取檔案：" + the path, a line end, the reason.
std::string describeReadFault(const FileReadFault& fault);

// "無法寫入檔案：" + the path, a line end, the reason (and where the new contents wait, when
// they do); "無法產生 PDF。" for a document that could not be laid out.
std::string describeWriteFault(const FileWriteFault& fault);

// "第 12 行：P600 不是參數編號。", or the reason alone for a fault on no line.
std::string describeFileError(const ParameterFileError& error);

// The faults one a line: the unread lines, then the error.
std::vector<std::string> describeFileFaults(const ParameterFileLoad& load);

}  // namespace velorin
