// Tests of the stereo image scaler: bit-exact against a plain per-pixel
// implementation of the drawing steps on every inner loop, the worked
// geometry and edge strips, weights totalling 257, rows far apart in memory,
// and inputs that cannot be drawn.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <vector>

#include "render/frame.h"
#include "render/scaler.h"

namespace {

constexpr uint32_t kCanary = 0xA5C3E1F7u;  // top byte set: never a drawn pixel

// Inclusive bounds x0, x1, y0, y1.
typedef std::array<int32_t, 4> Rect;

// A view's rows, `bits` pointing into `bytes` or elsewhere.
struct View { std::vector<uint8_t> bytes; const uint8_t* bits; int32_t pitch; };

// [SECTION] Reference: the steps, one pixel at a time

// The tap of source position f, its weights from the unclamped indices.
ScaleTap RefTap(float f, int32_t last)
{
    f = f < -0x1p30f ? -0x1p30f : f > 0x1p30f ? 0x1p30f : f;
    int32_t i0 = (int32_t)f, i1 = (int32_t)(f + 1.0f);
    return {std::clamp(i0, 0, last), std::clamp(i1, 0, last), (int32_t)(((float)i1 - f) * 256.0f + 0.5f),
            (int32_t)((f - (float)i0) * 256.0f + 0.5f)};
}

// Draws by the steps with the scale as given (IEEE infinities carry the
// extreme cases). Returns the rectangle.
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
    std::vector<ScaleTap> t;  // the row taps, then the column taps
    for (int32_t y = r[2]; y <= r[3]; y++)
        t.push_back(RefTap((float)((double)((float)((int64_t)y - centreY) / scale) + height * 0.5), height - 1));
    for (int32_t x = r[0]; x <= r[1]; x++)
    {
        double f = (double)((int64_t)x - centreX) / ((double)scale * 2.0) + (double)widthArg * 0.25;
        t.push_back(RefTap((float)(f < -0x1p30 ? -0x1p30 : f > 0x1p30 ? 0x1p30 : f), widthArg / 2 - 1));
    }
    for (int32_t y = r[2]; y <= r[3]; y++)
        for (int v = 0; v < 2; v++)
            for (int32_t x = r[0]; x <= r[1]; x++)
            {
                const ScaleTap &a = t[(size_t)(y - r[2])], &b = t[(size_t)(r[3] - r[2] + 1 + x - r[0])];
                const View& s = v ? v1 : v0;
                uint32_t pixel = 0;
                for (int k = 0; k < 3; k++)
                {
                    auto P = [&](int32_t i, int32_t j) { return (int32_t)s.bits[i * (int64_t)s.pitch + 3 * j + k]; };
                    int32_t sum = b.weight1 * (a.weight1 * P(a.index1, b.index1) + a.weight0 * P(a.index0, b.index1)) +
                                  b.weight0 * (a.weight1 * P(a.index1, b.index0) + a.weight0 * P(a.index0, b.index0));
                    pixel |= (uint32_t)std::clamp(sum >> 16, 0, 255) << (8 * k);
                }
                frame->pixels[(size_t)(2 * y + 1 + v) * (size_t)frame->stride + (size_t)x] = pixel;
            }
    return r;
}

// [SECTION] Helpers

// A frame `width` columns wide with exactly `pairs` line pairs, all canary.
CStereoFrame MakeFrame(int32_t width, int32_t pairs)
{
    CStereoFrame f = {};
    Resize(&f, 1, width, 2 * pairs);
    std::fill(f.pixels, f.pixels + f.capacity, kCanary);
    return f;
}

// A view of w x h pixels with `pad` spare bytes per row: all `fill`, or
// random with plenty of 255 and 0 so both clamps get work.
View MakeView(int32_t w, int32_t h, int32_t pad, uint32_t seed, int fill = -1)
{
    View v = {std::vector<uint8_t>((size_t)(3 * w + pad) * (size_t)h), nullptr, 3 * w + pad};
    for (uint8_t& b : v.bytes)
    {
        seed = seed * 1664525u + 1013904223u;
        b = (uint8_t)(fill >= 0 ? fill : (seed >> 24) < 40 ? 255 : (seed >> 24) < 60 ? 0 : seed >> 24);
    }
    v.bits = v.bytes.data();
    return v;
}

