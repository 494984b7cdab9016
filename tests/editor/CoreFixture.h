#pragma once
// The editor's core on a simulated drive and the virtual clock, with a record of the line.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/EditorCore.h"
#include "editor/LineRecord.h"
#include "link/LineSession.h"
#include "sim/SimulatedPort.h"
#include "support/DriveWrites.h"

namespace velorin::test {

class CoreFixture : public ::testing::Test {
protected:
    void connect(Framing framing) {
        if (isRtu(framing))
            drive.setLink(1, 1, 3);  // 9600,N,8,2
        session = std::make_unique<LineSession>(std::make_unique<SimulatedPort>(line, clock));
        session->shareObservers(observers);
        link = {1, framing, false, 1, drive.settings()};
        session->follow(link);
        ASSERT_EQ(session->open(1, link.settings), OpenResult::Ok);
        core.beginVisit(session.get(), framing);
    }
    // The working values the fields of a page give when the technician changed nothing.
    void takeShownValues(int page) {
        for (int reg : Catalogue::instance().page(page).fields)
            core.working()[reg] =
                reg == 497 ? baudPosition(core.driveValue(reg)).value_or(-1) : core.driveValue(reg);
    }
    // Pages read, and taken as their fields show them when the technician changes nothing.
    void readUnchanged(std::initializer_list<int> pages) {
        for (int page : pages) {
            ASSERT_TRUE(core.readPage(page).ok()) << page;
            takeShownValues(page);
        }
    }
    static std::string shown(const Display& d) {
        if (const auto* t = std::get_if<ShowText>(&d))
            return t->text;
        if (const auto* p = std::get_if<SelectPosition>(&d))
            return "#" + std::to_string(p->position);
        return "unchanged";
    }
    std::string shownOnPage(int page, int reg) {
        for (const FieldView& v : core.showPage(page))
            if (v.reg == reg)
                return shown(v.display);
        return "no field";
    }

    Writes writes() const { return writesOf(drive); }

    LinkState link;
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    LineObservers observers;
    std::unique_ptr<LineSession> session;
    EditorCore core;
    LineRecord record{observers};
};

// The same, connected in the framing the test is instantiated with.
class FramedCore : public CoreFixture, public ::testing::WithParamInterface<Framing> {
protected:
    void SetUp() override { connect(GetParam()); }
};

}  // namespace velorin::test
