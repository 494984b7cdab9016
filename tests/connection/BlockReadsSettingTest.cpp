// The block reads setting beside the reply timeout: off at first, kept for the next run, and
// every window's line session starts with it.

#include <QCheckBox>
#include <QTemporaryDir>

#include "ConnectionFixture.h"
#include "platform/QtSettings.h"

using namespace velorin;
using velorin::test::ConnectionTest;
using velorin::test::child;

TEST_F(ConnectionTest, BlockReadsAreKeptAndEveryWindowsSessionReadsSo) {
    QTemporaryDir dir;
    const QString file = dir.filePath("velorin.ini");
    auto kept = std::make_unique<QtSettings>(file);
    sim.services.settings = kept.get();
    open();
    auto* box = child<QCheckBox>(form, "blockReadsBox");
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(createLineSession(sim.services)->blockReads());
    box->click();
    EXPECT_TRUE(sim.services.blockReads);
    EXPECT_TRUE(createLineSession(sim.services)->blockReads());

    kept.reset();  // the next run
    kept = std::make_unique<QtSettings>(file);
    sim.services.settings = kept.get();
    sim.services.blockReads = false;
    open();
    EXPECT_TRUE(child<QCheckBox>(form, "blockReadsBox")->isChecked());
    EXPECT_TRUE(sim.services.blockReads);
}
