// Tests of the stereo image scaler: bit-exact against a plain per-pixel
// implementation of the drawing steps, the worked geometry, edge strips,
// clamping, and inputs that cannot be drawn.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "render/frame.h"
#include "render/scaler.h"

namespace {

constexpr uint32_t kCanary = 0xA5C3E1F7u;  // top byte set: never a drawn pixel

// [SECTION] Reference: the steps, one pixel at a time

// Truncates toward zero, saturating at the ends of int32.
int32_t RefTrunc(double v)
{
    if (v != v)
        return 0;
    if (v <= -2147483648.0)
        return INT32_MIN;
    if (v >= 2147483647.0)
        return INT32_MAX;
    return (int32_t)v;
}

int32_t RefClamp(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// The tap of source position f, its weights from the unclamped indices.
ScaleTap RefTap(float f, int32_t last)
{
    f = f < -0x1p30f ? -0x1p30f : f > 0x1p30f ? 0x1p30f : f;
    ScaleTap t;
    t.index0 = (int32_t)f;
    t.index1 = (int32_t)(f + 1.0f);
    t.weight0 = (int32_t)(((float)t.index1 - f) * 256.0f + 0.5f);
    t.weight1 = (int32_t)((f - (float)t.index0) * 256.0f + 0.5f);
    t.index0 = RefClamp(t.index0, 0, last);
    t.index1 = RefClamp(t.index1, 0, last);
    return t;
}

struct RefRect
{
    int32_t x0, x1, y0, y1;
};

struct RefTables
{
    std::vector<ScaleTap> rows, columns;
};

// Draws by the steps with the scale as given (no range limit: IEEE infinities
// carry the extreme cases). Returns the rectangle; fills the tables.
RefRect RefDraw(CStereoFrame* frame, const uint8_t* view0, int32_t pitch0, const uint8_t* view1, int32_t pitch1,
                int32_t widthArg, int32_t height, int32_t centreX, int32_t centreY, float scale,
                RefTables* tables = nullptr)
{
    RefRect r = {0, 0, 0, 0};
    if (frame->stride < 1 || frame->pairs < 1 || !(scale > 0.0f) || widthArg / 2 < 1 || height < 1)
        return r;
    double halfW = (double)((float)widthArg * scale) * 0.5;
    double halfH = (double)((float)height * scale) * 0.5;
    r.x0 = RefClamp(RefTrunc((double)centreX - halfW + 1.0), 0, frame->stride - 1);
    r.x1 = RefClamp(RefTrunc(halfW + (double)centreX), 0, frame->stride - 1);
    r.y0 = RefClamp(RefTrunc((double)centreY - halfH + 1.0), 0, frame->pairs - 1);
    r.y1 = RefClamp(RefTrunc(halfH + (double)centreY), 0, frame->pairs - 1);

    std::vector<ScaleTap> rows, columns;
    for (int32_t y = r.y0; y <= r.y1; y++)
    {
        float t = (float)((int64_t)y - centreY) / scale;
        rows.push_back(RefTap((float)((double)t + (double)height * 0.5), height - 1));
    }
    for (int32_t x = r.x0; x <= r.x1; x++)
    {
        double f = (double)((int64_t)x - centreX) / ((double)scale * 2.0) + (double)widthArg * 0.25;
        f = f < -0x1p30 ? -0x1p30 : f > 0x1p30 ? 0x1p30 : f;
        columns.push_back(RefTap((float)f, widthArg / 2 - 1));
    }
    for (int32_t y = r.y0; y <= r.y1; y++)
    {
        const ScaleTap& rt = rows[(size_t)(y - r.y0)];
        for (int v = 0; v < 2; v++)
        {
            const uint8_t* view = v ? view1 : view0;
            int64_t pitch = v ? pitch1 : pitch0;
            for (int32_t x = r.x0; x <= r.x1; x++)
            {
                const ScaleTap& ct = columns[(size_t)(x - r.x0)];
                uint32_t pixel = 0;
                for (int k = 0; k < 3; k++)
                {
                    auto P = [&](int32_t row, int32_t col) { return (int32_t)view[row * pitch + 3 * col + k]; };
                    int32_t sum = ct.weight1 * (rt.weight1 * P(rt.index1, ct.index1) + rt.weight0 * P(rt.index0, ct.index1)) +
                                  ct.weight0 * (rt.weight1 * P(rt.index1, ct.index0) + rt.weight0 * P(rt.index0, ct.index0));
                    int32_t value = RefClamp(sum >> 16, 0, 255);
                    pixel |= (uint32_t)value << (8 * k);
                }
                frame->pixels[(size_t)(2 * y + 1 + v) * (size_t)frame->stride + (size_t)x] = pixel;
            }
        }
    }
    if (tables)
    {
        tables->rows = rows;
        tables->columns = columns;
    }
    return r;
}

// [SECTION] Helpers

// A frame `width` columns wide with exactly `pairs` line pairs, filled with
// the canary.
CStereoFrame MakeFrame(int32_t width, int32_t pairs)
{
    CStereoFrame f = {};
    Resize(&f, 1, width, 2 * pairs);  // odd top, even height: phase 0, pairs = height / 2
    for (int32_t i = 0; i < f.capacity; i++)
        f.pixels[i] = kCanary;
    return f;
}

uint32_t& PixelAt(CStereoFrame& f, int32_t x, int32_t pair, int view)
{
    return f.pixels[(size_t)(2 * pair + 1 + view) * (size_t)f.stride + (size_t)x];
}

// A view of w x h pixels with `pad` spare bytes per row, random bytes.
struct View
{
    std::vector<uint8_t> bytes;
    int32_t pitch;
    const uint8_t* bits() const { return bytes.data(); }
};

View RandomView(int32_t w, int32_t h, int32_t pad, uint32_t seed)
{
    View v;
    v.pitch = 3 * w + pad;
    v.bytes.resize((size_t)v.pitch * (size_t)h);
    uint32_t s = seed * 2654435761u + 12345u;
    for (uint8_t& b : v.bytes)
    {
        s = s * 1664525u + 1013904223u;
        uint32_t r = s >> 24;
        // Plenty of full-white and black bytes, so both clamps get work.
        b = (uint8_t)(r < 40 ? 255 : r < 60 ? 0 : r);
    }
    return v;
}

View FilledView(int32_t w, int32_t h, uint8_t value)
{
    View v;
    v.pitch = 3 * w;
    v.bytes.assign((size_t)v.pitch * (size_t)h, value);
    return v;
}

struct Case
{
    int32_t frameWidth, framePairs;
    int32_t widthArg, height;
    int32_t centreX, centreY;
    float scale;
};

std::vector<ScalerPath> AvailablePaths()
{
    std::vector<ScalerPath> paths;
    for (ScalerPath p : {SCALER_PATH_PLAIN, SCALER_PATH_SSE2, SCALER_PATH_AVX2})
        if (SetScalerPath(p))
            paths.push_back(p);
    SetScalerPath(SCALER_PATH_AUTO);
    return paths;
}

// Draws the case with the scaler and with the reference into canary-filled
// frames and requires the same bounds and the same buffer, bit for bit.
void ExpectSameAsReference(const Case& c, const View& v0, const View& v1, ScalerPath path)
{
    ASSERT_TRUE(SetScalerPath(path));
    CStereoFrame got = MakeFrame(c.frameWidth, c.framePairs);
    CStereoFrame want = MakeFrame(c.frameWidth, c.framePairs);
    int32_t x0 = -7, x1 = -7, y0 = -7, y1 = -7;
    DrawStereoImage(&got, v0.bits(), v0.pitch, v1.bits(), v1.pitch, c.widthArg, c.height, c.centreX, c.centreY,
                    c.scale, &x0, &x1, &y0, &y1);
    RefRect r = RefDraw(&want, v0.bits(), v0.pitch, v1.bits(), v1.pitch, c.widthArg, c.height, c.centreX,
                        c.centreY, c.scale);
    SetScalerPath(SCALER_PATH_AUTO);
    std::string what = "path " + std::to_string(path) + " frame " + std::to_string(c.frameWidth) + "x" +
                       std::to_string(c.framePairs) + " view " + std::to_string(c.widthArg) + "/" +
                       std::to_string(c.height) + " centre " + std::to_string(c.centreX) + "," +
                       std::to_string(c.centreY) + " scale " + std::to_string(c.scale) + " (" +
                       std::to_string(std::log2((double)c.scale)) + " octaves)";
    EXPECT_EQ(x0, r.x0) << what;
    EXPECT_EQ(x1, r.x1) << what;
    EXPECT_EQ(y0, r.y0) << what;
    EXPECT_EQ(y1, r.y1) << what;
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < (size_t)got.capacity; i++)
        if (got.pixels[i] != want.pixels[i] && differ++ == 0)
            first = i;
    EXPECT_EQ(differ, 0u) << what << ": first at buffer row " << first / (size_t)got.stride << " column "
                          << first % (size_t)got.stride << " got " << std::hex << got.pixels[first] << " want "
                          << want.pixels[first];
    Release(&got);
    Release(&want);
}

// Centres inside, partly outside and wholly outside each side and corner of
// a frame, for a picture of about halfW x halfH.
std::vector<std::pair<int32_t, int32_t>> Centres(int32_t w, int32_t pairs, int32_t halfW, int32_t halfH)
{
    std::vector<int32_t> xs = {w / 2, 0, w - 1, -halfW / 2, w + halfW / 2, -halfW - 5, w + halfW + 5, -1, w};
    std::vector<int32_t> ys = {pairs / 2, 0, pairs - 1, -halfH / 2, pairs + halfH / 2, -halfH - 5, pairs + halfH + 5};
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int32_t x : xs)
        out.push_back({x, pairs / 2});
    for (int32_t y : ys)
        out.push_back({w / 2, y});
    out.push_back({-halfW - 5, -halfH - 5});
    out.push_back({w + halfW + 5, pairs + halfH + 5});
    out.push_back({-halfW - 5, pairs + halfH + 5});
    return out;
}

