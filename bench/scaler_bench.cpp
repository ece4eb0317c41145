// Speed of the stereo image scaler against libswscale's fast bilinear scaler
// filling a frame of the same size from the same source.
//
// Each DrawStereoImage case draws two different views (1280x720 or 4000x3000
// pixels each) over a whole 1920x1080 or 3840x2160 frame: one row of each
// view per line pair, as many output pixels as the frame has. The swscale
// case scales one such view (BGR24) to the same frame size (BGR0) with
// SWS_FAST_BILINEAR on one thread.
//
//   build/bench/scaler_bench --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true
//
// Interleaving spreads the repetitions of all cases over the run, so a busy
// moment on a shared machine does not fall on one case alone. loop:0 is the
// automatic choice (AVX2 here), loop:2 SSE2, loop:1 plain C++.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/frame.h"
#include "render/scaler.h"

#ifdef ORVALE_HAVE_SWSCALE
extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#endif

namespace {

struct Source
{
    int32_t width, height;  // pixels of one view
    float scale;            // fills the frame, cropping the longer side
};

// Sources for frame width fw and pairs fp: 1280x720 views (enlarged across,
// reduced down the line pairs) and 4000x3000 views (reduced both ways).
Source SourceFor(int64_t which, int32_t fw, int32_t fp)
{
    Source s;
    s.width = which == 0 ? 1280 : 4000;
    s.height = which == 0 ? 720 : 3000;
    float byWidth = (float)fw / (float)(2 * s.width);
    float byHeight = (float)fp / (float)s.height;
    // A picture exactly as wide as the frame covers columns 1..w-1; a little
    // more covers column 0 too.
    s.scale = 1.01f * (byWidth > byHeight ? byWidth : byHeight);
    return s;
}

// Returns w x h BGR bytes of smooth gradients with a little noise.
std::vector<uint8_t> MakeView(int32_t w, int32_t h, uint32_t seed)
{
    std::vector<uint8_t> bytes((size_t)w * (size_t)h * 3);
    uint32_t r = seed;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
        {
            r = r * 1664525u + 1013904223u;
            uint8_t* p = &bytes[((size_t)y * (size_t)w + (size_t)x) * 3];
            p[0] = (uint8_t)(x * 255 / w);
            p[1] = (uint8_t)(y * 255 / h);
            p[2] = (uint8_t)(r >> 24);
        }
    return bytes;
}

// Draws both views over the whole frame; range(0) picks the source, range(1)
// the frame height (1080 or 2160), range(2) the inner loop.
void BM_DrawStereoImage(benchmark::State& state)
{
    int32_t fh = (int32_t)state.range(1);
    int32_t fw = fh * 16 / 9;
    if (!SetScalerPath((ScalerPath)state.range(2)))
    {
        state.SkipWithError("inner loop not available here");
        return;
    }
    CStereoFrame frame = {};
    Resize(&frame, 1, fw, fh);  // odd top, even height: fh / 2 line pairs
    Source src = SourceFor(state.range(0), fw, frame.pairs);
    std::vector<uint8_t> v0 = MakeView(src.width, src.height, 1);
    std::vector<uint8_t> v1 = MakeView(src.width, src.height, 2);
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (auto _ : state)
    {
        DrawStereoImage(&frame, v0.data(), 3 * src.width, v1.data(), 3 * src.width, 2 * src.width, src.height,
                        fw / 2, frame.pairs / 2, src.scale, &x0, &x1, &y0, &y1);
        benchmark::DoNotOptimize(frame.pixels);
        benchmark::ClobberMemory();
    }
    if (x0 != 0 || x1 != fw - 1 || y0 != 0 || y1 != frame.pairs - 1)
        state.SkipWithError("the picture does not fill the frame");
    state.counters["Mpix/s"] =
        benchmark::Counter((double)fw * 2 * frame.pairs * (double)state.iterations(), benchmark::Counter::kIsRate,
                           benchmark::Counter::kIs1000);
    SetScalerPath(SCALER_PATH_AUTO);
    Release(&frame);
}

#ifdef ORVALE_HAVE_SWSCALE
// Scales one view to the whole frame size with SWS_FAST_BILINEAR, one thread.
void BM_Swscale(benchmark::State& state)
{
    int32_t fh = (int32_t)state.range(1);
    int32_t fw = fh * 16 / 9;
    Source src = SourceFor(state.range(0), fw, fh / 2);
    std::vector<uint8_t> view = MakeView(src.width, src.height, 1);
    std::vector<uint32_t> out((size_t)fw * (size_t)fh);

    SwsContext* sws = sws_alloc_context();
    av_opt_set_int(sws, "srcw", src.width, 0);
    av_opt_set_int(sws, "srch", src.height, 0);
    av_opt_set_int(sws, "src_format", AV_PIX_FMT_BGR24, 0);
    av_opt_set_int(sws, "dstw", fw, 0);
    av_opt_set_int(sws, "dsth", fh, 0);
    av_opt_set_int(sws, "dst_format", AV_PIX_FMT_BGR0, 0);
    av_opt_set_int(sws, "sws_flags", SWS_FAST_BILINEAR, 0);
    if (av_opt_set_int(sws, "threads", 1, 0) < 0 || sws_init_context(sws, nullptr, nullptr) < 0)
    {
        sws_freeContext(sws);
        state.SkipWithError("swscale refused the set-up");
        return;
    }
    const uint8_t* srcPlanes[4] = {view.data(), nullptr, nullptr, nullptr};
    int srcStrides[4] = {3 * src.width, 0, 0, 0};
    uint8_t* dstPlanes[4] = {(uint8_t*)out.data(), nullptr, nullptr, nullptr};
    int dstStrides[4] = {4 * fw, 0, 0, 0};
    for (auto _ : state)
    {
        sws_scale(sws, srcPlanes, srcStrides, 0, src.height, dstPlanes, dstStrides);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpix/s"] = benchmark::Counter((double)fw * fh * (double)state.iterations(),
                                                  benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
    sws_freeContext(sws);
}
#endif

// Arguments: source (0: 1280x720, 1: 4000x3000), frame height, inner loop.
void Cases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"src", "frame", "loop"});
    for (int64_t frameHeight : {1080, 2160})
        for (int64_t source : {0, 1})
            for (int64_t loop : {SCALER_PATH_AUTO, SCALER_PATH_SSE2, SCALER_PATH_PLAIN})
                b->Args({source, frameHeight, loop});
    b->Unit(benchmark::kMillisecond);
}

void SwsCases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"src", "frame"});
    for (int64_t frameHeight : {1080, 2160})
        for (int64_t source : {0, 1})
            b->Args({source, frameHeight});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_DrawStereoImage)->Apply(Cases);
#ifdef ORVALE_HAVE_SWSCALE
BENCHMARK(BM_Swscale)->Apply(SwsCases);
#endif

}  // namespace

BENCHMARK_MAIN();
