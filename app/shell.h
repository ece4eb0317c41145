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
// Ends every drag and records a click when the release is exactly at the press
// and no toolbar click claims it.
void OnButtonUp(CViewer* viewer, int32_t x, int32_t y);
// Frees the listing and the frame at exit.
void TeardownViewer(CViewer* viewer);
