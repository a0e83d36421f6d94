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

}  // namespace tavrin
