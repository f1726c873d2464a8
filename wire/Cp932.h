#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Code page 932 as the wire and user.ini carry it. Text stays bytes everywhere in
// the model; these are the only places where bytes become characters or back.
namespace cp932 {

// Bytes that open a double-byte character: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Whether the byte at pos is the second byte of a double-byte character, judged
// by the bytes from `begin` up to it: an odd run of lead bytes just before pos
// makes it a second byte.
bool IsTrailByteAt(QByteArrayView text, qsizetype pos, qsizetype begin = 0);

// Bytes that cannot be decoded become U+FFFD; characters that cp932 cannot
// hold become "?".
QString ToUnicode(QByteArrayView bytes);
QByteArray FromUnicode(const QString &text);

} // namespace cp932
