#include <gtest/gtest.h>

#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "app/AboutDialog.h"

namespace {

// The about box names the release the packages carry in the form "Ver. X.Y.Z   3/06/2002", all
// of it readable, still left of the description and inside the frame; its picture of the
// program is the 32 x 32 icon.
TEST(AboutBox, VersionTextIsWholeAndTheIconIsTheProgramIcon) {
    AboutDialog about(nullptr);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const auto* version = about.findChild<QLabel*>(QStringLiteral("L3"));
    const auto* description = about.findChild<QLabel*>(QStringLiteral("L1"));
    const auto* icon = about.findChild<QLabel*>(QStringLiteral("Image1"));
    ASSERT_TRUE(version && description && icon);

    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Ver\\. \\d+\\.\\d+\\.\\d+   3/06/2002$"))
                    .match(version->text())
                    .hasMatch())
        << version->text().toStdString();
    EXPECT_GE(version->width(), version->sizeHint().width());
    EXPECT_LT(version->geometry().right(), description->geometry().left());
    EXPECT_GE(version->geometry().left(), 8);
    EXPECT_EQ(version->geometry().center().x(), 76);  // the centre of the original 121-pixel label
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
}

}  // namespace
