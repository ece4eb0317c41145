// shell.h - start-up, the window procedure and teardown of Orvale Viewer.
#pragma once

#include "platform/platform.h"

struct CViewer;

// The one global state record.
extern CViewer gViewer;

// Builds the window, starts the 10 ms timer and runs the message loop until the
// quit message. Returns 0, the process's exit code.
int RunViewer();
// Routes every window message: handlers change gViewer, the pass redraws.
PlatResult WindowProc(PlatWindow* window, uint32_t message, PlatWParam wParam, PlatLParam lParam);
// How the program started, from StartFromArgument.
enum
{
    kStartPlain = 0,    // in the current folder, nothing open
    kStartFolder = 1,   // in the folder the argument named
    kStartPicture = 2,  // in the picture's folder, the picture selected for opening
};
// Acts on the first command-line argument before the window exists: enters a
// folder, or lists a picture's folder and selects the picture so that the first
// pass opens it. Anything else leaves everything as it was and says why on
// standard error. argument may be null (no argument).
int StartFromArgument(CViewer* viewer, const char16_t* argument);
// Scrolls the grid so that the cell of the picture opened from the command line
// lies in view under it, for a client area clientWidth pixels wide; does
// nothing once that picture has been closed.
void KeepStartPictureInView(CViewer* viewer, int32_t clientWidth);
// Frees the listing and the frame at exit.
void TeardownViewer(CViewer* viewer);
