// frame.h - the row-interleaved stereo frame, the viewer's only drawing surface.
//
// The frame is a bottom-up 32-bit buffer (0x00RRGGBB) the size of the client
// area plus one spare row. Line pair p is buffer row 2p + 1 (view 0) and buffer
// row 2p + 2 (view 1); buffer row 0 belongs to no pair. Presenting starts at
// buffer row 0 or 1 so that view 0 always lands on even screen rows.
#pragma once

#include <cstdint>

struct PlatDC;

struct CStereoFrame
{
    uint8_t rowPhase;  // 1: presentation starts at buffer row 0; 0: at row 1
    int32_t width;     // client width in pixels
    int32_t height;    // client height in screen rows
    int32_t stride;    // pixels per buffer row, always width
    int32_t pairs;     // whole line pairs in the client area (0 or -1 without rows)
    int32_t capacity;  // pixels allocated
    uint32_t* pixels;  // capacity pixels, owned
    int32_t penX;      // drawing state, set by callers before each primitive
    int32_t penY;
    int32_t eyeShift;
    uint32_t color;
};

// Where Present copies frames to: the window's device context, taken once by
// the shell right after the window is created. Null until then.
extern PlatDC* windowDC;

// Fits the frame to the client area with the row parity of its screen top and
// clears every allocated pixel to black. The buffer only grows.
void Resize(CStereoFrame* frame, int32_t screenTop, int32_t clientWidth, int32_t clientHeight);
// Copies the frame to the window through windowDC, aligned to its row parity.
void Present(CStereoFrame* frame);
// Frees the buffer and zeroes the whole record.
void Release(CStereoFrame* frame);
