#include "widgets/window_placement.h"

#include <cstdint>

namespace tavrin {

WindowPoint CentreOnDesktop(int windowWidth, int windowHeight, int deskLeft, int deskTop,
                            int deskRight, int deskBottom) {
    // The sums in 64 bits; the results fit again, being means of int values.
    WindowPoint p;
    p.x = int((int64_t(deskLeft) + deskRight) / 2 - windowWidth / 2);
    p.y = int((int64_t(deskTop) + deskBottom) / 2 - windowHeight / 2);
    return p;
}

WindowPoint CentreWithin(int windowWidth, int windowHeight, const PlacementRect& over,
                         const PlacementRect& area) {
    WindowPoint p = CentreOnDesktop(windowWidth, windowHeight, over.left, over.top, over.right,
                                    over.bottom);
    // In 64 bits: an edge plus a size may not fit an int.
    if (int64_t(p.x) + windowWidth > area.right) p.x = int(int64_t(area.right) - windowWidth);
    if (p.x < area.left) p.x = area.left;
    if (int64_t(p.y) + windowHeight > area.bottom) p.y = int(int64_t(area.bottom) - windowHeight);
    if (p.y < area.top) p.y = area.top;
    return p;
}

}  // namespace tavrin
