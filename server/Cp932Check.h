#pragma once

#include <QByteArrayView>

// Whether the bytes are well-formed code page 932 text: single bytes 0x01-0x7F
// and 0xA1-0xDF, or a lead byte followed by a trail byte 0x40-0x7E, 0x80-0xFC.
// NUL and a lead byte without its trail are not text.
bool IsWellFormedCp932(QByteArrayView text);
