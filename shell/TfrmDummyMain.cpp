#include "shell/TfrmDummyMain.h"

#include "platform/AppTitle.h"
#include "platform/TaskbarEntry.h"
#include "platform/TrayIcon.h"
#include "platform/Ui.h"
#include "resources/Pictures.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// How often to look whether the desktop's tray has come or gone. A panel that
// starts after the client is the usual case; a few seconds' delay is fine.
constexpr int TrayWatchInterval = 3000;

} // namespace

TfrmDummyMain::TfrmDummyMain(QWidget *parent)
    : QWidget(parent), PopupMenu1(new QMenu(this)), N1(PopupMenu1->addAction(QStringLiteral("開く"))),
      N2(PopupMenu1->addAction(QStringLiteral("閉じる"))),
      X1(PopupMenu1->addAction(QStringLiteral("終了(&X)"))), ClickTimer(new QTimer(this)),
      m_trayIcon(new QSystemTrayIcon(pictures::ApplicationIcon(), this)), m_trayWatch(new QTimer(this))
{
    N1->setObjectName(QStringLiteral("N1"));
    N2->setObjectName(QStringLiteral("N2"));
    X1->setObjectName(QStringLiteral("X1"));
    connect(N1, &QAction::triggered, this, &TfrmDummyMain::N1Click);
    connect(N2, &QAction::triggered, this, &TfrmDummyMain::N2Click);
    connect(X1, &QAction::triggered, this, &TfrmDummyMain::X1Click);

    ClickTimer->setInterval(1000);
    connect(ClickTimer, &QTimer::timeout, this, &TfrmDummyMain::ClickTimerTimer);

    // The menu is opened by IconMessage, not given to the icon as its context
    // menu, so that every click goes through the same rules.
    m_trayIcon->setToolTip(ApplicationTitle());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (const auto message = m_clicks.MouseMessageFor(reason))
            IconMessage(*message);
    });

    m_trayWatch->setInterval(TrayWatchInterval);
    connect(m_trayWatch, &QTimer::timeout, this, &TfrmDummyMain::TrayWatchTimer);
    m_trayWatch->start();
    TrayWatchTimer();
}

TfrmDummyMain::~TfrmDummyMain()
{
    m_trayIcon->hide();
}

void TfrmDummyMain::setMainWindow(QWidget *mainWindow)
{
    m_mainWindow = mainWindow;
    TrayWatchTimer();
}

void TfrmDummyMain::IconMessage(int mouseMessage)
{
    switch (mouseMessage) {
    case tray::LeftButtonDown:
        ClickPending = true;
        ClickTimer->start();
        break;
    case tray::LeftButtonDoubleClick:
        ClickPending = false;
        ClickTimer->stop();
        ToggleMainWindow();
        break;
    case tray::RightButtonDown:
        OpenPopupMenu();
        break;
    default:
        break;
    }
}

void TfrmDummyMain::ClickTimerTimer()
{
    if (ClickPending)
        OpenPopupMenu();
    ClickTimer->stop();
}

void TfrmDummyMain::TrayWatchTimer()
{
    // Without a tray nothing may hide the main window: the user could not
    // bring it back.
    const bool available = ui::HasNotificationArea();
    N2->setVisible(available);
    m_trayIcon->setVisible(available);
    if (m_toolTipSource)
        m_trayIcon->setToolTip(m_toolTipSource());
    if (!m_mainWindow)
        return;
    // While the icon is there it stands for the program, and the main window
    // (a normal window, which can be minimised and switched to) has no
    // task-bar button. A tray that goes away gives the window its button
    // back, and does not take a hidden window with it.
    SetSkipsTaskbar(m_mainWindow, available);
    if (!available && m_mainWindow->isHidden())
        m_mainWindow->showNormal();
}

void TfrmDummyMain::N1Click()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->showNormal();
}

void TfrmDummyMain::N2Click()
{
    if (m_mainWindow && ui::HasNotificationArea())
        m_mainWindow->hide();
}

void TfrmDummyMain::X1Click()
{
    // Ends at once, past the main window's close handling, so its bounds are
    // not saved.
    ui::RequestTermination();
}

void TfrmDummyMain::OpenPopupMenu()
{
    // popup() rather than exec(): the menu closes itself when the user clicks
    // elsewhere, and no nested event loop runs under the icon's handler.
    PopupMenu1->popup(QCursor::pos());
}

void TfrmDummyMain::ToggleMainWindow()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isVisible()) {
        m_mainWindow->hide();
        return;
    }
    m_mainWindow->showNormal();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
    m_mainWindow->setFocus(Qt::ActiveWindowFocusReason);
}
