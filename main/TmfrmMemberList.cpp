// The member list half of the main window: loading the list the server sends,
// members coming and going, finding a member, and sending the tree back.
#include "main/Tmfrm.h"

#include "main/members/MemberItem.h"
#include "main/members/MemberTree.h"
#include "main/members/OwnState.h"
#include "main/members/TreeWalk.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"
#include "wire/Fields.h"

#include <QPushButton>
#include <QTcpSocket>
#include <QTreeWidget>

#include <array>

namespace {

// A broken list can hold thousands of bad lines; the user sees the first few
// one by one and the rest counted in one box, so the client stays usable.
constexpr qsizetype ErrorLineBoxes = 5;
constexpr qsizetype ShownLineCharacters = 2048;

// The collected list lines, in bytes. A company's list is a few thousand lines
// of well under a hundred bytes each, and the server bounds every name; 64 MiB
// is over half a million such lines. A list that outgrows it is no list.
constexpr qsizetype ListBufferLimit = 64 * 1024 * 1024;

void ReportErrorLines(const QByteArrayList &lines)
{
    for (qsizetype i = 0; i < std::min(lines.size(), ErrorLineBoxes); ++i) {
        // Cut as characters, so a double-byte character is never split.
        QString shown = ToWidgetText(lines[i]);
        if (shown.size() > ShownLineCharacters)
            shown = shown.first(ShownLineCharacters) + QStringLiteral("…");
        ui::ShowMessage(QStringLiteral("ErrorLine:") + shown);
    }
    if (lines.size() > ErrorLineBoxes)
        ui::ShowMessage(QStringLiteral("ErrorLine: ほかに %1 行を読み込めませんでした。")
                            .arg(lines.size() - ErrorLineBoxes));
}

// Open conversations end with the list they belong to. A window that fails to
// close ends the program, as its member is about to disappear under it.
void CloseConversations(const QTreeWidget &tree)
{
    QList<QPointer<QObject>> windows;
    ForEachInTree(tree, [&windows](MemberItem *node, int) {
        if (node->node.Window)
            windows.append(node->node.Window);
    });
    try {
        for (const QPointer<QObject> &window : windows)
            if (auto *widget = qobject_cast<QWidget *>(window.data()))
                widget->close();
    } catch (const std::exception &) {
        ui::RequestTermination();
    }
}

} // namespace

void Tmfrm::ProcLSETS(const FieldList &)
{
    CloseConversations(*ftree);
    Members->clear();
    ListBuffer.clear();
}

void Tmfrm::ProcLSETD(const FieldList &fields)
{
    // Fields 1 to 7, each followed by a TAB. A short LSETD fails before
    // anything is collected.
    std::array<QByteArrayView, 7> parts;
    for (int i = 0; i < 7; ++i)
        parts[i] = fields.view(i + 1);
    ListBuffer.appendTabbed(parts);
    if (ListBuffer.byteCount() > ListBufferLimit) {
        // Not a member list any more: the connection is broken. Dropped like
        // a lost connection; the next logon sends the list again.
        ListBuffer.clear();
        csock->abort();
    }
}

void Tmfrm::ProcLSETE(const FieldList &)
{
    Panel2->setText(OwnStateCaption(presence::Available));
    if (Panel2Tag != presence::Available) {
        Panel2Tag = presence::Available;
        AnnouncedState = presence::Available;
    }
    LoadListText(ListBuffer);
    // The lines stay until the next LSETS; no room is kept for more.
    ListBuffer.squeeze();
    ftree->show();
}

void Tmfrm::ProcUADD(const FieldList &fields)
{
    const int connection = fields.intField(1);
    const QByteArray &id = fields.field(2);
    const int state = ParseDecimal(fields.field(3)).value_or(presence::Available);
    for (MemberItem *node : FindMember(id)) {
        node->node.ConnectionNo = connection;
        node->node.State = state;
    }
    RefreshTreeSoon();
}

void Tmfrm::ProcUDEL(const FieldList &fields)
{
    const int connection = fields.intField(1);
    const QByteArray &id = fields.field(2);
    // Only the connection that came online goes offline: a member who has
    // meanwhile logged on again stays online.
    for (MemberItem *node : FindMember(id))
        if (node->node.ConnectionNo == connection)
            node->node.State = presence::Offline;
    RefreshTreeSoon();
}

void Tmfrm::LoadListText(const ListLines &lines)
{
    ftree->setUpdatesEnabled(false);
    const QByteArrayList errorLines = Members->load(lines);
    ftree->setUpdatesEnabled(true);
    ReportErrorLines(errorLines);
}

QList<MemberItem *> Tmfrm::FindMember(const QByteArray &id)
{
    return Members->find(id);
}

// Captions and pictures are read from the records whenever the tree draws, so
// a repaint shows every record as it now is. A label that turned bold is wider:
// the column is fitted again, so the sideways scrolling reaches its end.
void Tmfrm::RefreshTree()
{
    ftree->resizeColumnToContents(0);
    ftree->viewport()->update();
}

// Presence comes in bursts (one UADD per member online after a logon): within
// a drain the tree is fitted and repainted once, when the drain ends.
void Tmfrm::RefreshTreeSoon()
{
    if (InDispatch)
        TreeRefreshPending = true;
    else
        RefreshTree();
}

void Tmfrm::UploadList()
{
    for (const QByteArray &frame : Members->uploadFrames())
        SendFrame(frame);
}
