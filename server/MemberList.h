#pragma once

#include "server/Account.h"

#include <QByteArrayList>
#include <QList>

#include <optional>

class Directory;
class FieldList;

// The LSETD frames of a user's member list, every parent before its children:
// the stored arrangement when the user uploaded one, else the company
// directory (one "G" group per department with every member in it).
QByteArrayList MemberListFrames(const Directory &directory, const std::optional<QList<ListNode>> &stored);

// One node of an uploaded list: LSETD, kind, id, depth, display name. Nothing
// when the kind is not a group or member kind or the depth is not 0 to 99.
std::optional<ListNode> ParseUploadedNode(const FieldList &fields);

// Whether the client could load the nodes in this order: each node at most one
// level below the one before it, the first at the top.
bool IsLoadableList(const QList<ListNode> &nodes);
