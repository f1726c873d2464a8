#include "platform/ShellOpen.h"
#include "platform/WidgetText.h"
#include "resources/Pictures.h"
#include "wire/Fields.h"

#include "ClientFixture.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(ShellOpen, OpensWebAddressesAndMailLinksOnly)
{
    ClientFixture fixture;
    const struct {
        QByteArray target;
        QString opened; // empty: nothing opened
    } cases[] = {
        {"https://vantrel.example/im/", QStringLiteral("https://vantrel.example/im/")},
        {"mailto:yamada@vantrel.example", QStringLiteral("mailto:yamada@vantrel.example")},
        // A crafted address stays an address: no query, fragment or scheme of its own.
        {"mailto:x@y?attach=/etc/passwd", QStringLiteral("mailto:x@y%3Fattach=/etc/passwd")},
        {"mailto:file:///etc/passwd", QStringLiteral("mailto:file:///etc/passwd")},
        {"file:///etc/passwd", {}},
        {"/usr/bin/xterm", {}},
        {"javascript:alert(1)", {}},
    };
    for (const auto &c : cases) {
        fixture.opened.clear();
        ShellOpen(c.target);
        if (c.opened.isEmpty()) {
            EXPECT_TRUE(fixture.opened.isEmpty()) << c.target.toStdString();
        } else {
            ASSERT_EQ(fixture.opened.size(), 1) << c.target.toStdString();
            EXPECT_EQ(fixture.opened[0].toString(QUrl::FullyEncoded), c.opened);
            EXPECT_EQ(fixture.opened[0].scheme(), QUrl(c.opened).scheme());
        }
    }
}

TEST(WidgetText, TypedLineBreaksNeverReachTheWireAlone)
{
    for (const QString &text : {QStringLiteral("a\nb"), QStringLiteral("a\rb"), QStringLiteral("a\r\nb"),
                                QStringLiteral("a\u2029b")})
        EXPECT_EQ(CleanFieldText(FromWidgetText(text), 1024), "ab") << text.toStdString();
    EXPECT_EQ(ToWidgetText(FromWidgetText(QStringLiteral("山田 ～"))), QStringLiteral("山田 ～"));
}

TEST(GuardedApplication, AnErrorEscapingAHandlerIsShownAndTheLoopGoesOn)
{
    ClientFixture fixture;
    bool later = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("壊れた処理"); });
    QTimer::singleShot(1, [&] { later = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return later; }));
    EXPECT_EQ(fixture.errors, QStringList{QStringLiteral("壊れた処理")});
}

TEST(Pictures, AllDecodeAtTheirSizes)
{
    // The JPEGs need Qt's JPEG plugin; a missing one leaves empty pictures.
    EXPECT_FALSE(pictures::BackImage().isNull());
    EXPECT_EQ(pictures::LogonBanner().size(), QSize(280, 60));
    EXPECT_EQ(pictures::AboutBanner().size(), QSize(280, 60));
    const auto states = pictures::ImageList1();
    ASSERT_EQ(states.size(), 6);
    for (const QPixmap &state : states)
        EXPECT_EQ(state.size(), QSize(16, 16));
    for (const QPixmap &icon : pictures::ImageSrvState())
        EXPECT_FALSE(icon.isNull());
    EXPECT_FALSE(pictures::ApplicationIcon().isNull());
}

} // namespace
