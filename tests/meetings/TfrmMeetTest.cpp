// The room window on its own: its members, its transcript, what it sends
// while the user types, and leaving the room.
#include "ClientFixture.h"
#include "FrameRecorder.h"
#include "meetings/Attention.h"
#include "meetings/RoomRegistry.h"
#include "meetings/TfrmCRM.h"
#include "meetings/TfrmMeet.h"
#include "platform/WidgetText.h"
#include "wire/Cp932.h"
#include "wire/FieldList.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QByteArray Sjis(const QString &text)
{
    return cp932::FromUnicode(text);
}

class RoomWindow : public testing::Test {
protected:
    void SetUp() override
    {
        room = new TfrmMeet(&owner, sender, rooms, &tree);
        room->RoomId = 42;
        room->RoomName = Sjis(QStringLiteral("定例会議"));
        rooms.append("42", room);
    }
    void TearDown() override { delete room.data(); }

    // One sub-frame as ProcMRD hands it on, fields given one by one.
    void sub(const QByteArrayList &fields) { room->ProcRoomFrame(FieldList(fields)); }
    QByteArrayList memberIds() const
    {
        QByteArrayList ids;
        for (int i = 0; i < room->MemberList->count(); ++i)
            ids.append(FromWidgetText(room->MemberList->item(i)->text()));
        return ids;
    }
    QString transcript() const { return room->msgout->toPlainText(); }

    ClientFixture fixture;
    QWidget owner;
    QTreeWidget tree;
    FrameRecorder sender;
    RoomRegistry rooms;
    QPointer<TfrmMeet> room;
};

TEST_F(RoomWindow, CaptionIsTheRoomNameOnceShown)
{
    EXPECT_EQ(room->windowTitle(), QStringLiteral("会議室"));
    room->show();
    EXPECT_EQ(room->windowTitle(), QStringLiteral("定例会議"));
    EXPECT_TRUE(room->isWindow());
    EXPECT_EQ(room->size(), QSize(503, 405));
}

TEST_F(RoomWindow, MembersComeAndGoByIdWhateverTheLetterCase)
{
    struct Step {
        QByteArrayList subFrame;
        QByteArrayList idsAfter;
    };
    const Step steps[] = {
        {{"ADM", "Suzuki", "Suzuki Ichiro"}, {"Suzuki"}},
        {{"ADM", "sato", "Sato", "N"}, {"Suzuki", "sato"}},
        {{"ADM", "SUZUKI", "another name"}, {"Suzuki", "sato"}}, // listed already: unchanged
        {{"ADM", "tanaka"}, {"Suzuki", "sato"}},                 // no display name: ignored
        {{"CHI", "SATO", "F"}, {"Suzuki", "sato"}},
        {{"CHI", "nobody", "N"}, {"Suzuki", "sato"}},
        {{"DLM", "nobody"}, {"Suzuki", "sato"}},
        {{"ADM", "tanaka", "Tanaka"}, {"Suzuki", "sato", "tanaka"}},
        {{"DLM", "suzuki"}, {"sato", "tanaka"}},
        {{"ADM", "suzuki", "Suzuki again"}, {"sato", "tanaka", "suzuki"}}, // comes back at the end
    };
    for (const Step &step : steps) {
        sub(step.subFrame);
        EXPECT_EQ(memberIds(), step.idsAfter) << step.subFrame.join(' ').constData();
    }
    ASSERT_TRUE(room->Member("Sato"));
    EXPECT_EQ(room->Member("Sato")->fields, (QByteArrayList{"sato", "Sato", "F", "F"}));
    EXPECT_EQ(room->Member("suzuki")->displayName(), "Suzuki again");
    sub({"CHI", "TANAKA", "X"});
    EXPECT_EQ(room->Member("tanaka")->typingState(), "X");
}

