// viewer_state.h - CViewer, the one record of state that survives a message.
//
// The shell (app/) owns the single global instance; the pass and the mouse
// handlers here work on it through a pointer. The record is zero-filled at
// start, except selected, loaded and clickPos, which start at -1.
#pragma once

#include <cstdint>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/frame.h"

struct FIBITMAP;

struct CPoint32
{
    int32_t x, y;
};

struct CImageRect
{
    int32_t x0, x1, y0, y1;  // inclusive; x in pixels, y in line pairs from the bottom
};

struct CViewer
{
    uint8_t redraw;                // a pass is wanted
    PlatRect clientRect;           // re-read by every pass
    CStereoFrame frame;
    CFolderList folder;
    int32_t contentHeight;         // grid content in line pairs
    int32_t scroll;                // grid scroll in line pairs, 0 at the top
    int32_t listDragAnchor;        // 2 x scroll at the press, plus upward moves
    int32_t barDragAnchor;         // scroll in bar rows at the press, plus downward moves
    int32_t selected;              // selected entry index, -1 for none
    int32_t loaded;                // entry whose image is open, -1 for none
    uint8_t listDrag;              // the grid is being dragged
    uint8_t barDrag;               // the scroll bar is being dragged
    CPoint32 lastMouse;            // last position a drag took into account
    CPoint32 pressPos;             // last left-button press
    CPoint32 clickPos;             // click waiting for the pass, (-1, -1) for none
    FIBITMAP* openPrimary;         // decoded open image (second stream of a pair)
    FIBITMAP* openSecondary;       // first stream of a two-stream file, or null
    FIBITMAP* thumbPrimary;        // slots used within one thumbnail tick
    FIBITMAP* thumbSecondary;
    uint8_t* viewBits[2];          // first pixel of each view of the open image
    int32_t viewPitch[2];          // bytes per row of each view
    int32_t zoomStep;              // scale 2^(zoomStep / 12)
    CImageRect imageRect;          // where the open image was last drawn
    uint8_t panDrag;               // the open image is being dragged
    CPoint32 pan;                  // x pixels right, y screen rows up
    uint8_t toolbarShown;
    CPoint32 toolbarClick;         // press that made the pending toolbar click
    uint8_t toolbarClickPending;
};

// Puts a record into its start-up state: all zero, nothing selected or open,
// no click waiting.
void InitViewer(CViewer* viewer);
