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
#include <QTimer>

// A room opens once; a second MRM for it changes nothing, not even the
// caption. The window opens at once, unless a burst of rooms has used up
// this turn's time: then its row is entered now and the window made at a
// later turn of the event loop, so the user is answered in between.
void Tmfrm::ProcMRM(const FieldList &fields)
{
    const int roomId = ReadRoomId(fields.view(1));
    const QByteArray roomName = fields.field(2);
    const QByteArray key = RoomKey(roomId);
    if (roomId == 0 || RoomTable.contains(key))
        return;
    PendingRoom room{key, roomId, roomName, {}};
    if (!RoomTable.hasPending() && RoomOpeningPace.mayOpen())
        OpenRoomWindow(std::move(room));
    else
        RoomTable.appendPending(std::move(room));
    ScheduleRoomTurn();
}

void Tmfrm::OpenRoomWindow(PendingRoom room)
{
    auto *window = new TfrmMeet(this, *this, RoomTable, ftree);
    window->RoomId = room.roomId;
    window->RoomName = room.name;
    RoomTable.append(room.key, window);
    window->show();
    // The traffic that waited with the room, each sub-frame failing alone,
    // as it would have failed in the drain.
    for (const QByteArrayList &subFrame : room.subFrames) {
        try {
            window->ProcRoomFrame(FieldList(subFrame));
        } catch (const std::exception &error) {
            if (DispatchFailures.admit())
                ShowDispatchFailure(QString::fromUtf8(error.what()));
        }
    }
}

void Tmfrm::ScheduleRoomTurn()
{
    if (RoomTurnScheduled)
        return;
    RoomTurnScheduled = true;
    QTimer::singleShot(0, this, [this] {
        RoomTurnScheduled = false;
        RoomOpeningPace.startTurn();
        OpenPendingRooms();
    });
}

void Tmfrm::OpenPendingRooms()
{
    while (RoomTable.hasPending() && RoomOpeningPace.mayOpen())
        OpenRoomWindow(*RoomTable.takeFirstPending());
    if (RoomTable.hasPending())
        ScheduleRoomTurn();
}

// Every invitation to a room not open here gets a dialog of its own.
void Tmfrm::ProcMRJ(const FieldList &fields)
{
    const int roomId = ReadRoomId(fields.view(1));
    const QByteArray roomName = fields.field(2);
    const QByteArray requester = fields.field(3);
    const QByteArray message = fields.field(4);
    if (roomId == 0 || RoomTable.contains(RoomKey(roomId)))
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
    const QByteArray key = RoomKey(roomId);
    PendingRoom *waiting = RoomTable.pendingRoom(key);
    auto *room = qobject_cast<TfrmMeet *>(RoomTable.find(key));
    if (!waiting && !room) {
        ui::ShowMessage(QStringLiteral("room memory error"));
        return;
    }
    (void)fields.view(2); // a frame without a sub-code fails here, naming MRD
    if (waiting)
        waiting->subFrames.append(fields.all().mid(2)); // handed on when the window is made
    else
        room->ProcRoomFrame(FieldList(fields.all().mid(2)));
}

// "会議室の作成": a new room, gathered from the tree.
void Tmfrm::N10Click()
{
    (new TfrmCRM(this, ftree, *this, "0"))->show();
}
