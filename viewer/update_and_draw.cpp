// update_and_draw.cpp - the pass: size the frame to the window, draw, present.
#include "viewer/update_and_draw.h"

#include <cstring>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "viewer/viewer_state.h"

void InitViewer(CViewer* viewer)
{
    memset(viewer, 0, sizeof *viewer);
    viewer->selected = -1;
    viewer->loaded = -1;
    viewer->clickPos = {-1, -1};
}

void UpdateAndDraw(CViewer* viewer, PlatWindow* window)
{
    // A folder just entered, or one that could not be read yet, is listed now.
    if (!viewer->folder.listed)
        ListFolder(&viewer->folder);

    // Size the frame to the client area with the row parity of its screen top.
    PlatPoint origin = {0, 0};
    PlatClientToScreen(window, &origin);
    PlatGetClientRect(window, &viewer->clientRect);
    Resize(&viewer->frame, origin.y, viewer->clientRect.right, viewer->clientRect.bottom);

    Present(&viewer->frame);
}
