// Editing the tree in the window: new groups, rename, delete, the popup
// menu's enabling, drag and drop, and the exact upload after each edit.
#include "MemberListFixture.h"

#include "main/MemberLabelDelegate.h"
#include "wire/Cp932.h"

#include <QAction>
#include <QTest>

namespace {

class TreeEditing : public MemberListTest {
protected:
    void SetUp() override
    {
        MemberListTest::SetUp();
        loadList({Lsetd("G", 0, "s", "Sales"), Lsetd("U", 1, "bob", "Bob"), Lsetd("G", 0, "d", "Dev"),
                  Lsetd("U", 1, "amy", "Amy"), Lsetd("UG", 0, "", "Mine"), Lsetd("u", 0, "low", "Low")});
        mfrm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mfrm.get()));
        mfrm->ftree->expandAll();
        markSent();
    }
    QPoint at(QTreeWidgetItem *item) { return mfrm->ftree->visualItemRect(item).center(); }
    void select(QTreeWidgetItem *item) { mfrm->ftree->setCurrentItem(item); }
    QTreeWidgetItem *mine() { return mfrm->ftree->topLevelItem(2); }

    static inline const QByteArray Sales = "LSETD\tG\ts\t0\tSales\t\t";
    static inline const QByteArray BobInSales = "LSETD\tU\tbob\t1\tBob\t\t";
    static inline const QByteArray Dev = "LSETD\tG\td\t0\tDev\t\t";
    static inline const QByteArray AmyInDev = "LSETD\tU\tamy\t1\tAmy\t\t";
    static inline const QByteArray Mine = "LSETD\tUG\t\t0\tMine\t\t";
    static inline const QByteArray Low = "LSETD\tu\tlow\t0\tLow\t\t";
};

TEST_F(TreeEditing, RootGroupIsAddedLastAndTheWholeTreeIsSent)
{
    answer = QStringLiteral("グループ");
    mfrm->N4Click();
    ASSERT_EQ(prompts.size(), 1);
    EXPECT_EQ(prompts[0].caption, QStringLiteral("ルートグループ追加"));
    EXPECT_EQ(prompts[0].prompt, QStringLiteral("グループ名"));
    EXPECT_EQ(prompts[0].initial, QStringLiteral("グループ"));
    const QByteArray group = cp932::FromUnicode(QStringLiteral("グループ"));
    EXPECT_EQ(sent(8), QByteArrayList({"LSETS", Sales, BobInSales, Dev, AmyInDev, Mine, Low,
                                       "LSETD\tUG\t\t0\t" + group + "\t\t", "LSETE"}));
    const auto *added = AsMember(mfrm->ftree->topLevelItem(4));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->node.DefaultName, group);
    EXPECT_EQ(added->node.State, 1);
}

TEST_F(TreeEditing, SubgroupGoesUnderTheSelectedGroup)
{
    answer = QStringLiteral("sub");
    select(node("d"));
    mfrm->N8Click();
    EXPECT_EQ(prompts.value(0).caption, QStringLiteral("サブグループ追加"));
    EXPECT_EQ(sent(8), QByteArrayList({"LSETS", Sales, BobInSales, Dev, AmyInDev, "LSETD\tUG\t\t1\tsub\t\t", Mine,
                                       Low, "LSETE"}));
}

TEST_F(TreeEditing, NamesAreCleanedAndCutToFiftyBytes)
{
    const QString fifty(50, u'a');
    const struct {
        QString entered;
        QByteArray stored;
        int beeps;
    } names[] = {
        {fifty, QByteArray(50, 'a'), 0},
        {fifty + "b", QByteArray(50, 'a'), 1},
        {QString(49, u'a') + QStringLiteral("漢"), QByteArray(49, 'a'), 1}, // a double-byte char cut in half
        {QStringLiteral("a\tb\nc"), "abc", 0},
        {QString(), QByteArray(), 0},
    };
    for (const auto &name : names) {
        fixture.beeps = 0;
        answer = name.entered;
        mfrm->N4Click();
        const int last = mfrm->ftree->topLevelItemCount() - 1;
        EXPECT_EQ(AsMember(mfrm->ftree->topLevelItem(last))->node.DisplayName, name.stored) << name.entered.toStdString();
        EXPECT_EQ(fixture.beeps, name.beeps) << name.entered.toStdString();
    }
}

