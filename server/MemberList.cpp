#include "server/MemberList.h"

#include "server/Directory.h"
#include "wire/FieldList.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

namespace {

constexpr int MaxDepth = 99; // the client keeps a table of 100 depths

QByteArray NodeFrame(const QByteArray &kind, int depth, const QByteArray &id, const QByteArray &displayName,
                     const QByteArray &defaultName, const QByteArray &mail)
{
    return MakeFrame({"LSETD", kind, QByteArray::number(depth), id, "", displayName, defaultName, mail},
                     TrailingTab::Yes);
}

} // namespace

QByteArrayList MemberListFrames(const Directory &directory, const std::optional<QList<ListNode>> &stored)
{
    QByteArrayList frames;
    if (!stored) {
        for (const QByteArray &department : directory.departments()) {
            frames.append(NodeFrame("G", 0, department, department, department, {}));
            for (const Account &account : directory.accounts())
                if (account.department == department)
                    frames.append(NodeFrame("U", 1, account.id, account.displayName, account.displayName,
                                            account.mail));
        }
        return frames;
    }
    // The upload carries only what the user chose; default names and mail
    // addresses come from the accounts, a "G" group's default from its department.
    const QByteArrayList departments = directory.departments();
    for (const ListNode &node : *stored) {
        QByteArray defaultName = node.displayName;
        QByteArray mail;
        if (node.kind == "U") {
            if (const Account *account = directory.find(node.id)) {
                defaultName = account->displayName;
                mail = account->mail;
            }
        } else if (node.kind == "G" && departments.contains(node.id)) {
            defaultName = node.id;
        }
        frames.append(NodeFrame(node.kind, node.depth, node.id, node.displayName, defaultName, mail));
    }
    return frames;
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
