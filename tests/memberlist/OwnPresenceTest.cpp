// The user's own state: the menu, what is announced, and the reset by a new list.
#include "MemberListFixture.h"

#include <QMenu>

namespace {

using OwnPresence = MemberListTest;

TEST_F(OwnPresence, EachChangeIsAnnouncedOnce)
{
    markSent();
    mfrm->N5Click(); // already available
    mfrm->N6Click();
    mfrm->N6Click();
    EXPECT_EQ(mfrm->Panel2->text(), QStringLiteral("離席中▼"));
    mfrm->N7Click();
    EXPECT_EQ(mfrm->Panel2->text(), QStringLiteral("応答不可▼"));
    mfrm->N5Click();
    EXPECT_EQ(mfrm->Panel2->text(), QStringLiteral("応答可▼"));
    EXPECT_EQ(sentBeforeProbe(), QByteArrayList({"STC\t2\t", "STC\t4\t", "STC\t3\t"}));
}

TEST_F(OwnPresence, NewListPutsTheOwnStateBackWithoutAnnouncing)
{
    mfrm->N6Click();
    markSent();
    loadList({});
    EXPECT_EQ(mfrm->Panel2->text(), QStringLiteral("応答可▼"));
    EXPECT_EQ(mfrm->Panel2Tag, 3);
    EXPECT_EQ(mfrm->AnnouncedState, 3);
    mfrm->N5Click();
    EXPECT_TRUE(sentBeforeProbe().isEmpty());
}

TEST_F(OwnPresence, PanelOpensTheMenuNearTheBottomLeftCorner)
{
    ASSERT_EQ(mfrm->mystatemenu->actions().size(), 3);
    EXPECT_EQ(mfrm->mystatemenu->actions()[1]->text(), QStringLiteral("離席中(&W)"));
    EXPECT_FALSE(mfrm->mystatemenu->actions()[1]->icon().isNull());
    mfrm->show();
    mfrm->Panel2->click();
    EXPECT_TRUE(TestPeer::waitFor([&] { return mfrm->mystatemenu->isVisible(); }));
    mfrm->mystatemenu->close();
}

} // namespace