// [SECTION] Agreement with the reference

TEST(ScalerExact, MatchesReferenceOverZoomSteps)
{
    // Odd sizes, padded rows, view 1 in its own buffer with its own pitch.
    const int32_t w = 23, h = 17;
    View v0 = RandomView(w, h, 5, 1);
    View v1 = RandomView(w, h, 13, 2);
    for (ScalerPath path : AvailablePaths())
        for (int k = -60; k <= 60; k++)
        {
            float scale = (float)std::pow(2.0, k / 12.0);
            int32_t halfW = (int32_t)(2 * w * scale / 2), halfH = (int32_t)(h * scale / 2);
            for (auto [cx, cy] : Centres(45, 19, halfW, halfH))
                ExpectSameAsReference({45, 19, 2 * w, h, cx, cy, scale}, v0, v1, path);
        }
}

TEST(ScalerExact, MatchesReferenceForOddShapesAndScales)
{
    struct Shape
    {
        int32_t widthArg, height;
    };
    // Width arguments that are odd (the view is widthArg / 2 wide), single
    // rows and columns, and a view wider than the frame by far (sparse).
    const Shape shapes[] = {{2, 1}, {3, 1}, {2, 9}, {15, 4}, {41, 3}, {640, 5}, {9, 200}};
    const float scales[] = {0.24f, 0.75f, 1.5f, 3.7f, 0.013f, 1.0f / 3.0f, 57.0f, 0.5f, 1.0f, 2.0f};
    for (ScalerPath path : AvailablePaths())
        for (const Shape& s : shapes)
        {
            View v0 = RandomView(s.widthArg / 2, s.height, 3, (uint32_t)s.widthArg);
            View v1 = RandomView(s.widthArg / 2, s.height, 1, (uint32_t)s.height + 99);
            for (float scale : scales)
            {
                int32_t halfW = (int32_t)((float)s.widthArg * scale / 2), halfH = (int32_t)((float)s.height * scale / 2);
                for (auto [cx, cy] : Centres(37, 11, halfW, halfH))
                    ExpectSameAsReference({37, 11, s.widthArg, s.height, cx, cy, scale}, v0, v1, path);
            }
        }
}

