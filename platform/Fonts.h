#pragma once

#include <QFont>

// The windows' Japanese font at a character height in pixels, falling back to
// an installed Japanese font where the usual one is missing.
QFont WindowFont(int pixelHeight);
