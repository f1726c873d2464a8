// Conversations as the user meets them: opened from the tree or by a message,
// typing notices both ways, the exact frames sent, and bad frames.
#include "../memberlist/MemberListFixture.h"
#include "main/Session.h"
#include "meetings/TfrmCRM.h"
#include "messaging/TAbsenceFrm.h"
#include "messaging/TfrmMsg.h"
#include "platform/TranscriptBox.h"
#include "platform/WidgetText.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

namespace {

QByteArray Sjis(const QString &text)
{
    return FromWidgetText(text);
}

class Conversation : public MemberListTest {
protected:
    void SetUp() override
    {
        MemberListTest::SetUp();
        OwnDisplayName = Sjis(QStringLiteral("佐藤 花子"));
        loadList({Lsetd("G", 0, "g1", Sjis(QStringLiteral("営業部"))),
                  Lsetd("U", 1, "u02", Sjis(QStringLiteral("鈴木 一郎")), "suzuki@example.com"),
                  Lsetd("U", 1, "u03", "Tanaka"), Lsetd("U", 1, "u04", "NoMail"),
                  Lsetd("G", 0, "g2", "Other"), Lsetd("U", 1, "u02", "Suzuki again")});
        receive("UADD\t7\tu02\t3\t\r\n"
                "UADD\t8\tu04\t3\t\r\n");
        markSent();
    }
    TfrmMsg *conversation(const QByteArray &id) { return qobject_cast<TfrmMsg *>(node(id)->node.Window.data()); }
    TfrmMsg *open(const QByteArray &id)
    {
        mfrm->OpenConversation(node(id));
        return conversation(id);
    }
    // A double click as the tree sees it: the pointer moves there first.
    void doubleClick(MemberItem *item)
    {
        mfrm->ftree->expandAll();
        const QPoint at = mfrm->ftree->visualItemRect(item).center();
        QTest::mouseMove(mfrm->ftree->viewport(), at);
        mfrm->ftreeMouseMove(at.x(), at.y());
        QTest::mouseDClick(mfrm->ftree->viewport(), Qt::LeftButton, {}, at);
    }
    static QString lastLine(TfrmMsg *window)
    {
        return window->msgout->document()->lastBlock().text();
    }
};

TEST_F(Conversation, TypingNoticesFollowTheInputOnlyOnceTheTranscriptHasALine)
{
    TfrmMsg *window = open("u02");
    QTest::keyClicks(window->msginp, "ab");
    EXPECT_TRUE(window->Typing) << "Typing follows the box while nothing is sent";
    QTest::keyClick(window->msginp, Qt::Key_Return);
    EXPECT_FALSE(window->Typing);
    EXPECT_EQ(sentBeforeProbe(), (QByteArrayList{"MSG\t7\tu02\tab\t"})) << "no MSI before the first line";

    receive("MSG\tu02\tu01\tab\t12:00\t\r\n"); // the server's copy
    QTest::keyClicks(window->msginp, "xyz");
    QTest::keyClick(window->msginp, Qt::Key_Backspace);
    QTest::keyClick(window->msginp, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(window->msginp, Qt::Key_Return); // an empty box sends nothing
    QTest::keyClicks(window->msginp, "q");
    window->sendbtn->click();
    EXPECT_EQ(sentBeforeProbe(), (QByteArrayList{"MSI\t7\tu02\tN\t", "MSG\t7\tu02\txy\t", "MSI\t7\tu02\tF\t",
                                                 "MSI\t7\tu02\tN\t", "MSG\t7\tu02\tq\t", "MSI\t7\tu02\tF\t"}));
    EXPECT_TRUE(window->msginp->document()->isEmpty());
}

TEST_F(Conversation, AMemberNeverSeenOnlineGetsMessagesButNoTypingNotices)
{
    TfrmMsg *window = open("u03");
    receive("MSG\tu03\tu03\thi\t12:00\t\r\n");
    QTest::keyClicks(window->msginp, "yo");
    QTest::keyClick(window->msginp, Qt::Key_Enter);
    EXPECT_EQ(sentBeforeProbe(), (QByteArrayList{"MSG\t-1\tu03\tyo\t"}));
}

TEST_F(Conversation, IncomingMessageOpensTheFirstNodesWindowExpandedUnderTheRightName)
{
    receive("MSG\tu02\tu02\t" + Sjis(QStringLiteral("こんにちは")) + "\t2026/12/10 10:00\t\r\n");
    TfrmMsg *window = conversation("u02");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(node("u02", 1)->node.Window, nullptr) << "the first node in tree order holds it";
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Panel1->isHidden());
    EXPECT_EQ(window->height(), 280);
    EXPECT_EQ(window->Panel2->height(), 120);
    EXPECT_EQ(window->tolabel->text(), QStringLiteral("宛先：鈴木 一郎"));
    EXPECT_EQ(lastLine(window), QStringLiteral("[2026/12/10 10:00]鈴木 一郎 >>> こんにちは"));

    receive("MSG\tu02\tu01\t<b>mine</b>\t10:01\t\r\n"
            "MSG\tnobody\tnobody\tdropped\t10:02\t\r\n");
    EXPECT_EQ(lastLine(window), QStringLiteral("[10:01]佐藤 花子 >>> <b>mine</b>")) << "plain text, own name";
    EXPECT_EQ(window->msgout->document()->blockCount(), 2);
    EXPECT_TRUE(fixture.errors.isEmpty());
}

// A window opened low on the screen moves up as it grows, so that its input
// and buttons stay in view.
TEST_F(Conversation, AWindowThatGrowsNearTheBottomOfTheScreenStaysOnIt)
{
    TfrmMsg *window = open("u03");
    ASSERT_NE(window, nullptr);
    const QRect free = window->screen()->availableGeometry();
    window->move(free.left() + 10, free.bottom() - window->frameGeometry().height() - 5);
    receive("MSG\tu03\tu03\thi\t12:00\t\r\n");
    ASSERT_EQ(window->height(), 280);
    EXPECT_TRUE(free.contains(window->frameGeometry()))
        << window->frameGeometry().bottom() << " past " << free.bottom();
    EXPECT_EQ(window->frameGeometry().left(), free.left() + 10) << "only moved up";
}

TEST_F(Conversation, NewestLineIsScrolledIntoView)
{
    QByteArray frames;
    for (int i = 0; i < 60; ++i)
        frames += "MSG\tu02\tu02\tline " + QByteArray::number(i) + "\t1\t\r\n";
    receive(frames);
    const QScrollBar *bar = conversation("u02")->msgout->verticalScrollBar();
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
}

TEST_F(Conversation, PeerTypingShowsOnlyInAnOpenWindow)
{
    receive("MSI\tu02\tN\t\r\n");
    EXPECT_EQ(conversation("u02"), nullptr) << "MSI never opens a window";

    TfrmMsg *window = open("u02");
    receive("MSI\tu02\tN\t\r\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->MsgStatusPanel->text() == QStringLiteral("****相手が応答中です****"); }));
    receive("MSI\tu02\tX\t\r\n"
            "MSG\tu02\tu02\tstill typing\t1\t\r\n");
    EXPECT_EQ(window->PeerTyping, 1) << "other states and messages leave it";
    receive("MSI\tu02\tF\t\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->MsgStatusPanel->text().isEmpty(); }));
}

TEST_F(Conversation, DoubleClickOpensAConversationOrAnAbsenceMessage)
{
    doubleClick(node("g1"));
    EXPECT_EQ(node("g1")->node.Window, nullptr);

    doubleClick(node("u02"));
    TfrmMsg *window = conversation("u02");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Panel1->isHidden()) << "opened compact";
    EXPECT_EQ(window->height(), 180);
    doubleClick(node("u02"));
    EXPECT_EQ(conversation("u02"), window) << "the open window is shown again";

    receive("UDEL\t7\tu02\t\r\n");
    doubleClick(node("u02", 1)); // offline, and another node of the same member
    const auto composers = QApplication::topLevelWidgets();
    const auto absence = std::find_if(composers.begin(), composers.end(),
                                      [](QWidget *w) { return qobject_cast<TAbsenceFrm *>(w); });
    ASSERT_NE(absence, composers.end());
    EXPECT_EQ(node("u02", 1)->node.Window, nullptr) << "an absence message is kept nowhere";
    EXPECT_EQ(static_cast<TAbsenceFrm *>(*absence)->tolabel->text(), QStringLiteral("宛先：Suzuki again"));
    (*absence)->close();
}

TEST_F(Conversation, AbsenceMessageIsCleanedSentAsAmsAndCloses)
{
    TAbsenceFrm *window = new TAbsenceFrm(mfrm.get(), *node("u03"), *mfrm);
    window->show();
    QPointer<TAbsenceFrm> alive(window);
    QTest::keyClick(window->msginp, Qt::Key_Return); // empty: nothing, stays open
    window->msginp->insertPlainText(QStringLiteral("two\tfields\nand a line"));
    QTest::keyClick(window->msginp, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(sentBeforeProbe(), (QByteArrayList{"AMS\tu03\ttwofieldsand a line\t"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }));
}

TEST_F(Conversation, MailCommandBeepsUnlessAMemberHasAnAddress)
{
    const struct {
        QByteArray id;
        int beeps;
        QList<QUrl> opened;
    } cases[] = {{"g1", 1, {}}, {"u04", 1, {}}, {"u02", 0, {QUrl("mailto:suzuki@example.com")}}};
    mfrm->ftree->expandAll();
    for (const auto &c : cases) {
        fixture.beeps = 0;
        fixture.opened.clear();
        MemberItem *item = node(c.id);
        mfrm->ftree->setCurrentItem(item);
        const QPoint at = mfrm->ftree->visualItemRect(item).center();
        mfrm->ftreeMouseMove(at.x(), at.y());
        mfrm->N12Click();
        EXPECT_EQ(fixture.beeps, c.beeps) << c.id.constData();
        EXPECT_EQ(fixture.opened, c.opened) << c.id.constData();
    }
}

TEST_F(Conversation, EnterThatConfirmsAnInputMethodConversionDoesNotSend)
{
    TfrmMsg *window = open("u02");
    window->msginp->setFocus();
    QInputMethodEvent preedit(QStringLiteral("にほんご"), {});
    QApplication::sendEvent(window->msginp, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本語"));
    QApplication::sendEvent(window->msginp, &commit);
    EXPECT_EQ(window->msginp->toPlainText(), QStringLiteral("日本語"));
    EXPECT_TRUE(sentBeforeProbe().isEmpty());
    QTest::keyClick(window->msginp, Qt::Key_Return);
    EXPECT_EQ(sentBeforeProbe(), (QByteArrayList{"MSG\t7\tu02\t" + Sjis(QStringLiteral("日本語")) + "\t"}));
}

TEST_F(Conversation, InputIsCutTo1024BytesWithoutSplittingACharacter)
{
    TfrmMsg *window = open("u02");
    // 1023 ASCII bytes, then a two-byte character across the limit.
    window->msginp->insertPlainText(QString(1023, QLatin1Char('a')) + QStringLiteral("漢\r\nrest"));
    EXPECT_EQ(Sjis(window->msginp->toPlainText()), QByteArray(1023, 'a'));
    window->msginp->setPlainText(QStringLiteral("a\tb\r\nc"));
    EXPECT_EQ(window->msginp->toPlainText(), QStringLiteral("abc"));
}

TEST_F(Conversation, ShortFramesFailBeforeChangingAnythingAndTheNextIsHandled)
{
    receive("MSG\tu02\tu02\tno stamp\r\n"
            "MSI\tu02\r\n"
            "AMS\ta\tb\tc\r\n"
            "MSG\tu03\tu03\tfine\t1\t\r\n");
    // The drain goes on at its next ticks.
    ASSERT_TRUE(QTest::qWaitFor([&] { return conversation("u03") != nullptr; }));
    EXPECT_EQ(fixture.errors.size(), 3);
    EXPECT_EQ(conversation("u02"), nullptr);
    EXPECT_TRUE(mfrm->AbsenceQueue.isEmpty());
}

TEST_F(Conversation, AHugeLineIsShownCutAndTheWindowStaysUsable)
{
    QElapsedTimer timer;
    timer.start();
    receive("MSG\tu02\tu02\t" + QByteArray(FrameCutter::MaxFrameBytes - 64, 'x') + "\t1\t\r\n");
    TfrmMsg *window = conversation("u02");
    ASSERT_NE(window, nullptr);
    EXPECT_LT(lastLine(window).size(), TranscriptLineShown + 20);
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(Conversation, NewListClosesConversationsAndClosingSendsNothing)
{
    QPointer<TfrmMsg> first = open("u02");
    QPointer<TfrmMsg> second = open("u03");
    first->closebtn->click();
    EXPECT_EQ(node("u02")->node.Window, nullptr);
    loadList({Lsetd("U", 0, "u02", "x")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull() && second.isNull(); }));
    EXPECT_TRUE(sentBeforeProbe().isEmpty());
}

} // namespace

namespace {

// Each window has its own task-bar entry (no parent, so no transient), yet
// goes with the main window at the program's end without running its close.
TEST_F(Conversation, WindowsAreTopLevelOfTheirOwnAndGoWithTheMainWindow)
{
    QPointer<TfrmMsg> conversation = open("u02");
    QPointer<TAbsenceFrm> absence = new TAbsenceFrm(mfrm.get(), *node("u03"), *mfrm);
    for (QWidget *window : {static_cast<QWidget *>(conversation), static_cast<QWidget *>(absence)}) {
        EXPECT_EQ(window->parentWidget(), nullptr);
        EXPECT_TRUE(window->isWindow());
        EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
    }
    mfrm.reset();
    EXPECT_TRUE(conversation.isNull());
    EXPECT_TRUE(absence.isNull());
}

} // namespace

namespace {

// "会議(&I)": a room-creation dialog of its own, with the partner listed once.
TEST_F(Conversation, InviteOpensARoomDialogWithThePartnerListed)
{
    QPointer<TfrmMsg> window = open("u02");
    window->InviteBtn->click();
    QList<TfrmCRM *> open;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<TfrmCRM *>(w))
            open.append(dialog);
    ASSERT_EQ(open.size(), 1);
    QPointer<TfrmCRM> dialog = open.first();
    EXPECT_EQ(dialog->RoomIdText, "0");
    ASSERT_EQ(dialog->Invitees().size(), 1);
    dialog->AddEntry("Suzuki again", "u02");
    EXPECT_EQ(dialog->Invitees().size(), 1) << "the partner cannot be added twice";
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); })); // it goes with its conversation
}

} // namespace
