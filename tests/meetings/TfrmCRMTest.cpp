// The room dialog: which members it takes, how it deletes them, and the one
// frame it sends.
#include "ClientFixture.h"
#include "FrameRecorder.h"
#include "MemberTreeFixture.h"
#include "meetings/TfrmCRM.h"
#include "wire/Cp932.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray Sjis(const char16_t *text)
{
    return cp932::FromUnicode(QString::fromUtf16(text));
}

class RoomDialog : public testing::Test {
protected:
    TfrmCRM *open(const QByteArray &roomIdText = "0")
    {
        dialog = new TfrmCRM(&owner, &members.tree, sender, roomIdText);
        dialog->show();
        return dialog;
    }
    QByteArrayList listedIds() const
    {
        QByteArrayList ids;
        for (const Invitee &e : dialog->Invitees().entries())
            ids.append(e.userId);
        return ids;
    }
    QStringList shownTexts() const
    {
        QStringList texts;
        for (int i = 0; i < dialog->AddListBox->count(); ++i)
            texts.append(dialog->AddListBox->item(i)->text());
        return texts;
    }

    ClientFixture fixture; // records beeps
    QWidget owner;
    SmallMemberTree members;
    FrameRecorder sender;
    QPointer<TfrmCRM> dialog;
};

TEST_F(RoomDialog, AddTakesOnlyMembersNotListedYet)
{
    open();
    struct Case {
        const char *select; // a member id, "group" or "" for nothing selected
        QByteArrayList listedAfter;
        int beepsAfter;
    };
    const Case cases[] = {
        {"", {}, 1},                       // nothing selected
        {"group", {}, 2},                  // a group
        {"u02", {"u02"}, 2},
        {"u02", {"u02"}, 3},               // the same member again
        {"U02", {"u02", "U02"}, 3},        // ids differ in letter case: two members
        {"u03", {"u02", "U02"}, 4},        // kind "u" is not exactly a member
        {"u04", {"u02", "U02", "u04"}, 4},
    };
    for (const Case &c : cases) {
        const QByteArray what = c.select;
        if (what == "group")
            members.select(members.group);
        else if (!what.isEmpty())
            members.select(members.member(what));
        dialog->Button1Click();
        EXPECT_EQ(listedIds(), c.listedAfter) << c.select;
        EXPECT_EQ(fixture.beeps, c.beepsAfter) << c.select;
    }
    EXPECT_EQ(shownTexts(), (QStringList{QStringLiteral("鈴木"), QStringLiteral("鈴木（大）"), QStringLiteral("田中")}));
}

TEST_F(RoomDialog, DropsComeOnlyFromTheMemberTree)
{
    open();
    QTreeWidget otherTree; // looks the same, but is not the main window's tree
    members.select(members.member("u02"));
    EXPECT_FALSE(dialog->AddListBoxDragOver(&otherTree));
    EXPECT_FALSE(dialog->AddListBoxDragOver(nullptr));
    dialog->AddListBoxDragDrop(&otherTree);
    EXPECT_TRUE(listedIds().isEmpty());

    // A drop event whose drag did not start in this application has no source.
    QMimeData data;
    data.setText(QStringLiteral("u02"));
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog->AddListBox->viewport(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_TRUE(listedIds().isEmpty());

    EXPECT_TRUE(dialog->AddListBoxDragOver(&members.tree));
    dialog->AddListBoxDragDrop(&members.tree);
    EXPECT_EQ(listedIds(), QByteArrayList{"u02"});
    EXPECT_FALSE(dialog->AddListBoxDragOver(&members.tree)) << "the second drag of one member is refused";
    dialog->AddListBoxDragDrop(&members.tree);
    EXPECT_EQ(listedIds(), QByteArrayList{"u02"});

    members.select(members.group);
    EXPECT_FALSE(dialog->AddListBoxDragOver(&members.tree));
    EXPECT_EQ(fixture.beeps, 0) << "a refused drop does not beep";
}

TEST_F(RoomDialog, DeletingARowSelectsTheOneNowInItsPlace)
{
    open();
    struct Case {
        int rows;
        int deleted;
        QByteArrayList left;
        int selectedAfter; // -1: nothing selected
    };
    const Case cases[] = {
        {3, 0, {"b", "c"}, 0},
        {3, 1, {"a", "c"}, 1},
        {3, 2, {"a", "b"}, 1}, // the last: the new last is selected
        {1, 0, {}, -1},        // the only one
    };
    for (const Case &c : cases) {
        dialog->Button5Click();
        for (int i = 0; i < c.rows; ++i)
            dialog->AddEntry(QByteArray(1, char('a' + i)) + "-name", QByteArray(1, char('a' + i)));
        dialog->AddListBox->setCurrentRow(c.deleted);
        dialog->Button2Click();
        EXPECT_EQ(listedIds(), c.left) << c.rows << "/" << c.deleted;
        EXPECT_EQ(dialog->AddListBox->count(), c.left.size());
        const QListWidgetItem *current = dialog->AddListBox->currentItem();
        EXPECT_EQ(current && current->isSelected() ? dialog->AddListBox->currentRow() : -1, c.selectedAfter);
    }
    EXPECT_EQ(fixture.beeps, 0);
    dialog->AddListBox->clearSelection();
    dialog->AddListBox->setCurrentRow(-1);
    dialog->Button2Click();
    EXPECT_EQ(fixture.beeps, 1) << "nothing selected";
}

TEST_F(RoomDialog, ButtonsFollowTheSelections)
{
    open();
    members.select(members.member("u04"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->Button1->isEnabled(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Button2->isEnabled(); }));
    dialog->Button1Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Button1->isEnabled(); })); // listed now
    dialog->AddListBox->setCurrentRow(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->Button2->isEnabled(); }));
    members.select(members.group);
    dialog->Button5Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Button2->isEnabled(); }));
    EXPECT_FALSE(dialog->Button1->isEnabled());
    EXPECT_TRUE(dialog->Button3->isEnabled());
    EXPECT_TRUE(dialog->Button5->isEnabled());
}

