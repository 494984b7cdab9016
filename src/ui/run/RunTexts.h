#pragma once
// Every text the technician sees in the run panel, in one place.

#include <QString>

namespace velorin::runtext {

inline const QString Caption = QStringLiteral("VELORIN － 運轉試車");
inline const QString WindowsMenu = QStringLiteral("視窗(&W)");
inline const QString ReturnItem = QStringLiteral("返回上一頁(&R)");
inline const QString QuitItem = QStringLiteral("離開程式(&Q)");
inline const QString MonitorItem = QStringLiteral("通訊監視(&L)");
inline const QString ReturnButton = QStringLiteral("返回上一頁");
inline const QString QuitButton = QStringLiteral("離開程式");
inline const QString RampUnit = QStringLiteral("加減速時間單位");
inline const QString UnitHundredths = QStringLiteral("0：0.01 sec");
inline const QString UnitTenths = QStringLiteral("1：0.1 sec");
inline const QString AccelTime = QStringLiteral("加速時間");
inline const QString DecelTime = QStringLiteral("減速時間");
inline const QString RampInitial = QStringLiteral("10.00");
inline const QString RunFrequency = QStringLiteral("運轉頻率");
inline const QString FrequencyInitial = QStringLiteral("60.00");
inline const QString Hz = QStringLiteral("Hz");
inline const QString RunForward = QStringLiteral("連續正轉");
inline const QString RunReverse = QStringLiteral("連續反轉");
inline const QString Stop = QStringLiteral("停止");
inline const QString JogFrequency = QStringLiteral("寸動頻率");
inline const QString JogForward = QStringLiteral("寸動正轉");
inline const QString JogReverse = QStringLiteral("寸動反轉");

inline const QString FrequencyRange = QStringLiteral("頻率範圍超出1.50~400.00Hz，請重新輸入。");
inline const QString FrequencyRangeTitle = QStringLiteral("範圍錯誤");
inline const QString AccelRange = QStringLiteral("加速度範圍錯誤!。");
inline const QString DecelRange = QStringLiteral("減速度範圍錯誤!。");
inline const QString RampRangeTitle = QStringLiteral("ERROR");
inline const QString NoAnswer = QStringLiteral("變頻機未回應，指令可能未送達。");
inline const QString PortFailed = QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。");
inline const QString PortLost = QStringLiteral("通訊埠已中斷，請檢查連接線。");
// How the technician gets the port back: the entry opens it again.
inline const QString ReconnectByReturn = QStringLiteral("接好後再進入運轉試車即重新連線。");
inline const QString CommErrorTitle = QStringLiteral("通訊錯誤");
inline const QString StateUnconfirmed = QStringLiteral("狀態未確認");
// While the panel is open it holds some drive settings changed (the maximum output frequency and
// the frequency command raised to the slider's top, the jog frequency, the command sources):
// "暫時變更：P09.02 最高輸出頻率 400.00 Hz、P01.07 頻率指令0 400.00 Hz（離開時還原）".
inline const QString HeldSettings = QStringLiteral("暫時變更：%1（離開時還原）");
inline const QString HeldSettingsRestoring = QStringLiteral("還原中：%1");

// Entry refused, and settings the drive did not take. %1 names the setting ("P09.02 最高輸出頻率"),
// %2 is the value as the technician would set it on the drive.
inline const QString MotorRunning = QStringLiteral("變頻機運轉中，請先停止變頻機再進入運轉試車。");
inline const QString MotorRunningTitle = QStringLiteral("變頻機運轉中");
inline const QString NoEntry = QStringLiteral("，無法進入運轉試車。");  // after the link's outcome
inline const QString RaiseFailed = QStringLiteral("%1 未能設定為 %2，無法進入運轉試車。");
inline const QString NotSet = QStringLiteral("%1 未能設定為 %2，請重新設定。");
inline const QString NotRestored = QStringLiteral("%1 未能還原為 %2，請手動設定。");

inline const QString RunSourceName = QStringLiteral("P00.05 運轉指令選擇1");
inline const QString FrequencySourceName = QStringLiteral("P01.00 頻率指令選擇1");
inline const QString DirectionLimitName = QStringLiteral("P01.03 運轉方向限制");
inline const QString FrequencyCommandName = QStringLiteral("P01.07 頻率指令0");
inline const QString RampUnitName = QStringLiteral("P03.00 加減速時間單位");
inline const QString AccelTimeName = QStringLiteral("P03.01 加速時間1");
inline const QString DecelTimeName = QStringLiteral("P03.02 減速時間1");
inline const QString MaxFrequencyName = QStringLiteral("P09.02 最高輸出頻率");
inline const QString JogFrequencyName = QStringLiteral("P01.23 寸動頻率");

inline const QString AskFrequencySource = QStringLiteral("是否自動將主頻率來源設定為通信輸入?");
inline const QString AskRunSource = QStringLiteral("是否自動將運轉訊號設定為通信輸入?");
inline const QString AskReverse = QStringLiteral("是否解除禁止反轉?");
inline const QString AskFrequencySourceBack =
    QStringLiteral("是否自動將主頻率來源設定改回原始設定?");
inline const QString AskRunSourceBack = QStringLiteral("是否自動將運轉訊號來源設定改回原始設定?");
inline const QString AskReverseBack = QStringLiteral("是否自動將禁止反轉改回原始設定?");
inline const QString FrequencySourceTitle = QStringLiteral("主頻率設定");
inline const QString RunSourceTitle = QStringLiteral("運轉訊號設定");
inline const QString ReverseTitle = QStringLiteral("反轉設定");
inline const QString ReverseBackTitle = QStringLiteral("禁止反轉設定");

}  // namespace velorin::runtext
