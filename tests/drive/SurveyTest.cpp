// The survey of a line with several drives: every drive that answers, in station order, whatever
// the framing, with a drive slower than the reply wait and silent stations between them; a stop
// keeps what was found; with the rate left open the search comes first. Beside it, the line
// itself: every drive hears every request and only the one addressed answers, and a write that
// moves one drive's station moves that drive alone.

#include <gtest/gtest.h>

#include "drive/ConnectSession.h"
#include "model/FaultRegisters.h"
#include "sim/SimulatedPort.h"

namespace velorin {
namespace {

struct ThreeDrives {
    explicit ThreeDrives(const char* settings) : settings(settings) {
        const int stations[] = {2, 3, 5};
        for (int i = 0; i < 3; ++i) {
            drives[i].setLink(static_cast<std::uint8_t>(stations[i]), *rateIndexOf(settings),
                              *formatIndexOf(settings));
            drives[i].setReg(faultregs::kModel, static_cast<std::uint16_t>(30 + i));
            drives[i].setReg(faultregs::kRunHours, static_cast<std::uint16_t>(100 * (i + 1)));
            if (i > 0)
                line.addDrive(drives[i]);
        }
        // Station 3 answers later than the reply wait (100 ms): its first reply comes late.
        drives[1].setResponseDelay(Micros{160000});
    }
    ConnectSession connect(std::function<bool()> stop = {}) {
        ConnectHooks hooks;
        hooks.open = [this](const std::string& s) -> LineSession* {
            return session.open(1, s) == OpenResult::Ok ? &session : nullptr;
        };
        hooks.progress = [this](const ScanProgress& p) { progress.push_back(p); };
        hooks.stopRequested = std::move(stop);
        return ConnectSession(clock, hooks);
    }
    const char* settings;
    VirtualClock clock;
    SimulatedDrive drives[3];
    SimulatedLine line{drives[0]};
    LineSession session{std::make_unique<SimulatedPort>(line, clock)};
    std::vector<ScanProgress> progress;
};

TEST(Survey, FindsEveryDriveInOrderInBothFramings) {
    for (const char* settings : {"9600,N,7,2", "9600,N,8,2"}) {
        ThreeDrives t(settings);
        const SurveyResult r =
            t.connect().survey(settings, framingOfFormat(*formatIndexOf(settings)), 1, 20);
        EXPECT_EQ(r.end, ConnectResult::End::Found) << settings;
        EXPECT_EQ(r.drives, (std::vector<SurveyedDrive>{{2, 30, 100}, {3, 31, 200}, {5, 32, 300}}))
            << settings;
        // The line is left open at the first drive; the progress heard every station once, and
        // its time left came down to the last station's.
        EXPECT_EQ(std::tuple(t.session.isOpen(), t.session.station()), std::tuple(true, 2));
        ASSERT_EQ(t.progress.size(), 20u);
        EXPECT_EQ(t.progress.back().step.station, 20);
        EXPECT_LT(t.progress.back().left, t.progress.front().left);
        // No write of any kind went out, broadcasts least of all.
        for (const SimulatedDrive& d : t.drives) EXPECT_TRUE(d.writeLog().empty());
    }
}

TEST(Survey, AStopKeepsWhatWasFoundAndNothingMeansNotFound) {
    ThreeDrives t("9600,N,7,2");
    const SurveyResult stopped =
        t.connect([&] { return !t.progress.empty() && t.progress.back().step.station == 4; })
            .survey(t.settings, Framing::Ascii, 1, 20);
    EXPECT_EQ(stopped.end, ConnectResult::End::Stopped);
    ASSERT_EQ(stopped.drives.size(), 2u);
    EXPECT_EQ(stopped.drives[1].station, 3);

    ThreeDrives empty("9600,N,7,2");
    const SurveyResult none = empty.connect().survey("19200,N,7,2", Framing::Ascii, 1, 10);
    EXPECT_EQ(std::tuple(none.end, none.drives.size(), empty.session.isOpen()),
              std::tuple(ConnectResult::End::NotFound, 0u, false));
}

TEST(Survey, WithTheRateOpenTheSearchComesFirst) {
    ThreeDrives t("19200,N,8,2");
    const SurveyResult r = t.connect().surveyAll(std::nullopt, std::nullopt, 1, 10);
    ASSERT_TRUE(r.search && !r.drives.empty());
    EXPECT_EQ(std::tuple(r.link.settings, r.drives.size(), r.drives.front().station),
              std::tuple("19200,N,8,2", 3u, 2));
}

TEST(SurveyLine, EachDriveAnswersItsOwnStationAndMovesAlone) {
    ThreeDrives t("9600,N,8,2");
    t.drives[1].setResponseDelay(Micros{2000});
    t.session.open(1, t.settings);
    t.session.setFraming(Framing::Rtu);
    // Station 3 moves to 7: the others stay where they were.
    EXPECT_EQ(t.session.writeAt(3, drive::kStationParameter, 7, WriteEffect::MovesLink).outcome,
              LinkOutcome::Ok);
    EXPECT_EQ(std::tuple(t.line.driveAt(7), t.line.driveAt(3), t.drives[0].station()),
              std::tuple(&t.drives[1], static_cast<SimulatedDrive*>(nullptr), 2));
    EXPECT_EQ(std::tuple(t.session.readAt(5, faultregs::kModel).value,
                         t.session.readAt(7, faultregs::kModel).value),
              std::tuple(32, 31));
    EXPECT_EQ(t.drives[2].writeLog().size(), 0u);
}

}  // namespace
}  // namespace velorin
