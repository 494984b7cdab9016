// How the editor shows what the technician looks for: a changed value bold in its field's own
// face and size, the matches of the find box floating over the page (the page stays where it
// is), and the windows named by their role in the taskbar.

#include "EditorFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

TEST_F(EditorFixture, AChangedValueIsBoldInItsOwnFontAndFindFloatsOverThePage) {
    open();
    EXPECT_EQ(editor->windowTitle(), "VELORIN － 參數調整");
    const QFont before = field(2)->font();
    typeInto(2, "9");
    field(2)->ensurePolished();
    const QFont changed = field(2)->font();
    EXPECT_TRUE(changed.bold());
    EXPECT_EQ(std::tuple(changed.family(), changed.pointSizeF()),
              std::tuple(before.family(), before.pointSizeF()));
    EXPECT_EQ(QFontInfo(changed).family(), QFontInfo(before).family());  // the face drawn
    EXPECT_FALSE(field(3)->font().bold());
    typeInto(2, "6");  // back to the drive's value
    field(2)->ensurePolished();
    EXPECT_FALSE(field(2)->font().bold());
    EXPECT_EQ(field(2)->font().family(), before.family());

    // The matches lie over the page, which stays where it was.
    shortcut(Qt::Key_F);
    QApplication::processEvents();
    auto* pages = find<QStackedWidget>(QStringLiteral("pages"));
    const int pageTop = pages->mapTo(editor, QPoint()).y();
    find<QLineEdit>(QStringLiteral("findText"))->setText(QStringLiteral("額定電流"));
    QApplication::processEvents();
    auto* results = find<QListWidget>(QStringLiteral("findResults"));
    ASSERT_TRUE(results->isVisible());
    EXPECT_EQ(pages->mapTo(editor, QPoint()).y(), pageTop);
    QStringList codes;
    for (int i = 0; i < results->count(); ++i)
        codes << results->item(i)->text().section(u'　', 0, 0);
    EXPECT_EQ(codes.join(' ').toStdString(), "P11.14 P09.15 P10.15 P16.03");
    // Over the tab strip and the page below the find box, which keep their places.
    const QRect over(results->mapTo(editor, QPoint()), results->size());
    auto* tabs = find<QWidget>(QStringLiteral("pageTabs"));
    const QRect below = QRect(tabs->mapTo(editor, QPoint()), tabs->size())
                            .united(QRect(pages->mapTo(editor, QPoint()), pages->size()));
    EXPECT_TRUE(over.intersects(below)) << over.y() << " " << below.y();
    QTest::keyClick(find<QLineEdit>(QStringLiteral("findText")), Qt::Key_Escape);
    find<QAction>(QStringLiteral("findItem"))->trigger();
    find<QLineEdit>(QStringLiteral("findText"))->clear();
    QApplication::processEvents();
    EXPECT_FALSE(results->isVisible());
}

}  // namespace
