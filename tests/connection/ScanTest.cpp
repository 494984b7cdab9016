// The search over all stations, formats and rates, on the virtual clock: a search without a
// drive takes a quarter of an hour of line time and seconds of test time.

#include <QKeyEvent>
#include <QTest>

#include "ConnectionTestSupport.h"

using namespace velorin;
using velorin::test::ConnectionTest;

namespace {

constexpr std::size_t kAllProbes = 254 * 7 * 5;

}  // namespace

TEST_F(ConnectionTest, FindsStation3At19200E81WithItsNinetyEighthProbe) {
    sim.drive.setLink(3, 2, 5);  // 19200,E,8,1
    open();

    form->Command1->click();

    // Stations 1 and 2 in full (35 each), the three ASCII formats and two RTU formats of
    // station 3 (15 + 10), then 4800, 9600, 19200 of RTU,8,E,1.
    ASSERT_EQ(probes.size(), 98u);
    EXPECT_EQ(Global.RTU, 1);
    EXPECT_EQ(Global.COM_Set, "19200,E,8,1");
    EXPECT_EQ(Global.Station, 3);
    EXPECT_EQ(form->i, 3);
    EXPECT_EQ(form->j, 5);
    EXPECT_EQ(form->k, 2);
    EXPECT_EQ(menusShown, 1);
    EXPECT_TRUE(screenOpenAtHandOver);
    EXPECT_FALSE(sim.line.isHeld());
    for (std::size_t n = 0; n < probes.size(); ++n)
        EXPECT_EQ(probes[n].RTU, 0) << "RTU stays 0 until an RTU probe succeeds; probe " << n;
}

TEST_F(ConnectionTest, FindsStation1At4800N72WithTheFirstProbe) {
    sim.drive.setLink(1, 0, 0);
    open();
    form->Command1->click();
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(Global.COM_Set, "4800,N,7,2");
    EXPECT_EQ(Global.RTU, 0);
    EXPECT_EQ(menusShown, 1);
}

struct Unreachable {
    const char* name;
    void (*setUp)(SimulatedDrive&);
};

class FullSearch : public ConnectionTest, public ::testing::WithParamInterface<Unreachable> {};

// Without a drive that answers, all 8890 probes go out in order, each with the lists showing
// what is being tried, then the screen is idle again with the last combination shown.
TEST_P(FullSearch, TriesEveryCombinationInOrderThenGivesUp) {
    GetParam().setUp(sim.drive);
    open();
    struct AtMessage {
        QString station, format, rate;
        bool connectEnabled, offlineEnabled;
    } atMessage{};
    sim.dialogs.onShow([&](const test::ShownDialog&) {
        atMessage = {form->Combo4->currentText(), form->Combo3->currentText(),
                     form->Combo2->currentText(), form->Command1->isEnabled(),
                     form->Command2->isEnabled()};
    });
    const Micros start = sim.clock.now();

    form->Command1->click();

    ASSERT_EQ(probes.size(), kAllProbes);
    std::size_t n = 0;
    for (int station = 1; station <= 254; ++station)
        for (int format = 0; format < 7; ++format)
            for (int rate = 0; rate < 5; ++rate, ++n) {
                const auto& p = probes[n];
                ASSERT_EQ(p.station, station) << n;
                ASSERT_EQ(p.settings, settingsString(rate, format)) << n;
                ASSERT_EQ(p.rtu, format >= 3) << n;
                ASSERT_EQ(p.RTU, 0) << n;
                ASSERT_EQ(p.shownStation, QString::number(station)) << n;
                ASSERT_EQ(p.shownFormat, format) << n;
                ASSERT_EQ(p.shownRate, rate) << n;
            }
    EXPECT_EQ(sim.line.opens(), static_cast<long>(kAllProbes) + 1) << "one open per probe";
    EXPECT_GE(sim.clock.now() - start, std::chrono::seconds(889)) << "at least 0.1 s a probe";

    ASSERT_EQ(sim.dialogs.shown().size(), 1u);
    EXPECT_EQ(sim.dialogs.shown()[0].text, "未偵測到變頻機，請檢查連線。");
    EXPECT_EQ(sim.dialogs.shown()[0].title, "連線錯誤");
    EXPECT_EQ(atMessage.station, "254");
    EXPECT_EQ(atMessage.format, "RTU,8,O,1");
    EXPECT_EQ(atMessage.rate, "115200");
    EXPECT_TRUE(atMessage.connectEnabled);
    EXPECT_FALSE(atMessage.offlineEnabled);
    expectIdleAfterSearch();
    EXPECT_EQ(Global.RTU, 0);
    EXPECT_EQ(Global.COM_Set, "");
}

INSTANTIATE_TEST_SUITE_P(
    Search, FullSearch,
    ::testing::Values(Unreachable{"NoDrive", [](SimulatedDrive& d) { d.setLink(255, 1, 0); }},
                      Unreachable{"P496HoldsZero",
                                  [](SimulatedDrive& d) {
                                      d.setLink(1, 1, 0);
                                      d.setReg(496, 0);
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, EscStopsTheSearchAfterTheProbeUnderWay) {
    sim.drive.setLink(200, 1, 0);
    open();
    sim.clock.after(std::chrono::milliseconds(5050),
                    [&] { QTest::keyClick(form.data(), Qt::Key_Escape); });

    form->Command1->click();

    // About 50 probes of 0.1 s each went out; the one under way at 5.05 s was the last.
    EXPECT_GT(probes.size(), 30u);
    EXPECT_LT(probes.size(), 60u);
    EXPECT_TRUE(sim.dialogs.shown().empty()) << "no message after Esc";
    expectIdleAfterSearch();
    EXPECT_EQ(form->Combo4->currentText(), QString::number(probes.back().station));

    // A later click starts over.
    probes.clear();
    sim.drive.setLink(1, 1, 0);
    form->Combo2->setCurrentIndex(-1);
    form->Command1->click();
    EXPECT_EQ(probes.size(), 2u);
    EXPECT_EQ(menusShown, 1);
}

// The technician closes the window while the search runs: the probe under way ends, the port is
// closed, no menu is shown and the window goes. The close arrives as an event handled inside the
// probe's wait, the way a click on the close box does.
TEST_F(ConnectionTest, ClosingTheWindowStopsTheSearch) {
    sim.drive.setLink(200, 1, 0);
    open();
    std::size_t probesAtClose = 0;
    sim.clock.after(std::chrono::milliseconds(3050), [&] {
        probesAtClose = probes.size();
        QMetaObject::invokeMethod(form.data(), &QWidget::close, Qt::QueuedConnection);
    });

    form->Command1->click();

    EXPECT_EQ(probes.size(), probesAtClose) << "no probe after the one under way";
    EXPECT_FALSE(sim.line.isHeld());
    EXPECT_EQ(menusShown, 0);
    EXPECT_TRUE(sim.dialogs.shown().empty());
    ASSERT_TRUE(form) << "the window outlives the handler that runs in it";
    EXPECT_FALSE(form->isVisible());
    flushDeletes();
    EXPECT_FALSE(form);
}
