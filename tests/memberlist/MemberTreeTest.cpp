// The tree's contents under edits: drops, deletes, and the id index checked
// against a plain walk of the tree.
#include "main/members/MemberItem.h"
#include "main/members/MemberTree.h"
#include "main/members/TreeWalk.h"

#include <QRandomGenerator>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QByteArray Line(const char *kind, int depth, const QByteArray &id)
{
    return QByteArray(kind) + "\t" + QByteArray::number(depth) + "\t" + id + "\t\t" + id + "\t" + id + "\t\t";
}

class MemberTreeTest : public testing::Test {
protected:
    MemberItem *node(const QByteArray &id) { return members.find(id).value(0); }
    // The tree as "id(children)" text, in tree order.
    static QString Shape(QTreeWidgetItem *item)
    {
        QString text = QString::fromLatin1(AsMember(item)->node.Id);
        if (item->childCount() == 0)
            return text;
        QStringList children;
        for (int i = 0; i < item->childCount(); ++i)
            children.append(Shape(item->child(i)));
        return text + "(" + children.join(' ') + ")";
    }
    QString shape() const
    {
        QStringList top;
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            top.append(Shape(tree.topLevelItem(i)));
        return top.join(' ');
    }

    QTreeWidget tree;
    MemberTree members{tree};
};

TEST_F(MemberTreeTest, DropsFollowTheMemberAndGroupRule)
{
    const QByteArrayList list{Line("G", 0, "g1"), Line("U", 1, "a"), Line("U", 1, "b"), Line("G", 1, "g2"),
                              Line("U", 2, "c"),  Line("G", 0, "g3"), Line("U", 1, "d"), Line("U", 0, "top")};
    const struct {
        const char *name;
        QByteArray dragged, target;
        bool moves;
        QString shape; // before: g1(a b g2(c)) g3(d) top
    } drops[] = {
        {"member onto group", "a", "g3", true, "g1(b g2(c)) g3(a d) top"},
        {"member onto member elsewhere", "a", "d", true, "g1(b g2(c)) g3(a d) top"},
        {"member onto member, same group", "b", "a", true, "g1(b a g2(c)) g3(d) top"},
        {"member onto top-level member", "c", "top", true, "g1(a b g2) g3(d) c top"},
        {"group onto member", "g2", "d", true, "g1(a b) g3(g2(c) d) top"},
        {"group onto its own subgroup", "g1", "g2", false, "g1(a b g2(c)) g3(d) top"},
        {"group onto a member inside it", "g1", "c", false, "g1(a b g2(c)) g3(d) top"},
        {"node onto itself", "g2", "g2", false, "g1(a b g2(c)) g3(d) top"},
    };
    for (const auto &drop : drops) {
        members.clear();
        members.load(list);
        EXPECT_EQ(members.move(node(drop.dragged), node(drop.target)), drop.moves) << drop.name;
        EXPECT_EQ(shape(), drop.shape) << drop.name;
        if (drop.moves && node(drop.dragged)->parent()) {
            EXPECT_TRUE(node(drop.dragged)->parent()->isExpanded()) << drop.name;
        }
    }
}

TEST_F(MemberTreeTest, UploadListsEveryNodeWithItsDepth)
{
    members.load({Line("G", 0, "g1"), Line("G", 1, "g2"), Line("U", 2, "c"), Line("U", 0, "top")});
    tree.topLevelItem(0)->setExpanded(false); // collapsed branches are sent too
    EXPECT_EQ(members.uploadFrames(),
              QByteArrayList({"LSETS", "LSETD\tG\tg1\t0\tg1\t\t", "LSETD\tG\tg2\t1\tg2\t\t",
                              "LSETD\tU\tc\t2\tc\t\t", "LSETD\tU\ttop\t0\ttop\t\t", "LSETE"}));
}

// The index must give what a walk of the whole tree gives, whatever happened
// to the tree: loads, new groups, deletes and moves, ids in several places.
// A few ids make many nodes share one; many ids crowd the index's table, so
// deletes have to close the gaps they leave between ids.
TEST_F(MemberTreeTest, IndexAgreesWithATreeWalkAfterRandomEdits)
{
    QByteArrayList manyIds;
    for (int i = 0; i < 400; ++i)
        manyIds.append("i" + QByteArray::number(i));
    for (const QByteArrayList &ids : {QByteArrayList{"a", "b", "c", "d", "e", ""}, manyIds}) {
        members.clear();
        QRandomGenerator random(20240531);
        const auto randomLine = [&](int depth) {
            const bool group = random.bounded(3) == 0;
            return Line(group ? "G" : "U", depth, ids[random.bounded(ids.size())]);
        };
        const auto allNodes = [&] {
            QList<MemberItem *> nodes;
            ForEachInTree(tree, [&](MemberItem *item, int) { nodes.append(item); });
            return nodes;
        };
        for (int round = 0; round < 300; ++round) {
            const QList<MemberItem *> nodes = allNodes();
            switch (nodes.isEmpty() ? 0 : random.bounded(6)) {
            case 0: { // a list load after what is there
                QByteArrayList lines{randomLine(0)};
                for (int depth = 1, n = random.bounded(8); n > 0; --n)
                    lines.append(randomLine(depth = std::clamp(depth + random.bounded(3) - 1, 0, depth)));
                members.load(lines);
                break;
            }
            case 1:
                members.addGroup(random.bounded(2) ? nodes[random.bounded(nodes.size())] : nullptr, "new");
                break;
            case 2: {
                MemberItem *victim = nodes[random.bounded(nodes.size())];
                if (victim->childCount() == 0)
                    members.remove(victim);
                break;
            }
            default:
                members.move(nodes[random.bounded(nodes.size())], nodes[random.bounded(nodes.size())]);
                break;
            }
            if (round % 50 == 49 && random.bounded(2))
                members.clear();
            QHash<QByteArray, QList<MemberItem *>> walked;
            for (MemberItem *item : allNodes())
                walked[item->node.Id].append(item);
            for (const QByteArray &id : ids + QByteArrayList{"new", "missing"})
                ASSERT_EQ(members.find(id), walked.value(id)) << "round " << round << " id " << id.constData();
        }
    }
}

} // namespace
