// pass_bench.cpp - speed of the whole pass on the headless host.
//
//   Pass/1080 and /2160      a full pass at 1920x1080 or 3840x2160: clear,
//                            title, a full grid of thumbnails with names, an
//                            open two-stream 3840x2160 picture fitted to the
//                            whole frame, scroll bar, present copy;
//                            all_cores:0 draws as before the pass used every core (the
//                            picture on one thread, thumbnails pixel by pixel)
//   PassGrid/...             the same without the open picture
//   PassEmpty/...            clear, title, scroll bar and present only
//   Pass50000                a pass over 50,000 entries scrolled about the
//                            middle
//
// The listing is built in memory (entries with names and thumbnails, as a
// listing and the thumbnail ticks leave them); the open picture is set up as
// OpenSelectedImage leaves it. The headless present copies the frame into a
// buffer of its own, as the SDL host copies it into the window surface.
//
// Run: build/bench/pass_bench --benchmark_repetitions=5
//        --benchmark_report_aggregates_only=true
//        --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <FreeImage.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "render/draw.h"
#include "render/frame.h"
#include "render/split.h"
#include "viewer/image_view.h"
#include "viewer/update_and_draw.h"
#include "viewer/viewer_state.h"

namespace {

PlatWindow* gWindow;

// Returns an entry named IMG_nnnnn.JPG. With a full thumbnail its two views
// get a pattern of their own; otherwise only the record's first and last bytes
// are written (a 50,000-entry chain would take 5.5 GB of memory otherwise),
// which is all that walking past it reads.
CFileEntry* MakeEntry(int index, bool fullThumb)
{
    CFileEntry* e = (CFileEntry*)malloc(sizeof(CFileEntry));
    if (!e)
        abort();
    e->thumbPending = 0;
    e->isDir = 0;
    e->flat = 1;
    e->loadFailed = 0;
    e->format = FIF_JPEG;
    e->width = 4000;
    e->height = 3000;
    if (fullThumb)
    {
        uint8_t* bytes = &e->thumb[0][0][0][0];
        for (size_t i = 0; i < sizeof e->thumb; i++)
            bytes[i] = (uint8_t)(i * 7 + (size_t)index);
    }
    char16_t name[32];
    char ascii[32];
    snprintf(ascii, sizeof ascii, "IMG_%05d.JPG", index);
    for (int i = 0;; i++)
    {
        name[i] = (char16_t)ascii[i];
        if (!ascii[i])
            break;
    }
    if (!InitEntry(e, name, 0, 1))
        abort();
    return e;
}

// Fills a fresh listing with count entries.
void BuildListing(CFolderList* folder, int count, bool fullThumbs)
{
    ClearFolder(folder);
    const char16_t path[] = u"/home/user/Pictures/Stereo/2024 Holiday";
    memcpy(folder->path, path, sizeof path);
    folder->entries = (CFileEntry**)malloc((size_t)(count > 0 ? count : 1) * sizeof(CFileEntry*));
    if (!folder->entries)
        abort();
    for (int i = 0; i < count; i++)
        folder->entries[i] = MakeEntry(i, fullThumbs);
    folder->count = folder->capacity = count;
    folder->listed = 1;
}

// Returns the page faults the process has taken so far.
long MinorFaults()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Runs the timed passes and reports the page faults per pass, which a pass
// that reuses its frame and present buffer does not take.
void TimePasses(benchmark::State& state, CViewer* viewer)
{
    long faults = MinorFaults();
    for (auto _ : state)
        UpdateAndDraw(viewer, gWindow);
    state.counters["faults"] = benchmark::Counter((double)(MinorFaults() - faults) / (double)state.iterations());
}

// Returns a 24-bit picture of smooth gradients with a little noise.
FIBITMAP* MakePicture(int w, int h, uint32_t seed)
{
    FIBITMAP* dib = FreeImage_Allocate(w, h, 24);
    uint32_t r = seed;
    for (int y = 0; y < h; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < w; x++)
        {
            r = r * 1664525u + 1013904223u;
            row[3 * x] = (BYTE)(x * 255 / w);
            row[3 * x + 1] = (BYTE)(y * 255 / h);
            row[3 * x + 2] = (BYTE)(r >> 24);
        }
    }
    return dib;
}

// A viewer over a listing, sized to the client area, with or without an open
// two-stream picture.
struct Scene
{
    CViewer* viewer;
};

