#pragma once

#include "settings/UserSettings.h"

#include <QRect>
#include <QString>

#include <stdexcept>

// user.ini in UserIniFolder(): by default the current directory, found anew
// at every access so that a change of directory is followed.
QString UserIniPath();

// A write the file system refused. The text is "<path> に書き込めません" (UTF-8).
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const QString &path);
};

// A file that exists but cannot be read is not written: writing it would lose
// everything in it but the key written. The first refused write of such a file
// fails with this error ("<path> を読み込めないため、設定を保存しません"); later
// writes of it are skipped without one.
class SettingsUnreadableError : public std::runtime_error {
public:
    explicit SettingsUnreadableError(const QString &path);
};

// Reads every value; what is missing or not a number keeps its default.
TUserSettings ReadUserSettings();

// After an accepted logon: ID, CORP, PWDMEMORY, PWD, in that order, then
// [SYSTEM] HOST and PORT when they differ from what the files give. The
// password is written only when it is to be remembered; otherwise the stored
// one is erased. Throws SettingsWriteError at the first refused key; keys
// written before it keep their new values.
void SaveUserSection(const TUserSettings &settings);

// When the main window is closed: LEFT, TOP, WIDTH, HEIGHT, in that order.
void SaveFormBounds(const QRect &bounds);
