// What the percentage bar draws: the filled width that rations repaints, the filled and empty
// rectangles, the percentage text; and where the progress window is centred.
#include "widgets/percent_bar_geometry.h"
#include "widgets/window_placement.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace tavrin;

namespace {

TEST(PercentBar, FillWidthTruncatesTowardZeroWithoutFloatingPointLoss) {
    struct Row {
        int position, lower, upper, width, fill;
    } rows[] = {
        {50, 0, 100, 200, 100},
        {0, 0, 100, 200, 0},
        {100, 0, 100, 200, 200},
        {2, 0, 3, 100, 66},
        {29, 0, 100, 100, 29},  // 0.29 x 100 in doubles is 28.999...
        {57, 0, 100, 100, 57},
        {1, 0, 3, 2, 0},
        {15, 10, 20, 50, 25},
        {150, 0, 100, 200, 300},  // the position is never clamped
        {-1, 0, 3, 100, -33},     // toward zero, not down
        {5, 5, 5, 200, 0},        // empty range: no division by zero
        {5, 10, 0, 200, 100},     // inverted range
        {INT_MAX, INT_MIN, INT_MAX, 1000, 1000},
        {INT_MAX, 0, 1, 1000, INT_MAX},  // saturated, not overflowed
        {INT_MIN, 0, 1, 1000, INT_MIN},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.position << " of " << r.lower << ".." << r.upper
                                        << " on " << r.width);
        EXPECT_EQ(r.fill, BarFillWidth(BarRange{r.position, r.lower, r.upper}, r.width));
    }
}

TEST(PercentBar, PercentTextIsTruncated) {
    struct Row {
        int position, lower, upper;
        const wchar_t* text;
    } rows[] = {
        {0, 0, 100, L"0%"},     {50, 0, 100, L"50%"},  {2, 0, 3, L"66%"},
        {29, 0, 100, L"29%"},   {57, 0, 100, L"57%"},  {100, 0, 100, L"100%"},
        {199, 0, 200, L"99%"},  {3, 2, 5, L"33%"},     {-1, 0, 3, L"-33%"},
        {7, 7, 7, L"0%"},       {250, 0, 100, L"250%"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.position << " of " << r.lower << ".." << r.upper);
        EXPECT_EQ(std::wstring(r.text), PercentText(BarRange{r.position, r.lower, r.upper}));
    }
}

TEST(PercentBar, CallerTextReplacesThePercentageUntilEmpty) {
    const BarRange half{50, 0, 100};
    EXPECT_EQ(L"Velmora", BarText(L"Velmora", half));
    EXPECT_EQ(L"50%", BarText(L"", half));
}

