#pragma once

#include <QColor>

// How a tree label looks: online members (away, available, busy) in bold
// green, everything else (groups, offline members, unknown states) in plain
// black; a selected label swaps text and background.
struct LabelStyle {
    QColor background;
    QColor text;
    bool bold = false;
    bool operator==(const LabelStyle &) const = default;
};

LabelStyle LabelStyleFor(int state, bool selected);
