// The main window's meeting menu.
#include "../main/MainWindowFixture.h"
#include "meetings/TfrmCRM.h"

#include <QApplication>
#include <QLineEdit>

namespace {

class MeetingMenu : public MainWindowTest {};

TfrmCRM *OpenDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<TfrmCRM *>(w); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

TEST_F(MeetingMenu, CreateOpensARoomDialogOwnedByTheMainWindow)
{
    startClient();
    mfrm->N10Click();
    QPointer<TfrmCRM> dialog = OpenDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->RoomIdText, "0");
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("会議室作成"));
    EXPECT_TRUE(dialog->isWindow());
    mfrm.reset();
    EXPECT_TRUE(dialog.isNull()) << "destroyed with the main window";
}

} // namespace