TEST(ScalerExact, MatchesReferenceAtExtremeScalesAndCentres)
{
    const float scales[] = {0x1p-100f, 0x1p-87f, 0x1p-86f, 0x1p-85f, 0x1p-60f, 0x1p-30f, FLT_MIN,
                            FLT_TRUE_MIN, 0x1p30f, 0x1p63f, 0x1p64f, 0x1p65f, 0x1p100f, FLT_MAX,
                            std::numeric_limits<float>::infinity()};
    const int32_t centres[] = {INT32_MIN, -(1 << 30), -1, 0, 1, 20, 39, 40, 1 << 30, INT32_MAX};
    View v0 = RandomView(7, 5, 0, 5);
    View v1 = RandomView(7, 5, 2, 6);
    for (ScalerPath path : AvailablePaths())
        for (float scale : scales)
            for (int32_t cx : centres)
                for (int32_t cy : centres)
                    ExpectSameAsReference({40, 9, 14, 5, cx, cy, scale}, v0, v1, path);
}

TEST(ScalerExact, MatchesReferenceOnAFullHdFrame)
{
    // The fast loops' wide paths: a whole 1920-column frame, up and down.
    View up0 = RandomView(640, 360, 0, 11), up1 = RandomView(640, 360, 4, 12);
    View down0 = RandomView(1500, 40, 0, 13), down1 = RandomView(1500, 40, 8, 14);
    for (ScalerPath path : AvailablePaths())
    {
        ExpectSameAsReference({1920, 12, 1280, 360, 963, 6, 1.5f}, up0, up1, path);
        ExpectSameAsReference({1920, 12, 3000, 40, 958, 6, 0.6403f}, down0, down1, path);
        ExpectSameAsReference({1920, 12, 3000, 40, 958, 6, 0.07f}, down0, down1, path);
    }
}

