#include "settings/UserSettings.h"

TUserSettings UserSettings;
