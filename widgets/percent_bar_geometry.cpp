#include "widgets/percent_bar_geometry.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace tavrin {

namespace {

int Saturate(int64_t v) {
    return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

int BarRange::Scale(int scale) const {
    const int64_t span = int64_t(upper) - lower;
    if (span == 0) return 0;
    const int64_t offset = int64_t(position) - lower;
    // Split so that no product leaves 64 bits: |rest x scale| < 2^32 x 2^31.
    const int64_t whole = offset / span, rest = offset % span;
    const int64_t limit = int64_t(INT_MAX) + 1;
    if (whole != 0 && scale != 0 && (whole >= limit || whole <= -limit))
        return (whole > 0) == (scale > 0) ? INT_MAX : INT_MIN;
    return Saturate(whole * scale + rest * scale / span);
}

BarLayout LayOutBar(const BarRect& client, const BarRange& range, bool vertical) {
    BarLayout layout{client, client};
    if (!vertical) {
        const int fill = std::clamp(range.Scale(client.Width()), 0, std::max(client.Width(), 0));
        layout.filled.right = layout.empty.left = client.left + fill;
    } else {
        const int fill =
            std::clamp(range.Scale(client.Height()), 0, std::max(client.Height(), 0));
        layout.filled.top = layout.empty.bottom = client.bottom - fill;
    }
    return layout;
}

std::wstring PercentText(const BarRange& range) {
    wchar_t text[24];
    std::swprintf(text, sizeof text / sizeof text[0], L"%d%%", range.Scale(100));
    return text;
}

std::wstring BarText(const std::wstring& callerText, const BarRange& range) {
    return callerText.empty() ? PercentText(range) : callerText;
}

}  // namespace tavrin
