// The demo mode: the simulated drive is one more COM port after the system's ones, at its
// factory settings, reached through the real event-loop wait.

#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>

#include "app/DemoPorts.h"
#include "connection/Main.h"
#include "platform/EventLoopWait.h"
#include "support/SimServices.h"

using namespace velorin;

TEST(DemoMode, SimulatedDriveIsTheLastPortAndAnswersAtFactorySettings) {
    Global = {};
    DemoPortProvider ports;
    ASSERT_GT(ports.simulatedCom(), 0);
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
    const QString simEntry = QStringLiteral("COM%1 (模擬變頻機)").arg(ports.simulatedCom());
    EXPECT_EQ(form->Combo1->itemText(form->Combo1->count() - 1), simEntry);
    EXPECT_EQ(form->Combo1->currentText(), simEntry);

    form->Combo2->setCurrentIndex(1);  // 9600
    form->Combo3->setCurrentIndex(0);  // ASCII,7,N,2
    form->Command1->click();

    EXPECT_EQ(menus, 1);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(Global.COM_Port, ports.simulatedCom());
    EXPECT_EQ(Global.COM_Set, "9600,N,7,2");
    EXPECT_EQ(Global.Station, 1);
    EXPECT_FALSE(ports.line().isHeld());
    delete form.data();
}
