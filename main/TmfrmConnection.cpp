// The connection half of the main window: the socket and its events, the
// session timer, the drain of the inbound queue, the dispatcher and the logon
// exchange.
#include "main/InboundCodes.h"
#include "main/Session.h"
#include "main/Tmfrm.h"

#include "platform/SingleConnect.h"
#include "platform/SocketErrors.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"
#include "resources/Pictures.h"
#include "settings/SettingsFile.h"
#include "shell/ClientVersion.h"
#include "wire/ClientGlobals.h"
#include "wire/Cp932.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>

#include <optional>

namespace {

// The socket's own buffer is bounded too, so a stalled drain pushes back to
// the server instead of growing memory.
constexpr qint64 SocketReadBuffer = 1024 * 1024;

using Handler = void (Tmfrm::*)(const FieldList &);
struct Route {
    QByteArrayView code;
    Handler handler;
};

#define VANTREL_ROUTE(code, handler) Route{code, &Tmfrm::handler},
const Route DispatchTable[] = {VANTREL_INBOUND_CODES(VANTREL_ROUTE)};
#undef VANTREL_ROUTE

} // namespace

void Tmfrm::createSocket()
{
    if (UserSettings.Tls) {
        Tls = new TlsSession(cp932::ToUnicode(UserSettings.CaFile), this);
        connect(Tls, &TlsSession::ready, this, &Tmfrm::csockConnect);
        connect(Tls, &TlsSession::failed, this, &Tmfrm::csockTlsFailed);
        attachSocket(Tls->socket());
    } else {
        attachSocket(new QTcpSocket(this));
        connect(csock, &QTcpSocket::connected, this, &Tmfrm::csockConnect);
    }
    // One attempt per tick: the socket takes the connection over once it is up.
    Connector = new SingleConnect(this);
    connect(Connector, &SingleConnect::connected, this, [this](qintptr descriptor) {
        if (Tls)
            attachSocket(Tls->newSocket());
        if (!csock->setSocketDescriptor(descriptor))
            return csockError(csock->error());
        if (Tls)
            return Tls->start(QString::fromLatin1(UserSettings.Host));
        csockConnect();
    });
    connect(Connector, &SingleConnect::failed, this, &Tmfrm::csockError);
}

void Tmfrm::attachSocket(QTcpSocket *socket)
{
    csock = socket;
    csock->setReadBufferSize(SocketReadBuffer);
    // Until the handshake has succeeded, an encrypted socket's errors and end
    // belong to the handshake, which reports them as failed().
    const auto session = [this] { return !Tls || Tls->established(); };
    connect(csock, &QTcpSocket::disconnected, this, [this, session] {
        if (session())
            csockDisconnect();
    });
    connect(csock, &QTcpSocket::readyRead, this, &Tmfrm::csockRead);
    connect(csock, &QTcpSocket::errorOccurred, this, [this, session](QAbstractSocket::SocketError error) {
        if (session())
            csockError(error);
    });
}

// Connected, and over TLS only once the server's certificate has passed.
bool Tmfrm::SessionConnected() const
{
    return csock->state() == QAbstractSocket::ConnectedState && (!Tls || Tls->established());
}

void Tmfrm::Timer1Timer()
{
    const bool paused = SessionState == ssConnectRequested && TlsRetry.holds(RetryPause::Clock::now());
    switch (paused ? SessionStep::None : NextSessionStep(SessionState, SessionConnected())) {
    case SessionStep::OpenSocket:
        csock->abort();
        Connector->start(QString::fromLatin1(UserSettings.Host), UserSettings.Port);
        break;
    case SessionStep::CloseSocket:
        Connector->cancel(); // a logoff ends an attempt still under way
        TlsFailureShown = false; // the next logon may say it again
        TlsRetry.reset();        // and tries at once
        // An orderly close first; a socket still closing at the next tick (a
        // server that no longer reads) is cut, so logging off always ends it.
        if (csock->state() == QAbstractSocket::ConnectedState)
            csock->disconnectFromHost();
        else if (csock->state() != QAbstractSocket::UnconnectedState)
            csock->abort();
        break;
    case SessionStep::None:
        break;
    }
    StatusPanel0->setText(SessionConnected() ? QStringLiteral("ACTIVE") : QStringLiteral("NON-ACTIVE"));
    HideWhenMinimised();
}

