// What the percentage bar draws, free of the windowing platform: the filled width that rations
// repaints, the filled and empty rectangles, and the percentage text.
//
// All of it is (position - lower) x scale / (upper - lower) truncated toward zero, computed in
// integers: in floating point 29 of 0..100 gives 0.29 x 100 = 28.999..., so 28% and 28 pixels.
#pragma once

#include <string>

namespace tavrin {

struct BarRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const BarRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct BarRange {
    int position = 0;
    int lower = 0;
    int upper = 100;
    // (position - lower) x scale / (upper - lower), truncated toward zero and held to the int
    // range; 0 for an empty range, which never divides by zero.
    int Scale(int scale) const;
};

// The filled width that PBM_SETPOS compares (the client's horizontal width, also for
// vertical bars).
inline int BarFillWidth(const BarRange& range, int clientWidth) {
    return range.Scale(clientWidth);
}

struct BarLayout {
    BarRect filled;
    BarRect empty;
};

// Horizontal bars fill from the left, vertical bars from the bottom. A position outside the
// range fills nothing or everything: the boundary stays inside the client.
BarLayout LayOutBar(const BarRect& client, const BarRange& range, bool vertical);

// "%d%%" of the truncated percentage (2 of 0..3 is 66%, never 67%).
std::wstring PercentText(const BarRange& range);

// The caller's text when there is one, else the percentage.
std::wstring BarText(const std::wstring& callerText, const BarRange& range);

// Repaints are asked for only when the filled width changes by at least one pixel; a resize
// forgets the width, so the next position always repaints.
class RepaintRation {
public:
    // True (and the width remembered) when a repaint is due for this width.
    bool Due(int width) {
        if (width == m_last) return false;
        m_last = width;
        return true;
    }
    void Forget() { m_last = -1; }
    int Last() const { return m_last; }

private:
    int m_last = -1;  // not measured yet
};

}  // namespace tavrin
