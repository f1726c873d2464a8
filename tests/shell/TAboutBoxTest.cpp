#include "shell/ClientVersion.h"
#include "shell/TAboutBox.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(VersionText, DecimalNumbersWithoutLeadingZeros)
{
    EXPECT_EQ(VersionText(ClientVersion), "Ver.1.0.1");
    EXPECT_EQ(VersionText({2, 10, 0}), "Ver.2.10.0");
}

TEST(TAboutBox, ShowsTheVersionAndClosesWithOk)
{
    // Its owner sits in a corner; the box still comes up in the middle of the screen.
    QWidget owner;
    owner.setGeometry(10, 10, 100, 100);
    owner.show();
    TAboutBox box(&owner);
    EXPECT_EQ(box.windowTitle(), "バージョン情報");
    EXPECT_EQ(box.size(), QSize(312, 213));
    EXPECT_EQ(box.findChild<QLabel *>("Version")->text(), "Ver.1.0.1");
    EXPECT_EQ(box.findChild<QLabel *>("ProductName")->text(), "VantrelＩＭ");
    EXPECT_FALSE(box.findChild<QLabel *>("ProgramIcon")->pixmap().isNull());

    // Enter presses the default button, which closes the modal loop with OK.
    box.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_LE((box.frameGeometry().center() - box.screen()->availableGeometry().center()).manhattanLength(), 8);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

} // namespace
