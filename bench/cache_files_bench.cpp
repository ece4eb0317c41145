// cache_files_bench.cpp - what one file per record costs on each system: the
// thumbnail cache's records read back, their files opened, touched, and a
// prune, timed the same way on Linux and on Windows (where Google Benchmark
// is not built; under Wine it gives Wine's figures). Five runs each, medians.
//
//   camera   1,000 records of noisy thumbnails (stored raw, as camera
//            pictures' are), looked up
//   tiny     50,000 records of one-colour thumbnails (stored as runs)
//   open     the tiny records' files read whole: open, read, close
//   touch    the tiny records' files marked as used
//   memory   the tiny records decoded from memory, as from one pack per
//            folder read in one go: the least a record can cost
//   prune    a prune over the 50,000 tiny records, each of a picture on disk,
//            nothing to drop
//
// Run: build/bench/cache_files_bench [folder [tiny [runs]]]   (default: the
// system's temporary folder, where the records stay for the next run; 50,000
// tiny records; five runs)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "folder/image_load.h"
#include "folder/thumb_cache.h"
#include "platform/platform.h"

namespace {

typedef std::chrono::steady_clock Clock;
const int kCamera = 1000;
int gTiny = 50000, gRuns = 5;

std::vector<std::u16string> gPaths;
std::vector<CThumbKey> gKeys;

// Makes the keys of n pictures named under folder (files made on disk when
// real is set, else only names with made-up stamps).
void MakeKeys(const std::filesystem::path& folder, int n, bool real)
{
    gPaths.clear(), gKeys.clear();
    std::filesystem::create_directories(folder);
    for (int i = 0; i < n; i++)
    {
        char name[32];
        snprintf(name, sizeof name, "p%d.png", i);
        std::filesystem::path file = folder / name;
        if (real && !std::filesystem::exists(file))
            std::ofstream(file, std::ios::binary) << "tiny picture " << i;
        gPaths.push_back(file.u16string());
    }
    for (int i = 0; i < n; i++)
    {
        CThumbKey key = {gPaths[i].c_str(), {4000000u + (uint64_t)i, 1700000000123456789 + i}, 13, 1};
        if (real && !PlatGetFileStamp(key.path, &key.stamp))
            abort();
        gKeys.push_back(key);
    }
}

// Stores every key's record unless it is there: noise (camera) or one colour.
void Fill(const CThumbCache* cache, bool noise)
{
    std::vector<uint8_t> thumb(kThumbBytes), out(kThumbBytes);
    CThumbFields fields = {3872, 2592, 2, 1, 0};
    uint32_t seed = 1;
    for (size_t i = 0; i < gKeys.size(); i++)
    {
        if (FindThumbRecord(cache, &gKeys[i], &fields, out.data()))
            continue;
        for (size_t b = 0; b < kThumbBytes; b++)
            thumb[b] = noise ? (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24) : (uint8_t)(i + b % 3);
        if (!StoreThumbRecord(cache, &gKeys[i], &fields, thumb.data()))
            abort();
    }
}

// Runs work gRuns times and prints the median time and the rate.
template <typename Work> void Time(const char* what, int items, Work work)
{
    std::vector<double> seconds;
    for (int r = 0; r < gRuns; r++)
    {
        Clock::time_point start = Clock::now();
        work();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    printf("%-8s %6d items  median %8.1f ms  %9.0f per second  (runs %.1f .. %.1f ms)\n", what, items,
           median * 1e3, items / median, seconds.front() * 1e3, seconds.back() * 1e3);
    fflush(stdout);
}

// Returns the files of a cache folder (its layout is the cache's own).
std::vector<std::u16string> RecordFiles(const std::filesystem::path& cache)
{
    std::vector<std::u16string> files;
    for (const auto& f : std::filesystem::recursive_directory_iterator(cache))
        if (f.is_regular_file())
            files.push_back(f.path().u16string());
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 3)
        gTiny = atoi(argv[2]), gRuns = atoi(argv[3]);
    if (gTiny < 1 || gRuns < 1)
        return 2;
    const std::filesystem::path root = (argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path()) /
                                       "orvale-cache-files-bench" / std::to_string(gTiny);
    CThumbCache camera, tiny;
    std::filesystem::create_directories(root);
    if (!OpenThumbCache(&camera, (root / "camera").u16string().c_str()) ||
        !OpenThumbCache(&tiny, (root / "tiny").u16string().c_str()))
        return 1;
    std::vector<uint8_t> thumb(kThumbBytes);
    CThumbFields fields;

    MakeKeys(root / "camera-pictures", kCamera, false);
    Fill(&camera, true);
    Time("camera", kCamera, [&] {
        for (const CThumbKey& key : gKeys)
            if (!FindThumbRecord(&camera, &key, &fields, thumb.data()))
                abort();
    });

    MakeKeys(root / "tiny-pictures", gTiny, true);
    Fill(&tiny, false);
    Time("tiny", gTiny, [&] {
        for (const CThumbKey& key : gKeys)
            if (!FindThumbRecord(&tiny, &key, &fields, thumb.data()))
                abort();
    });
    const std::vector<std::u16string> files = RecordFiles(root / "tiny");
    std::vector<std::vector<uint8_t>> records;
    Time("open", (int)files.size(), [&] {
        records.clear();
        for (const std::u16string& file : files)
        {
            uint8_t* bytes = nullptr;
            int32_t length = 0;
            PlatFileStamp stamp;
            if (!PlatReadStampedFile(file.c_str(), &bytes, &length, &stamp))
                abort();
            records.emplace_back(bytes, bytes + length);
            free(bytes);
        }
    });
    Time("touch", (int)files.size(), [&] {
        for (const std::u16string& file : files)
            PlatTouchFile(file.c_str());
    });
    // The same records in memory, in the order of their keys.
    std::vector<std::vector<uint8_t>> byKey;
    for (size_t i = 0; i < gKeys.size(); i++)
    {
        for (size_t b = 0; b < kThumbBytes; b++)
            thumb[b] = (uint8_t)(i + b % 3);
        CThumbFields made = {3872, 2592, 2, 1, 0};
        uint8_t* bytes = nullptr;
        const int32_t length = EncodeThumbRecord(&gKeys[i], &made, thumb.data(), &bytes);
        byKey.emplace_back(bytes, bytes + length);
        free(bytes);
    }
    Time("memory", gTiny, [&] {
        for (size_t i = 0; i < byKey.size(); i++)
            if (!DecodeThumbRecord(byKey[i].data(), (int32_t)byKey[i].size(), &gKeys[i], &fields, thumb.data()))
                abort();
    });
    Time("prune", gTiny, [&] {
        if (PruneThumbCache(&tiny, INT64_MAX, nullptr) <= 0)
            abort();
    });
    return 0;
}
