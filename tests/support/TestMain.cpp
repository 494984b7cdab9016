#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include "PrivateHome.h"

int main(int argc, char** argv) {
    // Before Qt reads the environment: every folder the program or its children write to is the
    // test's own.
    const velorin::test::PrivateHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
