// The rules of editing, drawing, the own state and the upload text.
#include "main/members/EditRules.h"
#include "main/members/LabelStyle.h"
#include "main/members/OwnState.h"
#include "main/members/UploadText.h"

#include <gtest/gtest.h>

namespace {

TEST(EditRules, WhereADropGoes)
{
    EXPECT_EQ(PlaceDrop("U", false), DropPlacement::BeforeTarget);
    EXPECT_EQ(PlaceDrop("u", false), DropPlacement::FirstChildOfTarget); // only an exact U is a member here
    EXPECT_EQ(PlaceDrop("G", false), DropPlacement::FirstChildOfTarget);
    EXPECT_EQ(PlaceDrop("UG", false), DropPlacement::FirstChildOfTarget);
    EXPECT_EQ(PlaceDrop("G", true), DropPlacement::None);
    EXPECT_EQ(PlaceDrop("U", true), DropPlacement::None);
}

TEST(EditRules, WhatMayBeDeleted)
{
    EXPECT_EQ(CheckDelete("U", false), DeleteRefusal::IsMember);
    EXPECT_EQ(CheckDelete("U", true), DeleteRefusal::IsMember);
    EXPECT_EQ(CheckDelete("G", true), DeleteRefusal::HasChildren);
    EXPECT_EQ(CheckDelete("UG", false), DeleteRefusal::None);
    EXPECT_EQ(CheckDelete("u", false), DeleteRefusal::None);
}

TEST(LabelStyle, ColoursAndWeightByStateAndSelection)
{
    const QColor green(0, 128, 0), white(Qt::white), black(Qt::black);
    const struct {
        int state;
        bool selected;
        LabelStyle style;
    } table[] = {
        {2, true, {green, white, true}},  {3, true, {green, white, true}},   {4, true, {green, white, true}},
        {2, false, {white, green, true}}, {3, false, {white, green, true}},  {4, false, {white, green, true}},
        {1, true, {black, white, false}}, {5, true, {black, white, false}},  {1, false, {white, black, false}},
        {5, false, {white, black, false}}, {0, false, {white, black, false}}, {9, false, {white, black, false}},
    };
    for (const auto &row : table)
        EXPECT_EQ(LabelStyleFor(row.state, row.selected), row.style) << row.state << " " << row.selected;
}

TEST(OwnState, AnnouncesEachChangeOnce)
{
    int announced = 3;
    EXPECT_FALSE(AnnounceOwnState(3, announced));
    EXPECT_EQ(AnnounceOwnState(2, announced), QByteArray("STC\t2\t"));
    EXPECT_EQ(announced, 2);
    EXPECT_FALSE(AnnounceOwnState(2, announced));
    EXPECT_EQ(AnnounceOwnState(3, announced), QByteArray("STC\t3\t"));
    EXPECT_EQ(OwnStateCaption(2), QStringLiteral("離席中▼"));
    EXPECT_EQ(OwnStateCaption(3), QStringLiteral("応答可▼"));
    EXPECT_EQ(OwnStateCaption(4), QStringLiteral("応答不可▼"));
}

TEST(UploadText, NodeFrameCarriesKindIdDepthAndName)
{
    MemberNode member;
    member.Kind = "U";
    member.Id = "bob";
    member.DisplayName = "\x83\x7b\x83\x75"; // ボブ
    member.DefaultName = "never sent";
    member.Mail = "never@sent";
    EXPECT_EQ(UploadNodeFrame(member, 2), QByteArray("LSETD\tU\tbob\t2\t\x83\x7b\x83\x75\t\t"));
}

} // namespace
