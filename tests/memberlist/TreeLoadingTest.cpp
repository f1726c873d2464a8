// Loading the list through the drain, members coming and going, presence
// changes, and frames that must fail without changing anything.
#include "MemberListFixture.h"
#include "platform/WidgetText.h"

#include <QScrollBar>

namespace {

struct Look {
    int state;
    int connection;
    bool operator==(const Look &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Look &look)
{
    return out << "{" << look.state << ", " << look.connection << "}";
}

class TreeLoading : public MemberListTest {
protected:
    // bob is in both groups; amy only in dev.
    void SetUp() override
    {
        MemberListTest::SetUp();
        loadList({Lsetd("G", 0, "s", "Sales"), Lsetd("U", 1, "bob", "Bob", "bob@x"), Lsetd("G", 0, "d", "Dev"),
                  Lsetd("U", 1, "amy", "Amy"), Lsetd("U", 1, "bob", "Bob")});
    }
    QList<Look> bob()
    {
        QList<Look> looks;
        for (MemberItem *item : mfrm->FindMember("bob"))
            looks.append({item->node.State, item->node.ConnectionNo});
        return looks;
    }
};

TEST_F(TreeLoading, ListIsBuiltAndShown)
{
    EXPECT_FALSE(mfrm->ftree->isHidden()) << fixture.errors.join(" ").toStdString() << fixture.messages.join(" ").toStdString();
    ASSERT_EQ(mfrm->ftree->topLevelItemCount(), 2);
    const QList<MemberItem *> bobs = mfrm->FindMember("bob");
    ASSERT_EQ(bobs.size(), 2);
    EXPECT_EQ(bobs[0]->parent(), mfrm->ftree->topLevelItem(0)); // tree order: Sales' copy first
    EXPECT_EQ(bobs[1]->parent(), mfrm->ftree->topLevelItem(1));
    EXPECT_EQ(bobs[0]->text(0), QStringLiteral("Bob"));
    EXPECT_EQ(bobs[0]->node.Mail, "bob@x");
    EXPECT_EQ(bob(), QList<Look>({{5, -1}, {5, -1}}));
    EXPECT_EQ(node("s")->data(0, MemberItem::StateRole).toInt(), 1);
    EXPECT_FALSE(mfrm->ftree->topLevelItem(0)->isExpanded());
    EXPECT_TRUE(fixture.messages.isEmpty());
}

TEST_F(TreeLoading, PresenceReachesEveryCopyOfAMember)
{
    const struct {
        QByteArray frame;
        QList<Look> bob;
    } steps[] = {
        {"UADD\t7\tbob\t2", {{2, 7}, {2, 7}}},
        {"STC\tbob\t4", {{4, 7}, {4, 7}}},
        {"UDEL\t8\tbob", {{4, 7}, {4, 7}}}, // another connection's logoff
        {"UDEL\t7\tbob", {{5, 7}, {5, 7}}},
        {"UADD\t9\tbob\t\t", {{3, 9}, {3, 9}}}, // empty state: available
        {"UADD\t9\tbob\tbusy", {{3, 9}, {3, 9}}},
        {"STC\tbob\t5", {{5, 9}, {5, 9}}},
        {"UDEL\t9\tbob", {{5, 9}, {5, 9}}},
        {"STC\tbob\t1", {{1, 9}, {1, 9}}},
        {"STC\tbob\t0", {{0, 9}, {0, 9}}},
        {"STC\tnobody\tnot-a-number", {{0, 9}, {0, 9}}}, // no node: nothing to fail on
    };
    for (const auto &step : steps) {
        receive(step.frame + "\r\n");
        EXPECT_EQ(bob(), step.bob) << step.frame.constData();
    }
    EXPECT_EQ(node("amy")->node.State, 5);
    EXPECT_TRUE(fixture.errors.isEmpty());
}

TEST_F(TreeLoading, BadFramesFailBeforeChangingAnythingAndTheNextFrameIsHandled)
{
    receive("UADD\t7\tbob\t2\r\n");
    const ListLines buffer = mfrm->ListBuffer;
    const char *bad[] = {
        "LSETD\tU\t0\tzed\t-\tZed\tZed\t",  // six fields
        "UADD\tseven\tbob\t3", "UADD\t7\tbob", "UDEL\tseven\tbob", "UDEL\t7",
        "STC\tbob", "STC\tbob\tbusy",
    };
    for (const char *frame : bad) {
        fixture.errors.clear();
        receive(QByteArray(frame) + "\r\nUADD\t1\tamy\t4\r\n");
        // The failure box opens once the drain has returned.
        EXPECT_TRUE(TestPeer::waitFor([&] { return !fixture.errors.isEmpty(); })) << frame;
        receive({});
        EXPECT_EQ(fixture.errors.size(), 1) << frame;
        EXPECT_EQ(bob(), QList<Look>({{2, 7}, {2, 7}})) << frame;
        EXPECT_EQ(mfrm->ListBuffer, buffer) << frame;
        EXPECT_EQ(node("amy")->node.State, 4) << frame;
        node("amy")->node.State = 5;
    }
}

TEST_F(TreeLoading, LongNamesScrollSidewaysToTheirEnd)
{
    const QByteArray name = FromWidgetText(QStringLiteral("とても長い表示名の営業部第一課の担当者").repeated(3));
    mfrm->resize(230, 510);
    mfrm->show();
    QTreeWidget *tree = mfrm->ftree;
    loadList({Lsetd("U", 0, "long", name), Lsetd("U", 0, "amy", "Amy")});
    ASSERT_TRUE(TestPeer::waitFor([&] { return tree->horizontalScrollBar()->maximum() > 0; }));
    EXPECT_GT(tree->columnWidth(0), tree->viewport()->width());

    // A record renamed in place: the refreshed tree fits its column again.
    loadList({Lsetd("U", 0, "amy", "Amy")});
    ASSERT_TRUE(TestPeer::waitFor([&] { return tree->horizontalScrollBar()->maximum() == 0; }));
    node("amy")->node.DisplayName = name;
    mfrm->RefreshTree();
    EXPECT_TRUE(TestPeer::waitFor([&] { return tree->horizontalScrollBar()->maximum() > 0; }));
}

TEST_F(TreeLoading, HugeNamesKeepTheirBytesAndDrawABoundedPrefix)
{
    const QByteArray huge = QByteArray("\x8D\xB2").repeated(200 * 1024); // 400 KB of 佐
    loadList({Lsetd("U", 0, "big", "x" + huge), Lsetd("U", 0, "amy", "Amy")});
    MemberItem *big = node("big");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->node.DisplayName, "x" + huge);
    const QString drawn = big->text(0);
    EXPECT_LE(drawn.size(), LabelTextBytes + 1);
    EXPECT_TRUE(drawn.startsWith(QStringLiteral("x佐佐")));
    EXPECT_TRUE(drawn.endsWith(QStringLiteral("佐…"))) << "cut between characters";
    EXPECT_EQ(node("amy")->text(0), QStringLiteral("Amy"));

