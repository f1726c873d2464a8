#pragma once

#include <QByteArrayView>

// What the user may do to the tree, decided from the nodes alone.

// Where a dropped node goes: before a member it is dropped on, as the first
// child of a group, or nowhere when the target is the dragged node itself or
// lies in its branch (a branch cannot hold itself).
enum class DropPlacement { BeforeTarget, FirstChildOfTarget, None };
DropPlacement PlaceDrop(QByteArrayView targetKind, bool targetInDraggedBranch);

// Why a node may not be deleted, if it may not.
enum class DeleteRefusal { None, IsMember, HasChildren };
DeleteRefusal CheckDelete(QByteArrayView kind, bool hasChildren);