Scene MakeScene(int32_t width, int32_t height, int count, bool fullThumbs, bool open)
{
    HeadlessSetClient(0, 1, width, height);  // odd top: height / 2 whole line pairs
    Scene s;
    s.viewer = (CViewer*)calloc(1, sizeof(CViewer));
    if (!s.viewer)
        abort();
    InitViewer(s.viewer);
    BuildListing(&s.viewer->folder, count, fullThumbs);
    UpdateAndDraw(s.viewer, gWindow);  // sizes the frame
    if (open)
    {
        // A 16:9 two-stream picture: at the fitted zoom it covers the frame.
        CViewer* v = s.viewer;
        CFileEntry* e = v->folder.entries[0];
        e->width = 3840;
        e->height = 2160;
        v->openPrimary = MakePicture(3840, 2160, 1);
        v->openSecondary = MakePicture(3840, 2160, 2);
        v->viewBits[0] = FreeImage_GetBits(v->openPrimary);
        v->viewPitch[0] = (int32_t)FreeImage_GetPitch(v->openPrimary);
        v->viewBits[1] = FreeImage_GetBits(v->openSecondary);
        v->viewPitch[1] = (int32_t)FreeImage_GetPitch(v->openSecondary);
        v->zoomStep = FitZoom(2 * 3840, 2160, v->frame.stride, v->frame.pairs);
        v->selected = 0;
        v->loaded = 0;
    }
    return s;
}

void FreeScene(Scene* s)
{
    TeardownViewer(s->viewer);  // frees the open picture too
    free(s->viewer);
}

int32_t HeightOf(const benchmark::State& state) { return (int32_t)state.range(0); }
int32_t WidthOf(const benchmark::State& state) { return (int32_t)state.range(0) * 16 / 9; }

// A grid full of cells in both sizes: 5 rows of 9 at 1080, 9 rows of 18 at 2160.
const int kGridEntries = 200;

void Pass(benchmark::State& state)
{
    Scene s = MakeScene(WidthOf(state), HeightOf(state), kGridEntries, true, true);
    bool every = state.range(1) != 0;
    SetSplitThreads(every ? 0 : 1);
    SetDrawPath(every ? DRAW_PATH_AUTO : DRAW_PATH_PLAIN);
    TimePasses(state, s.viewer);
    SetSplitThreads(0);
    SetDrawPath(DRAW_PATH_AUTO);
    // Drawn at exactly the frame's size, the picture leaves out column 0 and
    // line pair 0 only.
    const CImageRect& r = s.viewer->imageRect;
    if (s.viewer->selected != 0 || r.x0 > 1 || r.x1 < s.viewer->frame.stride - 1 || r.y0 > 1 ||
        r.y1 < s.viewer->frame.pairs - 1)
        state.SkipWithError("the open picture does not cover the frame");
    FreeScene(&s);
}

void PassGrid(benchmark::State& state)
{
    Scene s = MakeScene(WidthOf(state), HeightOf(state), kGridEntries, true, false);
    TimePasses(state, s.viewer);
    FreeScene(&s);
}

void PassEmpty(benchmark::State& state)
{
    Scene s = MakeScene(WidthOf(state), HeightOf(state), 0, true, false);
    TimePasses(state, s.viewer);
    FreeScene(&s);
}

const int kLongListing = 50000;

// Scrolls a few rows up and down about the middle, as the wheel does: each
// pass lands on another row.
void Pass50000(benchmark::State& state)
{
    Scene s = MakeScene(1920, 1080, kLongListing, false, false);
    const int32_t middle = s.viewer->contentHeight / 2;
    int step = 0;
    for (auto _ : state)
    {
        s.viewer->scroll = middle + 118 * ((step++ % 9) - 4);
        UpdateAndDraw(s.viewer, gWindow);
    }
    FreeScene(&s);
}

}  // namespace

BENCHMARK(Pass)->ArgNames({"height", "all_cores"})->ArgsProduct({{1080, 2160}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(PassGrid)->ArgName("height")->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);
BENCHMARK(PassEmpty)->ArgName("height")->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);
BENCHMARK(Pass50000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    HeadlessReset();
    gWindow = PlatCreateWindow(u"Orvale_Viewer", WindowProc);
    windowDC = PlatGetDC(gWindow);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    windowDC = nullptr;
    HeadlessReset();
    return 0;
}
