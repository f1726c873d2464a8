#pragma once

#include <QtGlobal>

// The longest message text, in bytes, that the input boxes let through; longer
// input is cut while it is typed.
inline constexpr qsizetype MessageTextLimit = 1024;