TEST(ScalerExact, PathsAgreeForManyRandomCases)
{
    uint32_t s = 777;
    auto next = [&](uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (int32_t)((s >> 8) % n);
    };
    for (int i = 0; i < 300; i++)
    {
        Case c;
        c.frameWidth = 1 + next(70);
        c.framePairs = 1 + next(20);
        c.widthArg = 2 + next(90);
        c.height = 1 + next(40);
        c.centreX = next(200) - 65;
        c.centreY = next(80) - 30;
        c.scale = (float)std::pow(2.0, (next(2000) - 1000) / 200.0);
        View v0 = RandomView(c.widthArg / 2, c.height, next(9), (uint32_t)i);
        View v1 = RandomView(c.widthArg / 2, c.height, next(9), (uint32_t)i + 1000);
        for (ScalerPath path : AvailablePaths())
            ExpectSameAsReference(c, v0, v1, path);
    }
}

// [SECTION] The worked geometry

// A 100 x 100 view whose blue marks columns 1 (200) and 99 (77) and whose
// green marks rows 0 (99), 1 (200) and 99 (50).
View MarkedView()
{
    View v = FilledView(100, 100, 0);
    for (int32_t r = 0; r < 100; r++)
    {
        v.bytes[(size_t)r * 300 + 3 * 1] = 200;
        v.bytes[(size_t)r * 300 + 3 * 99] = 77;
        uint8_t g = r == 0 ? 99 : r == 1 ? 200 : r == 99 ? 50 : 0;
        for (int32_t c = 0; c < 100; c++)
            v.bytes[(size_t)r * 300 + 3 * (size_t)c + 1] = g;
    }
    return v;
}

uint32_t Blue(uint32_t p)
{
    return p & 0xFF;
}
uint32_t Green(uint32_t p)
{
    return (p >> 8) & 0xFF;
}

TEST(ScalerGeometry, ScaleOneCoversTheWorkedRectangle)
{
    View v = MarkedView();
    for (ScalerPath path : AvailablePaths())
    {
        SetScalerPath(path);
        CStereoFrame f = MakeFrame(1000, 360);
        int32_t x0, x1, y0, y1;
        DrawStereoImage(&f, v.bits(), v.pitch, v.bits(), v.pitch, 200, 100, 500, 300, 1.0f, &x0, &x1, &y0, &y1);
        EXPECT_EQ(x0, 401);
        EXPECT_EQ(x1, 600);
        EXPECT_EQ(y0, 251);
        EXPECT_EQ(y1, 350);
        for (int view = 0; view < 2; view++)
        {
            EXPECT_EQ(Blue(PixelAt(f, 401, 300, view)), 100u) << "columns 0 and 1 at 128/128";
            EXPECT_EQ(Blue(PixelAt(f, 402, 300, view)), 200u) << "column 1 alone";
            EXPECT_EQ(Blue(PixelAt(f, 600, 300, view)), 77u) << "index 100 clamped to column 99";
            EXPECT_EQ(Green(PixelAt(f, 450, 251, view)), 200u) << "pair 251 shows row 1";
            EXPECT_EQ(Green(PixelAt(f, 450, 350, view)), 50u) << "pair 350 shows row 99";
            for (int32_t y = 251; y <= 350; y++)
                EXPECT_NE(Green(PixelAt(f, 450, y, view)), 99u) << "row 0 is not shown, pair " << y;
            // Just outside the rectangle nothing is touched.
            EXPECT_EQ(PixelAt(f, 400, 300, view), kCanary);
            EXPECT_EQ(PixelAt(f, 601, 300, view), kCanary);
            EXPECT_EQ(PixelAt(f, 450, 250, view), kCanary);
            EXPECT_EQ(PixelAt(f, 450, 351, view), kCanary);
        }
        Release(&f);
    }
    SetScalerPath(SCALER_PATH_AUTO);
}

