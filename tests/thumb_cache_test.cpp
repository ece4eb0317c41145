// Tests of the thumbnail cache on real files, through the fill and its
// workers: a hit commits what the window's own load commits, in listing
// order; a changed picture, a damaged record or a cache that cannot be used
// never shows an old or wrong thumbnail; a worker's failure is never kept;
// two processes filling at once; the size cap; where the cache lives. Every
// cache here is in a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <FreeImage.h>

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/job_queue.h"
#include "folder/loading.h"
#include "folder/thumb_cache.h"
#include "tests/serial_load.h"
#include "tests/temp_folder.h"
#include "tools/kit/picture_kit.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Sets a file's modification time to an hour ago, plus seconds and ns, so
// that the cache takes it as settled.
void Age(const std::string& path, long seconds = 0, long ns = 0)
{
    static const time_t hourAgo = time(nullptr) - 3600;
    struct timespec times[2] = {{hourAgo + seconds, ns}, {hourAgo + seconds, ns}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A BMP of noise from a seed: the same size for the same width and height.
std::vector<uint8_t> Bmp(int width, int height, uint32_t seed)
{
    FIBITMAP* dib = NoisePicture(width, height, seed);
    std::vector<uint8_t> bytes = EncodeBmp(dib);
    FreeImage_Unload(dib);
    return bytes;
}

typedef std::vector<uint8_t> Bytes;
using testfs::SerialState;
using testfs::State;

// Returns the picture's name a record was made for.
std::string RecordOf(const std::string& record)
{
    const Bytes r = testfs::ReadFile(record);
    uint32_t n = 0;
    memcpy(&n, &r[12], 4);
    std::string path;
    for (uint32_t i = 0; i < n; i++)
        path += (char)r[56 + 2 * i];
    return std::filesystem::path(path).filename();
}

// The record files of a cache folder.
std::vector<std::string> Records(const std::string& cache)
{
    std::vector<std::string> found;
    for (const auto& f : std::filesystem::recursive_directory_iterator(cache))
        if (f.is_regular_file())
            found.push_back(f.path());
    return found;
}

struct ThumbCacheTest : testing::Test
{
    void SetUp() override { UseThumbCache(U16(cacheAt).c_str(), kThumbCacheCapBytes); }
    void TearDown() override
    {
        HoldJobDecodes(false);
        EXPECT_EQ(StopJobQueue(60000), 1);
        UseThumbCache(u"", 0), SetJobWorkers(-1);
        ClearFolder(&folder);
    }
    // Writes a picture, its time an hour ago plus seconds and ns (settled).
    void Put(const std::string& name, const Bytes& bytes, long seconds = 0, long ns = 0)
    {
        ASSERT_TRUE(pictures.Write(name, bytes));
        Age(pictures.At(name), seconds, ns);
    }
    // Starts a fresh queue (its counts at zero, the cache opened again) and
    // lists the pictures.
    void Start()
    {
        SetJobWorkers(2);
        ClearFolder(&folder);
        ASSERT_TRUE(pictures.Enter());
        ListFolder(&folder);
    }
    // Ticks until no thumbnail is pending, checking that none is ever made
    // after a pending one; then waits for the workers' stores. Returns 0
    // when the order broke or the thumbnails never came.
    bool Ticks()
    {
        FIBITMAP *primary = nullptr, *secondary = nullptr;
        int32_t pending = 1;
        for (int tick = 0; tick < 100000 && pending; tick++, usleep(500))
        {
            FillThumbnails(&folder, &primary, &secondary);
            pending = 0;
            for (int32_t i = 0; i < folder.count; i++)
                if ((pending += folder.entries[i]->thumbPending) && !folder.entries[i]->thumbPending)  // made after a pending one
                    return false;
        }
        while (!JobQueueIdle())
            usleep(1000);
        ThumbCacheCounts(&hits, &stores);
        return pending == 0;
    }
    // Fills the pictures' folder; returns the cache hits.
    int64_t Fill()
    {
        Start();
        EXPECT_TRUE(Ticks()) << "a thumbnail made after a pending one, or never made";
        return hits;
    }
    // Answers whether every entry holds what the serial load commits.
    bool AsSerial()
    {
        for (int32_t i = 0; i < folder.count; i++)
            if (!folder.entries[i]->isDir && State(folder.entries[i]) != SerialState(folder.entries[i]))
                return false;
        return true;
    }
    int64_t Files() const { return std::count_if(folder.entries, folder.entries + folder.count, [](CFileEntry* e) { return !e->isDir; }); }
    testfs::TempFolder pictures, where;
    const std::string cacheAt = where.At("cache");
    CFolderList folder = {};
    int64_t hits = 0, stores = 0;
};

TEST_F(ThumbCacheTest, EveryFixtureColdThenWarmCommitsWhatTheLoadCommits)
{
    for (const auto& f : std::filesystem::directory_iterator(ORVALE_FIXTURES))
        if (f.is_regular_file() && !f.is_symlink())
            Put(f.path().filename(), testfs::ReadFile(f.path()));
    Fill();
    EXPECT_GE(Files(), 20);
    EXPECT_TRUE(AsSerial());
    std::vector<Bytes> cold;
    for (int32_t i = 0; i < folder.count; i++)
        cold.push_back(State(folder.entries[i]));
    EXPECT_EQ(Fill(), Files()) << "failures, decoded by the window, are kept too";
    for (int32_t i = 0; i < folder.count; i++)
        EXPECT_EQ(State(folder.entries[i]), cold[i]) << testing::PrintToString(std::u16string(folder.entries[i]->name));
}

TEST_F(ThumbCacheTest, AChangedPictureIsDecodedAgain)
{
    // Each row changes the picture after its record was stored: the new
    // bytes, and the new size or time, in place of the old.
    const struct { const char* fault; int width; long seconds, ns; } rows[] = {
        {"the time is not part of the key (same size, new time)", 8, 1, 0},
        {"the nanoseconds are not part of the key", 8, 0, 500},
        {"the size is not part of the key (new size, same time)", 9, 0, 0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.fault);
        Put("p.bmp", Bmp(8, 8, 0x123456));
        EXPECT_EQ(Fill(), 0);
        EXPECT_EQ(Fill(), 1);
        Put("p.bmp", Bmp(row.width, 8, 0xC0FFEE), row.seconds, row.ns);
        EXPECT_EQ(Fill(), 0);
        EXPECT_TRUE(AsSerial());
    }
    // Changed while a worker decodes it: what the worker read is shown, but
    // kept for neither time.
    Put("p.bmp", Bmp(8, 8, 1), 20);
    Start();
    HoldJobDecodes(true);
    FIBITMAP *primary = nullptr, *secondary = nullptr;
    FillThumbnails(&folder, &primary, &secondary);
    while (JobsHeldInDecode() < 1)
        usleep(1000);
    Put("p.bmp", Bmp(8, 8, 2), 30);
    HoldJobDecodes(false);
    EXPECT_TRUE(Ticks());
    EXPECT_EQ(Fill(), 0);
    EXPECT_TRUE(AsSerial());
    // A picture written just now may change again within its time's tick:
    // it is not kept until it has settled.
    ASSERT_TRUE(pictures.Write("p.bmp", Bmp(8, 8, 7)));
    EXPECT_EQ(Fill(), 0);
    EXPECT_EQ(Fill(), 0);
}

TEST_F(ThumbCacheTest, ADamagedRecordMissesAndIsWrittenAgain)
{
    // The worker fails: the window decodes the picture itself, and only its
    // outcome is stored.
    Put("p.png", testfs::Fixture("rgba.png"));
    Start();
    FailJobDecodes(true);
    EXPECT_TRUE(Ticks());
    EXPECT_EQ(stores, 1) << "a worker's failure was stored";
    const std::string record = Records(cacheAt)[0];
    const Bytes good = testfs::ReadFile(record);
    struct stat st = {};
    EXPECT_TRUE(stat(record.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600) << "a record others may read";
    // Fixes the checksum of a damaged record, so that only the damage tells.
    auto sealed = [](Bytes r) {
        uint32_t crc = (uint32_t)crc32(0, r.data(), (uInt)r.size() - 4);
        memcpy(&r[r.size() - 4], &crc, 4);
        return r;
    };
    const struct { const char* fault; Bytes bytes; } rows[] = {
        {"a truncated record is read", {good.begin(), good.end() - 1}},
        {"an empty record is read", {}},
        {"the checksum is not checked", [&] { auto r = good; r[44] ^= 1; return r; }()},
        {"the version is not checked", sealed([&] { auto r = good; r[8]++; return r; }())},
        {"a foreign file is read", sealed([&] { auto r = good; r[0] = 'X'; return r; }())},
        {"the path is not compared", sealed([&] { auto r = good; r[57] ^= 1; return r; }())},
        {"a payload cut short is used", sealed([&] { auto r = good; r.erase(r.end() - 5), r[52]--; return r; }())},
        {"runs past the thumbnail's end are filled", sealed([&] {  // 80 more runs of 255 pixels
             auto r = good;
             for (int i = 0; i < 80; i++)
                 r.insert(r.end() - 4, {255, 1, 2, 3});
             uint32_t payload;
             memcpy(&payload, &r[52], 4), payload += 320, memcpy(&r[52], &payload, 4);
             return r;
         }())},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.fault);
        std::ofstream(record, std::ios::binary | std::ios::trunc)
            .write((const char*)row.bytes.data(), (std::streamsize)row.bytes.size());
        EXPECT_EQ(Fill(), 0);
        EXPECT_TRUE(AsSerial());
        EXPECT_EQ(testfs::ReadFile(record), good) << "not written again";
    }
}

// The cache's folder is under XDG_CACHE_HOME when that is absolute, else
// under HOME, made private with its missing parents, or there is none.
TEST_F(ThumbCacheTest, TheUsersCacheFolderIsPrivateOrThereIsNone)
{
    ASSERT_TRUE(where.Write("file", {'x'}) && where.Folder("y") && where.Write("y/orvale-viewer", {'x'}));
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    const struct { std::string xdg, home, folder; } rows[] = {
        {"relative/", where.path, where.At(".cache/orvale-viewer")},
        {where.At("xdg/a/"), "/proc/nowhere", where.At("xdg/a/orvale-viewer")},
        {where.At("file"), where.path, ""},  // a file where the cache's parent should be
        {where.At("y"), where.path, ""},     // a file where the cache should be
        {"", "/proc", ""},                   // a folder nobody may make
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.xdg + " " + row.home);
        setenv("XDG_CACHE_HOME", row.xdg.c_str(), 1), setenv("HOME", row.home.c_str(), 1);
        CThumbCache cache;
        EXPECT_EQ(OpenThumbCache(&cache, nullptr), !row.folder.empty());
        EXPECT_EQ(PruneThumbCache(&cache, kThumbCacheCapBytes, nullptr), 0) << "an empty cache";
        EXPECT_EQ(std::u16string(cache.folder), U16(row.folder));
        struct stat st = {}, parent = {};
        const bool made = stat(row.folder.c_str(), &st) == 0 && stat((row.folder + "/..").c_str(), &parent) == 0;
        EXPECT_TRUE(!made || ((st.st_mode & 0777) == 0700 && (parent.st_mode & 0777) == 0700)) << "not private";
    }
    setenv("HOME", savedHome.c_str(), 1), unsetenv("XDG_CACHE_HOME");
}

// A cache folder that cannot be made or written (under /proc, not even by
// root), or a file in its place or in a record folder's: the fill completes
// as it does without a cache.
TEST_F(ThumbCacheTest, WithoutAUsableCacheTheFillIsAsWithoutOne)
{
    for (uint32_t i = 0; i < 3; i++)
        Put("p" + std::to_string(i) + ".bmp", Bmp(8, 8, i));
    Put("bad.jpg", {0xFF, 0xD8, 0xFF});
    ASSERT_TRUE(where.Write("file", {'x'}) && where.Folder("c"));
    for (int f = 0; f < 256; f++)
        ASSERT_TRUE(where.Write("c/" + std::string(1, "0123456789abcdef"[f / 16]) + "0123456789abcdef"[f % 16], {'x'}));
    for (const std::string& at : {std::string("/proc/self/orvale"), where.At("file"), where.At("c")})
    {
        SCOPED_TRACE(at);
        UseThumbCache(U16(at).c_str(), kThumbCacheCapBytes);
        EXPECT_EQ(Fill(), 0);
        EXPECT_TRUE(AsSerial());
        EXPECT_EQ(Fill(), 0);
        EXPECT_TRUE(AsSerial());
    }
}

TEST_F(ThumbCacheTest, TwoProcessesFillingAtOnceOnlyEverSeeWholeRecords)
{
    // Both fill the same folder again and again, storing every record again
    // after each fill, racing the other's reads and stores: every fill
    // commits what the serial load commits, and once the records are
    // stored every lookup hits.
    for (uint32_t i = 0; i < 12; i++)
        Put("p" + std::to_string(i) + ".bmp", Bmp(40 + (int)i, 30, i));
    Put("bad.jpg", {0xFF, 0xD8, 0xFF});
    ASSERT_EQ(StopJobQueue(60000), 1);  // no thread may hold a lock across the fork
    pid_t children[2];
    for (pid_t& child : children)
        if ((child = fork()) == 0)
        {
            int bad = 0;
            for (int round = 0; round < 20; round++)
            {
                Start();
                bad += !Ticks() || !AsSerial();
                bad += round > 0 && hits != Files();
                CThumbCache cache;
                OpenThumbCache(&cache, U16(cacheAt).c_str());
                for (int32_t i = 1; i < folder.count * 4; i++)
                {
                    const CFileEntry* e = folder.entries[1 + i % (folder.count - 1)];
                    CThumbSource in;
                    CThumbFields fields = {e->width, e->height, e->format, e->flat, e->loadFailed};
                    StampThumbSource(&in, U16(pictures.path).c_str(), e->name, e->format, e->flat);
                    bad += !StoreThumbIfUnchanged(&cache, &in.key, &fields, &e->thumb[0][0][0][0]), FreeThumbSource(&in);
                }
            }
            StopJobQueue(60000);
            _exit(bad ? 1 : 0);
        }
    for (pid_t child : children)
    {
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process saw a record that was not whole";
    }
    EXPECT_EQ(Records(cacheAt).size(), 13u) << "a temporary file was left";
    EXPECT_EQ(Fill(), 13);
    EXPECT_TRUE(AsSerial());
}

TEST_F(ThumbCacheTest, PruneDropsTheLeastRecentlyUsedAndWhatIsGone)
{
    // Ten records (of pictures a pixel wide: a few hundred bytes each, one
    // block on disk) last used one second apart, p0 first; then p0 and p1
    // used again, and p9's picture removed. A cap of five blocks keeps p6,
    // p7, p8, p0 and p1.
    for (uint32_t i = 0; i < 10; i++)
        Put("p" + std::to_string(i) + ".bmp", Bmp(1, 30, i));
    EXPECT_EQ(Fill(), 0);
    for (const std::string& r : Records(cacheAt))
        Age(r, RecordOf(r)[1] - '0');
    Start();
    const int32_t listed = folder.count;
    folder.count = 3;  // only p0 and p1 are wanted
    EXPECT_TRUE(Ticks());
    folder.count = listed;
    EXPECT_EQ(hits, 2);
    ASSERT_EQ(unlink(pictures.At("p9.bmp").c_str()), 0);
    ASSERT_LT(testfs::ReadFile(Records(cacheAt)[0]).size(), 1000u);
    UseThumbCache(U16(cacheAt).c_str(), 5 * 4096);
    Start();
    PruneThumbCacheLater();
    while (!JobQueueIdle())
        usleep(1000);
    std::vector<std::string> kept;
    for (const std::string& r : Records(cacheAt))
        kept.push_back(RecordOf(r));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"p0.bmp", "p1.bmp", "p6.bmp", "p7.bmp", "p8.bmp"}));
}

}  // namespace
