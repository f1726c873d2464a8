#include "platform/TrayIcon.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStyleHints>

namespace tray {

namespace {

struct Translation {
    QSystemTrayIcon::ActivationReason reason;
    int mouseMessage;
};

constexpr Translation Translations[] = {
    {QSystemTrayIcon::Trigger, LeftButtonDown},
    {QSystemTrayIcon::DoubleClick, LeftButtonDoubleClick},
    {QSystemTrayIcon::Context, RightButtonDown},
    {QSystemTrayIcon::MiddleClick, MiddleButtonDown},
};

} // namespace

std::optional<int> MouseMessageFor(QSystemTrayIcon::ActivationReason reason)
{
    for (const auto &t : Translations)
        if (t.reason == reason)
            return t.mouseMessage;
    return std::nullopt;
}

std::optional<int> ClickTranslator::MouseMessageFor(QSystemTrayIcon::ActivationReason reason, qint64 nowMs)
{
    if (nowMs < 0) {
        static QElapsedTimer clock;
        if (!clock.isValid())
            clock.start();
        nowMs = clock.elapsed();
    }
    if (reason != QSystemTrayIcon::Trigger) {
        if (reason == QSystemTrayIcon::DoubleClick)
            m_lastTrigger = -1;
        return tray::MouseMessageFor(reason);
    }
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (m_lastTrigger >= 0 && nowMs - m_lastTrigger <= interval) {
        m_lastTrigger = -1;
        return LeftButtonDoubleClick;
    }
    m_lastTrigger = nowMs;
    return LeftButtonDown;
}

} // namespace tray
