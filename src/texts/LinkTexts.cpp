#include "texts/LinkTexts.h"

#include "link/NumberText.h"

namespace velorin {

std::string describeOutcome(const ReplyCheck& check, bool write) {
    switch (check.outcome) {
        case LinkOutcome::Ok:
            return "正常";
        case LinkOutcome::NoReply:
            return "變頻機未回應";
        case LinkOutcome::NotAReply:
            return "線路上有資料，但不是變頻機的回應";
        case LinkOutcome::BadChecksum:
            return "回應檢查碼錯誤";
        case LinkOutcome::WrongStation:
            return "回應來自其他站號";
        case LinkOutcome::WrongFunction:
            return "回應功能碼不符";
        case LinkOutcome::Malformed:
            return "回應格式錯誤";
        case LinkOutcome::Exception:
            return std::string(write ? "變頻機拒絕寫入" : "變頻機拒絕讀取") + " (例外碼 " +
                   formatNumber(wireByte(check.exceptionCode), "00") + ")";
        case LinkOutcome::PortError:
            return "通訊埠已中斷";
        case LinkOutcome::Stopped:
            return "已停止";
        case LinkOutcome::Unsettled:
            return "通訊線路不穩，回應無法確認";
    }
    return "通訊錯誤";
}

}  // namespace velorin
