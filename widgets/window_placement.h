// Where the download progress window goes: centred on the desktop, free of the platform.
#pragma once

namespace tavrin {

struct WindowPoint {
    int x = 0, y = 0;
};

// x = (left + right) / 2 - width / 2 and likewise y, each division truncating toward zero.
WindowPoint CentreOnDesktop(int windowWidth, int windowHeight, int deskLeft, int deskTop,
                            int deskRight, int deskBottom);

}  // namespace tavrin
