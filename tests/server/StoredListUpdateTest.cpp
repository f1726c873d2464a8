#include "server/Directory.h"
#include "server/MemberList.h"
#include "server/StoredListUpdate.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Account Member(const QByteArray &id, const QByteArray &department, qint64 order)
{
    return Account{id, 0, "hash", "name " + id, {}, department, false, order};
}

ListNode G(const QByteArray &id, int depth) { return ListNode{"G", id, depth, id}; }
ListNode U(const QByteArray &id, int depth) { return ListNode{"U", id, depth, "name " + id}; }

// The frames a logon sends for the list, one a line.
std::string Shown(const StoredList &list)
{
    std::string text;
    for (qsizetype i = 0; i < list.nodes.size(); ++i)
        text += StoredNodeFrame(list, i).replace('\t', ' ').toStdString() + "\n";
    return text;
}

// New members added one at a time, each at the end of the first group of its
// department that takes members: what the list must look like, however it is built.
QList<ListNode> OneAtATime(const Directory &directory, QList<ListNode> nodes, qint64 seen)
{
    nodes.removeIf([&](const ListNode &node) { return node.kind == "U" && !directory.find(node.id); });
    for (const Account &account : directory.accounts()) {
        const bool listed = std::any_of(nodes.begin(), nodes.end(),
                                        [&](const ListNode &n) { return n.kind == "U" && n.id == account.id; });
        if (account.order <= seen || listed)
            continue;
        qsizetype at = nodes.size();
        int depth = -1;
        for (qsizetype i = 0; i < nodes.size() && depth < 0; ++i) {
            if (nodes[i].kind != "G" || nodes[i].id != account.department || nodes[i].depth >= 99)
                continue;
            at = i + 1;
            while (at < nodes.size() && nodes[at].depth > nodes[i].depth)
                ++at;
            depth = nodes[i].depth + 1;
        }
        if (depth < 0) {
            nodes.append(G(account.department, 0));
            at = nodes.size();
            depth = 1;
        }
        nodes.insert(at, ListNode{"U", account.id, depth, account.displayName});
    }
    return nodes;
}

TEST(StoredListUpdateTest, NewMembersJoinTheirGroupsAndDeletedOnesLeave)
{
    // a1 and b1 were there when the list was stored (orders 1, 2); the rest came later.
    const Directory directory({Member("a1", "A", 1), Member("b1", "B", 2), Member("a2", "A", 3),
                               Member("c1", "C", 4), Member("b2", "B", 5), Member("x1", "X", 6),
                               Member("a3", "A", 7)});
    struct Case {
        const char *what;
        QList<ListNode> stored;
        QList<ListNode> expected;
    };
    const Case cases[] = {
        {"members go at the end of the group's subtree, a new department gets a group at the end",
         {G("A", 0), U("a1", 1), G("sub", 1), U("b1", 2), G("B", 0), U("gone", 1)},
         {G("A", 0), U("a1", 1), G("sub", 1), U("b1", 2), U("a2", 1), U("a3", 1), G("B", 0), U("b2", 1),
          G("C", 0), U("c1", 1), G("X", 0), U("x1", 1)}},
        {"nested groups ending together: the deeper one's members first",
         {G("A", 0), G("B", 1), U("b1", 2)},
         {G("A", 0), G("B", 1), U("b1", 2), U("b2", 2), U("a2", 1), U("a3", 1), G("C", 0), U("c1", 1), G("X", 0),
          U("x1", 1)}},
        {"the first group of the department counts; one at the last depth takes none",
         {G("A", 99), G("A", 0), G("A", 0), G("B", 0), G("C", 0), U("a1", 1), U("b1", 1)},
         {G("A", 99), G("A", 0), U("a2", 1), U("a3", 1), G("A", 0), G("B", 0), U("b2", 1), G("C", 0), U("a1", 1),
          U("b1", 1), U("c1", 1), G("X", 0), U("x1", 1)}},
        {"a member listed elsewhere stays where the user put it",
         {G("mine", 0), U("a2", 1), U("c1", 1)},
         {G("mine", 0), U("a2", 1), U("c1", 1), G("B", 0), U("b2", 1), G("X", 0), U("x1", 1), G("A", 0),
          U("a3", 1)}},
    };
    for (const Case &c : cases) {
        const StoredList updated = UpdateStoredList(directory, c.stored, 2);
        EXPECT_EQ(Shown(updated), Shown({directory, c.expected})) << c.what;
        EXPECT_EQ(Shown(updated), Shown({directory, OneAtATime(directory, c.stored, 2)})) << c.what;
    }
}

