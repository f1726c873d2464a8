#include "meetings/TfrmMeet.h"

#include "meetings/Attention.h"
#include "meetings/CentreOnScreen.h"
#include "meetings/MemberListDelegate.h"
#include "meetings/MemberRowLook.h"
#include "meetings/RoomId.h"
#include "meetings/RoomRegistry.h"
#include "meetings/TfrmCRM.h"
#include "platform/CleanedInput.h"
#include "platform/Fonts.h"
#include "platform/OwnedWindow.h"
#include "platform/TranscriptBox.h"
#include "platform/WidgetText.h"
#include "wire/ChatLine.h"
#include "wire/FieldList.h"
#include "wire/FrameSender.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

constexpr qsizetype ChatLimit = 1024;
constexpr int ColumnWidth = 183;
constexpr int NameWidth = 120;
constexpr QRgb HeaderColour = qRgb(0xa6, 0xca, 0xf0); // sky blue

// A row of the member list: its text is the user id, never drawn; the record
// rides along with it.
class MeetMemberItem : public QListWidgetItem {
public:
    static constexpr int Type = QListWidgetItem::UserType + 2;
    explicit MeetMemberItem(MeetMember record)
        : QListWidgetItem(ToWidgetText(record.userId()), nullptr, Type), member(std::move(record))
    {
    }
    MeetMember member;
};

MeetMember &RecordOf(QListWidgetItem *item)
{
    return static_cast<MeetMemberItem *>(item)->member;
}

} // namespace

TfrmMeet::TfrmMeet(QWidget *owner, FrameSender &sender, RoomRegistry &rooms, QTreeWidget *ftree)
    : m_sender(sender), m_rooms(rooms), m_ftree(ftree)
{
    MakeOwnedTopLevel(this, owner); // its own task-bar entry, like a conversation
    setWindowTitle(QStringLiteral("会議室"));
    setFont(WindowFont(12));
    resize(503, 405);
    createMenu();
    createControls();
}

// The records go with their items; nothing is sent and the room table, which
// may already be gone at the program's end, is not touched.
TfrmMeet::~TfrmMeet() = default;

void TfrmMeet::createMenu()
{
    F1 = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    N2 = F1->addAction(QStringLiteral("招待する"), this, &TfrmMeet::N2Click);
    N1 = F1->addSeparator();
    X1 = F1->addAction(QStringLiteral("終了(&X)"), this, &TfrmMeet::X1Click);
}

void TfrmMeet::createControls()
{
    auto *central = new QWidget(this);
    auto *columns = new QHBoxLayout(central);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    auto *left = new QVBoxLayout;
    left->setSpacing(0);
    msgout = new QTextEdit(central);
    msgout->setReadOnly(true);
    msgout->setAcceptRichText(false);
    msgout->setFocusPolicy(Qt::ClickFocus); // not reached by tab
    msgout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    left->addWidget(msgout, 1);
    auto *strip = new QWidget(central);
    strip->setFixedHeight(23);
    auto *input = new QHBoxLayout(strip);
    input->setContentsMargins(0, 0, 2, 0);
    input->setSpacing(2);
    msginp = new QLineEdit(strip);
    msginp->installEventFilter(this);
    Button1 = new QPushButton(QStringLiteral("送信"), strip);
    Button1->setFixedSize(51, 17);
    input->addWidget(msginp, 1);
    input->addWidget(Button1);
    left->addWidget(strip);
    columns->addLayout(left, 1);

    auto *column = new QWidget(central);
    column->setFixedWidth(ColumnWidth);
    auto *right = new QVBoxLayout(column);
    right->setContentsMargins(0, 0, 0, 4);
    right->setSpacing(2);
    HeaderPanel = new QWidget(column);
    HeaderPanel->setFixedHeight(24);
    HeaderPanel->setAutoFillBackground(true);
    QPalette sky = HeaderPanel->palette();
    sky.setColor(QPalette::Window, QColor(HeaderColour));
    HeaderPanel->setPalette(sky);
    NameHeader = new QLabel(QStringLiteral("名前▼"), HeaderPanel);
    NameHeader->move(16, 6);
    StateHeader = new QLabel(QStringLiteral("状態▼"), HeaderPanel);
    StateHeader->move(136, 6);
    right->addWidget(HeaderPanel);
    MemberList = new QListWidget(column);
    MemberList->setUniformItemSizes(true);
    MemberList->setItemDelegate(new MemberListDelegate(*this, MemberList));
    right->addWidget(MemberList, 1);
    Button2 = new QPushButton(QStringLiteral("招待する"), column);
    Button2->setFixedSize(173, 25);
    right->addWidget(Button2, 0, Qt::AlignHCenter);
    columns->addWidget(column);

    setCentralWidget(central);
    connect(Button1, &QPushButton::clicked, this, &TfrmMeet::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmMeet::Button2Click);
    connect(msginp, &QLineEdit::textChanged, this, &TfrmMeet::msginpChange);
}

QByteArray TfrmMeet::RoomIdText() const
{
    return RoomKey(RoomId);
}

void TfrmMeet::ProcRoomFrame(const FieldList &fields)
{
    const QByteArrayView code = fields.view(0);
    if (code == "ADM")
        ProcADM(fields);
    else if (code == "DLM")
        ProcDLM(fields);
    else if (code == "CHA")
        ProcCHA(fields);
    else if (code == "CHI")
        ProcCHI(fields);
    else if (code == "SYS")
        ProcSYS(fields);
}

