#pragma once

#include "main/members/MemberItem.h"
#include "platform/WidgetText.h"

#include <QTreeWidget>

// A member tree as the main window holds it: one group with members under it.
struct SmallMemberTree {
    SmallMemberTree()
    {
        group = new MemberItem(MemberNode{"G", "g1", "Sales", "Sales", {}, -1, 1, {}});
        tree.addTopLevelItem(group);
        for (const auto &[kind, id, name] : {std::tuple{"U", "u02", u"鈴木"}, {"U", "U02", u"鈴木（大）"},
                                              {"u", "u03", u"佐藤"}, {"U", "u04", u"田中"}}) {
            auto *member = new MemberItem(MemberNode{kind, id, {}, FromWidgetText(QString::fromUtf16(name)),
                                                     {}, -1, 3, {}});
            group->addChild(member);
            members.append(member);
        }
    }
    // Makes the node the tree's selected node, as a click does.
    void select(QTreeWidgetItem *item)
    {
        tree.setCurrentItem(item);
        item->setSelected(true);
    }
    MemberItem *member(const QByteArray &id)
    {
        for (MemberItem *m : members)
            if (m->node.Id == id)
                return m;
        return nullptr;
    }

    QTreeWidget tree;
    MemberItem *group;
    QList<MemberItem *> members;
};