TEST(StoredListUpdateTest, RandomListsComeOutAsIfMembersWereAddedOneAtATime)
{
    std::mt19937 random(13);
    for (int round = 0; round < 300; ++round) {
        const int departments = 1 + int(random() % 5);
        const auto department = [&] { return "D" + QByteArray::number(int(random() % departments)); };
        QList<Account> accounts;
        for (int i = 0; i < int(random() % 30); ++i)
            accounts.append(Member("m" + QByteArray::number(i), department(), i + 1));
        const Directory directory(accounts);
        QList<ListNode> stored;
        int depth = -1;
        for (int i = 0; i < int(random() % 25); ++i) {
            depth = int(random() % (depth + 2));
            if (random() % 3 == 0 || depth == 0)
                stored.append(G(random() % 4 ? department() : "other", random() % 20 == 0 ? 99 : depth));
            else
                stored.append(U("m" + QByteArray::number(int(random() % 40)), depth));
            depth = stored.last().depth;
        }
        const qint64 seen = random() % 30;
        ASSERT_EQ(Shown(UpdateStoredList(directory, stored, seen)), Shown({directory, OneAtATime(directory, stored, seen)}))
            << "round " << round << "\n"
            << Shown({directory, stored});
    }
}

} // namespace

// A list brought up to date is sent with the directory it was brought up to
// date against: its new members are named by their places in it. The members
// the user listed carry their places as hints, which are checked against their
// ids, so that such a node sent with a changed directory still names its own
// account's mail.
TEST(StoredListUpdateTest, FramesNameEachMembersOwnAccount)
{
    const auto person = [](const QByteArray &id, qint64 order) {
        return Account{id, 0, "hash", "name " + id, id + "@example.jp", "A", false, order};
    };
    const Directory before({person("a1", 1), person("a2", 2), person("a3", 3)});
    const StoredList updated = UpdateStoredList(before, {G("A", 0), U("a1", 1), U("a2", 1)}, 2);
    ASSERT_EQ(updated.nodes.size(), 4);
    EXPECT_EQ(StoredNodeFrame(updated, 3), "LSETD\tU\t1\ta3\t\tname a3\tname a3\ta3@example.jp\t");

    const QList<ListNode> listed = updated.nodes.mid(1, 2);
    const struct {
        const char *what;
        Directory now;
    } cases[] = {
        {"the same directory", Directory({person("a1", 1), person("a2", 2), person("a3", 3)})},
        {"an account deleted before them", Directory({person("a2", 2), person("a3", 3)})},
        {"an account imported before them", Directory({person("x0", 0), person("a1", 1), person("a2", 2),
                                                       person("a3", 3)})},
        {"fewer accounts than their places", Directory({person("a3", 3)})},
    };
    for (const auto &c : cases) {
        const StoredList sent{c.now, listed};
        for (qsizetype i = 0; i < sent.nodes.size(); ++i) {
            const QByteArray &id = sent.nodes[i].id;
            const QByteArray frame = StoredNodeFrame(sent, i);
            const QByteArray mail = c.now.find(id) ? id + "@example.jp" : QByteArray();
            EXPECT_TRUE(frame.endsWith("\t" + mail + "\t")) << c.what << ": " << frame.toStdString();
        }
    }
}