TEST(ScalerGeometry, ScaleTwoDoublesTheRectangle)
{
    View v = MarkedView();
    CStereoFrame f = MakeFrame(1000, 420);
    int32_t x0, x1, y0, y1;
    DrawStereoImage(&f, v.bits(), v.pitch, v.bits(), v.pitch, 200, 100, 500, 300, 2.0f, &x0, &x1, &y0, &y1);
    EXPECT_EQ(x0, 301);
    EXPECT_EQ(x1, 700);
    EXPECT_EQ(y0, 201);
    EXPECT_EQ(y1, 400);
    // Column 301: columns 0 and 1 at 192/64 gives a quarter of 200.
    EXPECT_EQ(Blue(PixelAt(f, 301, 300, 0)), 50u);
    // Pair 201: rows 0 (99) and 1 (200) at 128/128 gives (99 + 200) / 2, truncated.
    EXPECT_EQ(Green(PixelAt(f, 450, 201, 0)), 149u);
    Release(&f);
}

TEST(ScalerGeometry, PictureLargerThanTheFrameCoversAllOfIt)
{
    View v = RandomView(50, 40, 0, 3);
    CStereoFrame f = MakeFrame(64, 20);
    int32_t x0, x1, y0, y1;
    DrawStereoImage(&f, v.bits(), v.pitch, v.bits(), v.pitch, 100, 40, 30, 9, 3.0f, &x0, &x1, &y0, &y1);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 63);
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(y1, 19);
    for (int32_t y = 0; y < 20; y++)
        for (int32_t x = 0; x < 64; x++)
            EXPECT_EQ(PixelAt(f, x, y, 1) >> 24, 0u) << x << "," << y;
    Release(&f);
}

TEST(ScalerGeometry, PictureOutsideLeavesAStripAtTheEdge)
{
    View v = MarkedView();
    struct Outside
    {
        int32_t cx, cy;
        RefRect rect;
    };
    // Frame 40 x 30; the 200 x 100 display wholly beyond each side.
    const Outside cases[] = {
        {-500, 15, {0, 0, 0, 29}},   {600, 15, {39, 39, 0, 29}},  {20, -200, {0, 39, 0, 0}},
        {20, 300, {0, 39, 29, 29}},  {-500, -200, {0, 0, 0, 0}}, {600, 300, {39, 39, 29, 29}},
    };
    for (const Outside& o : cases)
    {
        CStereoFrame f = MakeFrame(40, 30);
        int32_t x0, x1, y0, y1;
        DrawStereoImage(&f, v.bits(), v.pitch, v.bits(), v.pitch, 200, 100, o.cx, o.cy, 1.0f, &x0, &x1, &y0, &y1);
        EXPECT_EQ(x0, o.rect.x0) << o.cx << "," << o.cy;
        EXPECT_EQ(x1, o.rect.x1) << o.cx << "," << o.cy;
        EXPECT_EQ(y0, o.rect.y0) << o.cx << "," << o.cy;
        EXPECT_EQ(y1, o.rect.y1) << o.cx << "," << o.cy;
        // The strip is drawn: its pixels have a zero top byte.
        EXPECT_EQ(PixelAt(f, o.rect.x0, o.rect.y0, 0) >> 24, 0u);
        Release(&f);
    }
    // Wholly outside on the left: frame column 0 shows the last view column.
    CStereoFrame f = MakeFrame(40, 30);
    int32_t x0, x1, y0, y1;
    DrawStereoImage(&f, v.bits(), v.pitch, v.bits(), v.pitch, 200, 100, -500, 15, 1.0f, &x0, &x1, &y0, &y1);
    for (int32_t y = 0; y < 30; y++)
        EXPECT_EQ(Blue(PixelAt(f, 0, y, 0)), 77u) << "pair " << y;
    EXPECT_EQ(PixelAt(f, 1, 15, 0), kCanary);
    Release(&f);
}

