#include "server/StoredListUpdate.h"

#include "server/Directory.h"

#include <QSet>

namespace {

// Where a node for a new member of the department goes, and its depth; the
// end of the list and -1 when the list has no group for the department.
std::pair<qsizetype, int> PlaceInDepartment(const QList<ListNode> &nodes, const QByteArray &department)
{
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        // The client holds 100 depths; a group at the last one takes no members.
        if (nodes[i].kind != "G" || nodes[i].id != department || nodes[i].depth >= 99)
            continue;
        qsizetype end = i + 1;
        while (end < nodes.size() && nodes[end].depth > nodes[i].depth)
            ++end;
        return {end, nodes[i].depth + 1};
    }
    return {nodes.size(), -1};
}

} // namespace

QList<ListNode> UpdateStoredList(const Directory &directory, QList<ListNode> nodes, qint64 accountsSeen)
{
    nodes.removeIf([&](const ListNode &node) { return node.kind == "U" && !directory.find(node.id); });
    QSet<QByteArray> listed;
    for (const ListNode &node : nodes)
        if (node.kind == "U")
            listed.insert(node.id);
    for (const Account &account : directory.accounts()) {
        if (account.order <= accountsSeen || listed.contains(account.id))
            continue;
        auto [at, depth] = PlaceInDepartment(nodes, account.department);
        if (depth < 0) {
            nodes.append(ListNode{"G", account.department, 0, account.department});
            at = nodes.size();
            depth = 1;
        }
        nodes.insert(at, ListNode{"U", account.id, depth, account.displayName});
    }
    return nodes;
}
