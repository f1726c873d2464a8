// A meeting room's whole course through the real server: made with a
// colleague invited, joined, talked and typed in, and left by each side.
#include "ClientFixture.h"
#include "ServerFixture.h"
#include "main/Tmfrm.h"
#include "main/members/MemberItem.h"
#include "meetings/TfrmCRM.h"
#include "meetings/TfrmJoin.h"
#include "meetings/TfrmMeet.h"
#include "platform/WidgetText.h"
#include "server/peer/DemoPeer.h"
#include "wire/FrameText.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

using Fields = QByteArrayList;

namespace {

auto Sub(const QByteArray &subCode, const QByteArray &field3 = {})
{
    return [=](const Fields &f) { return f.value(2) == subCode && (field3.isEmpty() || f.value(3) == field3); };
}

class RoomCourse : public ServerFixture {
protected:
    void startClient()
    {
        client.writeUserIni(clientUserIni("u01"));
        mfrm = std::make_unique<Tmfrm>();
    }
    bool online(const QByteArray &id)
    {
        return QTest::qWaitFor(
            [&] {
                const auto nodes = mfrm->FindMember(id);
                return !nodes.isEmpty() && nodes.first()->node.State == 3;
            },
            TestClient::WaitMs);
    }
    TfrmMeet *openRoom()
    {
        if (!QTest::qWaitFor([&] { return mfrm->RoomTable.size() == 1; }, TestClient::WaitMs))
            return nullptr;
        return qobject_cast<TfrmMeet *>(mfrm->RoomTable.rows().first().window.data());
    }
    static QString lastLine(TfrmMeet *room) { return room->msgout->document()->lastBlock().text(); }
    bool lastLineIs(TfrmMeet *room, const QString &line)
    {
        return QTest::qWaitFor([&] { return lastLine(room) == line; }, TestClient::WaitMs);
    }

    ClientFixture client;
    std::unique_ptr<Tmfrm> mfrm;
};

TEST_F(RoomCourse, CreatedJoinedTalkedInAndLeft)
{
    auto colleague = logOn("u02");
    startClient();
    ASSERT_TRUE(online("u02"));

    auto *create = new TfrmCRM(mfrm.get(), mfrm->ftree, *mfrm, "0");
    create->Edit1->setText(QStringLiteral("定例会議"));
    create->AddEntry(SampleName("u02"), "u02");
    create->Button3Click();

    TfrmMeet *room = openRoom();
    ASSERT_TRUE(room);
    const QByteArray roomId = QByteArray::number(room->RoomId);
    EXPECT_EQ(room->windowTitle(), QStringLiteral("定例会議"));
    const auto invitation = colleague->take("MRJ");
    ASSERT_TRUE(invitation);
    EXPECT_EQ(*invitation, (Fields{"MRJ", roomId, Sjis(u"定例会議"), SampleName("u01"), Sjis(u"参加してください。")}));

    colleague->send(MakeFrame({"MRJ", roomId, "0", "JOIN"}, TrailingTab::Yes));
    EXPECT_TRUE(colleague->take("MRM"));
    EXPECT_TRUE(colleague->take("MRD", Sub("ADM", "u01")));
    EXPECT_TRUE(colleague->take("MRD", Sub("ADM", "u02")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return room->Member("u02") != nullptr; }, TestClient::WaitMs));
    EXPECT_EQ(room->Member("u01")->displayName(), SampleName("u01"));
    EXPECT_EQ(room->Member("u02")->displayName(), SampleName("u02"));
    EXPECT_EQ(room->Member("u02")->typingState(), "F");

    // The client types and says a line; both see it, and the typing notices.
    room->msginp->setFocus();
    QTest::keyClicks(room->msginp, QStringLiteral("hello"));
    EXPECT_EQ(colleague->take("MRD", Sub("CHI", "u01")).value_or(Fields{}).value(4), "N");
    QTest::keyClick(room->msginp, Qt::Key_Return);
    const auto said = colleague->take("MRD", Sub("CHA"));
    ASSERT_TRUE(said);
    EXPECT_EQ(said->value(6), "hello");
    EXPECT_EQ(colleague->take("MRD", Sub("CHI", "u01")).value_or(Fields{}).value(4), "F");
    EXPECT_TRUE(lastLineIs(room, "[" + ToWidgetText(said->value(3)) + "]" + ToWidgetText(SampleName("u01")) +
                                     " >>> hello"));

