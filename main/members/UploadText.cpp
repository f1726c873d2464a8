#include "main/members/UploadText.h"

#include "wire/FrameText.h"

QByteArray UploadNodeFrame(const MemberNode &node, int depth)
{
    return MakeFrame({"LSETD", node.Kind, node.Id, QByteArray::number(depth), node.DisplayName, ""},
                     TrailingTab::Yes);
}
