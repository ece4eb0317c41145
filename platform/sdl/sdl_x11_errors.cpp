// sdl_x11_errors.cpp - lets SDL's stale wake-up events pass at exit.
#include "platform/sdl/sdl_x11_errors.h"

#include <X11/Xproto.h>

static XErrorHandler gPreviousHandler;
static bool gInstalled;

void SdlInstallX11ErrorHandler()
{
    if (gInstalled)
        return;
    gPreviousHandler = XSetErrorHandler(SdlX11Error);
    gInstalled = true;
}

int SdlX11Error(Display* display, XErrorEvent* error)
{
    // The only events the viewer sends are SDL's own: wake-ups to its window
    // and requests to the root window, which never goes away.
    if (error->error_code == BadWindow && error->request_code == X_SendEvent)
        return 0;
    return gPreviousHandler ? gPreviousHandler(display, error) : 0;
}