void Tmfrm::csockConnect()
{
    SessionState = ssOnline;
    TlsFailureShown = false;
    TlsRetry.reset();
    // A frame cut short by the previous connection would otherwise swallow the
    // new greeting.
    ReceiveBuffer.clear();
}

void Tmfrm::csockDisconnect()
{
    StatusPanel1->setText(QStringLiteral("サーバとの接続が切断されました"));
    ftree->hide();
}

void Tmfrm::csockRead()
{
    if (InboundQueue.byteCount() > InboundQueueHighWater)
        return; // the drain picks reading up again once it has caught up
    const QByteArray bytes = csock->readAll();
    if (ReceiveBuffer.CutFrames(bytes, InboundQueue) == FrameCutter::Result::Overflow)
        csock->abort(); // not our protocol: treated as a lost connection
}

void Tmfrm::csockError(QAbstractSocket::SocketError error)
{
    const int code = WinsockErrorCode(error);
    if (code == socketcode::ConnectionRefused) {
        StatusPanel1->setText(QStringLiteral("サーバと接続できませんでした"));
        SessionState = ssConnectRequested;
        return;
    }
    // The server closing an established connection is the ordinary end of a
    // session; the disconnect that follows reports it.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    // Any other error on an established connection ends it as well: the socket
    // closes, csockDisconnect reports it and the session reconnects. The box
    // opens once the socket has finished with the error, so reconnecting goes
    // on while the user reads it.
    QTimer::singleShot(0, this, [code] {
        ui::ShowMessage(QStringLiteral("ＩＭサーバとの接続に想定外のエラーが発生しました。 CODE=%1").arg(code));
    });
}

// A handshake that fails is retried as a refused connection is, after a pause
// that grows while the server's TLS keeps being refused (RetryPause). The user
// is told once why the server's certificate or TLS itself was refused, with
// the library's reason; a connection lost on the way is retried without a word.
void Tmfrm::csockTlsFailed(TlsSession::Failure failure, const QString &reason)
{
    StatusPanel1->setText(QStringLiteral("サーバと接続できませんでした"));
    if (SessionState == ssIdle)
        SessionState = ssConnectRequested;
    if (failure == TlsSession::Failure::Lost)
        return;
    TlsRetry.failed(RetryPause::Clock::now());
    if (TlsFailureShown)
        return;
    TlsFailureShown = true;
    const QString text = failure == TlsSession::Failure::Untrusted
                             ? QStringLiteral("ＩＭサーバの証明書を確認できないため、接続しませんでした。\r%1")
                             : QStringLiteral("ＩＭサーバと暗号化した接続を確立できませんでした。\r%1");
    QTimer::singleShot(0, this, [text, reason] { ui::ShowMessage(text.arg(reason)); });
}

void Tmfrm::SendFrame(const QByteArray &frame)
{
    if (!SessionConnected())
        return;
    csock->write(frame + FrameDelimiter.toByteArray());
}

