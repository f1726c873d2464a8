#include "meetings/TfrmCRM.h"

#include "main/members/MemberItem.h"
#include "meetings/CentreOnScreen.h"
#include "platform/CleanedInput.h"
#include "platform/Fonts.h"
#include "platform/OwnedWindow.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"
#include "wire/FrameSender.h"

#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr qsizetype NameLimit = 50;
constexpr int FormWidth = 377;
constexpr int MinimumHeight = 261;

} // namespace

TfrmCRM::TfrmCRM(QWidget *owner, QTreeWidget *ftree, FrameSender &sender, const QByteArray &roomIdText)
    : RoomIdText(roomIdText), m_ftree(ftree), m_sender(sender)
{
    MakeOwnedTopLevel(this, owner);
    setWindowTitle(QStringLiteral("会議室作成"));
    setFont(WindowFont(12));
    setFixedWidth(FormWidth);
    setMinimumHeight(MinimumHeight);
    resize(FormWidth, MinimumHeight);

    Label1 = new QLabel(QStringLiteral("会議名："), this);
    Edit1 = new QLineEdit(QStringLiteral("会議"), this);
    Label2 = new QLabel(QStringLiteral("招待者："), this);
    Label4 = new QLabel(QStringLiteral("メンバーリストからドラッグ＆ドロップするか、選択してから追加を押してください。"), this);
    Label4->setWordWrap(true);
    Label4->setFont(WindowFont(10));
    Label4->setStyleSheet(QStringLiteral("color: navy"));
    Label4->setFixedWidth(84);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AddListBox = new QListWidget(this);
    AddListBox->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    AddListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    AddListBox->setAcceptDrops(true);
    AddListBox->viewport()->setAcceptDrops(true);
    AddListBox->viewport()->installEventFilter(this);
    Button1 = new QPushButton(QStringLiteral("追加"), this);
    Button2 = new QPushButton(QStringLiteral("行削除"), this);
    Button5 = new QPushButton(QStringLiteral("全削除"), this);
    Label3 = new QLabel(QStringLiteral("招待メッセージ："), this);
    Edit2 = new QLineEdit(QStringLiteral("参加してください。"), this);
    Edit2->setMaxLength(50);
    Button3 = new QPushButton(QStringLiteral("作成実行(&A)"), this);
    Button4 = new QPushButton(QStringLiteral("キャンセル(&C)"), this);

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1, 1, 2);
    auto *invitees = new QVBoxLayout;
    invitees->addWidget(Label2);
    invitees->addWidget(Label4);
    invitees->addStretch();
    grid->addLayout(invitees, 1, 0);
    grid->addWidget(AddListBox, 1, 1);
    auto *listButtons = new QVBoxLayout;
    listButtons->addWidget(Button1);
    listButtons->addWidget(Button2);
    listButtons->addWidget(Button5);
    listButtons->addStretch();
    grid->addLayout(listButtons, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(Edit2, 2, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button3);
    buttons->addWidget(Button4);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);

    connect(Button1, &QPushButton::clicked, this, &TfrmCRM::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmCRM::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmCRM::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TfrmCRM::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TfrmCRM::Button5Click);
    connect(Edit1, &QLineEdit::textChanged, this, &TfrmCRM::Edit1Change);
    connect(Edit2, &QLineEdit::textChanged, this, &TfrmCRM::Edit2Change);

    Timer1 = new QTimer(this);
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &TfrmCRM::Timer1Timer);
    Timer1->start();
}

void TfrmCRM::AddEntry(const QByteArray &text, const QByteArray &userId)
{
    if (m_invitees.add(text, userId))
        AddListBox->addItem(ToWidgetText(text));
}

void TfrmCRM::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_centred) {
        CentreOnScreen(this);
        m_centred = true;
    }
    FormShow();
}

void TfrmCRM::FormShow()
{
    if (IsCreateMode()) {
        setWindowTitle(QStringLiteral("会議室作成"));
        Edit1->setReadOnly(false);
        Button3->setText(QStringLiteral("作成実行(&A)"));
    } else {
        setWindowTitle(QStringLiteral("招待"));
        Edit1->setReadOnly(true);
        Button3->setText(QStringLiteral("招待実行(&A)"));
        Edit2->setFocus();
    }
}

const MemberNode *TfrmCRM::SelectedNode() const
{
    if (!m_ftree)
        return nullptr;
    QTreeWidgetItem *item = m_ftree->currentItem();
    const MemberItem *node = item && item->isSelected() ? AsMember(item) : nullptr;
    return node ? &node->node : nullptr;
}

void TfrmCRM::AppendSelectedNode()
{
    if (const MemberNode *node = SelectedNode())
        AddEntry(node->DisplayName, node->Id);
}

bool TfrmCRM::EntrySelected() const
{
    const QListWidgetItem *item = AddListBox->currentItem();
    return item && item->isSelected();
}

bool TfrmCRM::AddListBoxDragOver(QObject *source) const
{
    return source && source == m_ftree && m_invitees.mayAdd(SelectedNode());
}

void TfrmCRM::AddListBoxDragDrop(QObject *source)
{
    if (AddListBoxDragOver(source))
        AppendSelectedNode();
}

bool TfrmCRM::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != AddListBox->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const bool accept = AddListBoxDragOver(drag->source());
        if (accept)
            drag->setDropAction(Qt::CopyAction);
        drag->setAccepted(accept);
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const bool accept = AddListBoxDragOver(drop->source());
        AddListBoxDragDrop(drop->source());
        // Always a copy: the tree keeps its node.
        drop->setDropAction(Qt::CopyAction);
        drop->setAccepted(accept);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void TfrmCRM::Button1Click()
{
    if (m_invitees.mayAdd(SelectedNode()))
        AppendSelectedNode();
    else
        ui::Beep();
}

void TfrmCRM::Button2Click()
{
    if (!EntrySelected()) {
        ui::Beep();
        return;
    }
    const int row = AddListBox->currentRow();
    const qsizetype next = m_invitees.removeAt(row);
    delete AddListBox->takeItem(row);
    if (next >= 0) {
        AddListBox->setCurrentRow(static_cast<int>(next));
        AddListBox->item(static_cast<int>(next))->setSelected(true);
    }
}

void TfrmCRM::Button3Click()
{
    m_sender.SendFrame(RoomRequestFrame(RoomIdText, FromWidgetText(Edit1->text()), FromWidgetText(Edit2->text()),
                                        m_invitees));
    close();
}

void TfrmCRM::Button4Click()
{
    close();
}

void TfrmCRM::Button5Click()
{
    m_invitees.clear();
    AddListBox->clear();
}

void TfrmCRM::Edit1Change()
{
    ReplaceWithCleanText(Edit1, NameLimit, CaretAfterCleaning::Kept);
}

void TfrmCRM::Edit2Change()
{
    ReplaceWithCleanText(Edit2, NameLimit, CaretAfterCleaning::Kept);
}

void TfrmCRM::Timer1Timer()
{
    Button1->setEnabled(m_invitees.mayAdd(SelectedNode()));
    Button2->setEnabled(EntrySelected());
}
