// Tests of the mouse handlers: toolbar visibility, press regions, the grid and
// scroll-bar drags, panning, wheel scrolling and zoom about the pointer, and
// their routing through the window procedure.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "app/shell.h"
#include "platform/headless/headless.h"
#include "viewer/mouse.h"
#include "viewer/viewer_state.h"

namespace {

class MouseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HeadlessReset();
        window = PlatCreateWindow(u"Orvale_Viewer", nullptr);
        // The client's top-left corner sits at (100, 50) on the screen.
        HeadlessSetClient(100, 50, 800, 600);
        v = (CViewer*)calloc(1, sizeof(CViewer));
        InitViewer(v);
        v->frame.stride = 800;
        v->frame.pairs = 300;
        v->contentHeight = 1000;
    }
    void TearDown() override
    {
        free(v);
        HeadlessReset();
    }
    // Opens an image covering columns 200-599 and line pairs 100-249.
    void OpenImage()
    {
        v->selected = 0;
        v->imageRect = {200, 599, 100, 249};
    }
    void Move(int32_t x, int32_t y) { OnMouseMove(v, MK_LBUTTON, x, y); }
    // Turns the wheel with the pointer at client (x, y).
    void Wheel(int32_t delta, int32_t x, int32_t y) { OnMouseWheel(v, window, delta, x + 100, y + 50); }

    PlatWindow* window = nullptr;
    CViewer* v = nullptr;
};

// [SECTION] Toolbar visibility

TEST_F(MouseTest, ToolbarShowsAtRowFiveNotSix)
{
    OnMouseMove(v, 0, 300, 6);
    EXPECT_EQ(v->toolbarShown, 0);
    EXPECT_EQ(v->redraw, 0);
    OnMouseMove(v, 0, 300, 5);
    EXPECT_EQ(v->toolbarShown, 1);
    EXPECT_EQ(v->redraw, 1);
}

TEST_F(MouseTest, ToolbarStaysAtRow84HidesAt85)
{
    v->toolbarShown = 1;
    OnMouseMove(v, 0, 300, 84);
    EXPECT_EQ(v->toolbarShown, 1);
    EXPECT_EQ(v->redraw, 0);
    OnMouseMove(v, 0, 300, 85);
    EXPECT_EQ(v->toolbarShown, 0);
    EXPECT_EQ(v->redraw, 1);
}

TEST_F(MouseTest, ToolbarVisibilityFollowsTheButtonHeldToo)
{
    OnButtonDown(v, 300, 200);
    Move(300, 2);
    EXPECT_EQ(v->toolbarShown, 1);
    Move(300, 400);
    EXPECT_EQ(v->toolbarShown, 0);
}

// [SECTION] Press regions

TEST_F(MouseTest, PressInTheBandIsAToolbarClickAndStartsNoDrag)
{
    v->toolbarShown = 1;
    OnButtonDown(v, 300, 83);
    EXPECT_EQ(v->toolbarClickPending, 1);
    EXPECT_EQ(v->toolbarClick.x, 300);
    EXPECT_EQ(v->toolbarClick.y, 83);
    EXPECT_EQ(v->listDrag | v->barDrag | v->panDrag, 0);
    EXPECT_EQ(v->pressPos.y, 83);
    EXPECT_EQ(v->redraw, 0);

    // The row below the band is tested against the grid.
    v->toolbarClickPending = 0;
    OnButtonDown(v, 300, 84);
    EXPECT_EQ(v->toolbarClickPending, 0);
    EXPECT_EQ(v->listDrag, 1);
}

TEST_F(MouseTest, BandRowsAreGridWhileTheToolbarIsHidden)
{
    OnButtonDown(v, 300, 10);
    EXPECT_EQ(v->toolbarClickPending, 0);
    EXPECT_EQ(v->listDrag, 1);
}

TEST_F(MouseTest, StripStartsSixteenColumnsFromTheRight)
{
    OnButtonDown(v, 800 - 17, 300);
    EXPECT_EQ(v->listDrag, 1);
    EXPECT_EQ(v->barDrag, 0);
    v->listDrag = 0;
    OnButtonDown(v, 800 - 16, 300);
    EXPECT_EQ(v->listDrag, 0);
    EXPECT_EQ(v->barDrag, 1);
}