TEST_F(RoomDialog, CreatingSendsOneMrmWithEveryFieldClosed)
{
    open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("会議室作成"));
    EXPECT_EQ(dialog->Button3->text(), QStringLiteral("作成実行(&A)"));
    EXPECT_FALSE(dialog->Edit1->isReadOnly());
    dialog->AddEntry(Sjis(u"鈴木"), "u02");
    dialog->AddEntry(Sjis(u"田中"), "u04");
    dialog->Button3Click();
    EXPECT_EQ(sender.frames,
              QByteArrayList{"MRM\t0\t" + Sjis(u"会議") + "\t" + Sjis(u"参加してください。") + "\tu02,u04,\t"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }));
}

TEST_F(RoomDialog, EmptyFieldsAreSentAsTheyAre)
{
    open();
    dialog->Edit1->clear();
    dialog->Edit2->clear();
    dialog->Button3Click();
    EXPECT_EQ(sender.frames, QByteArrayList{"MRM\t0\t\t\t\t"});
}

TEST_F(RoomDialog, InvitingUsesTheRoomAndKeepsItsName)
{
    open("-15");
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("招待"));
    EXPECT_EQ(dialog->Button3->text(), QStringLiteral("招待実行(&A)"));
    EXPECT_TRUE(dialog->Edit1->isReadOnly());
    EXPECT_EQ(dialog->focusWidget(), dialog->Edit2);
    dialog->AddEntry("x", "u09");
    dialog->Button3Click();
    EXPECT_EQ(sender.frames,
              QByteArrayList{"MRM\t-15\t" + Sjis(u"会議") + "\t" + Sjis(u"参加してください。") + "\tu09,\t"});
}

TEST_F(RoomDialog, CancelSendsNothing)
{
    open();
    dialog->AddEntry("x", "u09");
    dialog->Button4Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }));
    EXPECT_TRUE(sender.frames.isEmpty());
}

TEST_F(RoomDialog, NamesAreCutTo50BytesWithoutSplittingACharacter)
{
    open();
    // 49 bytes, then a two-byte character whose first byte is byte 50.
    const QString tooLong = QString(24, u'あ') + QStringLiteral("x") + QStringLiteral("い");
    for (QLineEdit *box : {dialog->Edit1, dialog->Edit2}) {
        box->setText(tooLong);
        EXPECT_EQ(FromWidgetText(box->text()).size(), 49);
        EXPECT_EQ(box->text(), QString(24, u'あ') + QStringLiteral("x"));
    }
    // A TAB or a line break typed in the middle goes, the caret stays put.
    dialog->Edit1->setText(QStringLiteral("abcd"));
    dialog->Edit1->setCursorPosition(2);
    dialog->Edit1->insert(QStringLiteral("\t"));
    EXPECT_EQ(dialog->Edit1->text(), QStringLiteral("abcd"));
    EXPECT_EQ(dialog->Edit1->cursorPosition(), 3);
    dialog->Edit2->setText(QStringLiteral("x\ny"));
    EXPECT_EQ(FromWidgetText(dialog->Edit2->text()), "xy");
}

TEST_F(RoomDialog, LayoutKeepsItsWidth)
{
    open();
    EXPECT_EQ(dialog->minimumWidth(), 377);
    EXPECT_EQ(dialog->maximumWidth(), 377);
    EXPECT_GE(dialog->height(), 261);
    EXPECT_EQ(dialog->Label4->palette().color(QPalette::WindowText), QColor(Qt::darkBlue));
}

} // namespace
