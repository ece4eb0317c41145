// Tests of the mouse handlers: toolbar visibility, press regions, the grid and
// scroll-bar drags, panning, wheel scrolling and zoom about the pointer, sums
// that must not overflow, and the window procedure's decoding of parameters.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/shell.h"
#include "platform/headless/headless.h"
#include "viewer/mouse.h"
#include "viewer/viewer_state.h"

namespace {

// An 800 x 600 client (300 line pairs) whose top-left corner is at (100, 50)
// on the screen, with 1000 line pairs of grid content.
class MouseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HeadlessReset();
        window = PlatCreateWindow(u"Orvale_Viewer", nullptr);
        HeadlessSetClient(100, 50, 800, 600);
        v = (CViewer*)calloc(1, sizeof(CViewer));  // too big for the stack
        Reset();
    }
    // Starts afresh; the image, once opened, covers columns 200-599 and line
    // pairs 100-249.
    void Reset()
    {
        InitViewer(v);
        v->frame.stride = 800, v->frame.pairs = 300, v->contentHeight = 1000, v->imageRect = {200, 599, 100, 249};
    }
    void TearDown() override { free(v), HeadlessReset(); }
    // Turns the wheel with the pointer at client (x, y).
    void Wheel(int32_t delta, int32_t x, int32_t y) { OnMouseWheel(v, window, delta, x + 100, y + 50); }

    PlatWindow* window = nullptr;
    CViewer* v = nullptr;
};

TEST_F(MouseTest, ToolbarShowsOnTheTopSixRowsAndHidesBelowItsBand)
{
    // Shown before, button held, row, shown after; redraw only on a change.
    const int cases[][4] = {{0, 0, 6, 0}, {0, 0, 5, 1}, {1, 0, 84, 1}, {1, 0, 85, 0}, {0, 1, 2, 1}, {1, 1, 400, 0}};
    for (const auto& c : cases)
    {
        v->toolbarShown = (uint8_t)c[0], v->redraw = 0;
        OnMouseMove(v, c[1] ? MK_LBUTTON : 0, 300, c[2]);
        EXPECT_TRUE(v->toolbarShown == c[3] && v->redraw == (c[0] != c[3])) << "row " << c[2];
    }
}

TEST_F(MouseTest, PressStartsWhatItsPlaceBegins)
{
    // Toolbar shown; image (0 closed with its last rectangle kept, 1 the
    // open image, 2 open over the whole frame); x, y; what starts: T toolbar
    // click, P pan, L grid drag, B bar drag. Image bounds are inclusive, and
    // y is compared as the line pair 300 - y / 2.
    struct { int toolbar, image, x, y; char starts; } cases[] = {
        {1, 0, 300, 83, 'T'},  {1, 0, 300, 84, 'L'},  {0, 0, 300, 10, 'L'},  {0, 0, 783, 300, 'L'},
        {0, 0, 784, 300, 'B'}, {0, 1, 200, 300, 'P'}, {0, 1, 599, 300, 'P'}, {0, 1, 199, 300, 'L'},
        {0, 1, 600, 300, 'L'}, {0, 1, 300, 102, 'P'}, {0, 1, 300, 101, 'L'}, {0, 1, 300, 401, 'P'},
        {0, 1, 300, 402, 'L'}, {0, 2, 790, 300, 'P'}, {1, 1, 300, 50, 'T'}};
    for (const auto& c : cases)
    {
        Reset();
        v->toolbarShown = (uint8_t)c.toolbar, v->selected = c.image ? 0 : -1;
        v->imageRect = c.image == 1 ? CImageRect{200, 599, 100, 249} : CImageRect{0, 799, 0, 299};
        OnButtonDown(v, c.x, c.y);
        char got = v->toolbarClickPending ? 'T' : v->panDrag ? 'P' : v->listDrag ? 'L' : v->barDrag ? 'B' : '-';
        EXPECT_TRUE(got == c.starts && v->toolbarClickPending + v->panDrag + v->listDrag + v->barDrag == 1)
            << c.x << "," << c.y << ": " << got;
        EXPECT_TRUE(v->pressPos.x == c.x && v->pressPos.y == c.y && v->redraw == 0 &&
                    (c.starts != 'T' || (v->toolbarClick.x == c.x && v->toolbarClick.y == c.y)));
    }
}

// A press, one move (with the button held unless said), and what the drag
// made of it.
struct Drag
{
    int32_t image = 0, toolbar = 0, held = 1, pairs = 300, content = 1000, scroll = 0;  // before
    CPoint32 pan = {0, 0}, press = {300, 300}, move = {300, 300}, wantPan = {0, 0};
    // The anchor of the grid or bar drag, redraw raised, drags under way.
    int32_t anchor = 0, wantScroll = 0, redraw = 1, dragging = 1;
};

