#pragma once

#include <QSystemTrayIcon>

#include <optional>

// The tray icon's clicks as the mouse messages the notification area reports,
// so that one handler (TfrmDummyMain::IconMessage) carries all click rules.
namespace tray {

inline constexpr int LeftButtonDown = 513;
inline constexpr int LeftButtonDoubleClick = 515;
inline constexpr int RightButtonDown = 516;
inline constexpr int MiddleButtonDown = 519;

// The mouse message of an activation, or none where the toolkit cannot say
// which button it was. A double click arrives as Trigger then DoubleClick,
// exactly like a button press followed by the double-click message.
std::optional<int> MouseMessageFor(QSystemTrayIcon::ActivationReason reason);

// The same, for a stream of activations. Trays that speak the desktop-bus
// protocol report every left click as a Trigger and never a DoubleClick; a
// second Trigger within the double-click interval is therefore the double
// click, as it would be on a tray that reports one.
class ClickTranslator {
public:
    // nowMs: a monotonic clock in milliseconds; the default reads the real one.
    std::optional<int> MouseMessageFor(QSystemTrayIcon::ActivationReason reason, qint64 nowMs = -1);

private:
    qint64 m_lastTrigger = -1;
};

} // namespace tray
