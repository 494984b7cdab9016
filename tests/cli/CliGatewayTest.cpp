// velorin-cli through a network gateway, in-process: the simulated drive behind a Modbus TCP or
// pass-through gateway on the virtual clock.

#include <QTemporaryDir>

#include "CliSim.h"
#include "link/NetworkAddress.h"
#include "sim/SimulatedGateway.h"
#include "support/Files.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

// The drive on COM3 is also behind a gateway at 192.168.1.50:502 (and any other address, which
// refuses connections) speaking `framing`.
struct GatewayEnvironment : SimEnvironment {
    Framing framing = Framing::Mbap;
    NetworkFaults faults;
    std::unique_ptr<GatewayLink> link;
    std::unique_ptr<SerialPort> createGatewayPort(const QString& host, int port,
                                                  Micros) override {
        link = std::make_unique<GatewayLink>(drive, framing, faults);
        auto p = std::make_unique<SimulatedGatewayPort>(
            *link, clock, NetworkAddress{host.toStdString(), port}.text());
        p->setReachable(host == QLatin1String("192.168.1.50") && port == 502);
        return p;
    }
};

QString gateway(Framing framing = Framing::Mbap) {
    const char* names[] = {"ascii", "rtu", "mbap"};  // in the order of Framing
    return QStringLiteral("--tcp 192.168.1.50 --framing %1 ").arg(names[int(framing)]);
}

// Through each kind of gateway: a backup equals one over the serial line, a restore leaves the
// drive holding the file's values (and through Modbus TCP its trace names the transactions).
TEST(CliGateway, BackupAndRestoreThroughEachGateway) {
    for (const Framing framing : {Framing::Mbap, Framing::Rtu, Framing::Ascii}) {
        SCOPED_TRACE(framingName(framing));
        GatewayEnvironment env;
        env.framing = framing;
        env.drive.setLink(1, 1, framing == Framing::Ascii ? 0 : 4);
        soundValues(env.drive);
        env.drive.setReg(40, 1234);
        QTemporaryDir dir;
        const QString overSerial = dir.filePath("serial.txt"), overNetwork = dir.filePath("net.txt");
        const QString serial = QStringLiteral("-p COM3 -s %1 ")
                                   .arg(QString::fromStdString(env.drive.settings()));
        ASSERT_EQ(cli(env, serial + "backup " + overSerial).code, 0);
        auto r = cli(env, gateway(framing) + "backup " + overNetwork);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(fileBytes(overNetwork), fileBytes(overSerial));
        env.drive.setReg(40, 4321);
        r = cli(env, gateway(framing) + "--trace restore " + overNetwork);
        ASSERT_EQ(r.code, 0) << r.err;
        if (framing == Framing::Mbap)  // the transaction ids in the trace
            EXPECT_THAT(r.err, AllOf(HasSubstr("-> 00 01 00 00 00 06 01 03"),
                                     HasSubstr("(transaction 1)")));
        EXPECT_EQ(env.drive.reg(40), 1234);
        ASSERT_EQ(cli(env, serial + "backup " + overSerial).code, 0);
        EXPECT_EQ(fileBytes(overSerial), fileBytes(overNetwork));
    }
}

// A connection dropped in the middle of a backup: the port is lost (exit 3), the old file stays as
// it was. (A drop mid-restore tells the writes confirmed as a pulled adapter does,
// ARestoreCutShortTellsTheWritesConfirmed; the drop is a lost port, NetworkLine's.)
TEST(CliGateway, ADroppedConnectionEndsTheJobAndKeepsTheOldFile) {
    GatewayEnvironment env;
    soundValues(env.drive);
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    ASSERT_EQ(cli(env, gateway() + "backup " + file).code, 0);
    const std::string saved = fileBytes(file);
    env.faults.dropAt = 200;
    const auto r = cli(env, gateway() + "backup " + file);
    EXPECT_EQ(r.code, 3);
    EXPECT_THAT(r.err, AllOf(HasSubstr("connection lost: gateway 192.168.1.50:502"),
                             HasSubstr("no file was written")));
    EXPECT_EQ(fileBytes(file), saved);
}

TEST(CliGateway, WritesThatMoveTheLinkAreRefusedUnlessAllowed) {
    GatewayEnvironment env;
    env.framing = Framing::Ascii;  // a pass-through gateway to the drive at its factory link
    // clang-format off
    const struct { const char* words; int code; const char* says; bool sent; } cases[] = {
        {"write 497 192", 5, "talks at --settings 19200,N,7,2", false},
        {"write 496 7", 5, "answers at station 7", false},
        {"write 546 3", 5, "resets its parameters", false},
        {"write 546 1", 0, "546 ", true},  // a lock, no reset
        {"--allow-link-change write 497 192", 0, "497 ", true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        env.drive.resetToFactory();
        env.drive.clearWriteLog();
        const auto r = cli(env, gateway(Framing::Ascii) + c.words);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_THAT(r.err + r.out, HasSubstr(c.says));
        EXPECT_EQ(!env.drive.writeLog().empty(), c.sent);
    }
    env.framing = Framing::Mbap;
    auto r = cli(env, gateway() + "write 498 4");
    EXPECT_THAT(r.err, AllOf(HasSubstr("gateway 192.168.1.50:502 does not follow"),
                             HasSubstr("--allow-link-change writes it")));
}

TEST(CliGateway, AScanTriesStationsOnlyAndAGatewayNobodyAnswersAtIsUnusable) {
    GatewayEnvironment env;
    env.drive.setLink(3, 1, 0);
    auto r = cli(env, gateway() + "scan");
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.err, HasSubstr("the scan tries stations only"));
    EXPECT_THAT(r.out, HasSubstr("framing=Modbus TCP station=3"));
    r = cli(env, "--tcp 10.0.0.9 probe");
    EXPECT_EQ(std::tie(r.code, r.err),
              std::tuple(3, "velorin-cli: gateway 10.0.0.9:502 not found: no such host\n"));
}

}  // namespace
}  // namespace velorin
