// Backups with every fault kind at 1 % and 5 % of the requests succeed 9 times in 10 with every
// value right; one that fails leaves the old file as it was.

#include <QFile>
#include <iostream>

#include "CliSim.h"
#include "editor/ParameterFile.h"
#include "model/DriveFacts.h"

namespace velorin {
namespace {

using test::cli;
using test::fileBytes;
using test::writeFile;
using test::SimEnvironment;

std::vector<DriveFault> everyFault() {
    using K = DriveFault::Kind;
    std::vector<DriveFault> faults;
    for (const K kind : {K::NoReply, K::CorruptChecksum, K::Truncated, K::Split, K::Exception,
                         K::OtherStation, K::Noise, K::Slow, K::Duplicate, K::BlockShift}) {
        DriveFault f;
        f.kind = kind;
        f.delay = kind == K::Slow ? std::chrono::milliseconds(300) : std::chrono::milliseconds(20);
        faults.push_back(f);
    }
    return faults;
}

TEST(CliFaultRate, BackupsFinishWithEveryValueRightOrKeepTheOldFile) {
    const QByteArray oldFile = "P0 1\r\n";
    for (const int percent : {1, 5}) {
        int succeeded = 0;
        for (std::uint32_t seed = 1; seed <= 10; ++seed) {
            SimEnvironment env;
            env.drive.setFaultMix(everyFault(), percent, seed);
            const QString path = env.logFolder.filePath("backup.txt");
            ASSERT_TRUE(writeFile(path, oldFile.toStdString()));
            const auto r = cli(env, "-p COM3 backup " + path);
            const QByteArray text = QByteArray::fromStdString(fileBytes(path));
            if (r.code != 0) {
                EXPECT_EQ(text, oldFile) << percent << " %, seed " << seed;
                continue;
            }
            ++succeeded;
            const ParameterFileLoad load = parseParameterFile(text.toStdString());
            int wrong = 0, values = 0;
            for (int reg = 0; reg < kFileRegisterCount; ++reg) {
                if (!load.values[reg])
                    continue;
                ++values;
                // The file holds the rate (P15.01) as its place in the list of rates.
                const int held =
                    reg == drive::kRateParameter ? env.drive.rateIndex() : env.drive.reg(reg);
                wrong += static_cast<std::uint16_t>(*load.values[reg]) != held;
            }
            EXPECT_EQ(std::pair(wrong, values > 500), std::pair(0, true))
                << percent << " %, seed " << seed;
        }
        std::cout << percent << " % faults: " << succeeded << " backups of 10 succeeded\n";
        EXPECT_GE(succeeded, 9) << percent << " % of the requests meet a fault";
    }
}

}  // namespace
}  // namespace velorin
