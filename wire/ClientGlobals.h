#pragma once

#include <QByteArrayView>

// The two separators of the wire: fields are split by one TAB, frames end in CR LF.
inline constexpr QByteArrayView FieldSeparator("\t");
inline constexpr QByteArrayView FrameDelimiter("\r\n");