TEST_F(MouseTest, PressOnTheImageOverTheStripStartsAPan)
{
    v->selected = 0;
    v->imageRect = {0, 799, 0, 299};
    OnButtonDown(v, 790, 300);
    EXPECT_EQ(v->panDrag, 1);
    EXPECT_EQ(v->barDrag, 0);
    EXPECT_EQ(v->listDrag, 0);
}

// Bounds are inclusive; y is compared as the line pair pairs - y/2.
TEST_F(MouseTest, ImageBoundsAreInclusive)
{
    OpenImage();
    struct
    {
        int32_t x, y;
        bool pan;
    } cases[] = {
        {200, 300, true},  {599, 300, true},  {199, 300, false}, {600, 300, false},
        {300, 103, true},  {300, 102, true},  {300, 101, false},  // pairs 249, 249, 250
        {300, 400, true},  {300, 401, true},  {300, 402, false},  // pairs 100, 100, 99
    };
    for (const auto& c : cases)
    {
        v->panDrag = v->listDrag = v->barDrag = 0;
        OnButtonDown(v, c.x, c.y);
        EXPECT_EQ(v->panDrag, c.pan ? 1 : 0) << c.x << "," << c.y;
    }
}

TEST_F(MouseTest, ClosedImageIsNotHit)
{
    v->imageRect = {0, 799, 0, 299};  // kept from the last drawing
    OnButtonDown(v, 300, 300);
    EXPECT_EQ(v->panDrag, 0);
    EXPECT_EQ(v->listDrag, 1);
}

// [SECTION] Grid drag

TEST_F(MouseTest, GridFollowsThePointerOneLinePairPerTwoRows)
{
    v->scroll = 10;
    OnButtonDown(v, 300, 300);
    EXPECT_EQ(v->listDragAnchor, 20);
    Move(300, 300 - 2 * 7);  // up 14 rows
    EXPECT_EQ(v->scroll, 17);
    EXPECT_EQ(v->redraw, 1);
    Move(300, 300 + 2 * 4);  // down to 8 rows below the press
    EXPECT_EQ(v->scroll, 6);
}

TEST_F(MouseTest, OddRowsMoveTheTruncatedHalf)
{
    v->scroll = 10;
    OnButtonDown(v, 300, 300);
    Move(300, 297);  // anchor 23
    EXPECT_EQ(v->scroll, 11);
    Move(300, 303);  // anchor 17
    EXPECT_EQ(v->scroll, 8);
    v->scroll = 0;
    OnButtonDown(v, 300, 300);
    Move(300, 303);  // anchor -3 truncates toward zero
    EXPECT_EQ(v->scroll, -1);
}

TEST_F(MouseTest, OvershootMustComeBackBeforeTheContentMoves)
{
    v->scroll = 0;
    OnButtonDown(v, 300, 300);
    Move(300, 400);
    Move(300, 500);
    EXPECT_EQ(v->scroll, -100);  // the pass clamps; the anchor keeps counting
    Move(300, 350);
    EXPECT_EQ(v->scroll, -25);
}

TEST_F(MouseTest, MoveToLastMouseChangesNothing)
{
    v->scroll = 10;
    OnButtonDown(v, 300, 300);
    Move(300, 280);
    v->redraw = 0;
    Move(300, 280);
    EXPECT_EQ(v->scroll, 20);
    EXPECT_EQ(v->listDragAnchor, 40);
    EXPECT_EQ(v->redraw, 0);
}

TEST_F(MouseTest, MoveWithoutTheButtonEndsGridAndBarDragsButNotPan)
{
    v->listDrag = v->barDrag = v->panDrag = 1;
    OnMouseMove(v, 0, 300, 300);
    EXPECT_EQ(v->listDrag, 0);
    EXPECT_EQ(v->barDrag, 0);
    EXPECT_EQ(v->panDrag, 1);
}

TEST_F(MouseTest, ToolbarClickDragsNothing)
{
    v->toolbarShown = 1;
    v->scroll = 5;
    OnButtonDown(v, 300, 50);
    Move(300, 70);
    EXPECT_EQ(v->scroll, 5);
    EXPECT_EQ(v->lastMouse.y, 50);
    EXPECT_EQ(v->redraw, 0);
}

