// The join dialog's answers.
#include "ClientFixture.h"
#include "FrameRecorder.h"
#include "meetings/TfrmJoin.h"
#include "platform/WidgetText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A click on the button's round mark, as the user makes it.
void Choose(QRadioButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

class JoinDialog : public testing::Test {
protected:
    void SetUp() override
    {
        join = new TfrmJoin(&owner, sender);
        join->RoomId = -7;
        join->show();
    }
    void TearDown() override { delete join.data(); }

    ClientFixture fixture;
    QWidget owner;
    FrameRecorder sender;
    QPointer<TfrmJoin> join;
};

TEST_F(JoinDialog, StartsAsAnAcceptance)
{
    EXPECT_EQ(join->windowTitle(), QStringLiteral("会議参加確認"));
    EXPECT_EQ(join->size(), QSize(335, 282));
    EXPECT_TRUE(join->RadioButton1->isChecked());
    EXPECT_FALSE(join->ReasonTxt->isEnabled());
    EXPECT_EQ(join->ReasonTxt->text(), QStringLiteral("多忙につき参加できません。"));
    EXPECT_EQ(join->rmsg->textFormat(), Qt::PlainText);
}

TEST_F(JoinDialog, EachAnswerSendsOneMrjAndCloses)
{
    struct Case {
        const char *name;
        std::function<void(TfrmJoin &)> choose;
        QByteArray sent;
    };
    const QByteArray busy = FromWidgetText(QStringLiteral("多忙につき参加できません。"));
    const Case cases[] = {
        {"accept, whatever the reason says",
         [](TfrmJoin &j) { j.ReasonTxt->setText(QStringLiteral("ignored")); }, "MRJ\t-7\t0\tJOIN\t"},
        {"refuse with the default reason", [](TfrmJoin &j) { Choose(j.RadioButton2); },
         "MRJ\t-7\t1\t" + busy + "\t"},
        {"refuse with the reason emptied",
         [](TfrmJoin &j) {
             Choose(j.RadioButton2);
             j.ReasonTxt->clear();
         },
         "MRJ\t-7\t1\t\t"},
        {"refuse with a pasted line break",
         [](TfrmJoin &j) {
             Choose(j.RadioButton2);
             j.ReasonTxt->setText(QStringLiteral("会議中\r\nです\t"));
         },
         "MRJ\t-7\t1\t" + FromWidgetText(QStringLiteral("会議中です")) + "\t"},
        {"refuse, then accept after all",
         [](TfrmJoin &j) {
             Choose(j.RadioButton2);
             EXPECT_TRUE(j.ReasonTxt->isEnabled());
             Choose(j.RadioButton1);
             EXPECT_FALSE(j.ReasonTxt->isEnabled());
         },
         "MRJ\t-7\t0\tJOIN\t"},
    };
    for (const Case &c : cases) {
        sender.frames.clear();
        join = new TfrmJoin(&owner, sender);
        join->RoomId = -7;
        join->show();
        c.choose(*join);
        join->Button1Click();
        EXPECT_EQ(sender.frames, QByteArrayList{c.sent}) << c.name;
        EXPECT_TRUE(QTest::qWaitFor([&] { return join.isNull(); }));
    }
}

TEST_F(JoinDialog, ReasonIsCutTo50Bytes)
{
    join->RadioButton2Click();
    join->ReasonTxt->setText(QString(24, QChar(u'あ')) + QStringLiteral("xい"));
    EXPECT_EQ(join->ReasonTxt->text(), QString(24, QChar(u'あ')) + QStringLiteral("x"));
}

TEST_F(JoinDialog, TheCloseBoxOrNoChoiceSendsNothing)
{
    join->RadioButton1->setAutoExclusive(false);
    join->RadioButton1->setChecked(false);
    join->Button1Click();
    EXPECT_TRUE(sender.frames.isEmpty());
    EXPECT_TRUE(join->isVisible()) << "left open";
    join->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return join.isNull(); }));
    EXPECT_TRUE(sender.frames.isEmpty());
}

} // namespace
