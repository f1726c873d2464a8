#pragma once

#include <QString>

// The tray icon's tooltip: the program's title and, while logged on, the
// user's name and own state, so that a glance at the panel tells who is
// logged on and how colleagues see them.
QString TrayToolTip(const QString &title, const QString &ownName, int ownState, bool loggedOn);