TEST_F(TreeEditing, CancelledPromptsChangeAndSendNothing)
{
    answer.reset();
    mfrm->N4Click();
    select(node("s"));
    mfrm->N8Click();
    mfrm->ftreeMouseMove(at(node("s")).x(), at(node("s")).y());
    mfrm->E2Click();
    EXPECT_EQ(prompts.size(), 3);
    EXPECT_EQ(mfrm->ftree->topLevelItemCount(), 4);
    EXPECT_EQ(node("s")->childCount(), 1);
    EXPECT_TRUE(sentBeforeProbe().isEmpty());
}

TEST_F(TreeEditing, RenameShowsTheDefaultExceptForOwnGroups)
{
    answer = QStringLiteral("Robert");
    select(node("bob"));
    mfrm->ftreeMouseMove(at(node("bob")).x(), at(node("bob")).y());
    mfrm->E2Click();
    ASSERT_EQ(prompts.size(), 1);
    EXPECT_EQ(prompts[0].caption, QStringLiteral("表示名編集"));
    EXPECT_EQ(prompts[0].prompt, QStringLiteral(" 変更前：Bob\r デフォルト：Bob-default"));
    EXPECT_EQ(prompts[0].initial, QStringLiteral("Bob"));
    EXPECT_EQ(sent(8).value(2), "LSETD\tU\tbob\t1\tRobert\t\t");
    EXPECT_EQ(node("bob")->text(0), QStringLiteral("Robert"));
    EXPECT_EQ(node("bob")->node.DefaultName, "Bob-default");

    select(mine());
    mfrm->ftreeMouseMove(at(mine()).x(), at(mine()).y());
    mfrm->E2Click();
    EXPECT_EQ(prompts.value(1).prompt, QStringLiteral(" 変更前：Mine"));
}

TEST_F(TreeEditing, ListReplacedUnderAnOpenPromptIsNotEdited)
{
    // The prompt's event loop delivers a new list, which deletes the node the
    // command was about: nothing may touch it afterwards.
    answer = QStringLiteral("late");
    whilePromptOpen = [this] { receive("LSETS\r\n" + Lsetd("G", 0, "d", "Dev") + "\r\nLSETE\r\n"); };
    select(node("d"));
    mfrm->N8Click();
    ASSERT_NE(node("d"), nullptr);
    EXPECT_EQ(node("d")->childCount(), 0);

    select(node("d"));
    mfrm->ftreeMouseMove(at(node("d")).x(), at(node("d")).y());
    mfrm->E2Click();
    EXPECT_EQ(node("d")->text(0), QStringLiteral("Dev"));
    EXPECT_EQ(prompts.size(), 2);
    EXPECT_EQ(sentBeforeProbe(), QByteArrayList()); // nothing was uploaded
}

TEST_F(TreeEditing, MembersAndNonEmptyGroupsAreNotDeleted)
{
    select(node("bob"));
    mfrm->N9Click();
    select(node("s"));
    mfrm->N9Click();
    EXPECT_EQ(fixture.beeps, 2);
    EXPECT_EQ(fixture.messages,
              QStringList({QStringLiteral("現在のバージョンではユーザの削除は行えません。"),
                           QStringLiteral("子ノードのあるグループの削除は行えません。\r下位のノードから削除して下さい。")}));
    EXPECT_TRUE(sentBeforeProbe().isEmpty());

    select(mine());
    mfrm->N9Click();
    EXPECT_EQ(sent(7), QByteArrayList({"LSETS", Sales, BobInSales, Dev, AmyInDev, Low, "LSETE"}));
    EXPECT_TRUE(mfrm->FindMember("").isEmpty());
}

