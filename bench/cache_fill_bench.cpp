// cache_fill_bench.cpp - entering a large folder with the thumbnail cache,
// on the headless host, ticking every 10 ms as the window's timer does.
//
//   Enter1000/warm:0|1   1,000 two-stream files of 10 megapixels per stream
//                        (hard links to build/stereo40's 40): from entering
//                        the folder to its last thumbnail, with the cache
//                        emptied first (0) or filled by the run before (1)
//   Enter50000/warm:1    50,000 tiny pictures, warm
//   List50000            listing the 50,000 alone
// Counters: records' bytes per picture (and in 4 KiB blocks), cache hits.
// The folders and the cache are made under /tmp on first use
// (ORVALE_BENCH_TMP to put them elsewhere) and removed at the end.
//
// Run: build/bench/cache_fill_bench --benchmark_repetitions=3
//        --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "folder/job_queue.h"
#include "folder/thumb_cache.h"
#include "platform/headless/headless.h"
#include "render/frame.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

typedef std::chrono::steady_clock Clock;

std::string Base()
{
    const char* tmp = getenv("ORVALE_BENCH_TMP");
    return std::string(tmp ? tmp : "/tmp") + "/orvale-cache-fill-bench";
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Sets a file's time to an hour ago, so that its thumbnail is kept.
void Settle(const std::string& path)
{
    struct timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Makes the folders on first use.
bool MakeFolders()
{
    const std::string big = Base() + "/stereo1000", tiny = Base() + "/tiny50000";
    if (!fs::exists(big + "/c0999.mpo"))
    {
        fs::create_directories(big);
        for (int i = 0; i < 40; i++)
            Settle(std::string(ORVALE_STEREO40) + "/s" + (i < 10 ? "0" : "") + std::to_string(i) + ".mpo");
        for (int i = 0; i < 1000; i++)
        {
            char from[32], to[32];
            snprintf(from, sizeof from, "/s%02d.mpo", i % 40);
            snprintf(to, sizeof to, "/c%04d.mpo", i);
            std::error_code e;
            fs::create_hard_link(std::string(ORVALE_STEREO40) + from, big + to, e);
            if (e && !fs::copy_file(std::string(ORVALE_STEREO40) + from, big + to))
                return false;
        }
    }
    if (!fs::exists(tiny + "/t49999.png"))
    {
        fs::create_directories(tiny);
        const std::string seed = std::string(ORVALE_FIXTURES) + "/rgba.png";
        for (int i = 0; i < 50000; i++)
        {
            char to[32];
            snprintf(to, sizeof to, "/t%05d.png", i);
            if (!fs::copy_file(seed, tiny + to))
                return false;
            Settle(tiny + to);
        }
    }
    return true;
}

bool AnyPending()
{
    CFolderList* f = &gViewer.folder;
    for (int32_t i = f->thumbsDone; i < f->count; i++)
        if (f->entries[i]->thumbPending)
            return true;
    return false;
}

// Enters folder with a fresh viewer and queue and ticks every 10 ms until the
// last thumbnail is made; returns the seconds from entering.
double Enter(const std::string& folder)
{
    SetJobWorkers(-1);
    UseThumbCache(U16(Base() + "/cache").c_str(), kThumbCacheCapBytes);
    HeadlessReset();
    InitViewer(&gViewer);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 1, 1920, 1080);
    if (chdir(folder.c_str()) != 0)
        abort();
    const Clock::time_point start = Clock::now();
    Clock::time_point next = start;
    HeadlessSend(WM_PAINT, 0, 0);  // lists
    while (AnyPending())
    {
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
        HeadlessSend(WM_TIMER, 13, 0);
        if (Clock::now() > next)
            next = Clock::now();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Leave(benchmark::State& state)
{
    int64_t hits, stores;
    ThumbCacheCounts(&hits, &stores);
    state.counters["hits"] = (double)hits;
    while (!JobQueueIdle())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TeardownViewer(&gViewer);
    windowDC = nullptr;
    HeadlessReset();
    StopJobQueue(60000);
}

// Counts the records' bytes per picture, as files and in whole blocks.
void CountBytes(benchmark::State& state, int pictures)
{
    double bytes = 0, blocks = 0;
    for (const auto& f : fs::recursive_directory_iterator(Base() + "/cache"))
        if (f.is_regular_file())
            bytes += (double)f.file_size(), blocks += (double)((f.file_size() + 4095) / 4096 * 4096);
    state.counters["bytes/picture"] = bytes / pictures;
    state.counters["disk/picture"] = blocks / pictures;
}

void Fill(benchmark::State& state, const std::string& folder, int pictures)
{
    const bool warm = state.range(0) != 0;
    if (warm)
    {
        Enter(folder);  // fills the cache
        Leave(state);
    }
    for (auto _ : state)
    {
        state.PauseTiming();
        if (!warm)
            fs::remove_all(Base() + "/cache");
        state.ResumeTiming();
        state.SetIterationTime(Enter(folder));
        Leave(state);
    }
    CountBytes(state, pictures);
}

void Enter1000(benchmark::State& state) { Fill(state, Base() + "/stereo1000", 1000); }

void Enter50000(benchmark::State& state) { Fill(state, Base() + "/tiny50000", 50000); }

void List50000(benchmark::State& state)
{
    if (chdir((Base() + "/tiny50000").c_str()) != 0)
        abort();
    for (auto _ : state)
    {
        static CFolderList folder;
        ListFolder(&folder);
        state.PauseTiming();
        ClearFolder(&folder);
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(Enter1000)->ArgName("warm")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Enter50000)->ArgName("warm")->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(List50000)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!fs::exists(std::string(ORVALE_STEREO40) + "/s39.mpo") &&
        std::system((std::string(ORVALE_MAKE_SAMPLES) + " stereo40 " + ORVALE_STEREO40).c_str()) != 0)
        return 1;
    if (!MakeFolders())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!getenv("ORVALE_BENCH_KEEP"))
        fs::remove_all(Base());
    return 0;
}
