// update_and_draw.h - the one pass that rebuilds and presents the window.
#pragma once

#include <cstdint>

struct CStereoFrame;
struct CViewer;
struct PlatWindow;

// Rebuilds the whole frame from the viewer's state and presents it once.
void UpdateAndDraw(CViewer* viewer, PlatWindow* window);
// Returns the grid's columns for a frame stride: max(1, (stride - 26) / 202).
int32_t GridColumns(int32_t stride);
// Returns the grid content height in line pairs for count entries.
int32_t GridContentHeight(int32_t count, int32_t columns);
// Draws a UTF-16 string from the pen with line breaks (CR LF and LF CR make one
// break, CR CR and LF LF two). With a budget above 0, the first code unit whose
// advance takes the running total past it ends the text, unmarked.
void DrawWideText(CStereoFrame* frame, const char16_t* text, int32_t lineStart, int32_t budget);
// Turns on or off (on at start) leaving out the thumbnails the open picture
// covers whole; the frame is the same either way. For tests and benchmarks.
void SetThumbnailCulling(bool on);