TEST_F(MouseTest, GridAnchorSaturatesInsteadOfOverflowing)
{
    v->scroll = INT32_MAX;
    OnButtonDown(v, 300, 300);
    EXPECT_EQ(v->listDragAnchor, INT32_MAX);
    Move(300, -32768);
    EXPECT_EQ(v->listDragAnchor, INT32_MAX);
    EXPECT_EQ(v->scroll, INT32_MAX / 2);
}

// [SECTION] Scroll-bar drag

TEST_F(MouseTest, BarDragMovesContentHeightOverTwicePairsPerRow)
{
    v->scroll = 100;
    OnButtonDown(v, 795, 300);
    EXPECT_EQ(v->barDragAnchor, 100 * 300 * 2 / 1000);  // 60
    Move(795, 310);
    EXPECT_EQ(v->barDragAnchor, 70);
    EXPECT_EQ(v->scroll, 1000 * 70 / 600);  // 116
    Move(795, 200);
    EXPECT_EQ(v->barDragAnchor, -40);
    EXPECT_EQ(v->scroll, -66);
}

TEST_F(MouseTest, BarDragWithoutLinePairsLeavesTheScroll)
{
    for (int32_t pairs : {0, -1})
    {
        v->frame.pairs = pairs;
        v->scroll = 7;
        OnButtonDown(v, 795, 300);
        EXPECT_EQ(v->barDrag, 1);
        Move(795, 350);
        EXPECT_EQ(v->scroll, 7) << pairs;
        OnMouseMove(v, 0, 795, 350);
    }
}

TEST_F(MouseTest, BarPressWithoutContentHeightAnchorsAtTheTop)
{
    v->contentHeight = 0;
    v->scroll = 40;
    OnButtonDown(v, 795, 300);
    EXPECT_EQ(v->barDragAnchor, 0);
    Move(795, 320);
    EXPECT_EQ(v->scroll, 0);
}

TEST_F(MouseTest, BarProductsAreFormedWideAndPinned)
{
    // 2e9 x 300 x 2 overflows 32 bits before its division.
    v->scroll = 2000000000;
    v->contentHeight = 2100000000;
    OnButtonDown(v, 795, 300);
    EXPECT_EQ(v->barDragAnchor, (int32_t)(2000000000LL * 600 / 2100000000));  // 571
    Move(795, 301);
    EXPECT_EQ(v->scroll, (int32_t)(2100000000LL * 572 / 600));
    v->contentHeight = 22;
    OnButtonDown(v, 795, 300);
    EXPECT_EQ(v->barDragAnchor, INT32_MAX);
    Move(795, 400);
    EXPECT_EQ(v->barDragAnchor, INT32_MAX);
    EXPECT_EQ(v->scroll, (int32_t)(22LL * INT32_MAX / 600));
}

// [SECTION] Panning

TEST_F(MouseTest, PannedImageFollowsThePointer)
{
    OpenImage();
    OnButtonDown(v, 300, 300);
    Move(310, 320);  // right 10, down 20
    EXPECT_EQ(v->pan.x, 10);
    EXPECT_EQ(v->pan.y, -20);
    EXPECT_EQ(v->redraw, 1);
    EXPECT_EQ(v->scroll, 0);
}

TEST_F(MouseTest, PanStopsAtItsLimit)
{
    OpenImage();
    v->pan = {kPanLimit - 5, -kPanLimit + 5};
    OnButtonDown(v, 300, 300);
    Move(320, 320);
    EXPECT_EQ(v->pan.x, kPanLimit);
    EXPECT_EQ(v->pan.y, -kPanLimit);
}

// [SECTION] Wheel

TEST_F(MouseTest, WheelOfZeroDoesNothing)
{
    Wheel(0, 300, 300);
    EXPECT_EQ(v->redraw, 0);
    EXPECT_EQ(v->scroll, 0);
}

TEST_F(MouseTest, HalfNotchScrollsTheGridTwelvePairs)
{
    v->scroll = 50;
    Wheel(60, 300, 300);
    EXPECT_EQ(v->scroll, 38);
    EXPECT_EQ(v->redraw, 1);
    Wheel(-120, 300, 300);
    EXPECT_EQ(v->scroll, 62);
}

