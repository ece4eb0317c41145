// big_folder_bench.cpp - a folder of 50,000 entries on disk: 45,000 small
// pictures and 5,000 folders, listed, drawn, filled with thumbnails and left,
// through the real window procedure on the headless host (1920 x 1080).
//
//   List50000        the first pass: listing (every file opened once for its
//                    format) and drawing
//   PassAtEnd50000   a pass scrolled to the end of the grid
//   FillAll50000     thumbnail ticks until none is pending (one tick each)
//   Leave50000       ".." clicked: the listing freed and the parent listed
// Counters: peak resident memory, and the same per entry beside the 110,592
// bytes each entry's inline thumbnail takes by design.
//
// Run: build/bench/big_folder_bench --benchmark_repetitions=3
//        --benchmark_report_aggregates_only=true
// The sanitizer build makes it too (build-asan/bench/big_folder_bench
// --benchmark_filter=Leave): LeakSanitizer then checks that nothing of the
// folder outlives leaving it.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "viewer/viewer_state.h"

namespace {

const int kPictures = 45000;
const int kFolders = 5000;
std::string gRoot;

// An 8 x 8 PNG of one colour.
const uint8_t kPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x08, 0x02, 0x00, 0x00, 0x00, 0x4B, 0x6D, 0x29, 0xDC, 0x00,
    0x00, 0x00, 0x14, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x8C, 0xAA, 0x98, 0xC6, 0x80, 0x0D, 0x30,
    0x61, 0x15, 0x1D, 0xB4, 0x12, 0x00, 0x1D, 0x4B, 0x01, 0x78, 0xD0, 0x48, 0x17, 0x21, 0x00, 0x00, 0x00,
    0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// Makes the folder once per run (it stays in /tmp for the next run).
void MakeFolder()
{
    gRoot = "/tmp/orvale-big-folder/photos";
    std::string done = gRoot + "/.complete";
    if (access(done.c_str(), F_OK) == 0)
        return;
    mkdir("/tmp/orvale-big-folder", 0755);
    mkdir(gRoot.c_str(), 0755);
    char name[512];
    for (int i = 0; i < kPictures; i++)
    {
        snprintf(name, sizeof name, "%s/IMG_%05d.png", gRoot.c_str(), i);
        FILE* f = fopen(name, "wb");
        if (!f || fwrite(kPng, 1, sizeof kPng, f) != sizeof kPng || fclose(f) != 0)
            abort();
    }
    for (int i = 0; i < kFolders; i++)
    {
        snprintf(name, sizeof name, "%s/Album %04d", gRoot.c_str(), i);
        mkdir(name, 0755);
    }
    FILE* f = fopen(done.c_str(), "w");
    if (f)
        fclose(f);
}

long PeakKiB()
{
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kib = 0;
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kib = atol(line + 6);
    if (f)
        fclose(f);
    return kib;
}

// Starts the viewer in the big folder: the first pass lists it.
void Start()
{
    HeadlessReset();
    InitViewer(&gViewer);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 0, 1920, 1080);
    if (chdir(gRoot.c_str()) != 0)
        abort();
    HeadlessSend(WM_PAINT, 0, 0);
}

void Stop()
{
    TeardownViewer(&gViewer);
    windowDC = nullptr;
    HeadlessReset();
}

void Report(benchmark::State& state)
{
    long peak = PeakKiB();
    state.counters["peak_MiB"] = (double)peak / 1024.0;
    state.counters["peak_per_entry_B"] = (double)peak * 1024.0 / (kPictures + kFolders + 1);
}

void List50000(benchmark::State& state)
{
    for (auto _ : state)
    {
        Start();
        if (gViewer.folder.count != kPictures + kFolders + 1)
            state.SkipWithError("the listing is incomplete");
        state.PauseTiming();
        Stop();
        state.ResumeTiming();
    }
    Report(state);
}

void PassAtEnd50000(benchmark::State& state)
{
    Start();
    for (auto _ : state)
    {
        gViewer.scroll = INT32_MAX / 2;  // the pass clamps it to the end
        HeadlessSend(WM_PAINT, 0, 0);
    }
    Stop();
}

void FillAll50000(benchmark::State& state)
{
    int ticks = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        Start();
        state.ResumeTiming();
        for (int before = -1; before != HeadlessPresentCount(); ticks++)
        {
            before = HeadlessPresentCount();
            HeadlessSend(WM_TIMER, 13, 0);
        }
        state.PauseTiming();
        Report(state);
        Stop();
        state.ResumeTiming();
    }
    state.counters["ticks"] = ticks / (double)state.iterations();
}

void Leave50000(benchmark::State& state)
{
    for (auto _ : state)
    {
        state.PauseTiming();
        Start();
        state.ResumeTiming();
        // ".." is the first cell: select it as a click does.
        gViewer.selected = 0;
        HeadlessSend(WM_PAINT, 0, 0);
        state.PauseTiming();
        if (gViewer.folder.count > 10)
            state.SkipWithError("still in the big folder");
        Stop();
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(List50000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(PassAtEnd50000)->Unit(benchmark::kMillisecond);
BENCHMARK(FillAll50000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Leave50000)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    MakeFolder();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
