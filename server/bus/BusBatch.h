#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Several bus messages for one channel in one PUBLISH, so that at a high rate
// Redis and every listening node handle one message where there were many:
// "*\n", then for each message its length in decimal, '\n' and its bytes. A
// lone message goes as it is; it starts with its node's number, never '*'.
QByteArray PackBusMessages(const QByteArrayList &messages);
// The messages of one PUBLISH, in order. Of a batch cut short or malformed,
// those before the fault.
QByteArrayList UnpackBusMessages(const QByteArray &published);
