#pragma once

#include <QByteArray>
#include <QString>

// The one place where widget text and model bytes meet. Any line break the
// user typed or pasted becomes CR LF, so that cleaning removes it whole and
// no lone CR or LF reaches a frame.
QString ToWidgetText(const QByteArray &cp932Bytes);
QByteArray FromWidgetText(const QString &text);

// What a label draws of bytes from the server: at most `maxBytes` of them, cut
// between characters, with "…" when something was left out. The bytes
// themselves are kept whole; a name of hundreds of kilobytes would otherwise
// be converted and measured at every repaint.
inline constexpr qsizetype LabelTextBytes = 512;
QString ToLabelText(const QByteArray &cp932Bytes, qsizetype maxBytes = LabelTextBytes);