// Draws with the scaler; returns the rectangle it reports.
Rect Draw(CStereoFrame* f, const View& v0, const View& v1, int32_t widthArg, int32_t height, int32_t cx, int32_t cy,
          float scale)
{
    Rect r = {-7, -7, -7, -7};
    DrawStereoImage(f, v0.bits, v0.pitch, v1.bits, v1.pitch, widthArg, height, cx, cy, scale, &r[0], &r[1], &r[2],
                    &r[3]);
    return r;
}

// Draws one case with the reference and with the scaler on every path this
// processor runs, into canary frames: the same rectangle and buffer, bit for bit.
void ExpectSameAsReference(int32_t fw, int32_t fp, const View& v0, const View& v1, int32_t widthArg, int32_t height,
                           int32_t cx, int32_t cy, float scale)
{
    CStereoFrame want = MakeFrame(fw, fp);
    Rect r = RefDraw(&want, v0, v1, widthArg, height, cx, cy, scale);
    for (ScalerPath path : {SCALER_PATH_PLAIN, SCALER_PATH_SSE2, SCALER_PATH_AVX2})
    {
        if (!SetScalerPath(path))
            continue;
        SCOPED_TRACE(testing::Message() << "path " << path << " frame " << fw << "x" << fp << " view " << widthArg
                                        << "/" << height << " centre " << cx << "," << cy << " scale " << scale);
        CStereoFrame got = MakeFrame(fw, fp);
        EXPECT_EQ(Draw(&got, v0, v1, widthArg, height, cx, cy, scale), r);
        EXPECT_EQ(std::mismatch(got.pixels, got.pixels + got.capacity, want.pixels).first - got.pixels, got.capacity);
        Release(&got);
    }
    SetScalerPath(SCALER_PATH_AUTO);
    Release(&want);
}

// [SECTION] Agreement with the reference

TEST(ScalerExact, MatchesReferenceOverScalesCentresAndShapes)
{
    // Width argument, height and row padding of each view (-1: view 0 twice,
    // a flat picture): odd sizes, single rows and columns, a view far wider
    // than the frame; centres inside, across and beyond every side.
    const int32_t shapes[][4] = {{46, 17, 5, 13}, {2, 1, 3, 1}, {3, 1, 0, 2}, {2, 9, 1, 0}, {15, 4, 3, 3},
                                 {41, 3, 0, 9},   {640, 5, 2, 1}, {9, 200, 3, 1}, {66, 21, 2, -1}};
    // Zoom steps of half an octave from 1/32 to 32, and others.
    std::vector<float> scales = {0.013f, 0.24f, 1.0f / 3.0f, 0.75f, 1.5f, 3.7f, 57.0f};
    for (int k = -60; k <= 60; k += 6)
        scales.push_back((float)std::pow(2.0, k / 12.0));
    for (const auto& s : shapes)
    {
        View v0 = MakeView(s[0] / 2, s[1], s[2], (uint32_t)s[0]);
        View v1 = s[3] < 0 ? v0 : MakeView(s[0] / 2, s[1], s[3], (uint32_t)s[1] + 99);
        for (float scale : scales)
        {
            const int32_t w = 45, p = 19, hw = (int32_t)((float)s[0] * scale / 2);
            const int32_t hh = (int32_t)((float)s[1] * scale / 2);
            for (int32_t cx : {w / 2, 0, w - 1, -1, w, -hw / 2, w + hw / 2, -hw - 5, w + hw + 5})
                for (int32_t cy : {p / 2, 0, p - 1, -hh / 2, p + hh / 2, -hh - 5, p + hh + 5})
                    ExpectSameAsReference(w, p, v0, v1, s[0], s[1], cx, cy, scale);
        }
    }
    // The fast loops' wide paths: a whole 1920-column frame, up and down.
    View wide0 = MakeView(1500, 360, 0, 13), wide1 = MakeView(1500, 360, 8, 14);
    ExpectSameAsReference(1920, 12, wide0, wide1, 1280, 360, 963, 6, 1.5f);
    for (float scale : {0.6403f, 0.07f})
        ExpectSameAsReference(1920, 12, wide0, wide1, 3000, 40, 958, 6, scale);
}

