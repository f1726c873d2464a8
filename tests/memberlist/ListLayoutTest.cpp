// The list loader: placement by the depth table, the kinds, and the lines it
// refuses while the rest of the list still loads.
#include "main/members/ListText.h"

#include <gtest/gtest.h>

namespace {

QByteArray Line(const char *kind, const char *depth, const char *id, const char *name = "n",
                const char *mail = "")
{
    return QByteArray(kind) + "\t" + depth + "\t" + id + "\tx\t" + name + "\tdefault-" + id + "\t" + mail + "\t";
}

// Each entry as "id<parent-id" ("id<" at top level), in order.
QStringList Shape(const ListLayout &layout)
{
    QStringList shape;
    for (const ListEntry &entry : layout.entries) {
        const QByteArray parent = entry.parent < 0 ? QByteArray() : layout.entries[entry.parent].node.Id;
        shape.append(QString::fromLatin1(entry.node.Id + "<" + parent));
    }
    return shape;
}

TEST(ListLayout, PlacesEachNodeUnderTheLastNodeOneLevelUp)
{
    const ListLayout layout = LayoutListLines({Line("G", "0", "A"), Line("G", "1", "B"), Line("U", "2", "C"),
                                               Line("G", "1", "D"), Line("U", "2", "E"), Line("U", "0", "F")});
    EXPECT_EQ(Shape(layout), QStringList({"A<", "B<A", "C<B", "D<A", "E<D", "F<"}));
    EXPECT_TRUE(layout.errorLines.isEmpty());
}

TEST(ListLayout, ReadsTheRecordOfGroupsAndMembers)
{
    const ListLayout layout = LayoutListLines(
        {Line("G", "0", "g1", "Group", "group@x"), "", Line("u", "1", "bob", "Bob", "bob@x"), Line("UG", "0", "")});
    ASSERT_EQ(layout.entries.size(), 3u);
    const MemberNode &group = layout.entries[0].node;
    EXPECT_EQ(group.Kind, "G");
    EXPECT_EQ(group.DisplayName, "Group");
    EXPECT_EQ(group.DefaultName, "default-g1");
    EXPECT_TRUE(group.Mail.isEmpty()); // a group's mail field is not read
    EXPECT_EQ(group.State, presence::GroupImage);
    const MemberNode &member = layout.entries[1].node;
    EXPECT_EQ(member.Kind, "u"); // the kind is kept as written
    EXPECT_EQ(member.Mail, "bob@x");
    EXPECT_EQ(member.State, presence::Offline);
    EXPECT_EQ(member.ConnectionNo, -1);
    EXPECT_EQ(layout.entries[2].node.Kind, "UG");
}

TEST(ListLayout, RefusedLinesAreReportedAndTheRestLoads)
{
    const struct {
        const char *name;
        QByteArray line;
    } refused[] = {
        {"lower-case g", Line("g", "0", "x")},   {"lower-case ug", Line("ug", "0", "x")},
        {"unknown kind", Line("M", "0", "x")},   {"depth 00", Line("U", "00", "x")},
        {"depth -1", Line("U", "-1", "x")},      {"depth 100", Line("U", "100", "x")},
        {"depth word", Line("U", "one", "x")},   {"empty depth", Line("U", "", "x")},
        {"no parent yet", Line("U", "2", "x")}, {"kind only", "U"},
    };
    for (const auto &c : refused) {
        const ListLayout layout = LayoutListLines({Line("G", "0", "A"), c.line, Line("U", "1", "B")});
        EXPECT_EQ(layout.errorLines, QByteArrayList{c.line}) << c.name;
        EXPECT_EQ(Shape(layout), QStringList({"A<", "B<A"})) << c.name;
    }
}

TEST(ListLayout, DeepestLevelLoads)
{
    QByteArrayList lines{Line("G", "0", "d0")};
    for (int depth = 1; depth <= 99; ++depth)
        lines.append(Line("G", QByteArray::number(depth).constData(), QByteArray::number(depth).constData()));
    const ListLayout layout = LayoutListLines(lines);
    EXPECT_TRUE(layout.errorLines.isEmpty());
    EXPECT_EQ(layout.entries.back().parent, 98);
}

TEST(ListText, FieldsAndLines)
{
    EXPECT_EQ(ListField("a\tb\t\td", 1), "b");
    EXPECT_EQ(ListField("a\tb\t\td", 2), "");
    EXPECT_EQ(ListField("a\tb\t\td", 3), "d");
    EXPECT_EQ(ListField("a\tb", 6), "");
    EXPECT_EQ(SplitListText("a\r\n\r\nb\r\n"), QByteArrayList({"a", "", "b"}));
}

} // namespace
