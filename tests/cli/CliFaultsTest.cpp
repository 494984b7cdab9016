// velorin-cli faults: the drive's history in the three formats and a backup's history without a
// drive (what the command refuses is in the command line and exit status tables).

#include <QTemporaryDir>

#include "CliSim.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

TEST(CliFaults, TheDrivesHistoryAndABackupsAlike) {
    SimEnvironment env;
    const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
    env.drive.setFaultHistory(faults);
    env.drive.setReg(543, 1210);
    env.drive.setReg(421, 0b101);
    const std::string csv =
        "slot,number,code,text,hours,seconds_ago\n"
        "0,20,ErP1,20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定),1200,36000\n"
        "1,6,oL,6：過負載(oL),1190,72000\n";
    auto r = cli(env, "-p COM3 faults --format csv");
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, csv)) << r.err;
    r = cli(env, "-p COM3 faults");
    EXPECT_THAT(r.out,
                StartsWith("最新\t20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定)\t1200 "
                           "小時\t10.0 小時前\n前1次\t6：過負載(oL)\t1190 小時\t20.0 小時前\n"
                           "累計運轉時間\t1210 小時 0 分\n"));
    EXPECT_THAT(r.out, HasSubstr("P12.21 故障發生時的輸入端子狀態\tM0 M2\n"));
    r = cli(env, "-p COM3 --block-reads faults --format json");
    EXPECT_THAT(r.out, AllOf(HasSubstr("\"code\":\"ErP1\""),
                             HasSubstr("\"inputs\":{\"bits\":5,\"on\":[\"M0\",\"M2\"]}")));

    QTemporaryDir dir;
    const QString file = dir.filePath("Data.txt");
    ASSERT_EQ(cli(env, "-p COM3 backup " + file).code, 0);
    env.drive.clearFaultHistory();
    r = cli(env, "faults --format csv " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, csv)) << r.err;
}

}  // namespace
}  // namespace velorin
