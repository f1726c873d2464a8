#include "ServerFixture.h"

#include "wire/FrameText.h"

#include <QTest>

using Fields = QByteArrayList;
using RoomTest = ServerFixture;

namespace {

auto Sub(const QByteArray &subCode)
{
    return [subCode](const Fields &f) { return f.value(2) == subCode; };
}

} // namespace

TEST_F(RoomTest, RoomIsCreatedJoinedChattedInAndLeft)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    auto c = logOn("u03");
    const QByteArray name = Sjis(u"定例会議");
    const QByteArray invitation = Sjis(u"参加してください。");
    a->send(MakeFrame({"MRM", "0", name, invitation, "u02,u03,"}, TrailingTab::Yes));

    const auto opened = a->take("MRM");
    ASSERT_TRUE(opened);
    const QByteArray room = opened->value(1);
    EXPECT_EQ(*opened, (Fields{"MRM", room, name}));
    EXPECT_EQ(a->take("MRD", Sub("ADM")).value_or(Fields{}), (Fields{"MRD", room, "ADM", "u01", SampleName("u01")}));
    EXPECT_EQ(b->take("MRJ").value_or(Fields{}), (Fields{"MRJ", room, name, SampleName("u01"), invitation}));
    EXPECT_TRUE(c->take("MRJ"));

    b->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
    EXPECT_EQ(b->take("MRM").value_or(Fields{}), (Fields{"MRM", room, name}));
    ASSERT_TRUE(b->sync());
    QList<Fields> members;
    for (const Fields &f : b->kept())
        if (f.value(2) == "ADM")
            members.append(f);
    EXPECT_EQ(members, (QList<Fields>{{"MRD", room, "ADM", "u01", SampleName("u01")},
                                      {"MRD", room, "ADM", "u02", SampleName("u02")}}));
    EXPECT_EQ(a->take("MRD", Sub("ADM")).value_or(Fields{}), (Fields{"MRD", room, "ADM", "u02", SampleName("u02")}));
    EXPECT_TRUE(a->take("MRD", Sub("SYS")));
    EXPECT_TRUE(b->take("MRD", Sub("SYS")));

    const QByteArray reason = Sjis(u"多忙につき参加できません。");
    c->send(MakeFrame({"MRJ", room, "1", reason}, TrailingTab::Yes));
    const auto refusal = a->take("MRD", [&](const Fields &f) { return f.value(2) == "SYS" && f.value(3).contains(reason); });
    EXPECT_TRUE(refusal);
    EXPECT_TRUE(b->take("MRD", [&](const Fields &f) { return f.value(2) == "SYS" && f.value(3).contains(reason); }));

    const QByteArray line = Sjis(u"資料は共有フォルダにあります");
    b->send(MakeFrame({"MRC", room, line}, TrailingTab::Yes));
    for (TestClient *member : {a.get(), b.get()}) {
        const auto chat = member->take("MRD", Sub("CHA"));
        ASSERT_TRUE(chat);
        ASSERT_EQ(chat->size(), 7);
        EXPECT_EQ(chat->mid(4), (Fields{"u02", SampleName("u02"), line}));
    }

    a->send(MakeFrame({"MRI", room, "N"}, TrailingTab::Yes));
    EXPECT_EQ(b->take("MRD", Sub("CHI")).value_or(Fields{}), (Fields{"MRD", room, "CHI", "u01", "N"}));

    b->send(MakeFrame({"MRE", room}, TrailingTab::Yes));
    EXPECT_EQ(a->take("MRD", Sub("DLM")).value_or(Fields{}), (Fields{"MRD", room, "DLM", "u02"}));
    ASSERT_TRUE(a->sync());
    for (const Fields &f : a->kept())
        EXPECT_NE(f.value(2), "CHI") << "a typing notice goes to the others only";
    EXPECT_EQ(server().roomCount(), 1);
    a->send(MakeFrame({"MRE", room}, TrailingTab::Yes));
    ASSERT_TRUE(a->sync());
    EXPECT_EQ(server().roomCount(), 0) << "a room with nobody left is deleted";

    // Room ids count up.
    a->send(MakeFrame({"MRM", "0", "next", "", ""}, TrailingTab::Yes));
    EXPECT_EQ(a->take("MRM").value_or(Fields{}).value(1).toInt(), room.toInt() + 1);
}

TEST_F(RoomTest, OnlyInviteesJoinAndOnlyMembersSpeak)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    auto outsider = logOn("u03");
    a->send(MakeFrame({"MRM", "0", "room", "hi", "u02,"}, TrailingTab::Yes));
    const QByteArray room = a->take("MRM").value_or(Fields{}).value(1);
    ASSERT_FALSE(room.isEmpty());

    outsider->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
    outsider->send(MakeFrame({"MRC", room, "let me in"}, TrailingTab::Yes));
    outsider->send(MakeFrame({"MRM", room, "room", "hi", "u04,"}, TrailingTab::Yes));
    ASSERT_TRUE(outsider->sync());
    EXPECT_FALSE(outsider->holds("MRM"));
    ASSERT_TRUE(a->sync());
    for (const Fields &f : a->kept())
        EXPECT_NE(f.value(2), "CHA") << "an outsider's line reaches no one";

    // A member invites more; the answer of someone never invited is ignored.
    b->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
    ASSERT_TRUE(b->take("MRM"));
    b->send(MakeFrame({"MRM", room, "room", "join us", "u03,"}, TrailingTab::Yes));
    EXPECT_EQ(outsider->take("MRJ").value_or(Fields{}).value(4), "join us");
}