    receive("002\t" + huge + "\r\n");
    EXPECT_LE(panel1().size(), LabelTextBytes + 20);
    EXPECT_TRUE(panel1().endsWith(QStringLiteral("…でログインしています")));
}

TEST_F(TreeLoading, ListBeyondAnySaneSizeIsABrokenConnection)
{
    const QByteArray name(256 * 1024, 'n');
    receive("LSETS\r\n");
    for (int i = 0; i < 160; ++i) // 80 MiB of list lines, and no end
        receive(Lsetd("U", 0, "m" + QByteArray::number(i), name) + "\r\n");
    EXPECT_LE(mfrm->ListBuffer.byteCount(), 64 * 1024 * 1024);
    // Dropped like a lost connection: the client connects and logs on again.
    ASSERT_TRUE(TestPeer::waitFor([&] { return peer.connectionCount() == 2 && peer.frames().count(logonRequest) == 2; }));
    EXPECT_EQ(panel1(), QStringLiteral("サーバとの接続が切断されました"));
}

TEST_F(TreeLoading, UaddBeforeTheListEndsFindsNobody)
{
    receive("LSETS\r\n" + Lsetd("U", 0, "bob", "Bob") + "\r\nUADD\t7\tbob\t3\r\nLSETE\r\n");
    EXPECT_EQ(bob(), QList<Look>({{5, -1}}));
}

TEST_F(TreeLoading, EmptyListShowsAnEmptyTree)
{
    mfrm->ftree->hide();
    receive("LSETS\r\nLSETE\r\n");
    EXPECT_FALSE(mfrm->ftree->isHidden());
    EXPECT_EQ(mfrm->ftree->topLevelItemCount(), 0);
    EXPECT_TRUE(mfrm->FindMember("bob").isEmpty());
    EXPECT_EQ(mfrm->Panel2->text(), QStringLiteral("応答可▼"));
}

TEST_F(TreeLoading, SecondListEndWithoutStartAddsTheListAgain)
{
    receive("LSETE\r\n");
    EXPECT_EQ(mfrm->ftree->topLevelItemCount(), 4);
    EXPECT_EQ(mfrm->FindMember("bob").size(), 4);
}

TEST_F(TreeLoading, ManyBadLinesAreFoldedIntoOneSummaryBox)
{
    QByteArrayList frames{Lsetd("G", 0, "g", "G")};
    for (int i = 0; i < 50000; ++i)
        frames.append(Lsetd("X", 0, "x" + QByteArray::number(i), "X"));
    frames.append(Lsetd("U", 1, "last", "Last"));
    loadList(frames);
    ASSERT_EQ(fixture.messages.size(), 6);
    EXPECT_EQ(fixture.messages[0], QStringLiteral("ErrorLine:X\t0\tx0\t-\tX\tX-default\t\t"));
    EXPECT_TRUE(fixture.messages[4].startsWith(QStringLiteral("ErrorLine:X\t0\tx4\t")));
    EXPECT_TRUE(fixture.messages[5].contains(u"49995"));
    ASSERT_NE(node("last"), nullptr); // the list after the bad lines still loads
    EXPECT_EQ(node("last")->parent(), node("g"));
}

TEST_F(TreeLoading, ListStartClosesOpenConversations)
{
    QWidget conversation;
    conversation.show();
    node("bob", 1)->node.Window = &conversation;
    receive("LSETS\r\n");
    EXPECT_FALSE(conversation.isVisible());
    EXPECT_EQ(mfrm->ftree->topLevelItemCount(), 0);
    EXPECT_TRUE(mfrm->ListBuffer.isEmpty());
}

} // namespace
