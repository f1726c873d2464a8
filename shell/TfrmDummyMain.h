#pragma once

#include "platform/TrayIcon.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The hidden owner window: created first, never shown. It owns the tray icon
// and its menu, so the main window can be hidden and shown again without
// ending the program.
class TfrmDummyMain : public QWidget {
    Q_OBJECT

public:
    explicit TfrmDummyMain(QWidget *parent = nullptr);
    ~TfrmDummyMain() override;

    // The main window is created after this one, so it comes in later.
    void setMainWindow(QWidget *mainWindow);
    // Gives the tray icon's tooltip, asked again at every tray check.
    void setToolTipSource(std::function<QString()> source) { m_toolTipSource = std::move(source); }

    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }

    // The icon's mouse messages (tray::LeftButtonDown, ...): the click rules.
    void IconMessage(int mouseMessage);

    void ClickTimerTimer();
    // Shows or withdraws the icon as the desktop gains or loses its tray.
    void TrayWatchTimer();

    void N1Click();
    void N2Click();
    void X1Click();

    QMenu *const PopupMenu1;
    QAction *const N1; // 開く
    QAction *const N2; // 閉じる
    QAction *const X1; // 終了(&X)
    QTimer *const ClickTimer;

private:
    void OpenPopupMenu();
    void ToggleMainWindow();

    QSystemTrayIcon *const m_trayIcon;
    tray::ClickTranslator m_clicks;
    QTimer *const m_trayWatch;
    QPointer<QWidget> m_mainWindow;
    std::function<QString()> m_toolTipSource;
    // A single left click waits for ClickTimer, so that a double click can
    // still cancel it.
    bool ClickPending = false;
};
