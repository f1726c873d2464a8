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

} // namespace tray