namespace {

// The frames of one room that a client received, in order; the room's id and
// MRD left out of the room's own traffic.
QList<Fields> RoomFrames(const TestClient &client, const QByteArray &room)
{
    QList<Fields> frames;
    for (const Fields &f : client.kept()) {
        if (f.value(0) == "MRM" && f.value(1) == room)
            frames.append(f);
        else if (f.value(0) == "MRD" && f.value(1) == room)
            frames.append(f.mid(2, 2));
    }
    return frames;
}

// A room of u01 with u02 and u03 in it.
QByteArray OpenRoom(TestClient &a, TestClient &b, TestClient &c)
{
    a.send(MakeFrame({"MRM", "0", "room", "hi", "u02,u03,"}, TrailingTab::Yes));
    const QByteArray room = a.take("MRM").value_or(Fields{}).value(1);
    for (TestClient *member : {&b, &c}) {
        EXPECT_TRUE(member->take("MRJ"));
        member->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
        EXPECT_TRUE(member->take("MRM"));
    }
    EXPECT_TRUE(a.take("MRD", [](const Fields &f) { return f.value(2) == "ADM" && f.value(3) == "u03"; }));
    return room;
}

} // namespace

TEST_F(RoomTest, MemberKeepsTheirPlaceAcrossALostConnection)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    auto c = logOn("u03");
    auto d = logOn("u04");
    const QByteArray room = OpenRoom(*a, *b, *c);

    b->disconnect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server().isOnline("u02"); }));
    c->send(MakeFrame({"MRE", room}, TrailingTab::Yes));
    a->send(MakeFrame({"MRM", room, "room", "hi", "u04,"}, TrailingTab::Yes));
    ASSERT_TRUE(d->take("MRJ"));
    d->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
    ASSERT_TRUE(d->take("MRM"));
    ASSERT_TRUE(a->sync());
    for (const Fields &f : a->kept())
        EXPECT_FALSE(f.value(2) == "DLM" && f.value(3) == "u02") << "a lost connection is no departure";

    // Back: the room comes again, with who left and who came meanwhile.
    b = logOn("u02");
    ASSERT_TRUE(b->sync());
    EXPECT_EQ(RoomFrames(*b, room), (QList<Fields>{{"MRM", room, "room"},
                                                    {"DLM", "u03"},
                                                    {"ADM", "u01"},
                                                    {"ADM", "u02"},
                                                    {"ADM", "u04"}}));
    b->send(MakeFrame({"MRC", room, "back again"}, TrailingTab::Yes));
    EXPECT_TRUE(a->take("MRD", [](const Fields &f) { return f.value(2) == "CHA" && f.value(6) == "back again"; }))
        << "the member's lines still reach the room";

    // A second client of a member gets the room as well, and its traffic.
    auto b2 = logOn("u02");
    EXPECT_TRUE(b2->take("MRM", [&](const Fields &f) { return f.value(1) == room; }));
    a->send(MakeFrame({"MRC", room, "to both"}, TrailingTab::Yes));
    for (TestClient *client : {b.get(), b2.get()})
        EXPECT_TRUE(client->take("MRD", [](const Fields &f) { return f.value(2) == "CHA" && f.value(6) == "to both"; }));
}

namespace {

class RoomSeatTest : public ServerFixture {
protected:
    ServerOptions options() override
    {
        ServerOptions options = ServerFixture::options();
        options.roomSeatsKept = std::chrono::milliseconds(300);
        return options;
    }
};

} // namespace

TEST_F(RoomSeatTest, MemberWhoDoesNotComeBackInTimeLeavesAndTheEmptyRoomGoes)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    auto c = logOn("u03");
    const QByteArray room = OpenRoom(*a, *b, *c);

    b->disconnect();
    EXPECT_EQ(a->take("MRD", Sub("DLM")).value_or(Fields{}), (Fields{"MRD", room, "DLM", "u02"}));
    b = logOn("u02");
    ASSERT_TRUE(b->sync());
    EXPECT_FALSE(b->holds("MRM")) << "no longer a member";

    a->disconnect();
    c->disconnect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server().roomCount() == 0; }, TestClient::WaitMs));
}

TEST_F(RoomTest, UserIsInFiftyRoomsAtMost)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    for (int i = 0; i < 50; ++i)
        a->send(MakeFrame({"MRM", "0", "room " + QByteArray::number(i), "", ""}, TrailingTab::Yes));
    a->send(MakeFrame({"MRM", "0", "one too many", "", ""}, TrailingTab::Yes));
    ASSERT_TRUE(a->take("MRM", [](const Fields &f) { return f.value(2) == "room 49"; }));
    ASSERT_TRUE(a->sync());
    EXPECT_FALSE(a->take("MRM", [](const Fields &f) { return f.value(2) == "one too many"; }, 0));
    EXPECT_EQ(server().roomCount(), 50);

    // Nor does an invitation take the user past the bound.
    b->send(MakeFrame({"MRM", "0", "b's room", "", "u01,"}, TrailingTab::Yes));
    const QByteArray room = b->take("MRM").value_or(Fields{}).value(1);
    ASSERT_TRUE(a->take("MRJ"));
    a->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
    ASSERT_TRUE(a->sync());
    EXPECT_FALSE(a->take("MRM", [&](const Fields &f) { return f.value(1) == room; }, 0));

    // Once the user leaves one, the invitation still stands.
    a->send(MakeFrame({"MRE", "1"}, TrailingTab::Yes)); // the first room
    a->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
    EXPECT_TRUE(a->take("MRM", [&](const Fields &f) { return f.value(1) == room; }));
}
