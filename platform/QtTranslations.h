#pragma once

class QCoreApplication;

// Installs the toolkit's own Japanese texts (standard buttons, the edit boxes'
// context menus, ...) whatever the desktop's language, so that they speak the
// same language as the rest of the client. False when Debian's translation
// package is missing; the toolkit's English texts then stay.
bool InstallJapaneseQtTranslations(QCoreApplication &app);
