// The user's own arrangement of the member tree: groups added, renamed and
// deleted, nodes moved by drag and drop. Every edit is sent to the server.
#include "main/MemberLabelDelegate.h"
#include "main/Tmfrm.h"

#include "main/members/EditRules.h"
#include "main/members/MemberItem.h"
#include "main/members/MemberTree.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"
#include "wire/Fields.h"

#include <QDropEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

#include <functional>
#include <optional>

namespace {

constexpr qsizetype NameLimit = 50;

// Routes the tree's pointer and drag events to the window's handlers. Drops
// are handled here entirely, so the view's own move (which would delete the
// dragged rows) never runs.
class TreeEvents : public QObject {
public:
    explicit TreeEvents(Tmfrm &window) : QObject(window.ftree), m_window(window) {}

    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QPoint at = mouse->position().toPoint();
            m_window.ftreeMouseDown(mouse->button(), at.x(), at.y());
            return false;
        }
        case QEvent::MouseButtonDblClick:
            m_window.ftreeDblClick();
            return false; // a group still opens or closes as usual
        case QEvent::MouseMove: {
            const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
            m_window.ftreeMouseMove(at.x(), at.y());
            return false;
        }
        case QEvent::DragEnter:
            static_cast<QDragEnterEvent *>(event)->acceptProposedAction();
            return true;
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            const QPoint at = drag->position().toPoint();
            drag->setAccepted(m_window.ftreeDragOver(drag->source(), at.x(), at.y()));
            if (drag->isAccepted())
                drag->setDropAction(Qt::CopyAction);
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QPoint at = drop->position().toPoint();
            m_window.ftreeDragDrop(drop->source(), at.x(), at.y());
            // A copy, as far as the drag knows: the node has been moved already.
            drop->setDropAction(Qt::CopyAction);
            drop->setAccepted(drop->source() == m_window.ftree);
            return true;
        }
        default:
            return false;
        }
    }

private:
    Tmfrm &m_window;
};

MemberItem *SelectedNode(const QTreeWidget &tree)
{
    QTreeWidgetItem *item = tree.currentItem();
    return item && item->isSelected() ? AsMember(item) : nullptr;
}

int SiblingIndex(QTreeWidgetItem *item)
{
    QTreeWidgetItem *parent = item->parent();
    return parent ? parent->indexOfChild(item) : item->treeWidget()->indexOfTopLevelItem(item);
}

// Asks for a name; a name over the limit beeps, then is cut like any field.
std::optional<QByteArray> AskName(const QString &caption, const QString &prompt, const QString &initial)
{
    QString value = initial;
    if (!ui::InputQuery(caption, prompt, value))
        return std::nullopt;
    const QByteArray entered = FromWidgetText(value);
    if (entered.size() > NameLimit)
        ui::Beep();
    return CleanFieldText(entered, NameLimit);
}

// Every edit: the change, the refreshed tree and the upload, drawn once.
void RunEdit(Tmfrm &window, const std::function<void()> &change)
{
    window.ftree->setUpdatesEnabled(false);
    change();
    window.RefreshTree();
    window.UploadList();
    window.ftree->setUpdatesEnabled(true);
}

// A node held across a prompt: the prompt's event loop goes on delivering
// frames, and a new list deletes every node.
class HeldNode {
public:
    HeldNode(const QTreeWidget &tree, MemberItem *node)
        : m_tree(tree), m_index(node ? tree.indexFromItem(node) : QModelIndex()), m_held(node != nullptr)
    {
    }
    bool held() const { return m_held; }
    // The node, or none when it has gone meanwhile.
    MemberItem *get() const { return m_index.isValid() ? AsMember(m_tree.itemFromIndex(m_index)) : nullptr; }

private:
    const QTreeWidget &m_tree;
    QPersistentModelIndex m_index;
    bool m_held;
};

void AddGroup(Tmfrm &window, const QString &caption, MemberItem *selected)
{
    const HeldNode held(*window.ftree, selected);
    const auto name = AskName(caption, QStringLiteral("グループ名"), QStringLiteral("グループ"));
    MemberItem *parent = held.get();
    if (held.held() && !parent)
        return; // the group it was meant for is gone
    if (name)
        RunEdit(window, [&] { window.Members->addGroup(parent, *name); });
}

} // namespace

