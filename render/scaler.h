// scaler.h - draws a two-view photograph into the interleaved frame.
//
// Bilinear scaling about a centre: view 0 goes to the first row of every line
// pair, view 1 to the second. One source row spans `scale` line pairs and one
// source column 2 x `scale` frame columns, which the caller expresses by
// passing twice the view's pixel width as the width argument.
//
// Inputs the picture cannot be drawn from (a frame without columns or line
// pairs or with a buffer too small for them, a scale that is NaN or not above
// 0, views without a pixel, memory for the tables that cannot be had) draw
// nothing and report the rectangle 0, 0, 0, 0. Every other scale and centre,
// however extreme, is drawn by the same steps with every float-to-int
// conversion kept in range.
#pragma once

#include <cstdint>

struct CStereoFrame;

// One entry of the scaler's tables: two source indices (columns or rows),
// already clamped into the view, and their weights in units of 1/256.
struct ScaleTap
{
    int32_t index0;
    int32_t index1;
    int32_t weight0;
    int32_t weight1;
};

// Draws view 0 and view 1 (24-bit, blue-green-red, bottom row first, each
// with its own row pitch in bytes) scaled by `scale` about frame column
// centreX and line pair centreY; widthArg is twice the view's pixel width.
// Writes the covered rectangle, clamped to the frame, as inclusive bounds:
// columns x0..x1, line pairs y0..y1.
void DrawStereoImage(CStereoFrame* frame, const uint8_t* view0, int32_t pitch0, const uint8_t* view1,
                     int32_t pitch1, int32_t widthArg, int32_t height, int32_t centreX, int32_t centreY,
                     float scale, int32_t* x0, int32_t* x1, int32_t* y0, int32_t* y1);

// The inner loops the scaler can run. All give the same pixels; tests and
// benchmarks pin one to compare them.
enum ScalerPath
{
    SCALER_PATH_AUTO = 0,  // the fastest one this processor runs
    SCALER_PATH_PLAIN,     // portable C++
    SCALER_PATH_SSE2,      // x86-64 baseline
    SCALER_PATH_AVX2,      // x86-64 with AVX2, chosen at run time
};

// Works out the rectangle DrawStereoImage would cover with these arguments
// (views aside). Returns true when it would draw every pixel of it (memory
// permitting), false when it would draw nothing.
bool StereoImageCover(const CStereoFrame* frame, int32_t widthArg, int32_t height, int32_t centreX, int32_t centreY,
                      float scale, int32_t* x0, int32_t* x1, int32_t* y0, int32_t* y1);
// Pins how many bands of line pairs later calls draw, spread over the cores
// (0: a few per core for pictures large enough to gain, else one). The
// pixels are the same whatever the count.
void SetScalerBands(int32_t parts);
// Pins the inner loop used by later calls; returns false (and changes
// nothing) when this build or processor cannot run it.
bool SetScalerPath(ScalerPath path);
