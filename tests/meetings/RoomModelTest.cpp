// The plain objects of the meetings: room ids and keys, the room table, a
// room's member records and how their rows are drawn.
#include "meetings/MeetMember.h"
#include "meetings/MemberRowLook.h"
#include "meetings/RoomId.h"
#include "meetings/RoomRegistry.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>

TEST(RoomIds, DecimalTextOrZero)
{
    const std::pair<QByteArray, int> cases[] = {
        {"7", 7},   {"007", 7},          {"-3", -3},          {"2147483647", 2147483647},
        {"0", 0},   {"", 0},             {"abc", 0},          {"7a", 0},
        {" 7", 0},  {"2147483648", 0},   {"-2147483649", 0},  {"99999999999999999999", 0},
    };
    for (const auto &[text, id] : cases)
        EXPECT_EQ(ReadRoomId(text), id) << text.constData();
    EXPECT_EQ(RoomKey(ReadRoomId("007")), RoomKey(ReadRoomId("7")));
    EXPECT_EQ(RoomKey(-12), "-12");
}

TEST(RoomRegistryRows, OneRowPerKeyInTheOrderAdded)
{
    RoomRegistry rooms;
    QObject a, b, c;
    rooms.append("7", &a);
    rooms.append("-1", &b);
    rooms.append("12", &c);
    EXPECT_EQ(rooms.find("7"), &a);
    EXPECT_EQ(rooms.find("07"), nullptr) << "keys are compared exactly";
    rooms.remove("-1");
    rooms.remove("99"); // absent: nothing happens
    EXPECT_EQ(rooms.find("-1"), nullptr);
    QByteArrayList keys;
    for (const RoomEntry &row : rooms.rows())
        keys.append(row.key);
    EXPECT_EQ(keys, (QByteArrayList{"7", "12"}));

    auto gone = std::make_unique<QObject>();
    rooms.append("5", gone.get());
    gone.reset();
    EXPECT_EQ(rooms.find("5"), nullptr) << "a window destroyed without closing is not handed out";
}

TEST(RoomRegistryRows, RowsWaitingForTheirWindowsKeepTheirTraffic)
{
    RoomRegistry rooms;
    QObject first, third;
    rooms.append("1", &first);
    rooms.appendPending({"2", 2, "two", {}});
    rooms.appendPending({"3", 3, "three", {}});
    EXPECT_TRUE(rooms.contains("2"));
    EXPECT_EQ(rooms.find("2"), nullptr) << "no window yet";
    EXPECT_EQ(rooms.pendingRoom("1"), nullptr);
    EXPECT_EQ(rooms.pendingRoom("9"), nullptr);
    ASSERT_TRUE(rooms.pendingRoom("3"));
    rooms.pendingRoom("3")->subFrames.append(QByteArrayList{"SYS", "hello"});

    const auto two = rooms.takeFirstPending();
    ASSERT_TRUE(two);
    EXPECT_EQ(two->key, "2");
    EXPECT_EQ(rooms.pendingRoom("2"), nullptr) << "taken: its window is being made";
    const auto three = rooms.takeFirstPending();
    ASSERT_TRUE(three);
    EXPECT_EQ(three->subFrames, (QList<QByteArrayList>{{"SYS", "hello"}}));
    EXPECT_FALSE(rooms.hasPending());
    EXPECT_FALSE(rooms.takeFirstPending());

    rooms.append("3", &third);
    EXPECT_EQ(rooms.find("3"), &third);
    QByteArrayList keys;
    for (const RoomEntry &row : rooms.rows())
        keys.append(row.key);
    EXPECT_EQ(keys, (QByteArrayList{"1", "2", "3"})) << "rows keep the order the rooms arrived in";
}

TEST(MeetMembers, AdmGivesARecordWithATypingState)
{
    struct Case {
        QByteArrayList subFrame;
        std::optional<QByteArrayList> record;
    };
    const Case cases[] = {
        {{"ADM", "u01", "Suzuki"}, QByteArrayList{"u01", "Suzuki", "F"}},
        {{"ADM", "u01", "Suzuki", "N"}, QByteArrayList{"u01", "Suzuki", "N", "F"}},
        {{"ADM", "u01", "Suzuki", "X", "more"}, QByteArrayList{"u01", "Suzuki", "X", "more", "F"}},
        {{"ADM", "u01", ""}, QByteArrayList{"u01", "", "F"}}, // an empty name is a name
        {{"ADM", "u01"}, std::nullopt},
        {{"ADM"}, std::nullopt},
    };
    for (const Case &c : cases) {
        const auto member = MeetMemberFromAdm(c.subFrame);
        ASSERT_EQ(member.has_value(), c.record.has_value()) << c.subFrame.join(' ').constData();
        if (member) {
            EXPECT_EQ(member->fields, *c.record);
        }
    }
}

TEST(MeetMembers, IdsFoldOnlyAsciiLetters)
{
    EXPECT_EQ(FoldUserId("Suzuki01"), "suzuki01");
    EXPECT_EQ(FoldUserId("SUZUKI"), FoldUserId("suzuki"));
    // ア is 83 41 and ヂ is 83 61: second bytes that look like "A" and "a".
    EXPECT_EQ(FoldUserId("\x83\x41Z"), "\x83\x41z");
    EXPECT_NE(FoldUserId("\x83\x41"), FoldUserId("\x83\x61"));
    // A lone lead byte at the end does not run past the text.
    EXPECT_EQ(FoldUserId("A\x83"), "a\x83");
}

TEST(MemberRows, ColourAndStateTextFollowTheTypingState)
{
    struct Case {
        QByteArray state;
        QRgb colour;
        QString text;
    };
    const Case cases[] = {
        {"F", qRgb(0, 0, 0), {}},
        {"N", qRgb(0, 0, 255), QStringLiteral("応答中...")},
        {"X", qRgb(0, 0, 255), {}},
        {"", qRgb(0, 0, 255), {}},
        {"f", qRgb(0, 0, 255), {}}, // states are compared exactly
    };
    for (const Case &c : cases) {
        const MemberRowLook look = LookOfMemberRow(c.state);
        EXPECT_EQ(look.nameColour, c.colour) << c.state.constData();
        EXPECT_EQ(look.stateText, c.text) << c.state.constData();
    }
    EXPECT_EQ(ColumnLineColour, qRgb(0, 180, 210));
}
