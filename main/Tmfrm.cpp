#include "main/Tmfrm.h"

#include "main/MemberTreeView.h"
#include "main/Session.h"
#include "main/members/MemberTree.h"
#include "platform/Fonts.h"
#include "platform/FrameSize.h"
#include "platform/ShellOpen.h"
#include "platform/Ui.h"
#include "platform/WrappingMenuBar.h"
#include "resources/Pictures.h"
#include "settings/SettingsFile.h"
#include "settings/WindowBounds.h"

#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>

namespace {
constexpr QByteArrayView ProductWebAddress = "https://vantrel.example/im/";
}

Tmfrm::Tmfrm(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Vantrel"));
    setFont(WindowFont(12));

    createMenus();
    createCentralArea();
    createMemberList();
    createStatusBar();
    createTimers();

    InDispatch = false;
    UserSettings.UserId.clear();
    UserSettings.Password.clear();
    UserSettings.RememberPassword = false;
    SessionState = ssIdle;
    StatusPanel0->setText(QStringLiteral("NONACTIVE"));
    FormCreate();
    // After the settings are read: TLS=1 there makes the socket an encrypted one.
    createSocket();
}

Tmfrm::~Tmfrm()
{
    // The socket outlives this destructor's body; its closing must not call
    // back into a window that is half gone.
    csock->disconnect(this);
}

void Tmfrm::FormCreate()
{
    ListBuffer.clear();
    // LoadSettings: the file, then the window placed within the screen.
    UserSettings = ReadUserSettings();
    // The stored bounds are the window's outer frame.
    const QRect bounds = PlaceMainWindow(UserSettings, screen()->size());
    move(bounds.topLeft());
    ResizeFrameTo(this, bounds.size());
    AnnouncedState = 3;
    if (UserSettings.RememberPassword)
        SessionState = ssConnectRequested;
}

// The menu bar wraps onto a second row in the narrow window, so that every
// menu stays in sight.
void Tmfrm::createMenus()
{
    auto *bar = new WrappingMenuBar(this);
    setMenuWidget(bar);
    auto addMenu = [bar, this](const QString &title) { return bar->addMenu(new QMenu(title, this)); };
    MMenuUser = addMenu(QStringLiteral("ユーザー(&P)"));
    LogonItem = MMenuUser->addAction(QStringLiteral("ログオン(&L)"), this, &Tmfrm::LogonItemClick);
    LogoffItem = MMenuUser->addAction(QStringLiteral("ログオフ(&C)"), this, &Tmfrm::LogoffItemClick);
    ListLoadSeparator = MMenuUser->addSeparator();
    ListLoadItem = MMenuUser->addAction(QStringLiteral("リストの読込"));
    MMenuUser->addSeparator();
    X1 = MMenuUser->addAction(QStringLiteral("終了(&X)"), this, &Tmfrm::X1Click);
    connect(MMenuUser, &QMenu::aboutToShow, this, &Tmfrm::MMenuUserClick);

    E1 = addMenu(QStringLiteral("編集(&E)"));
    N4 = E1->addAction(QStringLiteral("ルートグループの追加"), this, &Tmfrm::N4Click);
    connect(E1, &QMenu::aboutToShow, this, &Tmfrm::E1Click);

    M1 = addMenu(QStringLiteral("ミーティング(&M)"));
    N10 = M1->addAction(QStringLiteral("会議室の作成"), this, &Tmfrm::N10Click);
    connect(M1, &QMenu::aboutToShow, this, &Tmfrm::M1Click);

    H1 = addMenu(QStringLiteral("ヘルプ(&H)"));
    WEB1 = H1->addAction(QStringLiteral("VantrelWEBを開く"), this, &Tmfrm::WEB1Click);
    V1 = H1->addAction(QStringLiteral("バージョン情報(&A)"), this, &Tmfrm::V1Click);
}

// BackImage and ftree share one cell: hiding the tree shows the picture.
void Tmfrm::createCentralArea()
{
    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    BackImage = new QLabel(central);
    BackImage->setPixmap(pictures::BackImage());
    BackImage->setScaledContents(true);
    BackImage->setMinimumSize(1, 1);
    grid->addWidget(BackImage, 0, 0);

    ftree = new MemberTreeView(central);
    ftree->setHeaderHidden(true);
    ftree->setIndentation(19);
    ftree->setFont(WindowFont(13));
    ftree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ftree->setSortingEnabled(false);
    // A long name scrolls sideways rather than being cut at the window's edge.
    ftree->header()->setStretchLastSection(false);
    ftree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ftree->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ftree->hide();
    grid->addWidget(ftree, 0, 0);

    Panel1 = new QWidget(central);
    Panel1->setFixedHeight(32);
    auto *row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    Panel2 = new QPushButton(QStringLiteral("応答可▼"), Panel1);
    Panel2->setFlat(true);
    Panel2->setFixedWidth(88);
    Panel2->setFocusPolicy(Qt::NoFocus); // a panel that is clicked, not a control to tab to
    row->addWidget(Panel2);
    row->addStretch();
    grid->addWidget(Panel1, 1, 0);
    setCentralWidget(central);
}

void Tmfrm::createStatusBar()
{
    StatusPanel0 = new ConnectionIconPanel(this);
    StatusPanel1 = new QLabel(this);
    StatusPanel1->setMinimumWidth(100);
    StatusPanel1->setTextFormat(Qt::PlainText); // shows the server's display name
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1, 1);
    statusBar()->setSizeGripEnabled(false);
}

void Tmfrm::createTimers()
{
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &Tmfrm::Timer1Timer);
    Timer1->start();
    ProcTimer = new QTimer(this);
    ProcTimer->setInterval(100);
    connect(ProcTimer, &QTimer::timeout, this, &Tmfrm::ProcTimerTimer);
    ProcTimer->start();
}

void Tmfrm::HideWhenMinimised()
{
    // Only where the tray icon can bring the window back.
    if (isMinimized() && isVisible() && ui::HasNotificationArea())
        hide();
}

bool Tmfrm::FormCloseQuery()
{
    try {
        SaveFormBounds(frameGeometry());
    } catch (const SettingsWriteError &error) {
        ui::ShowError(QString::fromUtf8(error.what()));
        return false;
    } catch (const SettingsUnreadableError &error) {
        // Nothing was written, and nothing would be: the window still closes.
        ui::ShowError(QString::fromUtf8(error.what()));
    }
    return true;
}

// Closing the main window ends the program (it does not hide it); the bounds
// are written first, and a refused write keeps the window open.
void Tmfrm::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    ui::RequestTermination();
}

void Tmfrm::X1Click()
{
    ui::RequestTermination();
}

void Tmfrm::E1Click()
{
    N4->setEnabled(!ftree->isHidden());
}

void Tmfrm::M1Click()
{
    N10->setEnabled(!ftree->isHidden());
}

void Tmfrm::WEB1Click()
{
    ShellOpen(ProductWebAddress);
}

void Tmfrm::V1Click()
{
    if (auto *box = qobject_cast<QDialog *>(AboutBox))
        box->exec();
}

ConnectionIconPanel::ConnectionIconPanel(QWidget *parent) : QWidget(parent), m_images(pictures::ImageSrvState())
{
    setFixedWidth(20);
}

void ConnectionIconPanel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

QSize ConnectionIconPanel::sizeHint() const
{
    return QSize(20, 18);
}

void ConnectionIconPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Tmfrm::StatusBar1DrawPanel(painter, m_images, m_text, rect());
}
