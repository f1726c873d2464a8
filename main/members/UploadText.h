#pragma once

#include "main/members/MemberNode.h"

#include <QByteArray>

// The frames that send the tree back to the server: LSETS, one LSETD per node
// in tree order, LSETE. The upload's LSETD differs from the one the server
// sends: kind, id, depth, display name, an empty field.
inline constexpr QByteArrayView UploadStart = "LSETS";
inline constexpr QByteArrayView UploadEnd = "LSETE";
QByteArray UploadNodeFrame(const MemberNode &node, int depth);
