#include "platform/TrayIcon.h"

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

} // namespace tray
