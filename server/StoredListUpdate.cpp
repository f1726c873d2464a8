#include "server/StoredListUpdate.h"

#include "server/Directory.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

// The client holds 100 depths; a group at the last one takes no members.
constexpr int DeepestGroupWithMembers = 98;

// For every node, the index just past its subtree (the next node no deeper),
// in one pass: a node's subtree ends where the first node at its depth or
// above comes, which closes every deeper node still open.
QList<qsizetype> SubtreeEnds(const QList<ListNode> &nodes)
{
    QList<qsizetype> ends(nodes.size(), nodes.size());
    QList<qsizetype> open;
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        while (!open.isEmpty() && nodes[open.last()].depth >= nodes[i].depth)
            ends[open.takeLast()] = i;
        open.append(i);
    }
    return ends;
}

// New members of one department, and where they go.
struct Arrivals {
    QList<const Account *> accounts; // in the company's order
    qsizetype group = -1;            // the department's first group that takes members, or none
    int depth = 0;                   // the members' depth under it
};

} // namespace

// Built in one pass over the list and one over the accounts: a member added
// one at a time, each searching for its group and shifting the list behind
// it, made a logon cost the square of the company's size.
QList<ListNode> UpdateStoredList(const Directory &directory, QList<ListNode> nodes, qint64 accountsSeen)
{
    const auto indexOf = [&directory](const Account *account) { return account - directory.accounts().constData(); };
    for (ListNode &node : nodes) {
        if (node.kind != "U")
            continue;
        const Account *account = directory.find(node.id);
        node.directoryIndex = account ? indexOf(account) : -1;
    }
    nodes.removeIf([](const ListNode &node) { return node.kind == "U" && node.directoryIndex < 0; });
    QSet<QByteArray> listed;
    listed.reserve(nodes.size()); // grown in one step, not rehashed as it fills
    for (const ListNode &node : nodes)
        if (node.kind == "U")
            listed.insert(node.id);

    QHash<QByteArray, Arrivals> arrivals;
    QList<QByteArray> departments; // in the order of their first new member
    for (const Account &account : directory.accounts()) {
        if (account.order <= accountsSeen || listed.contains(account.id))
            continue;
        Arrivals &of = arrivals[account.department];
        if (of.accounts.isEmpty())
            departments.append(account.department);
        of.accounts.append(&account);
    }
    if (departments.isEmpty())
        return nodes;

    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const ListNode &node = nodes[i];
        if (node.kind != "G" || node.depth > DeepestGroupWithMembers)
            continue;
        const auto it = arrivals.find(node.id);
        if (it != arrivals.end() && it->group < 0) {
            it->group = i;
            it->depth = node.depth + 1;
        }
    }

    // Each department's members go at the end of its group's subtree. Groups
    // whose subtrees end at the same place are nested: the deeper one's
    // members come first, since a shallower member would close its subtree.
    const QList<qsizetype> ends = SubtreeEnds(nodes);
    QList<std::pair<qsizetype, const Arrivals *>> placed; // by insertion point
    QList<QByteArray> groupless;
    for (const QByteArray &department : departments) {
        const Arrivals &of = arrivals[department];
        if (of.group < 0)
            groupless.append(department);
        else
            placed.append({ends[of.group], &of});
    }
    std::stable_sort(placed.begin(), placed.end(), [&](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second->depth > b.second->depth;
    });

    QList<ListNode> result;
    qsizetype newMembers = 0;
    for (const QByteArray &department : departments)
        newMembers += arrivals[department].accounts.size();
    result.reserve(nodes.size() + newMembers + groupless.size());
    const QByteArray member("U"); // shared by every new node rather than made for each
    auto addMembers = [&result, &member, &indexOf](const Arrivals &of, int depth) {
        for (const Account *account : of.accounts)
            result.append(ListNode{member, account->id, depth, account->displayName, indexOf(account)});
    };
    qsizetype next = 0;
    for (const auto &[at, of] : placed) {
        while (next < at)
            result.append(std::move(nodes[next++]));
        addMembers(*of, of->depth);
    }
    while (next < nodes.size())
        result.append(std::move(nodes[next++]));
    for (const QByteArray &department : groupless) {
        result.append(ListNode{"G", department, 0, department});
        addMembers(arrivals[department], 1);
    }
    return result;
}
