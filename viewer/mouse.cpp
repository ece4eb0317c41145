// mouse.cpp - press, move and wheel: drags, scrolling, panning, zooming and the
// toolbar's visibility. Nothing here draws; every change raises redraw.
//
// Everything a long run of messages accumulates (scroll, the drag anchors,
// pan, zoomStep) is kept in range here, so no sum overflows and no conversion
// from floating point is undefined, however far the wheel is turned or the
// pointer dragged before a pass clamps the scroll.
#include "viewer/mouse.h"

#include <cmath>

#include "platform/platform.h"
#include "viewer/viewer_state.h"

// Returns a 64-bit value pinned into the range of int32_t.
static int32_t ClampToInt32(int64_t value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

// Returns a pan coordinate pinned into +-kPanLimit.
static int32_t ClampPan(int64_t value)
{
    if (value > kPanLimit)
        return kPanLimit;
    if (value < -kPanLimit)
        return -kPanLimit;
    return (int32_t)value;
}

// Returns whether client point (x, y) lies on the open image as last drawn,
// all four bounds inclusive.
static bool OnOpenImage(const CViewer* viewer, int32_t x, int32_t y)
{
    if (viewer->selected < 0)
        return false;
    const CImageRect& r = viewer->imageRect;
    int64_t pair = (int64_t)viewer->frame.pairs - y / 2;
    return r.x0 <= x && x <= r.x1 && r.y0 <= pair && pair <= r.y1;
}

// Returns whether column x lies in the scroll-bar strip.
static bool OnScrollBarStrip(const CViewer* viewer, int32_t x)
{
    return (int64_t)viewer->frame.stride - kScrollBarColumns <= x;
}

// Returns the new pan coordinate after zooming by f about the pointer at c:
// the pointer's distance from the image centre grows by f. The difference is
// single precision, the product double rounded to single, the subtraction
// single, and the result is truncated toward zero once pinned into range.
static int32_t ZoomAbout(int32_t c, int32_t pan, double f)
{
    float d = (float)((int64_t)c - pan);
    float scaled = (float)((double)d * f);
    float moved = (float)c - scaled;
    if (!(moved >= -(float)kPanLimit))  // also catches what is not a number
        moved = -(float)kPanLimit;
    if (moved > (float)kPanLimit)
        moved = (float)kPanLimit;
    return (int32_t)moved;
}

void OnButtonDown(CViewer* viewer, int32_t x, int32_t y)
{
    if (viewer->toolbarShown && y < kToolbarBandRows)
    {
        // The toolbar acts on it in the next pass that draws the band.
        viewer->toolbarClick = {x, y};
        viewer->toolbarClickPending = 1;
    }
    else if (OnOpenImage(viewer, x, y))
        viewer->panDrag = 1;
    else if (!OnScrollBarStrip(viewer, x))
    {
        viewer->listDrag = 1;
        viewer->listDragAnchor = ClampToInt32(2 * (int64_t)viewer->scroll);
    }
    else
    {
        // The scroll position in rows of the bar, which spans the window's
        // height for the whole content; no content height yet means the top.
        viewer->barDrag = 1;
        int64_t height = viewer->contentHeight;
        viewer->barDragAnchor =
            height > 0 ? ClampToInt32((int64_t)viewer->scroll * viewer->frame.pairs * 2 / height) : 0;
    }
    viewer->lastMouse = {x, y};
    viewer->pressPos = {x, y};
}

void OnButtonUp(CViewer* viewer, int32_t x, int32_t y)
{
    viewer->listDrag = 0;
    viewer->barDrag = 0;
    viewer->panDrag = 0;
    bool atPress = x == viewer->pressPos.x && y == viewer->pressPos.y;
    bool outsideBand = !viewer->toolbarShown || y >= kToolbarBandRows;
    if (atPress && !viewer->toolbarClickPending && outsideBand)
        viewer->clickPos = {x, y};
}

void OnMouseMove(CViewer* viewer, uint32_t keyState, int32_t x, int32_t y)
{
    bool button = (keyState & MK_LBUTTON) != 0;
    if (!button)
    {
        viewer->listDrag = 0;
        viewer->barDrag = 0;
    }

    // The toolbar shows at the top six rows and stays while the pointer is
    // over its band or on the row just below it.
    if (!viewer->toolbarShown && y < kToolbarShowRows)
    {
        viewer->toolbarShown = 1;
        viewer->redraw = 1;
    }
    else if (viewer->toolbarShown && y > kToolbarBandRows)
    {
        viewer->toolbarShown = 0;
        viewer->redraw = 1;
    }

    if (!button)
        return;
    if (x == viewer->lastMouse.x && y == viewer->lastMouse.y)
        return;

    if (viewer->panDrag)
    {
        // The image follows the pointer; pan y counts upward.
        viewer->pan.x = ClampPan((int64_t)viewer->pan.x + x - viewer->lastMouse.x);
        viewer->pan.y = ClampPan((int64_t)viewer->pan.y + viewer->lastMouse.y - y);
        viewer->lastMouse = {x, y};
        viewer->redraw = 1;
    }

    if (viewer->listDrag)
    {
        // Two rows of pointer movement move the content one line pair.
        viewer->listDragAnchor =
            ClampToInt32((int64_t)viewer->listDragAnchor + viewer->lastMouse.y - y);
        viewer->scroll = viewer->listDragAnchor / 2;
        viewer->lastMouse = {x, y};
        viewer->redraw = 1;
    }
    else if (viewer->barDrag)
    {
        viewer->barDragAnchor =
            ClampToInt32((int64_t)viewer->barDragAnchor + y - viewer->lastMouse.y);
        // A frame without line pairs has no bar to drag: the scroll stays.
        if (viewer->frame.pairs > 0)
            viewer->scroll = ClampToInt32((int64_t)viewer->contentHeight * viewer->barDragAnchor /
                                          (2 * (int64_t)viewer->frame.pairs));
        viewer->lastMouse = {x, y};
        viewer->redraw = 1;
    }
}

int32_t OnMouseWheel(CViewer* viewer, PlatWindow* window, int32_t delta, int32_t screenX,
                     int32_t screenY)
{
    if (delta == 0)
        return 0;
    int32_t notches = delta / kWheelNotch;
    PlatPoint p = {screenX, screenY};
    PlatScreenToClient(window, &p);

    if (OnOpenImage(viewer, p.x, p.y))
    {
        // zoomStep moves toward the turn but never past the limit; the pan
        // follows only the steps actually taken, so at the limit the image
        // neither grows nor drifts.
        int32_t before = viewer->zoomStep;
        int64_t wanted = (int64_t)before + notches;
        const int64_t limit = kZoomStepLimit;
        int32_t after = before;
        if (notches > 0 && before < limit)
            after = (int32_t)(wanted < limit ? wanted : limit);
        else if (notches < 0 && before > -limit)
            after = (int32_t)(wanted > -limit ? wanted : -limit);
        viewer->zoomStep = after;
        int32_t taken = after - before;
        if (taken != 0)
        {
            double f = pow(2.0, taken / 12.0);
            int32_t cx = p.x - viewer->frame.stride / 2;
            int32_t cy = ClampToInt32((int64_t)viewer->frame.pairs - p.y);
            viewer->pan.x = ZoomAbout(cx, viewer->pan.x, f);
            viewer->pan.y = ZoomAbout(cy, viewer->pan.y, f);
        }
    }
    else
    {
        // Only x decides the rate, wherever the pointer is vertically.
        bool strip = OnScrollBarStrip(viewer, p.x) && p.x < viewer->frame.stride;
        int32_t step = strip ? delta / 2 : delta / 5;
        viewer->scroll = ClampToInt32((int64_t)viewer->scroll - step);
    }
    viewer->redraw = 1;
    return 0;
}
