// Speed of the drawing primitives on the sizes of a full-screen pass: the
// toolbar band dimmed across 1920 columns and 42 line pairs, a 192 x 96
// two-view thumbnail, a line of text, the scroll bar. DimFrameNaive is the
// plain per-channel formula with the edge tests inside the loop, for scale.
#include <benchmark/benchmark.h>

#include <vector>

#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"

namespace {

CStereoFrame ScreenFrame()
{
    CStereoFrame f = {};
    Resize(&f, 0, 1920, 1080);
    for (int32_t i = 0; i < f.capacity; ++i)
        f.pixels[i] = (uint32_t)i * 2654435761u & 0xFFFFFF;
    return f;
}

void DimFrameNaive(CStereoFrame* f, int32_t x1, int32_t y1)
{
    for (int view = 0; view < 2; ++view)
        for (int32_t y = f->penY; y <= y1; ++y)
            for (int32_t x = f->penX; x <= x1; ++x)
            {
                int32_t xr = x < f->stride - 1 ? x + 1 : x;
                int32_t yu = y < f->pairs - 2 ? y + 2 : y;
                uint32_t* row = f->pixels + (2 * y + 1 + view) * f->stride;
                const uint32_t* up = f->pixels + (2 * yu + 1 + view) * f->stride;
                uint32_t s[4] = {row[x], row[xr], up[x], up[xr]};
                uint32_t out = 0;
                for (int shift = 0; shift < 24; shift += 8)
                {
                    uint32_t sum = 0;
                    for (uint32_t v : s)
                        sum += (v >> shift) & 0xFF;
                    out |= (sum / 8) << shift;
                }
                row[x] = out;
            }
    f->penX = x1;
    f->penY = y1;
}

void BM_DimFrameBand(benchmark::State& state)
{
    CStereoFrame f = ScreenFrame();
    for (auto _ : state)
    {
        f.penX = 0;
        f.penY = f.pairs - 42;
        DimFrame(&f, f.stride - 1, f.pairs - 1);
        benchmark::DoNotOptimize(f.pixels);
    }
    Release(&f);
}
BENCHMARK(BM_DimFrameBand);

void BM_DimFrameBandNaive(benchmark::State& state)
{
    CStereoFrame f = ScreenFrame();
    for (auto _ : state)
    {
        f.penX = 0;
        f.penY = f.pairs - 42;
        DimFrameNaive(&f, f.stride - 1, f.pairs - 1);
        benchmark::DoNotOptimize(f.pixels);
    }
    Release(&f);
}
BENCHMARK(BM_DimFrameBandNaive);

// path: 1 plain, 2 SSE2, 3 SSSE3, 4 AVX2 (skipped where the processor has none)
void BM_DrawThumbnail(benchmark::State& state)
{
    if (!SetDrawPath((DrawPath)state.range(0)))
        return state.SkipWithError("not on this processor");
    CStereoFrame f = ScreenFrame();
    std::vector<uint8_t> thumb(2 * kPictureBytes, 77);
    for (auto _ : state)
    {
        f.penX = 300;
        f.penY = 200;
        DrawThumbnail(&f, thumb.data());
        benchmark::DoNotOptimize(f.pixels);
    }
    Release(&f);
    SetDrawPath(DRAW_PATH_AUTO);
}
BENCHMARK(BM_DrawThumbnail)->ArgName("path")->DenseRange(1, 4);

void BM_DrawGlyphLine(benchmark::State& state)
{
    CStereoFrame f = ScreenFrame();
    const char16_t* text = u"/home/ann/Фото/2024 Summer 3D — 日本旅行/IMG_0042.jps";
    f.color = 0xFFFFFF;
    for (auto _ : state)
    {
        f.penX = 10;
        f.penY = 500;
        for (const char16_t* p = text; *p; ++p)
        {
            DrawGlyph(&f, *p);
            f.penX += glyphWidths[*p] + 1;
        }
        benchmark::DoNotOptimize(f.pixels);
    }
    Release(&f);
}
BENCHMARK(BM_DrawGlyphLine);

void BM_DrawScrollBar(benchmark::State& state)
{
    CStereoFrame f = ScreenFrame();
    for (auto _ : state)
    {
        DrawScrollBar(&f, 1000, 20000);
        benchmark::DoNotOptimize(f.pixels);
    }
    Release(&f);
}
BENCHMARK(BM_DrawScrollBar);

}  // namespace

BENCHMARK_MAIN();
