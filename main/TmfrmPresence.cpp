// The user's own presence (the panel at the bottom left and its menu) and the
// presence changes of other members.
#include "main/Tmfrm.h"

#include "main/members/MemberItem.h"
#include "main/members/OwnState.h"
#include "resources/Pictures.h"

#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The own-state menu shows its square pictures at full size.
class LargeMenuIcons : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_SmallIconSize)
            return 32;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

void ChooseOwnState(Tmfrm &window, int state)
{
    window.Panel2->setText(OwnStateCaption(state));
    if (window.Panel2Tag == state)
        return;
    window.Panel2Tag = state;
    window.SendStateChange();
}

} // namespace

void Tmfrm::createStateMenu()
{
    mystatemenu = new QMenu(this);
    auto *style = new LargeMenuIcons;
    style->setParent(mystatemenu);
    mystatemenu->setStyle(style);
    N5 = mystatemenu->addAction(QIcon(pictures::OwnStatePicture(presence::Available)),
                                QStringLiteral("応答可(&A)"), this, &Tmfrm::N5Click);
    N6 = mystatemenu->addAction(QIcon(pictures::OwnStatePicture(presence::Away)), QStringLiteral("離席中(&W)"),
                                this, &Tmfrm::N6Click);
    N7 = mystatemenu->addAction(QIcon(pictures::OwnStatePicture(presence::DoNotDisturb)),
                                QStringLiteral("応答不可(&D)"), this, &Tmfrm::N7Click);
    connect(Panel2, &QPushButton::clicked, this, &Tmfrm::Panel2Click);
}

void Tmfrm::Panel2Click()
{
    const QRect frame = frameGeometry();
    mystatemenu->popup(QPoint(frame.left() + 5, frame.top() + frame.height() - 25));
}

void Tmfrm::N5Click()
{
    ChooseOwnState(*this, presence::Available);
}

void Tmfrm::N6Click()
{
    ChooseOwnState(*this, presence::Away);
}

void Tmfrm::N7Click()
{
    ChooseOwnState(*this, presence::DoNotDisturb);
}

void Tmfrm::SendStateChange()
{
    if (const auto frame = AnnounceOwnState(Panel2Tag, AnnouncedState))
        SendFrame(*frame);
}

void Tmfrm::ProcSTC(const FieldList &fields)
{
    const QByteArray &id = fields.field(1);
    fields.field(2); // an STC without a state fails before anything changes
    const QList<MemberItem *> nodes = FindMember(id);
    if (nodes.isEmpty())
        return;
    // Any number is stored and shown as it comes.
    const int state = fields.intField(2);
    for (MemberItem *node : nodes)
        node->node.State = state;
    RefreshTreeSoon();
}
