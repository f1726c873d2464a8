#pragma once

#include <QByteArray>
#include <QString>

// The one place where widget text and model bytes meet. Any line break the
// user typed or pasted becomes CR LF, so that cleaning removes it whole and
// no lone CR or LF reaches a frame.
QString ToWidgetText(const QByteArray &cp932Bytes);
QByteArray FromWidgetText(const QString &text);
