#include "platform/QtTranslations.h"
#include "platform/ShellOpen.h"
#include "platform/SingleConnect.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"
#include "resources/Pictures.h"
#include "wire/Fields.h"

#include "ClientFixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

#include <unistd.h>

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
    EXPECT_TRUE(QTest::qWaitFor([&] { return later && !fixture.errors.isEmpty(); }));
    EXPECT_EQ(fixture.errors, QStringList{QStringLiteral("壊れた処理")});
}

TEST(Boxes, ShowTheirTextAsPlainText)
{
    // A display name from the server must not be drawn bold, nor fetch a picture.
    const QString markup = QStringLiteral("<b>x</b><img src=\"http://example.invalid/a.png\">");
    const struct {
        const char *name;
        std::function<void()> open;
    } boxes[] = {
        {"message", [&] { ui::ShowMessage(markup); }},
        {"error", [&] { ui::ShowError(markup); }},
        {"prompt", [&] {
             QString value;
             ui::InputQuery(QStringLiteral("名前の変更"), markup, value);
         }},
    };
    for (const auto &box : boxes) {
        std::optional<Qt::TextFormat> format;
        // Looks at the real box once it is open, then closes it.
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            QWidget *open = QApplication::activeModalWidget();
            if (!open)
                return;
            for (const QLabel *label : open->findChildren<QLabel *>())
                if (label->text() == markup)
                    format = label->textFormat();
            open->close();
        });
        look.start(10);
        box.open();
        EXPECT_EQ(format, Qt::PlainText) << box.name;
    }
}

TEST(QtTranslations, StandardButtonsAndEditMenusSpeakJapanese)
{
    ASSERT_TRUE(InstallJapaneseQtTranslations(*QCoreApplication::instance()));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction *action : menu->actions())
        if (!action->isSeparator())
            texts.append(action->text());
    ASSERT_FALSE(texts.isEmpty());
    for (const char *english : {"Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select"})
        EXPECT_FALSE(texts.join(u' ').contains(QLatin1String(english))) << texts.join(u' ').toStdString();
}

TEST(SingleConnect, EachAttemptEndsOnceAndHandsTheConnectionOver)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    SingleConnect connector;
    QSignalSpy connected(&connector, &SingleConnect::connected);
    QSignalSpy failed(&connector, &SingleConnect::failed);
    const struct {
        QString host;
        quint16 port;
        std::optional<QAbstractSocket::SocketError> error; // none: connected
    } cases[] = {
        {QStringLiteral("127.0.0.1"), server.serverPort(), std::nullopt},
        {QStringLiteral("127.0.0.1"), closedPort, QAbstractSocket::ConnectionRefusedError},
        {QStringLiteral("no such host"), 9, QAbstractSocket::HostNotFoundError},
    };
    for (const auto &c : cases) {
        connected.clear();
        failed.clear();
        connector.start(c.host, c.port);
        EXPECT_TRUE(connector.isRunning());
        EXPECT_EQ(connected.size() + failed.size(), 0) << "never from inside start()";
        ASSERT_TRUE(QTest::qWaitFor([&] { return connected.size() + failed.size() > 0; })) << c.host.toStdString();
        EXPECT_FALSE(connector.isRunning());
        if (c.error) {
            ASSERT_EQ(failed.size(), 1);
            EXPECT_EQ(failed[0][0].value<QAbstractSocket::SocketError>(), *c.error);
            continue;
        }
        ASSERT_EQ(connected.size(), 1);
        QTcpSocket socket;
        ASSERT_TRUE(socket.setSocketDescriptor(connected[0][0].value<qintptr>()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }));
        QTcpSocket *accepted = server.nextPendingConnection();
        socket.write("000\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return accepted->bytesAvailable() == 5; }));
    }

    // A cancelled attempt reports nothing; the next one reports alone.
    connected.clear();
    failed.clear();
    connector.start(QStringLiteral("127.0.0.1"), closedPort);
    connector.cancel();
    connector.start(QStringLiteral("127.0.0.1"), server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !connected.isEmpty(); }));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_EQ(connected.size(), 1);
    ::close(static_cast<int>(connected[0][0].value<qintptr>()));
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

// On a dense screen the state pictures take twice the pixels and the same
// room, so the tree's rows keep their layout.
TEST(Pictures, StatePicturesHaveDenseVersions)
{
    const QStringList names = {"state0",  "state1", "state2", "state3", "state4", "state5",
                               "own-state-available", "own-state-away", "own-state-busy"};
    for (const QString &name : names) {
        const QString path = QStringLiteral(":/images/") + name + QStringLiteral(".png");
        const QPixmap plain = pictures::PictureAt(path, 1.0);
        const QPixmap dense = pictures::PictureAt(path, 2.0);
        EXPECT_EQ(dense.size(), plain.size() * 2) << name.toStdString();
        EXPECT_EQ(dense.deviceIndependentSize().toSize(), plain.size()) << name.toStdString();
    }
}

} // namespace
