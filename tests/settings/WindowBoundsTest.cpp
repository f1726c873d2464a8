#include "settings/WindowBounds.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowBounds, StoredBoundsArePulledOntoTheScreen)
{
    const QSize screen(1024, 768);
    const struct {
        int left, top, width, height;
        QRect placed;
    } cases[] = {
        {0, 0, 230, 510, {0, 0, 230, 510}},
        {100, 50, 300, 400, {100, 50, 300, 400}},
        {0, 0, 5000, 510, {0, 0, 220, 510}},     // too wide: 220, not the default
        {0, 0, 230, 5000, {0, 0, 230, 350}},
        {900, 0, 200, 400, {0, 0, 200, 400}},    // 900 + 200 > 1024
        {-10, -1, 230, 510, {0, 0, 230, 510}},
        {1024, 768, 230, 510, {0, 0, 230, 510}}, // at the edge is off the screen
        {0, 500, 230, 300, {0, 0, 230, 300}},    // 500 + 300 > 768
        {2147483647, 2147483647, 2147483647, 2147483647, {0, 0, 220, 350}},
    };
    for (const auto &c : cases) {
        TUserSettings s;
        s.FormLeft = c.left;
        s.FormTop = c.top;
        s.FormWidth = c.width;
        s.FormHeight = c.height;
        EXPECT_EQ(PlaceMainWindow(s, screen), c.placed) << c.left << "," << c.top << " " << c.width << "x"
                                                        << c.height;
    }
}

} // namespace
