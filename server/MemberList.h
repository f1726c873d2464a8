#pragma once

#include "server/Account.h"

#include <QByteArrayList>
#include <QList>

#include <optional>

class Directory;
class FieldList;
struct StoredList;

// The LSETD frames of the company list, which a user who never uploaded a
// list gets: one "G" group per department with every member in it, every
// parent before its children.
QByteArrayList CompanyListFrames(const Directory &directory);
// The LSETD frame of the node at `at` of a stored list. The upload carries
// only what the user chose; default names and mail addresses come from the
// accounts, as the list's directory has them.
QByteArray StoredNodeFrame(const StoredList &list, qsizetype at);

// One node of an uploaded list: LSETD, kind, id, depth, display name. Nothing
// when the kind is not a group or member kind or the depth is not 0 to 99.
std::optional<ListNode> ParseUploadedNode(const FieldList &fields);

// Whether the client could load the nodes in this order: each node at most one
// level below the one before it, the first at the top.
bool IsLoadableList(const QList<ListNode> &nodes);
