// shell.cpp - the window, the message loop and the routing of messages.
#include "app/shell.h"

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/loading.h"
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
        // Thumbnails are committed in listing order, as many as a few
        // milliseconds allow; a tick that made one redraws.
        if (wParam == kThumbTimerId && FillThumbnails(&viewer->folder, &viewer->thumbPrimary, &viewer->thumbSecondary))
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
    StopSplitThreads();
    Release(&viewer->frame);
    // The open picture would go with the process anyway; freeing it here keeps
    // leak checkers meaningful.
    FreeImageSlots(&viewer->openPrimary, &viewer->openSecondary);
    FreeImageSlots(&viewer->thumbPrimary, &viewer->thumbSecondary);
}
