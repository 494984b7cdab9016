// The connection screen through the real serial port layer to velorin-drive-sim on a
// pseudo-terminal: the probe with the technician's settings finds the drive.

#include <gtest/gtest.h>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>

#include "connection/Main.h"
#include "platform/EventLoopWait.h"
#include "platform/QtPortProvider.h"
#include "support/DriveSimProcess.h"
#include "support/SimServices.h"

using namespace velorin;
using velorin::test::DriveSimProcess;

TEST(ConnectionOverPty, ProbeFindsTheDrive) {
    DriveSimProcess sim({"--station", "3", "--settings", "19200,E,8,1"});
    ASSERT_TRUE(sim.started()) << DriveSimProcess::program().toStdString();
    Global = {};
    QtPortProvider ports({sim.devicePath()});
    EventLoopWait wait;
    test::ScriptedDialogs dialogs;
    test::TempFolders folders;
    Services services{&dialogs, &folders, &ports, &wait, {}, {}};
    int menus = 0;
    services.windows.menu = [&]() -> QWidget* {
        ++menus;
        return nullptr;
    };

    QPointer<Form1> form = new Form1(services);
    const int entry = form->Combo1->findText(sim.devicePath(), Qt::MatchContains);
    ASSERT_GE(entry, 0) << "the pseudo-terminal is listed";
    form->Combo1->setCurrentIndex(entry);
    form->Combo2->setCurrentIndex(2);  // 19200
    form->Combo3->setCurrentIndex(5);  // RTU,8,E,1
    form->Combo4->setEditText("3");

    form->Command1->click();

    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(Global.COM_Set, "19200,E,8,1");
    EXPECT_EQ(Global.RTU, 1);
    EXPECT_EQ(Global.Station, 3);
    EXPECT_EQ(ports.deviceOf(Global.COM_Port), sim.devicePath());
    ASSERT_TRUE(form);
    EXPECT_FALSE(form->MSComm1->isOpen());
    delete form.data();
}
