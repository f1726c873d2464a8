#pragma once

#include "settings/UserSettings.h"

#include <QRect>
#include <QSize>

// Where the main window opens: the stored bounds, pulled back onto the screen.
// An oversized width or height falls back to 220 × 350, smaller than the
// defaults, so that a window from a larger display fits.
QRect PlaceMainWindow(const TUserSettings &settings, QSize screen);
