#include "server/StoredListUpdate.h"

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
    QList<qsizetype> members; // their places in the directory, in the company's order
    qsizetype group = -1;     // the department's first group that takes members, or none
    int depth = 0;            // the members' depth under it
};

} // namespace

// Built in one pass over the list and one over the accounts: a member added
// one at a time, each searching for its group and shifting the list behind
// it, made a logon cost the square of the company's size. New members' nodes
// hold only their places: taking their texts would write to each account's
// shared text, and at 50,000 members the accounts, read department by
// department, no longer stay in the cache.
StoredList UpdateStoredList(Directory directory, QList<ListNode> nodes, qint64 accountsSeen)
{
    const QList<Account> &accounts = directory.accounts();
    QList<bool> listed(accounts.size(), false);
    for (ListNode &node : nodes) {
        if (node.kind != "U")
            continue;
        node.directoryIndex = directory.indexOf(node.id);
        if (node.directoryIndex >= 0)
            listed[node.directoryIndex] = true;
    }
    nodes.removeIf([](const ListNode &node) { return node.kind == "U" && node.directoryIndex < 0; });

    QList<Arrivals> arrivals(directory.departments().size()); // by department number
    QList<int> departments;                                  // in the order of their first new member
    for (qsizetype i = 0; i < accounts.size(); ++i) {
        if (accounts[i].order <= accountsSeen || listed[i])
            continue;
        const int department = directory.departmentOf(i);
        Arrivals &of = arrivals[department];
        if (of.members.isEmpty())
            departments.append(department);
        of.members.append(i);
    }
    if (departments.isEmpty())
        return {std::move(directory), std::move(nodes)};

    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const ListNode &node = nodes[i];
        if (node.kind != "G" || node.depth > DeepestGroupWithMembers)
            continue;
        const int department = directory.departmentNumber(node.id);
        if (department >= 0 && arrivals[department].group < 0) {
            arrivals[department].group = i;
            arrivals[department].depth = node.depth + 1;
        }
    }

    // Each department's members go at the end of its group's subtree. Groups
    // whose subtrees end at the same place are nested: the deeper one's
    // members come first, since a shallower member would close its subtree.
    const QList<qsizetype> ends = SubtreeEnds(nodes);
    QList<std::pair<qsizetype, const Arrivals *>> placed; // by insertion point
    QList<int> groupless;
    qsizetype newMembers = 0;
    for (const int department : departments) {
        const Arrivals &of = arrivals[department];
        newMembers += of.members.size();
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
    result.reserve(nodes.size() + newMembers + groupless.size());
    const QByteArray member("U"); // shared by every new node rather than made for each
    auto addMembers = [&result, &member](const Arrivals &of, int depth) {
        for (const qsizetype i : of.members)
            result.append(ListNode{member, {}, depth, {}, i});
    };
    qsizetype next = 0;
    for (const auto &[at, of] : placed) {
        while (next < at)
            result.append(std::move(nodes[next++]));
        addMembers(*of, of->depth);
    }
    while (next < nodes.size())
        result.append(std::move(nodes[next++]));
    for (const int department : groupless) {
        const QByteArray &name = directory.departments()[department];
        result.append(ListNode{"G", name, 0, name});
        addMembers(arrivals[department], 1);
    }
    return {std::move(directory), std::move(result)};
}