    // The colleague types and answers.
    colleague->send(MakeFrame({"MRI", roomId, "N"}, TrailingTab::Yes));
    EXPECT_TRUE(QTest::qWaitFor([&] { return room->Member("u02")->typingState() == "N"; }, TestClient::WaitMs));
    colleague->send(MakeFrame({"MRC", roomId, Sjis(u"了解です")}, TrailingTab::Yes));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return lastLine(room).endsWith(ToWidgetText(SampleName("u02")) + QStringLiteral(" >>> 了解です")); },
        TestClient::WaitMs));

    // The colleague leaves; the client sees the member go.
    colleague->send(MakeFrame({"MRE", roomId}, TrailingTab::Yes));
    EXPECT_TRUE(QTest::qWaitFor([&] { return room->Member("u02") == nullptr; }, TestClient::WaitMs));
    EXPECT_TRUE(room->Member("u01"));

    // And the client leaves: the row goes, and the server forgets the room.
    room->X1Click();
    EXPECT_EQ(mfrm->RoomTable.size(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server().roomCount() == 0; }, TestClient::WaitMs));
    EXPECT_TRUE(client.errors.isEmpty()) << client.errors.join('\n').toStdString();
    EXPECT_TRUE(client.messages.isEmpty()) << client.messages.join('\n').toStdString();
}

TEST_F(RoomCourse, InvitedTheClientJoinsThroughItsDialog)
{
    auto colleague = logOn("u02");
    startClient();
    ASSERT_TRUE(online("u02"));
    colleague->send(MakeFrame({"MRM", "0", Sjis(u"打合せ"), Sjis(u"どうぞ"), "u01,"}, TrailingTab::Yes));
    const auto made = colleague->take("MRM");
    ASSERT_TRUE(made);

    TfrmJoin *join = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *dialog = qobject_cast<TfrmJoin *>(w); dialog && dialog->isVisible())
                    join = dialog;
            return join != nullptr;
        },
        TestClient::WaitMs));
    EXPECT_EQ(client.beeps, 1);
    EXPECT_EQ(QByteArray::number(join->RoomId), made->value(1));
    EXPECT_EQ(join->rowner->text(), ToWidgetText(SampleName("u02")));
    join->Button1Click();

    TfrmMeet *room = openRoom();
    ASSERT_TRUE(room);
    EXPECT_EQ(room->windowTitle(), QStringLiteral("打合せ"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return room->Member("u01") && room->Member("u02"); }, TestClient::WaitMs));
    EXPECT_TRUE(colleague->take("MRD", Sub("ADM", "u01")));
}

TEST_F(RoomCourse, TheDemoColleagueJoinsGreetsAndAnswers)
{
    auto user = logOn("u01");
    DemoPeer demo(QStringLiteral("127.0.0.1"), server().port(), "u02", SamplePassword("u02"), 0);
    demo.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server().isOnline("u02"); }, TestClient::WaitMs));

    user->send(MakeFrame({"MRM", "0", "demo", "come", "u02,"}, TrailingTab::Yes));
    const auto made = user->take("MRM");
    ASSERT_TRUE(made);
    const QByteArray roomId = made->value(1);
    EXPECT_TRUE(user->take("MRD", Sub("ADM", "u02")));
    const auto greeting = user->take("MRD", Sub("CHA"));
    ASSERT_TRUE(greeting);
    EXPECT_EQ(greeting->value(4), "u02");
    EXPECT_EQ(greeting->value(6), Sjis(u"よろしくお願いします。"));

    user->send(MakeFrame({"MRC", roomId, "ping"}, TrailingTab::Yes));
    const auto answer = user->take("MRD", [](const Fields &f) { return f.value(2) == "CHA" && f.value(4) == "u02"; });
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->value(6), Sjis(u"「ping」を受け取りました。"));
}

} // namespace