// [SECTION] Values

TEST(ScalerValues, WhiteStaysWhiteWhereWeightsTotal257)
{
    View white = FilledView(300, 200, 255);
    bool saw257 = false;
    for (int k = -24; k <= 24; k++)
    {
        float scale = (float)std::pow(2.0, k / 12.0);
        CStereoFrame f = MakeFrame(500, 150);
        CStereoFrame ref = MakeFrame(500, 150);
        RefTables tables;
        RefDraw(&ref, white.bits(), white.pitch, white.bits(), white.pitch, 600, 200, 250, 75, scale, &tables);
        for (const ScaleTap& t : tables.columns)
            saw257 = saw257 || t.weight0 + t.weight1 == 257;
        for (const ScaleTap& t : tables.rows)
            saw257 = saw257 || t.weight0 + t.weight1 == 257;
        int32_t x0, x1, y0, y1;
        DrawStereoImage(&f, white.bits(), white.pitch, white.bits(), white.pitch, 600, 200, 250, 75, scale, &x0,
                        &x1, &y0, &y1);
        for (int32_t y = y0; y <= y1; y++)
            for (int32_t x = x0; x <= x1; x++)
                for (int view = 0; view < 2; view++)
                    ASSERT_EQ(PixelAt(f, x, y, view), 0x00FFFFFFu) << "scale step " << k << " at " << x << "," << y;
        Release(&f);
        Release(&ref);
    }
    EXPECT_TRUE(saw257) << "no tap with weights totalling 257 was exercised";
}

TEST(ScalerValues, WeightsAreRoundedInSinglePrecision)
{
    // At this scale, frame column 2 samples f = 2^-9 - 2^-33: 256 f + 0.5 is
    // exactly 1 - 2^-25 in double but rounds to 1 in single, so weight1 is 1
    // and the column's weights total 257; line pair 1 also totals 257. A
    // one-pixel view of 128 then gives 257 * 257 * 128 >> 16 = 129 there.
    const float scale = 0x1.820202p+10f;
    View grey = FilledView(1, 1, 128);
    CStereoFrame f = MakeFrame(8, 4);
    CStereoFrame ref = MakeFrame(8, 4);
    RefTables tables;
    RefDraw(&ref, grey.bits(), grey.pitch, grey.bits(), grey.pitch, 2, 1, 1540, 770, scale, &tables);
    ASSERT_EQ(tables.columns.size(), 8u);
    EXPECT_EQ(tables.columns[2].weight1, 1);
    EXPECT_EQ(tables.columns[2].weight0 + tables.columns[2].weight1, 257);
    EXPECT_EQ(tables.rows[1].weight0 + tables.rows[1].weight1, 257);
    for (ScalerPath path : AvailablePaths())
    {
        SetScalerPath(path);
        int32_t x0, x1, y0, y1;
        DrawStereoImage(&f, grey.bits(), grey.pitch, grey.bits(), grey.pitch, 2, 1, 1540, 770, scale, &x0, &x1, &y0,
                        &y1);
        EXPECT_EQ(PixelAt(f, 2, 1, 0), 0x00818181u) << "path " << path;
        EXPECT_EQ(memcmp(f.pixels, ref.pixels, (size_t)f.capacity * 4), 0) << "path " << path;
    }
    SetScalerPath(SCALER_PATH_AUTO);
    Release(&f);
    Release(&ref);
}

TEST(ScalerValues, SameViewTwiceGivesEqualRows)
{
    // A flat picture passes one view twice; its rows still follow the steps.
    View v = RandomView(33, 21, 2, 8);
    for (ScalerPath path : AvailablePaths())
        for (float scale : {1.19f, 0.3f, 2.5f})
            ExpectSameAsReference({60, 25, 66, 21, 31, 12, scale}, v, v, path);
}

