#pragma once

#include "main/FailureFold.h"
#include "main/members/ListLines.h"
#include "meetings/OpeningPace.h"
#include "meetings/RoomRegistry.h"
#include "messaging/AbsenceQueue.h"
#include "platform/TlsSession.h"
#include "wire/RetryPause.h"
#include "wire/FieldList.h"
#include "wire/FrameCutter.h"
#include "wire/FrameSender.h"
#include "wire/InboundQueue.h"

#include <QAbstractSocket>
#include <QMainWindow>
#include <QPixmap>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPainter;
class QPushButton;
class QTcpSocket;
class QTimer;
class QTreeWidget;
class QWidget;
class SingleConnect;
class ConnectionIconPanel;
class MemberItem;
class MemberTree;

// The main window: the member tree, the own-presence button and the status bar,
// and the owner of what the rest of the client shares — the socket, the two
// timers, the inbound queue. The handlers keep the names of their controls and
// events; each hands its work to a plain object.
//
// Split by subsystem: Tmfrm.cpp (creation, menus, closing), TmfrmConnection.cpp
// (socket, session, drain, dispatch, logon exchange), TmfrmMemberList.cpp (the
// tree and its frames), TmfrmPresence.cpp (the own state), TmfrmTreeEditing.cpp
// (the user's arrangement and its upload), TmfrmConversations.cpp (messages
// and absence messages), TmfrmMeetings.cpp (rooms).
class Tmfrm : public QMainWindow, public FrameSender {
    Q_OBJECT
public:
    explicit Tmfrm(QWidget *parent = nullptr);
    ~Tmfrm() override;

    // The windows created after this one; menu items open them.
    void setLogonDialog(QWidget *dialog) { logonfrm = dialog; }
    void setAboutBox(QWidget *box) { AboutBox = box; }

    // Writes the frame and its CR LF to the server; dropped silently while not
    // connected.
    void SendFrame(const QByteArray &frame) override;

    // Controls, named as on the form.
    QTcpSocket *csock;
    SingleConnect *Connector;
    TlsSession *Tls = nullptr; // with [SYSTEM] TLS=1: csock is its socket
    QTimer *Timer1;
    QTimer *ProcTimer;
    QLabel *BackImage;
    QTreeWidget *ftree;
    QWidget *Panel1;
    QPushButton *Panel2;
    ConnectionIconPanel *StatusPanel0;
    QLabel *StatusPanel1;
    QMenu *MMenuUser;
    QAction *LogonItem;
    QAction *LogoffItem;
    QAction *ListLoadSeparator;
    QAction *ListLoadItem;
    QAction *X1;
    QMenu *E1;
    QAction *N4;
    QMenu *M1;
    QAction *N10;
    QMenu *H1;
    QAction *WEB1;
    QAction *V1;

    // The inbound path: bytes → ReceiveBuffer → InboundQueue → drain. While a
    // modal box holds the drain up, reading stops once this much is queued, and
    // the server waits for us.
    static constexpr qsizetype InboundQueueHighWater = 16 * 1024 * 1024;
    FrameCutter ReceiveBuffer;
    FrameQueue InboundQueue;
    bool InDispatch = false;
    FailureFold DispatchFailures;
    ListLines ListBuffer;
    AbsenceMessageQueue AbsenceQueue;
    // Meeting rooms (TmfrmMeetings.cpp): the open rooms, and the pace at
    // which a burst of them gets its windows.
    RoomRegistry RoomTable;
    OpeningPace RoomOpeningPace;
    bool RoomTurnScheduled = false;
    void OpenRoomWindow(PendingRoom room);
    void OpenPendingRooms();
    void ScheduleRoomTurn();
    int AnnouncedState = 3;

    // Member list (TmfrmMemberList.cpp): the tree's contents and its id index.
    std::unique_ptr<MemberTree> Members;
    void LoadListText(const ListLines &lines);
    QList<MemberItem *> FindMember(const QByteArray &id);
    void RefreshTree();
    void RefreshTreeSoon();
    bool TreeRefreshPending = false;
    void UploadList();