TEST_F(MouseTest, HalfNotchOverTheImageOnlyRedraws)
{
    OpenImage();
    v->zoomStep = -3;
    v->pan = {17, -9};
    Wheel(60, 300, 300);
    EXPECT_EQ(v->zoomStep, -3);
    EXPECT_EQ(v->pan.x, 17);
    EXPECT_EQ(v->pan.y, -9);
    EXPECT_EQ(v->scroll, 0);
    EXPECT_EQ(v->redraw, 1);
}

TEST_F(MouseTest, NotchAtTheImageCentreZoomsWithoutMoving)
{
    OpenImage();
    v->pan = {30, -20};
    // Centre column 400 + 30; centre -20 screen rows above the middle, row 320.
    Wheel(120, 430, 320);
    EXPECT_EQ(v->zoomStep, 1);
    EXPECT_EQ(v->pan.x, 30);
    EXPECT_EQ(v->pan.y, -20);
    Wheel(-240, 430, 320);
    EXPECT_EQ(v->zoomStep, -1);
    EXPECT_EQ(v->pan.x, 30);
    EXPECT_EQ(v->pan.y, -20);
}

TEST_F(MouseTest, NotchElsewhereGrowsTheImageAwayFromThePointer)
{
    OpenImage();
    v->pan = {30, -20};
    Wheel(120, 530, 200);  // 100 columns right of the centre, 120 rows above it
    EXPECT_EQ(v->zoomStep, 1);
    EXPECT_EQ(v->pan.x, 24);   // 130 - 100 x 2^(1/12) = 24.05
    EXPECT_EQ(v->pan.y, -27);  // 100 - 120 x 2^(1/12) = -27.14
    EXPECT_EQ(v->scroll, 0);
    EXPECT_EQ(v->redraw, 1);
}

TEST_F(MouseTest, TwelveNotchesDoubleTheDistance)
{
    OpenImage();
    Wheel(12 * 120, 500, 300);  // pointer 100 right of the centre, on the middle row
    EXPECT_EQ(v->zoomStep, 12);
    EXPECT_EQ(v->pan.x, -100);
    EXPECT_EQ(v->pan.y, 0);
}

TEST_F(MouseTest, ReverseTurnOverTheStripScrollsTowardTheEnd)
{
    Wheel(-240, 790, 300);
    EXPECT_EQ(v->scroll, 120);
    Wheel(120, 784, 300);
    EXPECT_EQ(v->scroll, 60);
    Wheel(120, 783, 300);  // just left of the strip
    EXPECT_EQ(v->scroll, 36);
}

TEST_F(MouseTest, PointerOutsideTheClientUsesItsConvertedPosition)
{
    Wheel(120, 790, -20);  // title bar above the strip
    EXPECT_EQ(v->scroll, -60);
    Wheel(120, 800, -20);  // right of the client area: the grid's rate
    EXPECT_EQ(v->scroll, -84);
    Wheel(120, -5, 700);
    EXPECT_EQ(v->scroll, -108);
}

TEST_F(MouseTest, NegativeScreenCoordinatesAreLocated)
{
    HeadlessSetClient(-1920, -300, 800, 600);
    OnMouseWheel(v, window, 120, -1920 + 790, -300 + 10);
    EXPECT_EQ(v->scroll, -60);
}

TEST_F(MouseTest, ZoomStopsAtItsLimitWithoutDrifting)
{
    OpenImage();
    v->zoomStep = kZoomStepLimit - 1;
    Wheel(5 * 120, 500, 200);
    EXPECT_EQ(v->zoomStep, kZoomStepLimit);
    CPoint32 pan = v->pan;
    Wheel(120, 500, 200);
    EXPECT_EQ(v->zoomStep, kZoomStepLimit);
    EXPECT_EQ(v->pan.x, pan.x);
    EXPECT_EQ(v->pan.y, pan.y);
    EXPECT_EQ(v->redraw, 1);
}

