// shell.cpp - the window, the message loop and the routing of messages.
#include "app/shell.h"

#include "folder/decode_ahead.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "render/frame.h"
#include "render/split.h"
#include "viewer/mouse.h"
#include "viewer/update_and_draw.h"
#include "viewer/viewer_state.h"

enum
{
    kThumbTimerId = 13,
    kThumbTimerPeriodMs = 10,
};

CViewer gViewer;

int RunViewer()
{
    // The window always starts maximised whatever the desktop asked for.
    PlatWindow* window = PlatCreateWindow(u"Orvale_Viewer", WindowProc);
    if (!window)
        return 0;
    windowDC = PlatGetDC(window);
    PlatShowMaximized(window);
    PlatSetTimer(window, kThumbTimerId, kThumbTimerPeriodMs);

    PlatMessage msg;
    while (PlatGetMessage(&msg) > 0)
        PlatDispatchMessage(&msg);
    return 0;
}

// Makes the thumbnail of the first pending entry in listing order, if any,
// or commits it when a worker has decoded it ahead; while a worker is still
// at it the tick makes nothing, and never one further down the listing
// first. Returns 1 when one was made.
static int MakeNextThumbnail(CViewer* viewer)
{
    CFolderList* folder = &viewer->folder;
    // Entries before thumbsDone keep their thumbnails while the listing lives.
    for (; folder->thumbsDone < folder->count; folder->thumbsDone++)
    {
        CFileEntry* entry = folder->entries[folder->thumbsDone];
        if (!entry->thumbPending)
            continue;
        int taken = TakeThumbnail(folder, folder->thumbsDone);
        if (taken == kThumbNotReady)
            return 0;
        if (taken == kThumbDecodeHere)
            LoadEntryImage(entry, 1, &viewer->thumbPrimary, &viewer->thumbSecondary);
        return 1;
    }
    return 0;
}

PlatResult WindowProc(PlatWindow* window, uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    CViewer* viewer = &gViewer;
    bool always = false;
    switch (message)
    {
    case WM_DESTROY:
        PlatPostQuitMessage(0);
        break;
    case WM_SIZE:
    {
        PlatRect client;
        PlatGetClientRect(window, &client);
        KeepStartPictureInView(viewer, client.right);
        always = true;
        break;
    }
    case WM_MOVE:
    case WM_PAINT:
        always = true;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PlatPostQuitMessage(0);
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(viewer, (uint32_t)(wParam & 0xFFFF), PlatLParamX(lParam), PlatLParamY(lParam));
        break;
    case WM_LBUTTONDOWN:
        OnButtonDown(viewer, PlatLParamX(lParam), PlatLParamY(lParam));
        break;
    case WM_TIMER:
        if (wParam == kThumbTimerId && MakeNextThumbnail(viewer))
            always = true;
        break;
    case WM_LBUTTONUP:
        OnButtonUp(viewer, PlatLParamX(lParam), PlatLParamY(lParam));
        always = true;
        break;
    case WM_MOUSEWHEEL:
        OnMouseWheel(viewer, window, PlatWheelDelta(wParam), PlatLParamX(lParam), PlatLParamY(lParam));
        break;
    default:
        break;
    }
    if (always || viewer->redraw)
    {
        viewer->redraw = 0;
        UpdateAndDraw(viewer, window);
    }
    return PlatDefWindowProc(window, message, wParam, lParam);
}

void TeardownViewer(CViewer* viewer)
{
    ClearFolder(&viewer->folder);
    StopDecodeAhead();
    StopSplitThreads();
    Release(&viewer->frame);
    // The open picture would go with the process anyway; freeing it here keeps
    // leak checkers meaningful.
    FreeImageSlots(&viewer->openPrimary, &viewer->openSecondary);
    FreeImageSlots(&viewer->thumbPrimary, &viewer->thumbSecondary);
}