    // Own presence (TmfrmPresence.cpp). Panel2Tag is the state the user chose.
    QMenu *mystatemenu;
    QAction *N5;
    QAction *N6;
    QAction *N7;
    int Panel2Tag = 3;
    void Panel2Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void SendStateChange();

    // Editing the tree (TmfrmTreeEditing.cpp). The popup menu shows only after
    // a right press on a node has attached it.
    QMenu *ftreePopupMenu;
    QAction *N12;
    QAction *N11;
    QAction *N8;
    QAction *h2;
    QAction *E2;
    QAction *N9;
    bool ftreePopupAttached = false;
    int TreeMouseX = 0;
    int TreeMouseY = 0;
    void N8Click();
    void E2Click();
    void N9Click();
    void ftreeMouseDown(Qt::MouseButton button, int x, int y);
    void ftreeMouseMove(int x, int y);
    bool ftreeDragOver(QObject *source, int x, int y);
    void ftreeDragDrop(QObject *source, int x, int y);
    // The node under the last pointer position, when it stands at the selected
    // node's place among its siblings; what the menu and double click act on.
    MemberItem *NodeUnderPointer() const;

    // Conversations and absence messages (TmfrmConversations.cpp).
    void ftreeDblClick();
    void N12Click();
    void OpenConversation(MemberItem *node);
    void OpenAbsenceMessage(MemberItem *node);

    // Session (TmfrmConnection.cpp).
    void Timer1Timer();
    void csockConnect();
    void csockDisconnect();
    void csockRead();
    void csockError(QAbstractSocket::SocketError error);
    void csockTlsFailed(TlsSession::Failure failure, const QString &reason);
    bool TlsFailureShown = false; // one box until a connection succeeds or the user logs off
    // A refused TCP connection costs the server nothing and is retried at
    // every tick; a TLS handshake costs it a key exchange, and a certificate
    // that failed does not mend itself in 100 ms, so a company of clients with
    // a wrong CAFILE would keep the server busy with thousands of handshakes a
    // second. After a refused handshake: one tick, doubling to 30 s.
    RetryPause TlsRetry{std::chrono::milliseconds(100), std::chrono::seconds(30)};
    bool SessionConnected() const;
    void ProcTimerTimer();
    void DispatchFrame(const QByteArray &frame);
    void ShowDispatchFailure(const QString &text);
    void MMenuUserClick();
    void LogonItemClick();
    void LogoffItemClick();
    static void StatusBar1DrawPanel(QPainter &painter, const QList<QPixmap> &ImageSrvState,
                                    const QString &panelText, const QRect &rect);

    // Handlers of the inbound codes, in the dispatcher's order.
    void Proc000(const FieldList &fields);
    void Proc001(const FieldList &fields);
    void Proc002(const FieldList &fields);
    void ProcLSETS(const FieldList &fields);
    void ProcLSETD(const FieldList &fields);
    void ProcLSETE(const FieldList &fields);
    void ProcUADD(const FieldList &fields);
    void ProcUDEL(const FieldList &fields);
    void ProcMSG(const FieldList &fields);
    void ProcMSI(const FieldList &fields);
    void ProcSTC(const FieldList &fields);
    void ProcMRM(const FieldList &fields);
    void ProcMRJ(const FieldList &fields);
    void ProcMRD(const FieldList &fields);
    void ProcAMS(const FieldList &fields);

    // Window (Tmfrm.cpp).
    void X1Click();
    void E1Click();
    void M1Click();
    void WEB1Click();
    void V1Click();
    void N4Click();
    void N10Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    void createCentralArea();
    void createStatusBar();
    void createSocket();
    void attachSocket(QTcpSocket *socket);
    void createTimers();
    void createMemberList();
    void createStateMenu();
    void createTreePopupMenu();
    void ftreeContextMenu(const QPoint &pos);
    void FormCreate();
    bool FormCloseQuery();
    void HideWhenMinimised();

    QWidget *logonfrm = nullptr;
    QWidget *AboutBox = nullptr;
};

// Status panel 0: draws the connection icon from its text, a marker that is
// never shown ("ACTIVE" while connected).
class ConnectionIconPanel : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionIconPanel(QWidget *parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString &text);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QList<QPixmap> m_images; // ImageSrvState: 0 not connected, 1 connected
};
