#include "main/members/EditRules.h"

#include "main/members/MemberNode.h"

DropPlacement PlaceDrop(QByteArrayView targetKind, bool targetInDraggedBranch)
{
    if (targetInDraggedBranch)
        return DropPlacement::None;
    return IsExactMemberKind(targetKind) ? DropPlacement::BeforeTarget : DropPlacement::FirstChildOfTarget;
}

DeleteRefusal CheckDelete(QByteArrayView kind, bool hasChildren)
{
    if (IsExactMemberKind(kind))
        return DeleteRefusal::IsMember;
    if (hasChildren)
        return DeleteRefusal::HasChildren;
    return DeleteRefusal::None;
}