// A member already listed stays as it is; one without a display name is not
// listed at all.
void TfrmMeet::ProcADM(const FieldList &fields)
{
    std::optional<MeetMember> member = MeetMemberFromAdm(fields.all());
    if (!member)
        return;
    const QByteArray key = FoldUserId(member->userId());
    if (m_itemsByFoldedId.contains(key))
        return;
    auto *item = new MeetMemberItem(std::move(*member));
    MemberList->addItem(item);
    m_itemsByFoldedId.insert(key, item);
}

void TfrmMeet::ProcDLM(const FieldList &fields)
{
    const QByteArray key = FoldUserId(fields.view(1));
    if (QListWidgetItem *item = m_itemsByFoldedId.take(key))
        delete item;
}

void TfrmMeet::ProcCHA(const FieldList &fields)
{
    const QByteArray line = ChatLine(fields.view(1), fields.view(3), fields.view(4));
    AddTranscriptLine(line);
    if (!isActiveWindow())
        AskForAttention(this);
}

void TfrmMeet::ProcCHI(const FieldList &fields)
{
    QListWidgetItem *item = FindItem(fields.view(1));
    const QByteArray state = fields.field(2);
    if (!item)
        return;
    RecordOf(item).setTypingState(state);
    MemberList->viewport()->update();
}

void TfrmMeet::ProcSYS(const FieldList &fields)
{
    AddTranscriptLine(fields.field(1));
}

QListWidgetItem *TfrmMeet::FindItem(QByteArrayView userId) const
{
    return m_itemsByFoldedId.value(FoldUserId(userId));
}

const MeetMember *TfrmMeet::Member(QByteArrayView userId) const
{
    QListWidgetItem *item = FindItem(userId);
    return item ? &RecordOf(item) : nullptr;
}

void TfrmMeet::AddTranscriptLine(const QByteArray &text)
{
    AddTranscriptText(msgout, text);
}

// The user's own line shows when the server sends it back.
void TfrmMeet::SendChat()
{
    const QByteArray text = FromWidgetText(msginp->text());
    if (text.isEmpty())
        return;
    m_sender.SendFrame("MRC\t" + RoomIdText() + "\t" + text + "\t");
    msginp->clear();
    msginp->setFocus();
}

void TfrmMeet::Button1Click()
{
    SendChat();
}

bool TfrmMeet::msginpKeyDown(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    SendChat();
    msginp->clear();
    return true;
}

void TfrmMeet::msginpKeyUp()
{
    const TypingNotice notice = NextTypingNotice(Typing, msginp->text().isEmpty());
    if (notice != TypingNotice::None)
        m_sender.SendFrame("MRI\t" + RoomIdText() + "\t" + TypingStateText(notice).toByteArray() + "\t");
}

void TfrmMeet::msginpChange()
{
    ReplaceWithCleanText(msginp, ChatLimit, CaretAfterCleaning::AtEnd);
}

void TfrmMeet::OpenInvite()
{
    auto *dialog = new TfrmCRM(this, m_ftree, m_sender, RoomIdText());
    dialog->Edit1->setText(ToWidgetText(RoomName));
    dialog->Edit1->setReadOnly(true);
    dialog->show();
}

void TfrmMeet::Button2Click()
{
    OpenInvite();
}

void TfrmMeet::N2Click()
{
    OpenInvite();
}

void TfrmMeet::X1Click()
{
    close();
}

void TfrmMeet::FormShow()
{
    setWindowTitle(ToWidgetText(RoomName));
    msginp->setFocus();
}

void TfrmMeet::FormActivate()
{
    msginp->setFocus();
}

// Leaves the room once, however the window was closed.
void TfrmMeet::FormClose()
{
    if (m_left)
        return;
    m_left = true;
    m_sender.SendFrame("MRE\t" + RoomIdText() + "\t");
    if (m_rooms.find(RoomIdText()) == this)
        m_rooms.remove(RoomIdText());
}

void TfrmMeet::MemberListDrawItem(QPainter &painter, int index, const QRect &rect, bool selected)
{
    QListWidgetItem *item = MemberList->item(index);
    if (!item)
        return;
    const MeetMember &member = RecordOf(item);
    const MemberRowLook look = LookOfMemberRow(member.typingState());
    const QPalette &colours = MemberList->palette();
    painter.fillRect(rect, selected ? colours.highlight() : colours.base());
    painter.setFont(MemberList->font());
    painter.setPen(QColor(look.nameColour));
    const QRect name(rect.left(), rect.top(), NameWidth, rect.height());
    painter.drawText(name, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     ToWidgetText(member.displayName()));
    painter.setPen(QPen(QColor(ColumnLineColour), 2));
    painter.drawLine(rect.left() + 121, rect.top(), rect.left() + 121, rect.bottom());
    if (!look.stateText.isEmpty()) {
        painter.setPen(QColor(look.nameColour));
        const QRect state(rect.left() + 123, rect.top(), rect.right() - rect.left() - 123, rect.height());
        painter.drawText(state, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, look.stateText);
    }
}

void TfrmMeet::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_centred) {
        CentreOnScreen(this);
        m_centred = true;
    }
    FormShow();
}

void TfrmMeet::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

bool TfrmMeet::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

bool TfrmMeet::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != msginp)
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::InputMethod:
        // An Enter that confirms a conversion belongs to the input method.
        m_composing = !static_cast<QInputMethodEvent *>(event)->preeditString().isEmpty();
        return false;
    case QEvent::KeyPress:
        return !m_composing && msginpKeyDown(static_cast<QKeyEvent *>(event)->key());
    case QEvent::KeyRelease:
        msginpKeyUp();
        return false;
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}