TEST_F(TreeEditing, RightPressEnablesGroupCommandsExceptOnMembers)
{
    const struct {
        const char *name;
        QTreeWidgetItem *item;
        bool groupCommands;
    } presses[] = {
        {"member", node("bob"), false},
        {"group", node("s"), true},
        {"own group", mine(), true},
        {"lower-case u member", node("low"), true},
    };
    for (const auto &press : presses) {
        mfrm->ftreeMouseDown(Qt::RightButton, at(press.item).x(), at(press.item).y());
        EXPECT_TRUE(mfrm->ftreePopupAttached) << press.name;
        EXPECT_EQ(mfrm->ftree->currentItem(), press.item) << press.name;
        EXPECT_EQ(mfrm->N8->isEnabled(), press.groupCommands) << press.name;
        EXPECT_EQ(mfrm->N9->isEnabled(), press.groupCommands) << press.name;
        EXPECT_TRUE(mfrm->N12->isEnabled() && mfrm->E2->isEnabled()) << press.name;
    }
    const QRect viewport = mfrm->ftree->viewport()->rect();
    mfrm->ftreeMouseDown(Qt::RightButton, viewport.center().x(), viewport.bottom() - 1);
    EXPECT_FALSE(mfrm->ftreePopupAttached);
}

TEST_F(TreeEditing, DropMovesTheSelectedNodeAndUploads)
{
    select(node("bob"));
    mfrm->ftreeDragDrop(mfrm->ftree, at(node("amy")).x(), at(node("amy")).y());
    EXPECT_EQ(sent(8), QByteArrayList({"LSETS", Sales, Dev, "LSETD\tU\tbob\t1\tBob\t\t", AmyInDev, Mine, Low,
                                       "LSETE"}));
    EXPECT_EQ(node("bob")->parent(), node("d"));
}

TEST_F(TreeEditing, DropIntoOwnBranchMovesNothingButUploads)
{
    answer = QStringLiteral("sub");
    select(node("s"));
    mfrm->N8Click();
    sent(9);
    markSent();
    QTreeWidgetItem *sub = node("s")->child(1);
    mfrm->ftree->expandAll();
    select(node("s"));
    mfrm->ftreeDragDrop(mfrm->ftree, at(sub).x(), at(sub).y());
    EXPECT_EQ(sent(9).mid(1, 2), QByteArrayList({Sales, BobInSales}));
    EXPECT_EQ(node("s")->parent(), nullptr);
}

TEST_F(TreeEditing, DropFromElsewhereIsShownAcceptedButDoesNothing)
{
    QWidget other;
    select(node("bob"));
    EXPECT_TRUE(mfrm->ftreeDragOver(&other, at(node("d")).x(), at(node("d")).y()));
    mfrm->ftreeDragDrop(&other, at(node("d")).x(), at(node("d")).y());
    EXPECT_EQ(node("bob")->parent(), node("s"));
    EXPECT_TRUE(sentBeforeProbe().isEmpty());
}

TEST_F(TreeEditing, LabelsAreDrawnByState)
{
    receive("UADD\t1\tbob\t2\r\n");
    auto *delegate = qobject_cast<MemberLabelDelegate *>(mfrm->ftree->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    QStyleOptionViewItem option;
    option.font = mfrm->ftree->font();
    const QModelIndex online = mfrm->ftree->indexFromItem(node("bob"));
    const QModelIndex group = mfrm->ftree->indexFromItem(node("s"));

    option.state = QStyle::State_Selected;
    auto look = delegate->look(option, online);
    EXPECT_EQ(look.style, (LabelStyle{QColor(0, 128, 0), QColor(Qt::white), true}));
    EXPECT_TRUE(look.font.bold());
    EXPECT_EQ(look.font.pointSize(), 9);
    look = delegate->look(option, group);
    EXPECT_EQ(look.style, (LabelStyle{QColor(Qt::black), QColor(Qt::white), false}));
    EXPECT_FALSE(look.font.bold());

    option.state = QStyle::State_None;
    EXPECT_EQ(delegate->look(option, online).style, (LabelStyle{QColor(Qt::white), QColor(0, 128, 0), true}));
    EXPECT_EQ(delegate->look(option, group).style, (LabelStyle{QColor(Qt::white), QColor(Qt::black), false}));
}

} // namespace