TEST(ScalerExact, MatchesReferenceForRandomCases)
{
    uint32_t s = 777;
    auto next = [&](uint32_t n) { return (int32_t)(((s = s * 1664525u + 1013904223u) >> 8) % n); };
    for (int i = 0; i < 300; i++)
    {
        int32_t fw = 1 + next(70), fp = 1 + next(20), wa = 2 + next(90), h = 1 + next(40);
        int32_t cx = next(200) - 65, cy = next(80) - 30;
        View v0 = MakeView(wa / 2, h, next(9), (uint32_t)i), v1 = MakeView(wa / 2, h, next(9), (uint32_t)i + 1000);
        ExpectSameAsReference(fw, fp, v0, v1, wa, h, cx, cy, (float)std::pow(2.0, (next(2000) - 1000) / 200.0));
    }
}

// Every float-to-int conversion stays in range: the sanitizer build checks.
TEST(ScalerExact, MatchesReferenceAtExtremeScalesAndCentres)
{
    View v0 = MakeView(7, 5, 0, 5), v1 = MakeView(7, 5, 2, 6);
    for (float scale : {0x1p-100f, 0x1p-87f, 0x1p-86f, 0x1p-85f, 0x1p-60f, 0x1p-30f, FLT_MIN, FLT_TRUE_MIN, 0x1p30f,
                        0x1p63f, 0x1p64f, 0x1p65f, 0x1p100f, FLT_MAX, INFINITY})
        for (int32_t cx : {INT32_MIN, -(1 << 30), -1, 0, 1, 20, 39, 40, 1 << 30, INT32_MAX})
            for (int32_t cy : {INT32_MIN, -(1 << 30), -1, 0, 1, 4, 8, 9, 1 << 30, INT32_MAX})
                ExpectSameAsReference(40, 9, v0, v1, 14, 5, cx, cy, scale);
}

TEST(ScalerExact, RowsFarApartInMemoryAreAddressedWithoutOverflow)
{
    // Three rows 2^31 - 3 bytes apart: row 2 begins beyond 4 GiB. Only the
    // pages that are touched are ever backed.
    const size_t pitch = INT32_MAX - 2, bytes = 2 * pitch + 64;
    void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (map == MAP_FAILED)
        GTEST_SKIP() << "cannot reserve 4 GiB of address space";
    for (size_t i = 0; i < 3 * 12; i++)
        ((uint8_t*)map)[i / 12 * pitch + i % 12] = (uint8_t)(40 * (i / 12) + i % 12);
    View v = {{}, (const uint8_t*)map, (int32_t)pitch};
    ExpectSameAsReference(16, 6, v, v, 8, 3, 8, 3, 2.0f);
    munmap(map, bytes);
}

// [SECTION] The worked geometry

TEST(ScalerGeometry, WorkedCasesGiveTheirRectangleAndSamples)
{
    // A 100 x 100 view whose blue marks columns 1 (200) and 99 (77) and whose
    // green marks rows 0 (99), 1 (200) and 99 (50).
    View v = MakeView(100, 100, 0, 0, 0);
    for (int32_t i = 0; i < 100 * 100; i++)
        v.bytes[(size_t)(3 * i)] = i % 100 == 1 ? 200 : i % 100 == 99 ? 77 : 0;
    for (int32_t i = 0; i < 100 * 100; i++)
        v.bytes[(size_t)(3 * i + 1)] = i < 100 ? 99 : i < 200 ? 200 : i >= 9900 ? 50 : 0;
    // Frame, centre, scale, the rectangle, and probes: column, pair, channel
    // shift, value.
    struct Case { int32_t width, pairs, cx, cy; float scale; Rect rect; std::vector<std::array<int, 4>> probes; };
    const Case cases[] = {
        // Columns 0 and 1 at 128/128, column 1 alone, index 100 clamped to
        // 99; pair 251 shows row 1 and pair 350 row 99, so row 0 never shows.
        {1000, 360, 500, 300, 1.0f, {401, 600, 251, 350},
         {{401, 300, 0, 100}, {402, 300, 0, 200}, {600, 300, 0, 77}, {450, 251, 8, 200}, {450, 350, 8, 50}}},
        // Columns 0 and 1 at 192/64; rows 0 and 1 at 128/128, truncated.
        {1000, 420, 500, 300, 2.0f, {301, 700, 201, 400}, {{301, 300, 0, 50}, {450, 201, 8, 149}}},
        {64, 20, 30, 9, 3.0f, {0, 63, 0, 19}, {}},  // larger than the frame
        // Wholly outside: a strip at the edge; on the left it shows column 99.
        {40, 30, -500, 15, 1.0f, {0, 0, 0, 29}, {{0, 0, 0, 77}, {0, 29, 0, 77}}},
        {40, 30, 600, 15, 1.0f, {39, 39, 0, 29}, {}}, {40, 30, 20, -200, 1.0f, {0, 39, 0, 0}, {}},
        {40, 30, 20, 300, 1.0f, {0, 39, 29, 29}, {}}, {40, 30, -500, -200, 1.0f, {0, 0, 0, 0}, {}},
        {40, 30, 600, 300, 1.0f, {39, 39, 29, 29}, {}},
        {20, 10, 10, 5, 1e-20f, {11, 10, 6, 5}, {}},  // vanishing: an empty rectangle
    };
    for (const Case& c : cases)
    {
        CStereoFrame f = MakeFrame(c.width, c.pairs);
        EXPECT_EQ(Draw(&f, v, v, 200, 100, c.cx, c.cy, c.scale), c.rect) << c.cx << "," << c.cy;
        for (const auto& p : c.probes)
            for (int view = 0; view < 2; view++)
                EXPECT_EQ((int)(f.pixels[(2 * p[1] + 1 + view) * f.stride + p[0]] >> p[2]) & 0xFF, p[3]) << p[0];
        ExpectSameAsReference(c.width, c.pairs, v, v, 200, 100, c.cx, c.cy, c.scale);
        Release(&f);
    }
}

