// mouse.h - the left button, the pointer and the wheel.
//
// The handlers never draw: they change fields of the viewer (drags, scroll,
// pan, zoom, toolbar visibility) and raise redraw; the window procedure then
// runs the pass. Positions are client pixels with y counted down from the top,
// except the wheel's, which arrive in screen coordinates.
#pragma once

#include <cstdint>

struct CViewer;
struct PlatWindow;

enum
{
    kToolbarBandRows = 84,     // client rows 0 to 83 belong to the toolbar band
    kToolbarShowRows = 6,      // a move to rows 0 to 5 shows the toolbar
    kScrollBarColumns = 16,    // the scroll-bar strip at the right edge
    kWheelNotch = 120,         // wheel delta of one notch
    kZoomStepLimit = 240,      // zoomStep stays within +-240: scale 2^-20 to 2^20
    kPanLimit = 1 << 24,       // pan stays within +-2^24 pixels and screen rows
};

// Starts what a left-button press at (x, y) begins: a toolbar click, a pan of
// the open image, a grid drag or a scroll-bar drag.
void OnButtonDown(CViewer* viewer, int32_t x, int32_t y);
// Follows the drag under way and shows or hides the toolbar near the top edge.
void OnMouseMove(CViewer* viewer, uint32_t keyState, int32_t x, int32_t y);
// Scrolls the grid, or zooms the open image about the pointer when it is over
// the image. Returns 0.
int32_t OnMouseWheel(CViewer* viewer, PlatWindow* window, int32_t delta, int32_t screenX,
                     int32_t screenY);