TEST_F(RoomWindow, ChatAndSystemLinesAppendInOrder)
{
    ScopedAttentionHook noAttention([](QWidget *) {});
    sub({"CHA", "10:15:00", "u02", Sjis(QStringLiteral("鈴木")), Sjis(QStringLiteral("こんにちは"))});
    sub({"SYS", Sjis(QStringLiteral("佐藤さんが入室しました"))});
    sub({"CHA", "", "u03", "Sato", "a"}); // an empty stamp gives an empty pair of brackets
    EXPECT_EQ(transcript(), QStringLiteral("[10:15:00]鈴木 >>> こんにちは\n佐藤さんが入室しました\n[]Sato >>> a"));
    sub({"CHA", "1", "u03", "<b>Sato</b>", "<i>x</i>"});
    EXPECT_TRUE(transcript().endsWith(QStringLiteral("[1]<b>Sato</b> >>> <i>x</i>"))) << "shown as plain text";
}

TEST_F(RoomWindow, AHugeLineIsShownCutAndTheNextOneStillArrives)
{
    sub({"SYS", QByteArray(4 * 1024 * 1024, 'x')});
    sub({"SYS", "next"});
    const QStringList lines = transcript().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_LT(lines[0].size(), 20000);
    EXPECT_EQ(lines[1], QStringLiteral("next"));
}

TEST_F(RoomWindow, AChatLineInAWindowNotLookedAtAsksForAttention)
{
    QList<QWidget *> asked;
    ScopedAttentionHook record([&](QWidget *w) { asked.append(w); });
    room->show();
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    sub({"SYS", "a system line asks for nothing"});
    sub({"CHA", "1", "u02", "n", "t"});
    EXPECT_EQ(asked, QList<QWidget *>{room.data()});

    room->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(room));
    sub({"CHA", "1", "u02", "n", "t"});
    EXPECT_EQ(asked.size(), 1) << "the user is looking at it";
}

TEST_F(RoomWindow, ShortSubFramesFailAndUnknownOnesAreIgnored)
{
    for (const QByteArrayList &bad : {QByteArrayList{"DLM"}, QByteArrayList{"CHI", "u01"},
                                      QByteArrayList{"CHA", "1", "u01", "name"}, QByteArrayList{"SYS"}})
        EXPECT_THROW(sub(bad), FrameError) << bad.join(' ').constData();
    EXPECT_NO_THROW(sub({"XYZ"}));
    EXPECT_NO_THROW(sub({"adm", "u01", "lower-case code"}));
    EXPECT_TRUE(memberIds().isEmpty());
    EXPECT_TRUE(transcript().isEmpty());
}

class Typing : public RoomWindow {
protected:
    void SetUp() override
    {
        RoomWindow::SetUp();
        room->show();
        room->msginp->setFocus();
    }
    void type(const QString &text) { QTest::keyClicks(room->msginp, text); }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(room->msginp, k, modifiers); }
};

TEST_F(Typing, NoticesGoOutOnKeyReleaseWhenTheStateChanges)
{
    type(QStringLiteral("a"));
    EXPECT_EQ(sender.frames, QByteArrayList{"MRI\t42\tN\t"});
    type(QStringLiteral("bc"));
    EXPECT_EQ(sender.frames.size(), 1) << "further characters send nothing";
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    EXPECT_EQ(sender.frames.size(), 1);
    key(Qt::Key_Backspace);
    EXPECT_EQ(sender.frames, (QByteArrayList{"MRI\t42\tN\t", "MRI\t42\tF\t"}));
    EXPECT_FALSE(room->Typing);
}

