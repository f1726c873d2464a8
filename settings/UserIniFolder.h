#pragma once

#include <QString>

// Where user.ini lives: the current folder, as it always has, or, when the
// client is started from the desktop's menu, the user's configuration folder.
QString UserIniFolder();

// Keeps user.ini in $XDG_CONFIG_HOME/vantrel-im (~/.config/vantrel-im) from
// now on. The folder is created readable by the user alone, since user.ini
// may hold a password. False and a reason when it cannot be created.
bool UseConfigFolder(QString *error);
// Back to the current folder.
void UseCurrentFolder();
bool UsesConfigFolder();

// The administrator's defaults for every user, vantrel-im/user.ini in the
// first folder of $XDG_CONFIG_DIRS (/etc/xdg) that has one; empty when none.
// Only its [SYSTEM] keys are read, for those the user's file lacks.
QString SystemIniPath();
