#pragma once
// A connection screen on the simulated drive, with every probe it sends recorded together with
// what the window showed at that moment.

#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>

#include "connection/Main.h"
#include "link/MBus.h"
#include "support/SimServices.h"

namespace velorin::test {

struct Probe {
    int station;       // Station when the request went out
    bool rtu;          // framing of the request
    std::int16_t RTU;  // the link state's framing flag at that moment
    std::string settings;
    QString shownStation;  // Combo4
    int shownFormat;       // Combo3
    int shownRate;         // Combo2
};

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Global = {};
        sim.clock.setPump([] { QCoreApplication::processEvents(); });
        sim.services.windows.menu = [this]() -> QWidget* {
            ++menusShown;
            // The successor comes up while the connection screen is still there.
            screenOpenAtHandOver = form && form->isVisible();
            return nullptr;
        };
        sim.services.windows.editor = [this]() -> QWidget* {
            ++editorsShown;
            screenOpenAtHandOver = form && form->isVisible();
            return nullptr;
        };
        setLinkTrace([this](const LinkTraceEvent& e) {
            if (!e.sent || !form)
                return;
            probes.push_back({Global.Station, e.rtu, Global.RTU, form->MSComm1->settings(),
                              form->Combo4->currentText(), form->Combo3->currentIndex(),
                              form->Combo2->currentIndex()});
        });
    }
    void TearDown() override {
        setLinkTrace({});
        delete form.data();
    }

    Form1* open() {
        form = new Form1(sim.services);
        form->show();
        return form;
    }
    // Runs the deletions a closed window left for the event loop.
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void choose(int rate, int format, const QString& station) {
        form->Combo2->setCurrentIndex(rate);
        form->Combo3->setCurrentIndex(format);
        form->Combo4->setEditText(station);
    }

    // Idle after an attempt without result: lists and connect enabled, offline barred.
    void expectIdleAfterSearch() {
        ASSERT_TRUE(form);
        EXPECT_TRUE(form->isVisible());
        for (QWidget* w : {static_cast<QWidget*>(form->Combo1), static_cast<QWidget*>(form->Combo2),
                           static_cast<QWidget*>(form->Combo3), static_cast<QWidget*>(form->Combo4),
                           static_cast<QWidget*>(form->Command1)})
            EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();
        EXPECT_FALSE(form->Command2->isEnabled());
        EXPECT_FALSE(form->MSComm1->isOpen());
        EXPECT_FALSE(sim.line.isHeld());
        EXPECT_EQ(menusShown, 0);
    }

    SimServices sim;
    QPointer<Form1> form;
    std::vector<Probe> probes;
    int menusShown = 0;
    int editorsShown = 0;
    bool screenOpenAtHandOver = false;
};

}  // namespace velorin::test