// Once termination has been asked for (an unknown code), no further frame is
// handled: the program is ending, and a flood of them would each open a box.
void Tmfrm::ProcTimerTimer()
{
    if (InDispatch)
        return; // a handler further down the stack has a modal box open
    InDispatch = true;
    std::optional<QString> failure;
    while (!InboundQueue.empty() && !ui::TerminationRequested()) {
        try {
            DispatchFrame(InboundQueue.takeFirst());
        } catch (const std::exception &error) {
            // A folded failure costs no box, and the drain goes on.
            if (DispatchFailures.admit()) {
                failure = QString::fromUtf8(error.what());
                break;
            }
        }
    }
    InDispatch = false;
    if (TreeRefreshPending) {
        TreeRefreshPending = false;
        RefreshTree();
    }
    if (failure) {
        // The frames still queued go at the next tick, which the box's own
        // loop delivers while it is open.
        ShowDispatchFailure(*failure);
        return;
    }
    if (csock->bytesAvailable() > 0)
        csockRead(); // reading paused while the queue was full
}

// Opened once the drain has returned: a box opened inside the drain's timer
// handler would hold that timer, and every frame behind it, until it closed.
void Tmfrm::ShowDispatchFailure(const QString &text)
{
    QTimer::singleShot(0, this, [this, text] {
        DispatchFailures.boxOpened();
        ui::ShowError(text);
        if (const qsizetype folded = DispatchFailures.boxClosed())
            ShowDispatchFailure(QStringLiteral("処理エラー: ほかに %1 件のデータを処理できませんでした。").arg(folded));
    });
}

void Tmfrm::DispatchFrame(const QByteArray &frame)
{
    const FieldList fields(frame);
    if (fields.size() == 0) {
        ui::ShowMessage(QStringLiteral("処理エラー(ProcTypeCheck)"));
        return;
    }
    for (const Route &route : DispatchTable) {
        if (fields.code() == route.code) {
            (this->*route.handler)(fields);
            return;
        }
    }
    // The box shows no more than a screenful of a huge frame.
    constexpr qsizetype shownBytes = 2048;
    QString shown = ToWidgetText(frame.first(std::min(frame.size(), shownBytes)));
    if (frame.size() > shownBytes)
        shown += QStringLiteral("…");
    ui::ShowMessage(QStringLiteral("Get Unknown Data :") + shown);
    ui::RequestTermination();
}

void Tmfrm::StatusBar1DrawPanel(QPainter &painter, const QList<QPixmap> &ImageSrvState, const QString &panelText,
                                const QRect &rect)
{
    painter.drawPixmap(rect.topLeft(), ImageSrvState[panelText == u"ACTIVE" ? 1 : 0]);
}

void Tmfrm::MMenuUserClick()
{
    ListLoadSeparator->setVisible(false);
    ListLoadItem->setVisible(false);
    LogonItem->setVisible(!SessionConnected());
    LogoffItem->setVisible(SessionConnected());
}

void Tmfrm::LogonItemClick()
{
    if (!logonfrm)
        return;
    logonfrm->show();
    logonfrm->raise();
    logonfrm->activateWindow();
}

void Tmfrm::LogoffItemClick()
{
    SessionState = ssLogoffRequested;
}

void Tmfrm::Proc000(const FieldList &)
{
    SendFrame(MakeFrame({"000", UserSettings.UserId, QByteArray::number(UserSettings.CorpIndex),
                         UserSettings.Password, QByteArray::number(ClientVersion.major),
                         QByteArray::number(ClientVersion.minor), QByteArray::number(ClientVersion.release)},
                        TrailingTab::Yes));
}

void Tmfrm::Proc001(const FieldList &fields)
{
    switch (fields.intField(1)) {
    case 0:
        SaveUserSection(UserSettings);
        break;
    case 2:
        ui::ShowMessage(QStringLiteral("プログラムのバージョンエラーで接続できません。\r"
                                       "プログラムを最新のものに更新して下さい"));
        break;
    default:
        ui::ShowMessage(QStringLiteral("接続設定に誤りがあります。\r再度内容を確認して接続して下さい。"));
        SessionState = ssLogoffRequested;
        break;
    }
}

void Tmfrm::Proc002(const FieldList &fields)
{
    OwnDisplayName = fields.field(1);
    StatusPanel1->setText(ToLabelText(OwnDisplayName) + QStringLiteral("でログインしています"));
}