// Long runs of the largest deltas keep every field in range; the sanitizer
// build turns any overflow or bad conversion into a failure.
TEST_F(MouseTest, ExtremeWheelRunsStayDefined)
{
    OpenImage();
    for (int i = 0; i < 2000; i++)
        Wheel(32767, 599, 102);
    EXPECT_EQ(v->zoomStep, kZoomStepLimit);
    EXPECT_LE(v->pan.x, kPanLimit);
    EXPECT_GE(v->pan.x, -kPanLimit);
    for (int i = 0; i < 2000; i++)
        Wheel(-32768, 200, 102);
    EXPECT_EQ(v->zoomStep, -kZoomStepLimit);
    EXPECT_LE(v->pan.y, kPanLimit);
    EXPECT_GE(v->pan.y, -kPanLimit);
    v->pan = {kPanLimit, -kPanLimit};
    v->zoomStep = 0;
    for (int i = 0; i < 50; i++)
        Wheel(32767, 599, 102);
    EXPECT_GE(v->pan.x, -kPanLimit);
    EXPECT_LE(v->pan.y, kPanLimit);

    v->selected = -1;
    for (int i = 0; i < 140000; i++)
        Wheel(-32768, 790, 300);
    EXPECT_EQ(v->scroll, INT32_MAX);
    for (int i = 0; i < 280000; i++)
        Wheel(32767, 790, 300);
    EXPECT_EQ(v->scroll, INT32_MIN);
    Wheel(32767, 300, 300);
    EXPECT_EQ(v->scroll, INT32_MIN);
}

// [SECTION] Routing through the window procedure

class MouseRoutingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HeadlessReset();
        InitViewer(&gViewer);
        window = PlatCreateWindow(u"Orvale_Viewer", WindowProc);
        windowDC = PlatGetDC(window);
        HeadlessSetClient(0, 20, 640, 480);
        HeadlessSend(WM_SIZE, 0, 0);
    }
    void TearDown() override
    {
        TeardownViewer(&gViewer);
        windowDC = nullptr;
        HeadlessReset();
    }
    int Passes(uint32_t message, PlatWParam wParam, PlatLParam lParam)
    {
        int before = HeadlessPresentCount();
        HeadlessSend(message, wParam, lParam);
        return HeadlessPresentCount() - before;
    }
    PlatWindow* window = nullptr;
};

TEST_F(MouseRoutingTest, EachVisibilityChangeRedrawsOnce)
{
    EXPECT_EQ(Passes(WM_MOUSEMOVE, 0, PlatMakeLParam(100, 5)), 1);
    EXPECT_EQ(gViewer.toolbarShown, 1);
    EXPECT_EQ(Passes(WM_MOUSEMOVE, 0, PlatMakeLParam(100, 3)), 0);
    EXPECT_EQ(Passes(WM_MOUSEMOVE, 0, PlatMakeLParam(100, 84)), 0);
    EXPECT_EQ(Passes(WM_MOUSEMOVE, 0, PlatMakeLParam(100, 85)), 1);
    EXPECT_EQ(gViewer.toolbarShown, 0);
    EXPECT_EQ(Passes(WM_MOUSEMOVE, 0, PlatMakeLParam(100, 300)), 0);
}

TEST_F(MouseRoutingTest, KeyStateIsTheLowWordOfWParam)
{
    HeadlessSend(WM_LBUTTONDOWN, MK_LBUTTON, PlatMakeLParam(100, 200));
    ASSERT_EQ(gViewer.listDrag, 1);
    // MK_LBUTTON only in the high word: the button is up.
    HeadlessSend(WM_MOUSEMOVE, (PlatWParam)MK_LBUTTON << 16, PlatMakeLParam(100, 190));
    EXPECT_EQ(gViewer.listDrag, 0);
}

TEST_F(MouseRoutingTest, PressTakesSignedClientPositions)
{
    HeadlessSend(WM_LBUTTONDOWN, MK_LBUTTON, PlatMakeLParam(-3, -4));
    EXPECT_EQ(gViewer.pressPos.x, -3);
    EXPECT_EQ(gViewer.pressPos.y, -4);
    EXPECT_EQ(gViewer.listDrag, 1);
}

TEST_F(MouseRoutingTest, WheelRunsOnePassAndZeroDeltaNone)
{
    PlatLParam at = PlatMakeLParam(300, 300);
    EXPECT_EQ(Passes(WM_MOUSEWHEEL, (PlatWParam)(uint16_t)-120 << 16, at), 1);
    EXPECT_EQ(Passes(WM_MOUSEWHEEL, 0, at), 0);
}

}  // namespace
