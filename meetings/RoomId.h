#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A room id travels as decimal text. Text that is not a 32-bit decimal number
// reads as 0, which names no room. The key of a room is its id rewritten
// canonically, so "007" and "7" are one room.
int ReadRoomId(QByteArrayView text);
QByteArray RoomKey(int roomId);
