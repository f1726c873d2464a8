// One conversation through the real server: the client sends, its copy comes
// back into the transcript, the colleague answers, typing shows both ways.
#include "ClientFixture.h"
#include "ServerFixture.h"
#include "main/Session.h"
#include "main/Tmfrm.h"
#include "main/members/MemberItem.h"
#include "messaging/TfrmMsg.h"
#include "platform/WidgetText.h"
#include "wire/FrameText.h"

#include <QLabel>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeWidget>

using Fields = QByteArrayList;

namespace {

class ConversationAgainstServer : public ServerFixture {
protected:
    void startClient()
    {
        client.writeUserIni(clientUserIni("u01"));
        mfrm = std::make_unique<Tmfrm>();
    }
    MemberItem *member(const QByteArray &id)
    {
        const auto nodes = mfrm->FindMember(id);
        return nodes.isEmpty() ? nullptr : nodes.first();
    }
    static QString lastLine(TfrmMsg *window) { return window->msgout->document()->lastBlock().text(); }

    ClientFixture client;
    std::unique_ptr<Tmfrm> mfrm;
};

TEST_F(ConversationAgainstServer, MessageCopyAnswerAndTyping)
{
    auto colleague = logOn("u02");
    startClient();
    ASSERT_TRUE(QTest::qWaitFor([&] { return member("u02") && member("u02")->node.State == 3; },
                                TestClient::WaitMs));
    const auto uadd = colleague->take("UADD", [](const Fields &f) { return f.value(2) == "u01"; });
    ASSERT_TRUE(uadd);

    mfrm->OpenConversation(member("u02"));
    auto *window = qobject_cast<TfrmMsg *>(member("u02")->node.Window.data());
    ASSERT_NE(window, nullptr);
    QTest::keyClicks(window->msginp, "hello");
    QTest::keyClick(window->msginp, Qt::Key_Return);

    const auto delivered = colleague->take("MSG");
    ASSERT_TRUE(delivered);
    EXPECT_EQ(delivered->mid(0, 4), (Fields{"MSG", "u01", "u01", "hello"}));
    const QString own = ToWidgetText(OwnDisplayName);
    EXPECT_FALSE(own.isEmpty());
    const QString copy = "[" + ToWidgetText(delivered->at(4)) + "]" + own + " >>> hello";
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastLine(window) == copy; }, TestClient::WaitMs))
        << lastLine(window).toStdString();

    // Now the transcript has a line, typing is announced.
    QTest::keyClicks(window->msginp, "x");
    EXPECT_EQ(colleague->take("MSI").value_or(Fields{}).mid(0, 3), (Fields{"MSI", "u01", "N"}));

    colleague->send(MakeFrame({"MSI", uadd->value(1), "u01", "N"}, TrailingTab::Yes));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->MsgStatusPanel->text() == QStringLiteral("****相手が応答中です****"); },
        TestClient::WaitMs));
    colleague->send(MakeFrame({"MSG", uadd->value(1), "u01", "answer"}, TrailingTab::Yes));
    const QString answer = ToWidgetText(SampleName("u02")) + " >>> answer";
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastLine(window).endsWith(answer); }, TestClient::WaitMs))
        << lastLine(window).toStdString();
    EXPECT_TRUE(client.errors.isEmpty()) << client.errors.join('\n').toStdString();
    EXPECT_TRUE(client.messages.isEmpty()) << client.messages.join('\n').toStdString();
}

} // namespace
