// Conversations and absence messages reach the main window here.
#include "main/Tmfrm.h"

#include "main/Session.h"
#include "main/members/MemberItem.h"
#include "messaging/TAbsenceFrm.h"
#include "messaging/TfrmMsg.h"
#include "platform/ShellOpen.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"

#include <QApplication>
#include <QLabel>
#include <QTreeWidget>

namespace {

TfrmMsg *ConversationOf(const MemberItem *node)
{
    return qobject_cast<TfrmMsg *>(node->node.Window.data());
}

void ShowConversation(TfrmMsg *window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
}

} // namespace

void Tmfrm::OpenConversation(MemberItem *node)
{
    auto *window = new TfrmMsg(this, node, *this, ftree);
    node->node.Window = window;
    window->Panel1->hide();
    window->show();
    window->tolabel->setText(QStringLiteral("宛先：") + ToWidgetText(node->node.DisplayName));
}

void Tmfrm::OpenAbsenceMessage(MemberItem *node)
{
    (new TAbsenceFrm(this, *node, *this))->show();
}

void Tmfrm::ftreeDblClick()
{
    MemberItem *node = NodeUnderPointer();
    if (!node || node->node.Kind != "U")
        return;
    if (node->node.State == presence::Offline)
        OpenAbsenceMessage(node);
    else if (TfrmMsg *window = ConversationOf(node))
        ShowConversation(window);
    else
        OpenConversation(node);
}

// The first node in tree order with the peer's id holds the conversation. A
// copy of the user's own message names the peer in field 1 and the user in
// field 2.
void Tmfrm::ProcMSG(const FieldList &fields)
{
    const QByteArray &peer = fields.field(1);
    const QByteArray &sender = fields.field(2);
    const QByteArray &text = fields.field(3);
    const QByteArray &stamp = fields.field(4);
    const QList<MemberItem *> nodes = FindMember(peer);
    if (nodes.isEmpty())
        return;
    MemberItem *node = nodes.first();
    TfrmMsg *window = ConversationOf(node);
    if (window)
        ShowConversation(window);
    else
        OpenConversation(node);
    window = ConversationOf(node);
    // Desktops that refuse to hand over the focus at least show that it wants it.
    if (!window->isActiveWindow())
        QApplication::alert(window);
    window->AddTranscriptLine(stamp, sender == peer ? node->node.DisplayName : OwnDisplayName, text);
}

// Never opens a window; "N" and "F" are the only states.
void Tmfrm::ProcMSI(const FieldList &fields)
{
    const QByteArray &peer = fields.field(1);
    const QByteArray &state = fields.field(2);
    const QList<MemberItem *> nodes = FindMember(peer);
    if (nodes.isEmpty())
        return;
    if (TfrmMsg *window = ConversationOf(nodes.first())) {
        ShowConversation(window);
        window->ShowPeerTyping(state);
    }
}

// Queued whole; the absence message window shows one at a time. A short frame
// fails before anything is queued.
void Tmfrm::ProcAMS(const FieldList &fields)
{
    QByteArray entry;
    for (int i = 1; i <= 4; ++i)
        entry.append(fields.view(i)).append('\t');
    AbsenceQueue.append(entry);
}

void Tmfrm::N12Click()
{
    MemberItem *node = NodeUnderPointer();
    if (!node)
        return;
    if (node->node.Kind != "U" || node->node.Mail.isEmpty()) {
        ui::Beep();
        return;
    }
    ShellOpen("mailto:" + node->node.Mail);
}