// [SECTION] Values

TEST(ScalerValues, WeightsAreRoundedInSinglePrecisionAndSumsClamped)
{
    // Frame column 2 samples f = 2^-9 - 2^-33: 256 f + 0.5 is 1 - 2^-25 in
    // double but 1 in single, so weight1 is 1 and the weights total 257, as
    // on line pair 1: a one-pixel view of 128 gives 257 * 257 * 128 >> 16,
    // and one of 255 stays white.
    View grey = MakeView(1, 1, 0, 0, 128), white = MakeView(1, 1, 0, 0, 255);
    CStereoFrame f = MakeFrame(8, 4);
    Draw(&f, grey, white, 2, 1, 1540, 770, 0x1.820202p+10f);
    EXPECT_EQ(f.pixels[3 * 8 + 2], 0x00818181u);  // pair 1, view 0
    EXPECT_EQ(f.pixels[4 * 8 + 2], 0x00FFFFFFu);  // pair 1, view 1
    ExpectSameAsReference(8, 4, grey, white, 2, 1, 1540, 770, 0x1.820202p+10f);
    Release(&f);
}

// [SECTION] Inputs that cannot be drawn

TEST(ScalerInputs, UndrawableInputsDrawNothingAndReportZeros)
{
    // Frame pairs and columns, width argument, height and scale: a frame
    // without pairs or columns, a view without a whole pixel, a scale not
    // above 0.
    const float cases[][5] = {{0, 20, 8, 4, 1},  {-1, 20, 8, 4, 1}, {10, 0, 8, 4, 1},     {10, 20, 1, 4, 1},
                              {10, 20, 0, 4, 1}, {10, 20, -8, 4, 1}, {10, 20, 8, 0, 1},    {10, 20, 8, -3, 1},
                              {10, 20, 8, 4, 0}, {10, 20, 8, 4, -0.0f}, {10, 20, 8, 4, -1}, {10, 20, 8, 4, -INFINITY},
                              {10, 20, 8, 4, NAN}};
    View v = MakeView(4, 4, 0, 9);
    for (const auto& c : cases)
    {
        CStereoFrame f = MakeFrame(20, 10);
        f.pairs = (int32_t)c[0];
        f.stride = (int32_t)c[1];
        SCOPED_TRACE(testing::Message() << c[0] << " " << c[1] << " " << c[2] << " " << c[3] << " " << c[4]);
        EXPECT_EQ(Draw(&f, v, v, (int32_t)c[2], (int32_t)c[3], 10, 5, c[4]), Rect({0, 0, 0, 0}));
        EXPECT_EQ(std::count(f.pixels, f.pixels + f.capacity, kCanary), f.capacity);
        Release(&f);
    }
}

}  // namespace
