// Meeting rooms reach the main window here: the room table, the join
// dialog, and the room traffic handed on to each room's window.
#include "main/Tmfrm.h"
#include "meetings/RoomId.h"
#include "meetings/TfrmCRM.h"
#include "meetings/TfrmJoin.h"
#include "meetings/TfrmMeet.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"

#include <QLabel>
#include <QLineEdit>

// A room opens once; a second MRM for it changes nothing, not even the caption.
void Tmfrm::ProcMRM(const FieldList &fields)
{
    const int roomId = ReadRoomId(fields.view(1));
    const QByteArray roomName = fields.field(2);
    const QByteArray key = RoomKey(roomId);
    if (roomId == 0 || RoomTable.find(key))
        return;
    auto *room = new TfrmMeet(this, *this, RoomTable, ftree);
    room->RoomId = roomId;
    room->RoomName = roomName;
    RoomTable.append(key, room);
    room->show();
}

// Every invitation to a room not open here gets a dialog of its own.
void Tmfrm::ProcMRJ(const FieldList &fields)
{
    const int roomId = ReadRoomId(fields.view(1));
    const QByteArray roomName = fields.field(2);
    const QByteArray requester = fields.field(3);
    const QByteArray message = fields.field(4);
    if (roomId == 0 || RoomTable.find(RoomKey(roomId)))
        return;
    auto *join = new TfrmJoin(this, *this);
    join->RoomId = roomId;
    join->rname->setText(ToWidgetText(roomName));
    join->rowner->setText(ToWidgetText(requester));
    join->rmsg->setText(ToWidgetText(message));
    ui::Beep();
    join->show();
}

void Tmfrm::ProcMRD(const FieldList &fields)
{
    const int roomId = ReadRoomId(fields.view(1));
    if (roomId == 0) {
        ui::ShowMessage(QStringLiteral("room id error"));
        return;
    }
    auto *room = qobject_cast<TfrmMeet *>(RoomTable.find(RoomKey(roomId)));
    if (!room) {
        ui::ShowMessage(QStringLiteral("room memory error"));
        return;
    }
    (void)fields.view(2); // a frame without a sub-code fails here, naming MRD
    room->ProcRoomFrame(FieldList(fields.all().mid(2)));
}

// "会議室の作成": a new room, gathered from the tree.
void Tmfrm::N10Click()
{
    (new TfrmCRM(this, ftree, *this, "0"))->show();
}