TEST(ScalerValues, RowsFarApartInMemoryAreAddressedWithoutOverflow)
{
    // Three rows 2^31 - 3 bytes apart: row 2 begins beyond 4 GiB. Only the
    // pages that are touched are ever backed.
    const int32_t pitch = INT32_MAX - 2;
    size_t bytes = 2 * (size_t)pitch + 64;
    void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (map == MAP_FAILED)
        GTEST_SKIP() << "cannot reserve 4 GiB of address space";
    uint8_t* bits = (uint8_t*)map;
    for (size_t r = 0; r < 3; r++)
        for (size_t c = 0; c < 4; c++)
            for (size_t k = 0; k < 3; k++)
                bits[r * (size_t)pitch + 3 * c + k] = (uint8_t)(40 * r + 10 * c + k);
    for (ScalerPath path : AvailablePaths())
    {
        SetScalerPath(path);
        CStereoFrame got = MakeFrame(16, 6), want = MakeFrame(16, 6);
        int32_t x0, x1, y0, y1;
        DrawStereoImage(&got, bits, pitch, bits, pitch, 8, 3, 8, 3, 2.0f, &x0, &x1, &y0, &y1);
        RefDraw(&want, bits, pitch, bits, pitch, 8, 3, 8, 3, 2.0f);
        EXPECT_EQ(memcmp(got.pixels, want.pixels, (size_t)got.capacity * 4), 0) << "path " << path;
        Release(&got);
        Release(&want);
    }
    SetScalerPath(SCALER_PATH_AUTO);
    munmap(map, bytes);
}

// [SECTION] Inputs that cannot be drawn

// Requires the call to draw nothing and report 0, 0, 0, 0.
void ExpectNothingDrawn(CStereoFrame* f, const uint8_t* bits, int32_t pitch, int32_t widthArg, int32_t height,
                        float scale)
{
    int32_t x0 = 5, x1 = 5, y0 = 5, y1 = 5;
    DrawStereoImage(f, bits, pitch, bits, pitch, widthArg, height, 10, 5, scale, &x0, &x1, &y0, &y1);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(y1, 0);
    for (int32_t i = 0; i < f->capacity; i++)
        ASSERT_EQ(f->pixels[i], kCanary) << "pixel " << i;
}

TEST(ScalerInputs, FrameWithoutColumnsOrPairsGetsNothing)
{
    View v = RandomView(4, 4, 0, 9);
    CStereoFrame f = MakeFrame(20, 10);
    f.pairs = 0;
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 8, 4, 1.0f);
    f.pairs = -1;
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 8, 4, 1.0f);
    f.pairs = 10;
    f.stride = 0;
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 8, 4, 1.0f);
    Release(&f);
}

TEST(ScalerInputs, ScaleThatIsNotAboveZeroDrawsNothing)
{
    View v = RandomView(4, 4, 0, 9);
    CStereoFrame f = MakeFrame(20, 10);
    for (float scale : {0.0f, -0.0f, -1.0f, -std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN()})
        ExpectNothingDrawn(&f, v.bits(), v.pitch, 8, 4, scale);
    Release(&f);
}

TEST(ScalerInputs, ViewWithoutPixelsDrawsNothing)
{
    View v = RandomView(4, 4, 0, 9);
    CStereoFrame f = MakeFrame(20, 10);
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 1, 4, 1.0f);   // half a pixel wide
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 0, 4, 1.0f);
    ExpectNothingDrawn(&f, v.bits(), v.pitch, -8, 4, 1.0f);
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 8, 0, 1.0f);
    ExpectNothingDrawn(&f, v.bits(), v.pitch, 8, -3, 1.0f);
    Release(&f);
}

TEST(ScalerInputs, VanishingPictureReportsAnEmptyRectangle)
{
    // Far below a pixel wide, centred inside: x0 > x1 and nothing drawn.
    View v = RandomView(4, 4, 0, 9);
    CStereoFrame f = MakeFrame(20, 10);
    int32_t x0, x1, y0, y1;
    DrawStereoImage(&f, v.bits(), v.pitch, v.bits(), v.pitch, 8, 4, 10, 5, 1e-20f, &x0, &x1, &y0, &y1);
    EXPECT_EQ(x0, 11);
    EXPECT_EQ(x1, 10);
    EXPECT_EQ(y0, 6);
    EXPECT_EQ(y1, 5);
    for (int32_t i = 0; i < f.capacity; i++)
        ASSERT_EQ(f.pixels[i], kCanary);
    Release(&f);
}

}  // namespace