void Tmfrm::createMemberList()
{
    Members = std::make_unique<MemberTree>(*ftree);
    ftree->setItemDelegate(new MemberLabelDelegate(ftree));
    // The delegate marks a selected label itself; the row around it stays plain.
    QPalette palette = ftree->palette();
    palette.setColor(QPalette::Highlight, palette.color(QPalette::Base));
    ftree->setPalette(palette);
    ftree->setUniformRowHeights(true);
    ftree->setSelectionMode(QAbstractItemView::SingleSelection);
    ftree->setDragEnabled(true);
    ftree->setAcceptDrops(true);
    ftree->setDragDropMode(QAbstractItemView::DragDrop);
    ftree->setDefaultDropAction(Qt::CopyAction);
    ftree->setDropIndicatorShown(false);
    ftree->viewport()->setMouseTracking(true);
    ftree->viewport()->installEventFilter(new TreeEvents(*this));
    ftree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ftree, &QTreeWidget::customContextMenuRequested, this, &Tmfrm::ftreeContextMenu);
    createTreePopupMenu();
    createStateMenu();
}

void Tmfrm::createTreePopupMenu()
{
    ftreePopupMenu = new QMenu(this);
    N12 = ftreePopupMenu->addAction(QStringLiteral("メール作成"), this, &Tmfrm::N12Click);
    N11 = ftreePopupMenu->addSeparator();
    N8 = ftreePopupMenu->addAction(QStringLiteral("グループの追加"), this, &Tmfrm::N8Click);
    h2 = ftreePopupMenu->addSeparator();
    E2 = ftreePopupMenu->addAction(QStringLiteral("表示名編集(&E)"), this, &Tmfrm::E2Click);
    N9 = ftreePopupMenu->addAction(QStringLiteral("削除(&R)"), this, &Tmfrm::N9Click);
}

void Tmfrm::ftreeContextMenu(const QPoint &pos)
{
    if (ftreePopupAttached)
        ftreePopupMenu->popup(ftree->viewport()->mapToGlobal(pos));
}

void Tmfrm::N4Click()
{
    AddGroup(*this, QStringLiteral("ルートグループ追加"), nullptr);
}

void Tmfrm::N8Click()
{
    AddGroup(*this, QStringLiteral("サブグループ追加"), SelectedNode(*ftree));
}

MemberItem *Tmfrm::NodeUnderPointer() const
{
    MemberItem *node = AsMember(ftree->itemAt(TreeMouseX, TreeMouseY));
    MemberItem *selected = SelectedNode(*ftree);
    if (!node || !selected || SiblingIndex(selected) != SiblingIndex(node))
        return nullptr;
    return node;
}

void Tmfrm::E2Click()
{
    MemberItem *node = NodeUnderPointer();
    if (!node)
        return;
    QString prompt = QStringLiteral(" 変更前：") + ToWidgetText(node->node.DisplayName);
    if (node->node.Kind != "UG")
        prompt += QStringLiteral("\r デフォルト：") + ToWidgetText(node->node.DefaultName);
    const HeldNode held(*ftree, node);
    const auto name = AskName(QStringLiteral("表示名編集"), prompt, ToWidgetText(node->node.DisplayName));
    node = held.get();
    if (name && node)
        RunEdit(*this, [&] { node->node.DisplayName = *name; });
}

void Tmfrm::N9Click()
{
    MemberItem *node = SelectedNode(*ftree);
    if (!node)
        return;
    switch (CheckDelete(node->node.Kind, node->childCount() > 0)) {
    case DeleteRefusal::IsMember:
        ui::Beep();
        ui::ShowMessage(QStringLiteral("現在のバージョンではユーザの削除は行えません。"));
        return;
    case DeleteRefusal::HasChildren:
        ui::Beep();
        ui::ShowMessage(QStringLiteral("子ノードのあるグループの削除は行えません。\r下位のノードから削除して下さい。"));
        return;
    case DeleteRefusal::None:
        break;
    }
    RunEdit(*this, [&] { Members->remove(node); });
}

void Tmfrm::ftreeMouseDown(Qt::MouseButton button, int x, int y)
{
    if (button != Qt::RightButton)
        return;
    MemberItem *node = AsMember(ftree->itemAt(x, y));
    ftreePopupAttached = node != nullptr;
    if (!node)
        return;
    ftree->setCurrentItem(node);
    const bool group = !IsExactMemberKind(node->node.Kind);
    N8->setEnabled(group);
    N9->setEnabled(group);
}

void Tmfrm::ftreeMouseMove(int x, int y)
{
    TreeMouseX = x;
    TreeMouseY = y;
}

bool Tmfrm::ftreeDragOver(QObject *, int x, int y)
{
    return ftree->itemAt(x, y) != nullptr;
}

void Tmfrm::ftreeDragDrop(QObject *source, int x, int y)
{
    MemberItem *dragged = SelectedNode(*ftree);
    MemberItem *target = AsMember(ftree->itemAt(x, y));
    if (source != ftree || !dragged || !target)
        return;
    RunEdit(*this, [&] {
        if (Members->move(dragged, target))
            ftree->setCurrentItem(dragged);
    });
}
