// heif_bench.cpp - speed of stereo HEIC pictures through the decoders, on a
// pair of two 12-megapixel eyes (4032 x 3024, as a phone takes them).
//
//   HeifThumbnailJob     what a worker does for a thumbnail: read the file,
//                        tell its pixels, decode both eyes, sample, free
//   HeifOpenView         what opening it does: LoadEntryImage in open mode
//   HeifPixels           telling its pixels alone (the first of the above)
//   JpegPairOpenView     opening the same scene as a two-stream JPEG
//                        (quality 90) of the same size: the ratio to the
//                        line above it
//
// The files are made once under /tmp/orvale-heif-bench (the HEIC encode
// takes minutes), never in the tree; remove the folder to make them again.
//
// Run: build/bench/heif_bench --benchmark_repetitions=5
//        --benchmark_report_aggregates_only=true
//        --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <FreeImage.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "folder/decoder.h"
#include "folder/folder_list.h"
#include "folder/heif_decode.h"
#include "folder/image_load.h"
#include "platform/platform.h"
#include "tools/kit/phone_files.h"
#include "tools/kit/picture_kit.h"

namespace {

const char kFolder[] = "/tmp/orvale-heif-bench";
const int kWidth = 4032, kHeight = 3024;

// Adds repeatable grain of about +-2 levels, as a phone's denoised picture
// keeps it, so that the eyes code about as large as a phone's (stronger
// grain makes the HEIC several times larger than a phone's).
void AddGrain(FIBITMAP* dib, uint32_t seed)
{
    for (unsigned y = 0; y < FreeImage_GetHeight(dib); y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, (int)y);
        for (unsigned i = 0; i < 3 * FreeImage_GetWidth(dib); i++)
        {
            seed = seed * 1664525u + 1013904223u;
            int v = row[i] + (int)(seed >> 30) - 2;
            row[i] = (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

// Writes stereo.heic and pair.mpo into the folder unless both are there.
bool MakeFiles()
{
    const std::string heic = std::string(kFolder) + "/stereo.heic", mpo = std::string(kFolder) + "/pair.mpo";
    struct stat st;
    if (stat(heic.c_str(), &st) == 0 && stat(mpo.c_str(), &st) == 0)
        return true;
    mkdir(kFolder, 0755);
    FIBITMAP* eyes[2];
    for (int e = 0; e < 2; e++)
    {
        FIBITMAP* small = RenderScene(kWidth / 4, kHeight / 4, e ? 0.0325 : -0.0325);
        eyes[e] = FreeImage_Rescale(small, kWidth, kHeight, FILTER_BILINEAR);
        FreeImage_Unload(small);
        AddGrain(eyes[e], 11u + (uint32_t)e);
    }
    const ByteVector stereo = StereoHeic(eyes[0], eyes[1], 1, false);
    const ByteVector pair = CameraPair(eyes[0], eyes[1], 90);
    FreeImage_Unload(eyes[0]), FreeImage_Unload(eyes[1]);
    return !stereo.empty() && WriteBytes(heic.c_str(), stereo) && WriteBytes(mpo.c_str(), pair);
}

// An entry for a file of the folder, as the listing makes it.
CFileEntry Entry(const char16_t* name)
{
    CFileEntry e = {};
    e.name = (char16_t*)name;
    ClassifyName(name, &e.flat);
    e.format = DetectImageFormat(name);
    return e;
}

void HeifThumbnailJob(benchmark::State& state)
{
    CFileEntry e = Entry(u"stereo.heic");
    static uint8_t thumb[kThumbBytes];
    for (auto _ : state)
    {
        uint8_t* bytes = nullptr;
        int32_t length = 0;
        if (!PlatReadFile(e.name, &bytes, &length))
            state.SkipWithError("unreadable");
        CDecodeInput in = {bytes, length, e.format, e.flat};
        int32_t found = 0;
        const CDecoder* d = FindDecoder(&in, &found);
        benchmark::DoNotOptimize(d->size(&in, found));
        CDecoded picture = {};
        if (!d->decode(&in, found, &picture) || !picture.secondary)
            state.SkipWithError("not decoded as a pair");
        free(bytes);
        SampleThumbnail(thumb, e.flat, &picture);
        FreeDecoded(&picture);
    }
}

// Opens a file of the folder as the window does, its thumbnail made already.
void OpenView(benchmark::State& state, const char16_t* name)
{
    CFileEntry e = Entry(name);
    FIBITMAP *primary = nullptr, *secondary = nullptr;
    for (auto _ : state)
    {
        LoadEntryImage(&e, 0, &primary, &secondary);
        if (!secondary)
            state.SkipWithError("not opened as a pair");
        FreeImageSlots(&primary, &secondary);
    }
}

void HeifOpenView(benchmark::State& state) { OpenView(state, u"stereo.heic"); }

void JpegPairOpenView(benchmark::State& state) { OpenView(state, u"pair.mpo"); }

void HeifPixelsAlone(benchmark::State& state)
{
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    PlatReadFile(u"stereo.heic", &bytes, &length);
    for (auto _ : state)
        if (HeifPixels(bytes, (size_t)length) != 2ll * kWidth * kHeight)
            state.SkipWithError("pixels misread");
    free(bytes);
}

BENCHMARK(HeifThumbnailJob)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(HeifOpenView)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(HeifPixelsAlone)->Name("HeifPixels")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(JpegPairOpenView)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    PrepareDecoders();
    if (!MakeFiles() || chdir(kFolder) != 0)
    {
        fprintf(stderr, "could not make the files in %s\n", kFolder);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
