// draw.h - the drawing primitives: text, pictures, the dimmed band and the
// scroll bar, written straight into the interleaved frame.
//
// Every primitive takes its position from the frame's pen (penX in columns from
// the left, penY in line pairs from the bottom) and, where said, its colour
// and the eye shift of view 1. Callers set them right before each call.
#pragma once

#include <cstdint>

struct CStereoFrame;

// Draws the UnicodeFont glyph of a UTF-16 code unit with its lower-left corner
// at the pen, in `color`, view 1 shifted by `eyeShift`. The pen stays.
void DrawGlyph(CStereoFrame* frame, uint16_t codeUnit);
// Draws a zero-ended byte string in ByteFont from the pen, breaking lines at
// CR, LF, CR LF and LF CR (9 line pairs down, back to the starting column).
// The pen ends after the last glyph drawn.
void DrawByteText(CStereoFrame* frame, const char* text);
// Draws a two-view 192 x 96 thumbnail (view 0 then view 1, B G R, bottom row
// first) opaque with its lower-left corner at the pen. The pen stays.
void DrawThumbnail(CStereoFrame* frame, const uint8_t* thumb);
// The row loops DrawThumbnail can run; all write the same pixels.
enum DrawPath
{
    DRAW_PATH_AUTO = 0,  // the fastest one this processor runs
    DRAW_PATH_PLAIN,     // portable C++
    DRAW_PATH_SSE2,      // x86-64 baseline
    DRAW_PATH_SSSE3,     // byte shuffles, chosen at run time
    DRAW_PATH_AVX2,      // byte shuffles eight pixels at a time, chosen at run time
};
// Pins the row loop of later thumbnails; returns false (and changes nothing)
// when this build or processor cannot run it.
bool SetDrawPath(DrawPath path);
// Halves and slightly blurs the rectangle from the pen to (x1, y1), corners
// included, each view from its own pixels; the part outside the frame is left
// out. The pen moves to (x1, y1).
void DimFrame(CStereoFrame* frame, int32_t x1, int32_t y1);
// Draws a 64 x 32 icon (B G R, bottom row first) into both rows of each line
// pair with its lower-left corner at the pen; pure black is transparent.
void DrawIcon(CStereoFrame* frame, const uint8_t* icon);
// Draws the scroll bar down the 16 rightmost columns: red where the content in
// view stands, green elsewhere. scroll and contentHeight are in line pairs.
void DrawScrollBar(CStereoFrame* frame, int32_t scroll, int32_t contentHeight);
