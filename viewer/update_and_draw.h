// update_and_draw.h - the one pass that rebuilds and presents the window.
#pragma once

struct CViewer;
struct PlatWindow;

// Rebuilds the whole frame from the viewer's state and presents it once.
void UpdateAndDraw(CViewer* viewer, PlatWindow* window);