TEST_F(MouseTest, DragsFollowThePointer)
{
    const Drag drags[] = {
        // The grid: two rows a line pair, odd rows the half truncated toward
        // zero; an overshoot is the pass's to clamp; no movement, no redraw.
        {.scroll = 10, .move = {300, 286}, .anchor = 34, .wantScroll = 17},
        {.scroll = 10, .move = {300, 297}, .anchor = 23, .wantScroll = 11},
        {.scroll = 10, .move = {300, 303}, .anchor = 17, .wantScroll = 8},
        {.move = {300, 303}, .anchor = -3, .wantScroll = -1},
        {.move = {300, 500}, .anchor = -200, .wantScroll = -100},
        {.scroll = 10, .anchor = 20, .wantScroll = 10, .redraw = 0},
        {.scroll = INT32_MAX, .move = {300, -32768}, .anchor = INT32_MAX, .wantScroll = INT32_MAX / 2},
        // The bar: content height over twice the pairs per row, toward zero;
        // no division by zero pairs or content; products formed in 64 bits
        // (2e9 x 300 x 2 overflows 32) and pinned.
        {.scroll = 100, .press = {795, 300}, .move = {795, 310}, .anchor = 70, .wantScroll = 116},
        {.scroll = 100, .press = {795, 300}, .move = {795, 200}, .anchor = -40, .wantScroll = -66},
        {.pairs = 0, .scroll = 40, .press = {795, 300}, .move = {795, 350}, .anchor = 50, .wantScroll = 40},
        {.pairs = -1, .scroll = 40, .press = {795, 300}, .move = {795, 350}, .anchor = 50, .wantScroll = 40},
        {.content = 0, .scroll = 40, .press = {795, 300}, .move = {795, 350}, .anchor = 50, .wantScroll = 0},
        {.content = 2100000000, .scroll = 2000000000, .press = {795, 300}, .move = {795, 301}, .anchor = 572,
         .wantScroll = (int32_t)(2100000000LL * 572 / 600)},
        {.content = 22, .scroll = 2002000000, .press = {795, 300}, .move = {795, 400}, .anchor = INT32_MAX,
         .wantScroll = (int32_t)(22LL * INT32_MAX / 600)},
        // The image: pan y counts upward, and stops at its limit.
        {.image = 1, .move = {310, 320}, .wantPan = {10, -20}},
        {.image = 1, .pan = {kPanLimit - 5, -kPanLimit + 5}, .move = {320, 320}, .wantPan = {kPanLimit, -kPanLimit}},
        // A toolbar click drags nothing; a move without the button ends a
        // grid or bar drag, not a pan.
        {.toolbar = 1, .scroll = 5, .press = {300, 50}, .move = {300, 70}, .wantScroll = 5, .redraw = 0, .dragging = 0},
        {.held = 0, .scroll = 10, .move = {300, 280}, .anchor = 20, .wantScroll = 10, .redraw = 0, .dragging = 0},
        {.held = 0, .press = {795, 300}, .move = {795, 280}, .redraw = 0, .dragging = 0},
        {.image = 1, .held = 0, .move = {310, 320}, .redraw = 0},
    };
    for (const Drag& d : drags)
    {
        Reset();
        v->frame.pairs = d.pairs, v->contentHeight = d.content, v->scroll = d.scroll;
        v->pan = d.pan, v->toolbarShown = (uint8_t)d.toolbar, v->selected = d.image ? 0 : -1;
        OnButtonDown(v, d.press.x, d.press.y);
        OnMouseMove(v, d.held ? MK_LBUTTON : 0, d.move.x, d.move.y);
        EXPECT_TRUE((v->barDrag ? v->barDragAnchor : v->listDragAnchor) == d.anchor && v->scroll == d.wantScroll &&
                    v->pan.x == d.wantPan.x && v->pan.y == d.wantPan.y && v->redraw == d.redraw &&
                    v->listDrag + v->barDrag + v->panDrag == d.dragging)
            << d.press.x << "," << d.press.y << " to " << d.move.x << "," << d.move.y << ": scroll " << v->scroll;
    }
}

TEST_F(MouseTest, WheelScrollsTheGridAFifthOrOverTheStripAHalf)
{
    // Delta, client x and y, scroll change: only x decides the rate, wherever
    // the pointer is, even outside the client (title bar, right of it).
    const int32_t cases[][4] = {{60, 300, 300, -12}, {-120, 300, 300, 24}, {-240, 790, 300, 120}, {120, 784, 300, -60},
                                {120, 783, 300, -24}, {120, 790, -20, -60}, {120, 800, -20, -24}, {120, -5, 700, -24},
                                {0, 300, 300, 0}};
    for (const auto& c : cases)
    {
        v->scroll = 50, v->redraw = 0;
        Wheel(c[0], c[1], c[2]);
        EXPECT_TRUE(v->scroll == 50 + c[3] && v->redraw == (c[0] != 0)) << c[0] << " at " << c[1] << "," << c[2];
    }
    HeadlessSetClient(-1920, -300, 800, 600);  // negative screen coordinates
    OnMouseWheel(v, window, 120, -1920 + 790, -300 + 10);
    EXPECT_EQ(v->scroll, 50 - 60);
}

