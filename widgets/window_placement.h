// Where the download progress window goes: centred on the desktop, free of the platform.
#pragma once

namespace tavrin {

struct WindowPoint {
    int x = 0, y = 0;
};

// x = (left + right) / 2 - width / 2 and likewise y, each division truncating toward zero.
WindowPoint CentreOnDesktop(int windowWidth, int windowHeight, int deskLeft, int deskTop,
                            int deskRight, int deskBottom);

struct PlacementRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// A dialog centred over `over` (its owner's window, or the work area when the owner is hidden
// or minimised), then moved, where it would stick out, back into `area` (the work area of the
// owner's monitor); a window larger than the area keeps its left and top edges inside.
WindowPoint CentreWithin(int windowWidth, int windowHeight, const PlacementRect& over,
                         const PlacementRect& area);

}  // namespace tavrin
