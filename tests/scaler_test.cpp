// Tests of the stereo image scaler: every inner loop bit-exact against a plain
// per-pixel version of the drawing steps, over shapes, scales and centres
// ordinary and extreme, and inputs that cannot be drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <vector>

#include "render/frame.h"
#include "render/scaler.h"

namespace {

constexpr uint32_t kCanary = 0xA5C3E1F7u;  // top byte set: never a drawn pixel

typedef std::array<int32_t, 4> Rect;  // inclusive bounds x0, x1, y0, y1

// A view's rows, `bits` pointing into `bytes` or elsewhere.
struct View { std::vector<uint8_t> bytes; const uint8_t* bits; int32_t pitch; };

// The tap of source position f, its weights from the unclamped indices.
ScaleTap RefTap(float f, int32_t last)
{
    f = std::clamp(f, -0x1p30f, 0x1p30f);
    int32_t i0 = (int32_t)f, i1 = (int32_t)(f + 1.0f);
    return {std::clamp(i0, 0, last), std::clamp(i1, 0, last), (int32_t)(((float)i1 - f) * 256.0f + 0.5f),
            (int32_t)((f - (float)i0) * 256.0f + 0.5f)};
}

// Draws by the steps, one pixel at a time, with the scale as given (IEEE
// infinities carry the extreme cases). Returns the rectangle.
Rect RefDraw(CStereoFrame* frame, const View& v0, const View& v1, int32_t widthArg, int32_t height, int32_t centreX,
             int32_t centreY, float scale)
{
    if (frame->stride < 1 || frame->pairs < 1 || !(scale > 0.0f) || widthArg / 2 < 1 || height < 1)
        return {0, 0, 0, 0};
    // Truncates toward zero, saturating at the ends of int32, then clamps.
    auto edge = [](double v, int32_t n) {
        return std::clamp(v != v ? 0 : v <= -0x1p31 ? INT32_MIN : v >= 0x1p31 - 1 ? INT32_MAX : (int32_t)v, 0, n - 1);
    };
    double halfW = (double)((float)widthArg * scale) * 0.5, halfH = (double)((float)height * scale) * 0.5;
    Rect r = {edge(centreX - halfW + 1.0, frame->stride), edge(halfW + centreX, frame->stride),
              edge(centreY - halfH + 1.0, frame->pairs), edge(halfH + centreY, frame->pairs)};
    for (int32_t y = r[2]; y <= r[3]; y++)
        for (int32_t x = r[0]; x <= r[1]; x++)
        {
            double g = (double)((float)((int64_t)y - centreY) / scale) + height * 0.5;
            double f = (double)((int64_t)x - centreX) / ((double)scale * 2.0) + (double)widthArg * 0.25;
            const ScaleTap a = RefTap((float)g, height - 1);
            const ScaleTap b = RefTap((float)std::clamp(f, -0x1p30, 0x1p30), widthArg / 2 - 1);
            for (int e = 0; e < 6; e++)  // view e / 3, byte e % 3
            {
                const View& s = e < 3 ? v0 : v1;
                auto P = [&](int32_t i, int32_t j) { return (int32_t)s.bits[i * (int64_t)s.pitch + 3 * j + e % 3]; };
                int32_t sum = b.weight1 * (a.weight1 * P(a.index1, b.index1) + a.weight0 * P(a.index0, b.index1)) +
                              b.weight0 * (a.weight1 * P(a.index1, b.index0) + a.weight0 * P(a.index0, b.index0));
                uint32_t& pixel = frame->pixels[(size_t)(2 * y + 1 + e / 3) * (size_t)frame->stride + (size_t)x];
                pixel = (e % 3 ? pixel : 0) | (uint32_t)std::clamp(sum >> 16, 0, 255) << (8 * (e % 3));
            }
        }
    return r;
}

// A view of w x h random pixels with `pad` spare bytes per row, with plenty
// of 255 and 0 so both clamps get work.
View MakeView(int32_t w, int32_t h, int32_t pad, uint32_t seed)
{
    View v = {std::vector<uint8_t>((size_t)(3 * w + pad) * (size_t)h), nullptr, 3 * w + pad};
    for (uint8_t& b : v.bytes)
        seed = seed * 1664525u + 1013904223u,
        b = (uint8_t)((seed >> 24) < 40 ? 255 : (seed >> 24) < 60 ? 0 : seed >> 24);
    v.bits = v.bytes.data();
    return v;
}

// Draws one case with the reference and with the scaler on every path this
// processor runs, into canary frames of `width` columns and `pairs` line pairs
// (either may be below 1): the same rectangle and buffer, bit for bit.
void ExpectSameAsReference(int32_t width, int32_t pairs, const View& v0, const View& v1, int32_t widthArg,
                           int32_t height, int32_t cx, int32_t cy, float scale)
{
    CStereoFrame f[5] = {};  // the reference, one per path, then the fastest path in 3 bands
    for (CStereoFrame& g : f)
        Resize(&g, 1, std::max(width, 1), 2 * std::max(pairs, 1)), std::fill_n(g.pixels, g.capacity, kCanary),
            g.stride = width, g.pairs = pairs;
    Rect want = RefDraw(&f[0], v0, v1, widthArg, height, cx, cy, scale), r;
    for (int k : {1, 2, 3, 4})  // plain, SSE2, AVX2, the fastest in bands
        if (SetScalerPath(k < 4 ? (ScalerPath)k : SCALER_PATH_AUTO))
        {
            SetScalerBands(k < 4 ? 1 : 3);
            DrawStereoImage(&f[k], v0.bits, v0.pitch, v1.bits, v1.pitch, widthArg, height, cx, cy, scale, &r[0],
                            &r[1], &r[2], &r[3]);
            EXPECT_EQ(r, want) << "path " << k;
            EXPECT_TRUE(std::equal(f[k].pixels, f[k].pixels + f[k].capacity, f[0].pixels))
                << "path " << k << ", frame " << width << "x" << pairs << ", view " << widthArg << "/" << height
                << ", centre " << cx << "," << cy << ", scale " << scale;
        }
    SetScalerPath(SCALER_PATH_AUTO), SetScalerBands(0);
    for (CStereoFrame& g : f)
        Release(&g);
}

TEST(ScalerExact, EveryPathMatchesTheReferenceOverShapesScalesCentresAndUndrawableInputs)
{
    // Width argument, height and row padding of each view (-1: view 0 twice,
    // a flat picture), frame columns and pairs: odd sizes, single rows and
    // columns, a view far wider than the frame, frames of one column or pair.
    const int32_t shapes[][6] = {{46, 17, 5, 13, 45, 19}, {2, 1, 3, 1, 45, 19},   {3, 1, 0, 2, 1, 7},
                                 {2, 9, 1, 0, 45, 19},    {15, 4, 3, 3, 13, 1},   {41, 3, 0, 9, 45, 19},
                                 {640, 5, 2, 1, 45, 19},  {9, 200, 3, 1, 45, 19}, {66, 21, 2, -1, 45, 19},
                                 {23, 11, 4, 4, 2, 2},    {90, 40, 1, 7, 70, 20}};
    // Zoom steps of half an octave from 1/32 to 32, and others; centres
    // inside, across and beyond every side.
    std::vector<float> scales = {0.013f, 0.24f, 1.0f / 3.0f, 0.75f, 1.5f, 3.7f, 57.0f};
    for (int k = -60; k <= 60; k += 6)
        scales.push_back((float)std::pow(2.0, k / 12.0));
    for (const auto& s : shapes)
    {
        View v0 = MakeView(s[0] / 2, s[1], s[2], (uint32_t)s[0]);
        View v1 = s[3] < 0 ? v0 : MakeView(s[0] / 2, s[1], s[3], (uint32_t)s[1] + 99);
        for (float scale : scales)
        {
            const int32_t w = s[4], p = s[5], hw = (int32_t)((float)s[0] * scale / 2),
                          hh = (int32_t)((float)s[1] * scale / 2);
            for (int32_t cx : {w / 2, 0, w - 1, -1, w, -hw / 2, w + hw / 2, -hw - 5, w + hw + 5})
                for (int32_t cy : {p / 2, 0, p - 1, -hh / 2, p + hh / 2, -hh - 5, p + hh + 5})
                    ExpectSameAsReference(w, p, v0, v1, s[0], s[1], cx, cy, scale);
        }
    }
    // Extreme scales and centres: every float-to-int conversion stays in
    // range (the sanitizer build checks).
    View v0 = MakeView(7, 5, 0, 5), v1 = MakeView(7, 5, 2, 6);
    for (float scale : {0x1p-100f, 0x1p-87f, 0x1p-86f, 0x1p-85f, 0x1p-60f, 0x1p-30f, FLT_MIN, FLT_TRUE_MIN, 0x1p30f,
                        0x1p63f, 0x1p64f, 0x1p65f, 0x1p100f, FLT_MAX, INFINITY})
        for (int32_t cx : {INT32_MIN, -(1 << 30), -1, 0, 1, 20, 39, 40, 1 << 30, INT32_MAX})
            for (int32_t cy : {INT32_MIN, -(1 << 30), -1, 0, 1, 4, 8, 9, 1 << 30, INT32_MAX})
                ExpectSameAsReference(40, 9, v0, v1, 14, 5, cx, cy, scale);
    // A view 2^24 + 1 rows tall (rows overlapping, pitch 1), a height a float
    // cannot hold: pair 2 samples a quarter row above its middle row.
    View tall = MakeView(1, (1 << 24) + 3, -2, 7);
    ExpectSameAsReference(4, 4, tall, tall, 2, (1 << 24) + 1, 2, 1, 4.0f);
    // Undrawable: frame columns and pairs, width argument, height and scale:
    // a frame without pairs or columns, a view without a whole pixel, a scale
    // not above 0. The reference draws nothing and reports zeros.
    const float cases[][5] = {{20, 0, 8, 4, 1},  {20, -1, 8, 4, 1}, {0, 9, 8, 4, 1},    {20, 9, 1, 4, 1},
                              {20, 9, -8, 4, 1}, {20, 9, 8, 0, 1},  {20, 9, 8, -3, 1},  {20, 9, 8, 4, 0},
                              {20, 9, 8, 4, -0.0f}, {20, 9, 8, 4, -INFINITY}, {20, 9, 8, 4, NAN}};
    for (const auto& c : cases)
        ExpectSameAsReference((int32_t)c[0], (int32_t)c[1], v0, v0, (int32_t)c[2], (int32_t)c[3], 10, 5, c[4]);
}

}  // namespace