TEST_F(Typing, EnterSendsTheLineWithAnyModifier)
{
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::NoModifier),
                                            Qt::KeyboardModifiers(Qt::ShiftModifier),
                                            Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)}) {
        sender.frames.clear();
        type(QStringLiteral("hi"));
        key(Qt::Key_Return, modifiers);
        EXPECT_EQ(sender.frames, (QByteArrayList{"MRI\t42\tN\t", "MRC\t42\thi\t", "MRI\t42\tF\t"}));
        EXPECT_TRUE(room->msginp->text().isEmpty());
    }
    sender.frames.clear();
    key(Qt::Key_Enter);
    EXPECT_TRUE(sender.frames.isEmpty()) << "an empty line sends nothing, not even a notice";
    EXPECT_TRUE(transcript().isEmpty()) << "the own line shows only when the server sends it back";
}

TEST_F(Typing, TheSendButtonLeavesTheNoticeComposing)
{
    type(QStringLiteral("hi"));
    room->Button1Click();
    EXPECT_EQ(sender.frames, (QByteArrayList{"MRI\t42\tN\t", "MRC\t42\thi\t"}));
    EXPECT_TRUE(room->Typing);
    EXPECT_TRUE(room->msginp->text().isEmpty());
    key(Qt::Key_Shift); // any key released with the box empty
    EXPECT_EQ(sender.frames.last(), "MRI\t42\tF\t");
}

TEST_F(Typing, EnterThatConfirmsAConversionDoesNotSend)
{
    QInputMethodEvent composing(QStringLiteral("かいぎ"), {});
    QCoreApplication::sendEvent(room->msginp, &composing);
    key(Qt::Key_Return); // as an input method that lets the key through would
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("会議"));
    QCoreApplication::sendEvent(room->msginp, &commit);
    EXPECT_EQ(room->msginp->text(), QStringLiteral("会議"));
    EXPECT_FALSE(sender.frames.contains("MRC\t42\t" + Sjis(QStringLiteral("会議")) + "\t"));
    key(Qt::Key_Return);
    EXPECT_TRUE(sender.frames.contains("MRC\t42\t" + Sjis(QStringLiteral("会議")) + "\t"));
}

TEST_F(Typing, PastedTextIsCutTo1024Bytes)
{
    room->msginp->insert(QString(2000, QLatin1Char('x')));
    EXPECT_EQ(room->msginp->text(), QString(1024, QLatin1Char('x')));

    // 1023 bytes, then a two-byte character whose first byte is byte 1024.
    room->msginp->clear();
    room->msginp->insert(QString(1023, QLatin1Char('y')) + QStringLiteral("あいう"));
    EXPECT_EQ(room->msginp->text(), QString(1023, QLatin1Char('y')));

    room->msginp->clear();
    room->msginp->insert(QStringLiteral("a\tb\r\nc\nd") + QString(2000, QLatin1Char('z')));
    const QByteArray kept = FromWidgetText(room->msginp->text());
    EXPECT_TRUE(kept.startsWith("abcd")) << "TABs and line breaks go";
    EXPECT_EQ(kept.size(), 1024 - 5); // a TAB and two CR LF pairs were among the first 1024
}

TEST_F(RoomWindow, ClosingLeavesTheRoomOnceAndTakesTheInvitationAlong)
{
    room->show();
    room->OpenInvite();
    QPointer<TfrmCRM> invite;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<TfrmCRM *>(w))
            invite = dialog;
    ASSERT_TRUE(invite);
    EXPECT_EQ(invite->RoomIdText, "42");
    EXPECT_EQ(invite->Edit1->text(), QStringLiteral("定例会議"));
    EXPECT_TRUE(invite->Edit1->isReadOnly());
    EXPECT_EQ(invite->windowTitle(), QStringLiteral("招待"));

    room->X1Click();
    room->close(); // a second road changes nothing
    EXPECT_EQ(sender.frames, QByteArrayList{"MRE\t42\t"});
    EXPECT_EQ(rooms.find("42"), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return room.isNull(); }));
    EXPECT_TRUE(invite.isNull());
}

TEST_F(RoomWindow, DestroyedWithoutClosingItSendsNothing)
{
    room->show();
    delete room.data();
    EXPECT_TRUE(sender.frames.isEmpty());
}

} // namespace
