#include "meetings/RoomId.h"

#include "wire/Fields.h"

int ReadRoomId(QByteArrayView text)
{
    return ParseDecimal(text).value_or(0);
}

QByteArray RoomKey(int roomId)
{
    return QByteArray::number(roomId);
}
