// sdl_x11_errors.h - the SDL host's X error handler (X11 builds only).
//
// SDL wakes a waiting SDL_WaitEventTimeout by sending an event to the window
// over a second X connection. When such an event is still on its way while the
// window is destroyed at exit, the server answers it with BadWindow, and
// Xlib's default handler would print the error and end the process with
// status 1, although nothing went wrong. The handler lets exactly that error
// pass and hands every other one to the handler it replaced.
//
// Internal to the SDL backend; the test calls the handler directly.
#pragma once

#include <X11/Xlib.h>

// Installs SdlX11Error in front of the current X error handler.
void SdlInstallX11ErrorHandler();
// Ignores BadWindow from a SendEvent request; passes anything else on to the
// handler that was current when SdlInstallX11ErrorHandler ran.
int SdlX11Error(Display* display, XErrorEvent* error);
