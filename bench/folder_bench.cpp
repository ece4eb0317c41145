// folder_bench.cpp - speed of the folder model and image loading.
//
//   LoadTwoStreamFile       read + split + decode a 10-megapixel two-stream
//                           file (LoadEntryImage, open mode)
//   FreeImageTwoStreams     FreeImage alone decoding the same two streams from
//                           memory: the floor the line above is held against
//   ReadTwoStreamFile       the file read that the first line adds to it
//   MakeThumbnail           sampling the thumbnail from the decoded pair
//   FindStreamSplit20MB     the marker scan over a 20 MB two-stream file
//   ListFolder10000         listing a folder of 10,000 picture files, and
//   ListFolder10000Idle     the same after 3 s without allocating, once the
//                           system may have taken back the memory freed by
//                           the listing before (a virtual machine's host does)
//   ScanAndDetect10000      its two parts: the scan with format detection,
//   TouchEntryMemory10000   and the first write of 10,000 entries' memory
//
// Run: build/bench/folder_bench --benchmark_repetitions=5
//        --benchmark_report_aggregates_only=true
//        --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <FreeImage.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "folder/decoder.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "platform/platform.h"
#include "tools/kit/picture_kit.h"

namespace {

std::string gFolder;        // scratch folder with the files below
ByteVector gPair;           // the 10-megapixel two-stream file
int32_t gPairSplit;
ByteVector gBigStream;      // one stream of about 20 MB: scanned to its end
std::string gListFolder;    // 10,000 pictures

// Adds repeatable noise of about +-8 levels, as a camera sensor leaves it.
void AddNoise(FIBITMAP* dib, uint32_t seed)
{
    unsigned w = FreeImage_GetWidth(dib), h = FreeImage_GetHeight(dib);
    uint32_t state = seed;
    for (unsigned y = 0; y < h; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, (int)y);
        for (unsigned i = 0; i < w * 3; i++)
        {
            state = state * 1664525u + 1013904223u;
            int v = row[i] + (int)((state >> 24) & 15) - 8;
            row[i] = (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

// Renders one eye of the scene at the given size: rendered at half size and
// enlarged, then given sensor-like noise.
FIBITMAP* Eye(int width, int height, double eyeX, uint32_t seed)
{
    FIBITMAP* half = RenderScene(width / 2, height / 2, eyeX);
    FIBITMAP* full = FreeImage_Rescale(half, width, height, FILTER_CATMULLROM);
    FreeImage_Unload(half);
    AddNoise(full, seed);
    return full;
}

ByteVector CameraFile(int width, int height, int quality)
{
    FIBITMAP* left = Eye(width, height, -0.0325, 1);
    FIBITMAP* right = Eye(width, height, 0.0325, 2);
    ByteVector bytes = CameraPair(left, right, quality);
    FreeImage_Unload(left);
    FreeImage_Unload(right);
    return bytes;
}

void Prepare()
{
    char pattern[] = "/tmp/orvale-bench-XXXXXX";
    gFolder = mkdtemp(pattern);
    gPair = CameraFile(3872, 2592, 92);  // 10.0 megapixels per eye
    gPairSplit = FindStreamSplit(gPair.data(), (int32_t)gPair.size());
    WriteBytes((gFolder + "/pair.mpo").c_str(), gPair);
    FIBITMAP* big = Eye(6000, 4500, 0.0, 3);
    gBigStream = EncodeJpeg(big, 100);
    FreeImage_Unload(big);
    size_t marks = 0;
    for (uint8_t b : gBigStream)
        marks += b == 0xFF;
    fprintf(stderr, "two-stream file %zu bytes (split at %d); one stream of %zu bytes, one 0xFF in %zu\n",
            gPair.size(), gPairSplit, gBigStream.size(), gBigStream.size() / (marks ? marks : 1));

    gListFolder = gFolder + "/many";
    mkdir(gListFolder.c_str(), 0755);
    FIBITMAP* small = SolidPicture(32, 24, 0x406080);
    ByteVector jpeg = EncodeJpeg(small, 90);
    FreeImage_Unload(small);
    for (int i = 0; i < 10000; i++)
    {
        char name[64];
        snprintf(name, sizeof name, "/IMG_%05d.jpg", (i * 7919) % 10000);
        WriteBytes((gListFolder + name).c_str(), jpeg);
    }
}

void LoadTwoStreamFile(benchmark::State& state)
{
    if (chdir(gFolder.c_str()) != 0)
        state.SkipWithError("no folder");
    CFileEntry* entry = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    InitEntry(entry, u"pair.mpo", 0, 1);
    entry->format = FIF_JPEG;
    FIBITMAP* primary = nullptr;
    FIBITMAP* secondary = nullptr;
    for (auto _ : state)
    {
        entry->thumbPending = 0;  // the decode alone, as when reopening
        LoadEntryImage(entry, 0, &primary, &secondary);  // frees the previous pair first
        benchmark::DoNotOptimize(primary);
    }
    if (!primary || !secondary)
        state.SkipWithError("did not decode two streams");
    FreeImage_Unload(primary);
    FreeImage_Unload(secondary);
    free(entry->name);
    free(entry);
}

// The first part of the line above on its own: one read of the whole file.
void ReadTwoStreamFile(benchmark::State& state)
{
    if (chdir(gFolder.c_str()) != 0)
        state.SkipWithError("no folder");
    for (auto _ : state)
    {
        uint8_t* bytes = nullptr;
        int32_t length = 0;
        PlatReadFile(u"pair.mpo", &bytes, &length);
        benchmark::DoNotOptimize(bytes);
        free(bytes);
    }
}

void FreeImageTwoStreams(benchmark::State& state)
{
    FIBITMAP* primary = nullptr;
    FIBITMAP* secondary = nullptr;
    for (auto _ : state)
    {
        if (primary)
            FreeImage_Unload(primary);
        if (secondary)
            FreeImage_Unload(secondary);
        FIMEMORY* m = FreeImage_OpenMemory(gPair.data() + gPairSplit, (DWORD)(gPair.size() - (size_t)gPairSplit));
        primary = FreeImage_LoadFromMemory(FIF_JPEG, m, 0);
        FreeImage_CloseMemory(m);
        m = FreeImage_OpenMemory(gPair.data(), (DWORD)gPairSplit);
        secondary = FreeImage_LoadFromMemory(FIF_JPEG, m, 0);
        FreeImage_CloseMemory(m);
        benchmark::DoNotOptimize(primary);
    }
    FreeImage_Unload(primary);
    FreeImage_Unload(secondary);
}

void MakeThumbnailOfPair(benchmark::State& state)
{
    FIMEMORY* m = FreeImage_OpenMemory(gPair.data() + gPairSplit, (DWORD)(gPair.size() - (size_t)gPairSplit));
    FIBITMAP* primary = FreeImage_LoadFromMemory(FIF_JPEG, m, 0);
    FreeImage_CloseMemory(m);
    m = FreeImage_OpenMemory(gPair.data(), (DWORD)gPairSplit);
    FIBITMAP* secondary = FreeImage_LoadFromMemory(FIF_JPEG, m, 0);
    FreeImage_CloseMemory(m);
    CFileEntry* entry = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    entry->flat = 1;
    entry->width = (int32_t)FreeImage_GetWidth(primary);
    entry->height = (int32_t)FreeImage_GetHeight(primary);
    for (auto _ : state)
    {
        MakeThumbnail(entry, primary, secondary);
        benchmark::DoNotOptimize(entry->thumb[1][95][191][2]);
    }
    free(entry);
    FreeImage_Unload(primary);
    FreeImage_Unload(secondary);
}

void FindStreamSplit20MB(benchmark::State& state)
{
    int32_t split = 0;
    for (auto _ : state)
    {
        split = FindStreamSplit(gBigStream.data(), (int32_t)gBigStream.size());
        benchmark::DoNotOptimize(split);
    }
    if (split != 0)
        state.SkipWithError("a split in one stream");
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)gBigStream.size());
}

// The same scan over the two-stream camera file, which stops at the second
// stream: bytes counted are those before the split.
void FindStreamSplitCameraFile(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(FindStreamSplit(gPair.data(), (int32_t)gPair.size()));
    state.SetBytesProcessed((int64_t)state.iterations() * gPairSplit);
}

void ListFolder10000(benchmark::State& state)
{
    if (chdir(gListFolder.c_str()) != 0)
        state.SkipWithError("no folder");
    CFolderList* folder = (CFolderList*)calloc(1, sizeof(CFolderList));
    for (auto _ : state)
    {
        ListFolder(folder);
        if (folder->count != 10001)
            state.SkipWithError("wrong count");
        ClearFolder(folder);
    }
    free(folder);
}

void ListFolder10000Idle(benchmark::State& state)
{
    if (chdir(gListFolder.c_str()) != 0)
        state.SkipWithError("no folder");
    CFolderList* folder = (CFolderList*)calloc(1, sizeof(CFolderList));
    for (auto _ : state)
    {
        state.PauseTiming();
        sleep(3);
        state.ResumeTiming();
        ListFolder(folder);
        if (folder->count != 10001)
            state.SkipWithError("wrong count");
        ClearFolder(folder);
    }
    free(folder);
}

// The part of a listing that is not entry memory: the scan and the format
// detection of every file.
void ScanAndDetect10000(benchmark::State& state)
{
    if (chdir(gListFolder.c_str()) != 0)
        state.SkipWithError("no folder");
    for (auto _ : state)
    {
        PlatFolderScan* scan = PlatScanFolder();
        PlatFolderItem item;
        int pictures = 0;
        while (PlatNextItem(scan, &item))
            pictures += !item.isDir && DetectImageFormat(item.name) != -1;
        PlatEndScan(scan);
        benchmark::DoNotOptimize(pictures);
    }
}

// The floor under a listing: 10,000 fresh entries of 110 KB written once, as
// every entry's placeholder thumbnail must be.
void TouchEntryMemory10000(benchmark::State& state)
{
    static void* blocks[10000];
    for (auto _ : state)
    {
        for (void*& b : blocks)
        {
            b = malloc(sizeof(CFileEntry));
            memset(b, 0x7F, sizeof(CFileEntry));
        }
        benchmark::ClobberMemory();
        for (void* b : blocks)
            free(b);
    }
}

}  // namespace

BENCHMARK(LoadTwoStreamFile)->Unit(benchmark::kMillisecond);
BENCHMARK(FreeImageTwoStreams)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadTwoStreamFile)->Unit(benchmark::kMillisecond);
BENCHMARK(MakeThumbnailOfPair)->Name("MakeThumbnail")->Unit(benchmark::kMicrosecond);
BENCHMARK(FindStreamSplit20MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(FindStreamSplitCameraFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(ListFolder10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(ListFolder10000Idle)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(ScanAndDetect10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(TouchEntryMemory10000)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Prepare();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (chdir("/") == 0)
        std::filesystem::remove_all(gFolder);
    return 0;
}
