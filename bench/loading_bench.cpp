// loading_bench.cpp - loading through the job queue's workers against the
// window's own decoding, on the headless host over 40 two-stream files of 10
// megapixels per stream (build/stereo40, written on first use).
//
//   Fill40/ahead:0|1         list the folder and tick every 10 ms, as the
//                            window's timer does, until all 40 thumbnails are
//                            made: serially on the window's thread (0) or
//                            committed from the workers (1)
//   FillTickMax/ahead:0|1    the same fill; reports the longest tick (ms), the
//                            time the window could not answer input
//   NextOntoReady/ahead:0|1  Next from an open picture, the pass that opens
//                            and draws the next one (1920 x 1080): decoded in
//                            that pass (0), or taken from a ready slot (1)
//
// Run: build/bench/loading_bench --benchmark_repetitions=3
//        --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/shell.h"
#include "folder/job_queue.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "render/frame.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

namespace {

typedef std::chrono::steady_clock Clock;

const std::string kFolder = ORVALE_STEREO40;

void StartViewer(bool ahead)
{
    SetJobWorkers(ahead ? -1 : 0);
    HeadlessReset();
    InitViewer(&gViewer);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 1, 1920, 1080);
    if (chdir(kFolder.c_str()) != 0)
        abort();
    HeadlessSend(WM_PAINT, 0, 0);
}

void StopViewer()
{
    TeardownViewer(&gViewer);
    windowDC = nullptr;
    HeadlessReset();
    SetJobWorkers(-1);
}

bool AnyPending()
{
    for (int32_t i = 0; i < gViewer.folder.count; i++)
        if (gViewer.folder.entries[i]->thumbPending)
            return true;
    return false;
}

// Ticks every 10 ms until every thumbnail is made; returns the whole time and
// the longest tick in seconds.
void TimeFill(double* total, double* longest)
{
    Clock::time_point start = Clock::now(), next = start;
    *longest = 0;
    while (AnyPending())
    {
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
        Clock::time_point t = Clock::now();
        HeadlessSend(WM_TIMER, 13, 0);
        double tick = std::chrono::duration<double>(Clock::now() - t).count();
        *longest = tick > *longest ? tick : *longest;
        if (Clock::now() > next)
            next = Clock::now();  // a long tick: the next comes 10 ms after it, as the host waits
    }
    *total = std::chrono::duration<double>(Clock::now() - start).count();
}

void Fill40(benchmark::State& state)
{
    for (auto _ : state)
    {
        StartViewer(state.range(0) != 0);
        double total, longest;
        TimeFill(&total, &longest);
        state.SetIterationTime(total);
        StopViewer();
    }
}

void FillTickMax(benchmark::State& state)
{
    for (auto _ : state)
    {
        StartViewer(state.range(0) != 0);
        double total, longest;
        TimeFill(&total, &longest);
        state.SetIterationTime(longest);
        StopViewer();
    }
}

void NextOntoReady(benchmark::State& state)
{
    StartViewer(state.range(0) != 0);
    CViewer* v = &gViewer;
    v->selected = 1;  // s00.mpo
    HeadlessSend(WM_PAINT, 0, 0);
    for (auto _ : state)
    {
        state.PauseTiming();
        while (!JobQueueIdle())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (v->selected >= v->folder.count - 1)
        {
            v->selected = 1;
            HeadlessSend(WM_PAINT, 0, 0);
            while (!JobQueueIdle())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state.ResumeTiming();
        SelectNextImage(v);
        HeadlessSend(WM_PAINT, 0, 0);
    }
    StopViewer();
}

}  // namespace

BENCHMARK(Fill40)->ArgName("ahead")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FillTickMax)->ArgName("ahead")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(NextOntoReady)->ArgName("ahead")->Arg(0)->Arg(1)->Iterations(12)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!std::filesystem::exists(kFolder + "/s39.mpo") &&
        std::system((std::string(ORVALE_MAKE_SAMPLES) + " stereo40 " + kFolder).c_str()) != 0)
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
