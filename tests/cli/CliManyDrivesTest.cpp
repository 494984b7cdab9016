// Several drives on one line, in-process: backup and restore by stations, and the survey stopped.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "CliSim.h"
#include "editor/ParameterFile.h"
#include "model/FaultRegisters.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

constexpr int kMarked = 3;  // P00.03: a value of each drive's own

// Drives at stations 1, 2 and 3 on COM3, each with its own P00.03 and model.
struct ThreeDrives : SimEnvironment {
    SimulatedDrive second, third;
    ThreeDrives() {
        second.setLink(2, 1, 0);
        third.setLink(3, 1, 0);
        line.addDrive(second);
        line.addDrive(third);
        for (SimulatedDrive* d : {&drive, &second, &third}) {
            d->setReg(kMarked, static_cast<std::uint16_t>(1000 + d->station()));
            d->setReg(faultregs::kModel, 101);
        }
    }
};

QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

TEST(CliManyDrives, ABackupGoesOnPastADriveUnpluggedMidRun) {
    ThreeDrives env;
    QTemporaryDir dir;
    const QString name2 = dir.filePath("S02_M101_" + today() + ".txt");
    ASSERT_TRUE(writeFile(name2, "an earlier backup of station 2\r\n"));
    ASSERT_TRUE(writeFile(name2 + ".json", "its sidecar"));
    // Station 2 answers its opening reads, then goes silent within its pages (its 12th request).
    env.log.onSend = [&env, seen = 0](SerialPort&, int index, FunctionCode) mutable {
        if (env.log.sent[index].ends_with("@2") && ++seen == 12)
            env.second.setFaultMode(DriveFault{DriveFault::Kind::NoReply});
    };
    const auto r = cli(env, "-p COM3 --pages P00,P01-1 --stations 1-3 backup " + dir.path());
    EXPECT_EQ(r.code, 8) << r.err;
    for (int station : {1, 3}) {
        const QString file =
            dir.filePath(QStringLiteral("S0%1_M101_%2.txt").arg(station).arg(today()));
        const ParameterFileLoad load = loadParameterFile(file.toStdString());
        ASSERT_TRUE(load.usable()) << station;
        EXPECT_EQ(load.values[kMarked], 1000 + station) << station;
        EXPECT_THAT(fileBytes(file + ".json"),
                    HasSubstr("\"station\": " + std::to_string(station)));
    }
    EXPECT_EQ(std::tuple(fileBytes(name2), fileBytes(name2 + ".json")),
              std::tuple("an earlier backup of station 2\r\n", "its sidecar"));
    EXPECT_THAT(r.out, AllOf(HasSubstr("station 1: saved "), HasSubstr("station 2: read failed"),
                             HasSubstr("station 3: saved ")));
    EXPECT_THAT(r.err, HasSubstr("2 of 3 drives backed up in " + dir.path().toStdString() +
                                 "; not backed up: station 2"));
}

TEST(CliManyDrives, BackupAllSurveysFirstThenRestoreByStationRefusesAnotherModel) {
    ThreeDrives env;
    QTemporaryDir dir;
    auto r =
        cli(env, "-p COM3 -s 9600,N,7,2 --stations 1-5 --pages P00 --all backup " + dir.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("3 drives found at 9600,N,7,2: stations 1,2,3"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 6);

    // Station 2's file now names another model than its drive, and has lost its sidecar: the
    // name alone refuses it. The others go back as they were.
    env.second.setReg(faultregs::kModel, 102);
    QFile::remove(dir.filePath("S02_M101_" + today() + ".txt.json"));
    for (SimulatedDrive* d : {&env.drive, &env.second, &env.third}) {
        d->setReg(kMarked, 7);
        d->clearWriteLog();
    }
    r = cli(env, "-p COM3 --stations 1-3 restore " + dir.path());
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_EQ(std::tuple(env.drive.reg(kMarked), env.second.reg(kMarked), env.third.reg(kMarked)),
              std::tuple(1001, 7, 1003));
    EXPECT_TRUE(env.second.writeLog().empty());
    EXPECT_THAT(r.err, AllOf(HasSubstr("is named for model 101, the drive at station 2 is model 102"),
                             HasSubstr("2 of 3 drives restored; not restored: station 2")));
    EXPECT_THAT(r.out, AllOf(HasSubstr("station 2: failed (exit status 5)"),
                             HasSubstr("station 3: restored from ")));

    // A station without a file is named, and the rest still restored.
    r = cli(env, "-p COM3 --stations 1,4 --force-model restore " + dir.path());
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_THAT(r.out, HasSubstr("station 4: no file S04_M*_YYYYMMDD.txt"));
}

// Ctrl+C keeps what the survey found (the whole list is CliOverPty's and Survey's).
TEST(CliManyDrives, CtrlCEndsTheSurveyWithWhatItFound) {
    ThreeDrives env;
    env.third.setLink(7, 1, 0);
    env.log.onSend = [&](SerialPort&, int index, FunctionCode) {
        env.stop = env.log.sent[index].ends_with("@4");
    };
    const auto r = cli(env, "-p COM3 -s 9600,N,7,2 --stations 1-10 survey");
    EXPECT_EQ(r.code, 130);
    EXPECT_THAT(r.out, AllOf(HasSubstr("station=2 model=101"), Not(HasSubstr("station=7"))));
}

}  // namespace
}  // namespace velorin