TEST(PercentBar, LayoutFillsFromTheLeftOrFromTheBottom) {
    const BarRect client{0, 0, 200, 20};
    const BarRect tall{0, 0, 20, 100};
    struct Row {
        const char* what;
        BarRect client;
        BarRange range;
        bool vertical;
        BarRect filled, empty;
    } rows[] = {
        {"half", client, {50, 0, 100}, false, {0, 0, 100, 20}, {100, 0, 200, 20}},
        {"empty", client, {0, 0, 100}, false, {0, 0, 0, 20}, {0, 0, 200, 20}},
        {"full", client, {100, 0, 100}, false, {0, 0, 200, 20}, {200, 0, 200, 20}},
        {"two thirds", client, {2, 0, 3}, false, {0, 0, 133, 20}, {133, 0, 200, 20}},
        {"offset client", {10, 5, 110, 25}, {25, 0, 100}, false, {10, 5, 35, 25},
         {35, 5, 110, 25}},
        {"beyond the upper bound", client, {300, 0, 100}, false, {0, 0, 200, 20},
         {200, 0, 200, 20}},
        {"below the lower bound", client, {-50, 0, 100}, false, {0, 0, 0, 20},
         {0, 0, 200, 20}},
        {"vertical half", tall, {50, 0, 100}, true, {0, 50, 20, 100}, {0, 0, 20, 50}},
        {"vertical quarter", tall, {1, 0, 4}, true, {0, 75, 20, 100}, {0, 0, 20, 75}},
        {"vertical full", tall, {4, 0, 4}, true, {0, 0, 20, 100}, {0, 0, 20, 0}},
        {"vertical beyond", tall, {9, 0, 4}, true, {0, 0, 20, 100}, {0, 0, 20, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const BarLayout layout = LayOutBar(r.client, r.range, r.vertical);
        EXPECT_EQ(r.filled, layout.filled);
        EXPECT_EQ(r.empty, layout.empty);
    }
}

TEST(PercentBar, RepaintIsDueOnlyWhenTheWidthChangesOrAfterAResize) {
    RepaintRation ration;
    EXPECT_EQ(-1, ration.Last());
    struct Step {
        const char* what;
        int width;  // -1: a resize
        bool due;
    } steps[] = {
        {"first position", 0, true},  {"same width", 0, false}, {"one pixel more", 1, true},
        {"again", 1, false},          {"resize", -1, false},    {"same width after resize", 1, true},
        {"back", 0, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.width < 0) {
            ration.Forget();
            EXPECT_EQ(-1, ration.Last());
            continue;
        }
        EXPECT_EQ(s.due, ration.Due(s.width));
        EXPECT_EQ(s.width, ration.Last());
    }
}

TEST(WindowPlacement, CentresOnTheDesktopTruncatingEachHalf) {
    struct Row {
        int width, height, left, top, right, bottom, x, y;
    } rows[] = {
        {400, 220, 0, 0, 1024, 768, 312, 274},
        {401, 221, 0, 0, 1024, 768, 312, 274},
        {399, 219, 0, 0, 1023, 767, 312, 274},
        {1024, 768, 0, 0, 1024, 768, 0, 0},
        {2000, 1000, 0, 0, 1024, 768, -488, -116},
        {100, 100, -1024, 0, 0, 768, -562, 334},
        {10, 10, -3, -3, 0, 0, -6, -6},  // -3 / 2 is -1: toward zero
        // Work areas at the ends of the coordinate range: the sums would not fit an int.
        {100, 100, INT_MAX - 600, INT_MAX - 600, INT_MAX, INT_MAX, INT_MAX - 350, INT_MAX - 350},
        {100, 100, INT_MIN, INT_MIN, INT_MIN + 600, INT_MIN + 600, INT_MIN + 250, INT_MIN + 250},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.width << "x" << r.height << " on " << r.left << ","
                                        << r.top << "-" << r.right << "," << r.bottom);
        const WindowPoint p = CentreOnDesktop(r.width, r.height, r.left, r.top, r.right, r.bottom);
        EXPECT_EQ(r.x, p.x);
        EXPECT_EQ(r.y, p.y);
    }
}

TEST(WindowPlacement, CentresOverTheOwnerInsideTheWorkArea) {
    const PlacementRect work{0, 0, 1024, 738};
    const PlacementRect left{-1280, 0, 0, 994};
    struct Row {
        const char* what;
        PlacementRect over, area;
        int width, height, x, y;
    } rows[] = {
        {"over a browser in the middle", {100, 100, 900, 600}, work, 400, 220, 300, 240},
        {"owner at the right edge: moved back in", {800, 0, 1024, 300}, work, 400, 220, 624, 40},
        {"owner off the top left: moved back in", {-500, -400, 100, 100}, work, 400, 220, 0, 0},
        {"owner hidden: the work area itself", work, work, 400, 220, 312, 259},
        {"larger than the area: left and top kept inside", work, work, 1200, 900, 0, 0},
        {"second monitor on the left", {-1280, 0, 0, 1024}, left, 400, 220, -840, 402},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const WindowPoint p = CentreWithin(r.width, r.height, r.over, r.area);
        EXPECT_EQ(r.x, p.x);
        EXPECT_EQ(r.y, p.y);
    }
    // Areas at the ends of the coordinate range.
    const WindowPoint high = CentreWithin(100, 100, {INT_MAX - 50, 0, INT_MAX, 10},
                                          {INT_MAX - 600, 0, INT_MAX, 600});
    EXPECT_EQ(INT_MAX - 100, high.x);
}

}  // namespace
