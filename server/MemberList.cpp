#include "server/MemberList.h"

#include "server/Directory.h"
#include "server/StoredListUpdate.h"
#include "wire/FieldList.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

#include <cstdio>

namespace {

constexpr int MaxDepth = 99; // the client keeps a table of 100 depths

// The depth is written on the stack: the frame is the only allocation of a
// member's node, of which a large company's logon makes one per member.
QByteArray NodeFrame(QByteArrayView kind, int depth, QByteArrayView id, QByteArrayView displayName,
                     QByteArrayView defaultName, QByteArrayView mail)
{
    char digits[12];
    const int depthBytes = std::snprintf(digits, sizeof digits, "%d", depth);
    return MakeFrame({"LSETD", kind, QByteArrayView(digits, depthBytes), id, "", displayName, defaultName, mail},
                     TrailingTab::Yes);
}

// At 50,000 members the lookup by id, a miss in the cache for every member,
// was a third of sending the list and grew faster than the list.
std::optional<AccountText> TextOf(const Directory &directory, const ListNode &node)
{
    if (node.directoryIndex >= 0 && node.directoryIndex < directory.accounts().size()) {
        const AccountText text = directory.text(node.directoryIndex);
        if (node.id.isEmpty() || text.id == node.id)
            return text;
    }
    const qsizetype index = node.id.isEmpty() ? -1 : directory.indexOf(node.id);
    return index < 0 ? std::nullopt : std::optional(directory.text(index));
}

} // namespace

QByteArrayList CompanyListFrames(const Directory &directory)
{
    QHash<QByteArray, QList<const Account *>> members;
    for (const Account &account : directory.accounts())
        members[account.department].append(&account);
    QByteArrayList frames;
    frames.reserve(directory.departments().size() + directory.accounts().size());
    for (const QByteArray &department : directory.departments()) {
        frames.append(NodeFrame("G", 0, department, department, department, {}));
        for (const Account *account : members.value(department))
            frames.append(NodeFrame("U", 1, account->id, account->displayName, account->displayName, account->mail));
    }
    return frames;
}

QByteArray StoredNodeFrame(const StoredList &list, qsizetype at)
{
    const ListNode &node = list.nodes[at];
    // Views, not copies: a copy would write to each account's shared text.
    QByteArrayView id = node.id;
    QByteArrayView name = node.displayName;
    QByteArrayView defaultName = node.displayName;
    QByteArrayView mail;
    if (node.kind == "U") {
        if (const std::optional<AccountText> account = TextOf(list.directory, node)) {
            id = account->id;
            if (node.id.isEmpty()) // a member who joined when the list was brought up to date
                name = account->displayName;
            defaultName = account->displayName;
            mail = account->mail;
        }
    } else if (node.kind == "G" && list.directory.hasDepartment(node.id)) {
        defaultName = node.id; // a "G" group's default name is its department's
    }
    return NodeFrame(node.kind, node.depth, id, name, defaultName, mail);
}

std::optional<ListNode> ParseUploadedNode(const FieldList &fields)
{
    // Names are cut as the client cuts them; a stored list is sent back at
    // every logon, so nothing in it may grow without bound.
    constexpr qsizetype MaxNameBytes = 50;
    constexpr qsizetype MaxIdBytes = 64;
    ListNode node{fields.field(1), fields.field(2), fields.intField(3),
                  CleanFieldText(fields.fieldOr(4), MaxNameBytes)};
    if (node.kind != "G" && node.kind != "UG" && node.kind != "U")
        return std::nullopt;
    if (node.id.size() > MaxIdBytes)
        return std::nullopt;
    if (node.depth < 0 || node.depth > MaxDepth)
        return std::nullopt;
    return node;
}

bool IsLoadableList(const QList<ListNode> &nodes)
{
    int previous = -1;
    for (const ListNode &node : nodes) {
        if (node.depth > previous + 1)
            return false;
        previous = node.depth;
    }
    return true;
}
