// mouse.h - the left button, the pointer and the wheel, and the click rule.
//
// The handlers never draw: they change fields of the viewer (drags, scroll,
// pan, zoom, toolbar visibility) and raise redraw; the window procedure then
// runs the pass. Positions are client pixels with y counted down from the top,
// except the wheel's, which arrive in screen coordinates.
#pragma once

#include <cstdint>

#include "render/layout.h"

struct CViewer;
struct PlatWindow;

// [SECTION] The left button

// Starts what a left-button press at (x, y) begins: a toolbar click, a pan of
// the open image, a grid drag or a scroll-bar drag.
void OnButtonDown(CViewer* viewer, int32_t x, int32_t y);
// Ends every drag and records a click when the release is exactly at the press
// and no toolbar click claims it.
void OnButtonUp(CViewer* viewer, int32_t x, int32_t y);
// Follows the drag under way and shows or hides the toolbar near the top edge.
void OnMouseMove(CViewer* viewer, uint32_t keyState, int32_t x, int32_t y);
// Scrolls the grid, or zooms the open image about the pointer when it is over
// the image. Returns 0.
int32_t OnMouseWheel(CViewer* viewer, PlatWindow* window, int32_t delta, int32_t screenX,
                     int32_t screenY);