TEST_F(MouseTest, WheelOverTheImageZoomsAboutThePointer)
{
    // zoomStep and pan before; delta and client x, y; zoomStep and pan after.
    // The image centre is at column 400 + pan x and screen rows pan y above
    // the middle row 300: the point under the pointer stays put.
    const int32_t cases[][9] = {
        {0, 30, -20, 120, 430, 320, 1, 30, -20},      // at the centre nothing moves
        {0, 30, -20, 120, 530, 200, 1, 24, -27},      // 130 - 100 x 2^(1/12), 100 - 120 x 2^(1/12)
        {0, 0, 0, 12 * 120, 500, 300, 12, -100, 0},   // twelve notches double the distance
        {-3, 17, -9, 60, 300, 300, -3, 17, -9},       // half a notch only redraws
        {kZoomStepLimit - 1, 0, 0, 600, 500, 200, kZoomStepLimit, -5, -5},  // one step taken, not five
        {kZoomStepLimit, 30, -20, 120, 500, 200, kZoomStepLimit, 30, -20},  // at the limit: no drift
        {-kZoomStepLimit, 30, -20, -120, 500, 200, -kZoomStepLimit, 30, -20}};
    for (const auto& c : cases)
    {
        v->selected = 0, v->zoomStep = c[0], v->pan = {c[1], c[2]}, v->redraw = 0;
        Wheel(c[3], c[4], c[5]);
        EXPECT_TRUE(v->zoomStep == c[6] && v->pan.x == c[7] && v->pan.y == c[8] && v->redraw == 1 && v->scroll == 0)
            << c[3] << " at " << c[4] << "," << c[5] << ": " << v->zoomStep << " " << v->pan.x << "," << v->pan.y;
    }
}

// Long runs of the largest deltas keep every field in range; the sanitizer
// build turns any overflow or bad conversion into a failure.
TEST_F(MouseTest, ExtremeWheelRunsStayInRange)
{
    auto turn = [&](int times, int32_t delta, int32_t x) {
        for (int i = 0; i < times; i++)
            Wheel(delta, x, 102);
        return abs(v->pan.x) <= kPanLimit && abs(v->pan.y) <= kPanLimit;
    };
    v->selected = 0;
    EXPECT_TRUE(turn(2000, 32767, 599) && v->zoomStep == kZoomStepLimit);
    EXPECT_TRUE(turn(2000, -32768, 200) && v->zoomStep == -kZoomStepLimit);
    v->pan = {kPanLimit, -kPanLimit}, v->zoomStep = 0;
    EXPECT_TRUE(turn(50, 32767, 599));
    v->selected = -1;  // over the strip from here on
    turn(140000, -32768, 790);
    EXPECT_EQ(v->scroll, INT32_MAX);
    turn(280000, 32767, 790);
    EXPECT_EQ(v->scroll, INT32_MIN);
}

// The window procedure passes the key state from the low word of wParam,
// signed client positions, and the wheel delta from the high word.
TEST(MouseRouting, WindowProcDecodesItsParameters)
{
    HeadlessReset();
    InitViewer(&gViewer);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 20, 640, 480);
    HeadlessSend(WM_SIZE, 0, 0);
    HeadlessSend(WM_LBUTTONDOWN, MK_LBUTTON, PlatMakeLParam(-3, -4));
    EXPECT_TRUE(gViewer.pressPos.x == -3 && gViewer.pressPos.y == -4 && gViewer.listDrag == 1);
    HeadlessSend(WM_MOUSEMOVE, (PlatWParam)MK_LBUTTON << 16, PlatMakeLParam(100, 190));
    EXPECT_EQ(gViewer.listDrag, 0);  // MK_LBUTTON only in the high word: the button is up
    int before = HeadlessPresentCount();
    HeadlessSend(WM_MOUSEWHEEL, 0, PlatMakeLParam(300, 300));
    HeadlessSend(WM_MOUSEWHEEL, (PlatWParam)(uint16_t)-120 << 16, PlatMakeLParam(300, 300));
    EXPECT_EQ(HeadlessPresentCount() - before, 1);  // a pass for the notch only
    TeardownViewer(&gViewer);
}

}  // namespace
