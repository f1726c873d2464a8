#pragma once

#include <QString>

// The data folder holds password hashes and users' messages: it and the
// database in it are made readable by their owner only, whatever the umask of
// whoever starts the program.
bool PrepareDataFolder(const QString &dataDir, QString *error);

// When root runs the program on an existing data folder that another user
// owns (the service's folder, say), the program becomes that user, so that
// the files it creates stay usable by the service. Does nothing otherwise;
// false and a reason when the switch fails.
bool ActAsDataFolderOwner(const QString &dataDir, QString *error);
