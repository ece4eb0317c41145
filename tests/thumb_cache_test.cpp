// Tests of the thumbnail cache on real files: a hit commits what the load
// commits; a changed picture, a damaged record or a cache that cannot be used
// never shows an old or wrong thumbnail; two processes filling at once; the
// size cap; where the cache lives. Every cache here is in a temporary folder.
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
#include "folder/thumb_cache.h"
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

// A BMP of noise from a seed, whose thumbnail is too noisy to deflate: the
// same size for the same width and height.
std::vector<uint8_t> Bmp(int width, int height, uint32_t seed)
{
    FIBITMAP* dib = SolidPicture(width, height, 0);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < 3 * width; x++)
            FreeImage_GetScanLine(dib, y)[x] = (BYTE)((seed = seed * 1664525u + 1013904223u) >> 24);
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_BMP, dib, memory);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    std::vector<uint8_t> bytes(data, data + size);
    FreeImage_CloseMemory(memory), FreeImage_Unload(dib);
    return bytes;
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
    void SetUp() override
    {
        ASSERT_TRUE(OpenThumbCache(&cache, U16(where.At("cache")).c_str()));
    }
    // Lists the pictures' folder (files aged) and returns its entries.
    CFileEntry** List()
    {
        for (const auto& f : std::filesystem::directory_iterator(pictures.path))
            Age(f.path());
        ClearFolder(&folder);
        EXPECT_TRUE(pictures.Enter());
        ListFolder(&folder);
        return folder.entries;
    }
    // Expects the cached load of a copy of an entry to commit exactly what
    // the serial load commits, and to hit or miss.
    void ExpectLoad(const CFileEntry* listed, int hit)
    {
        CFileEntry copies[2] = {*listed, *listed};
        FIBITMAP *primary = nullptr, *secondary = nullptr;
        copies[0].thumbPending = copies[1].thumbPending = 1;
        EXPECT_EQ(LoadThumbnailCached(&cache, &copies[0], folder.path), hit);
        LoadEntryImage(&copies[1], 1, &primary, &secondary);
        EXPECT_EQ(memcmp(&copies[0], &copies[1], sizeof(CFileEntry)), 0) << "committed fields differ";
    }
    ~ThumbCacheTest() override { ClearFolder(&folder); }
    testfs::TempFolder pictures, where;
    CThumbCache cache;
    CFolderList folder = {};
};

TEST_F(ThumbCacheTest, EveryFixtureColdThenWarmCommitsWhatTheLoadCommits)
{
    for (const auto& f : std::filesystem::directory_iterator(ORVALE_FIXTURES))
        ASSERT_TRUE(!f.is_regular_file() || f.is_symlink() || pictures.Write(f.path().filename(), testfs::ReadFile(f.path())));
    CFileEntry** entries = List();
    EXPECT_GE(folder.count, 20);
    for (int32_t i = 1; i < folder.count; i++)
    {
        SCOPED_TRACE(testing::PrintToString(std::u16string(entries[i]->name)));
        ExpectLoad(entries[i], 0);  // cold
        ExpectLoad(entries[i], 1);  // warm, failures included
    }
}

TEST_F(ThumbCacheTest, AChangedPictureIsLoadedAgain)
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
        ASSERT_TRUE(pictures.Write("p.bmp", Bmp(8, 8, 0x123456)));
        ExpectLoad(List()[1], 0);
        ExpectLoad(List()[1], 1);
        ASSERT_TRUE(pictures.Write("p.bmp", Bmp(row.width, 8, 0xC0FFEE)));
        Age(pictures.At("p.bmp"), row.seconds, row.ns);
        ClearFolder(&folder), ListFolder(&folder);
        ExpectLoad(folder.entries[1], 0);
    }
    // A picture written just now may change again within its time's tick:
    // it is not kept until it has settled.
    ASSERT_TRUE(pictures.Write("p.bmp", Bmp(8, 8, 7)));
    ClearFolder(&folder), ListFolder(&folder);
    ExpectLoad(folder.entries[1], 0);
    ExpectLoad(folder.entries[1], 0);
}

TEST_F(ThumbCacheTest, ADamagedRecordMissesAndIsWrittenAgain)
{
    ASSERT_TRUE(pictures.Write("p.png", testfs::Fixture("rgba.png")));
    ExpectLoad(List()[1], 0);
    const std::string record = Records(where.At("cache"))[0];
    const std::vector<uint8_t> good = testfs::ReadFile(record);
    struct stat st = {};
    EXPECT_TRUE(stat(record.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600) << "a record others may read";
    // Fixes the checksum of a damaged record, so that only the damage tells.
    auto sealed = [](std::vector<uint8_t> r) {
        uint32_t crc = (uint32_t)crc32(0, r.data(), (uInt)r.size() - 4);
        memcpy(&r[r.size() - 4], &crc, 4);
        return r;
    };
    const struct { const char* fault; std::vector<uint8_t> bytes; } rows[] = {
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
        ExpectLoad(folder.entries[1], 0);
        EXPECT_EQ(testfs::ReadFile(record), good) << "not written again";
    }
}

// The cache's folder is under XDG_CACHE_HOME when that is absolute, else
// under HOME, made private with its missing parents; where it cannot be made,
// or cannot be written (under /proc, not even by root), loads work as
// without a cache.
TEST_F(ThumbCacheTest, TheUsersCacheFolderIsPrivateOrTheLoadWorksWithoutOne)
{
    ASSERT_TRUE(pictures.Write("p.png", testfs::Fixture("rgba.png")) && where.Write("file", {'x'}));
    ASSERT_TRUE(where.Folder("y") && where.Write("y/orvale-viewer", {'x'}));
    List();
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
        EXPECT_EQ(OpenThumbCache(&cache, nullptr), !row.folder.empty());
        EXPECT_EQ(std::u16string(cache.folder), U16(row.folder));
        struct stat st = {}, parent = {};
        const bool made = stat(row.folder.c_str(), &st) == 0 && stat((row.folder + "/..").c_str(), &parent) == 0;
        EXPECT_TRUE(!made || ((st.st_mode & 0777) == 0700 && (parent.st_mode & 0777) == 0700)) << "not private";
        ExpectLoad(folder.entries[1], 0);
        ExpectLoad(folder.entries[1], !row.folder.empty());
    }
    setenv("HOME", savedHome.c_str(), 1), unsetenv("XDG_CACHE_HOME");
    ASSERT_EQ(OpenThumbCache(&cache, u"/proc/self"), 1);
    ExpectLoad(folder.entries[1], 0);
    ExpectLoad(folder.entries[1], 0);
}

TEST_F(ThumbCacheTest, TwoProcessesFillingAtOnceOnlyEverSeeWholeRecords)
{
    // Both load every picture and store its record again, over and over,
    // racing the other's reads and stores: once a record is stored every
    // lookup must hit.
    for (uint32_t i = 0; i < 12; i++)
        ASSERT_TRUE(pictures.Write("p" + std::to_string(i) + ".bmp", Bmp(40 + (int)i, 30, i)));
    CFileEntry** entries = List();
    pid_t children[2];
    for (pid_t& child : children)
        if ((child = fork()) == 0)
        {
            int bad = 0;
            for (int round = 0; round < 30; round++)
                for (int32_t i = 1; i < folder.count; i++)
                {
                    CFileEntry copies[2] = {*entries[i], *entries[i]};
                    FIBITMAP *primary = nullptr, *secondary = nullptr;
                    copies[0].thumbPending = copies[1].thumbPending = 1;
                    bad += !LoadThumbnailCached(&cache, &copies[0], folder.path) && round > 0;
                    LoadEntryImage(&copies[1], 1, &primary, &secondary);
                    bad += memcmp(&copies[0], &copies[1], sizeof(CFileEntry)) != 0;
                    const std::u16string path = U16(pictures.path + "/") + entries[i]->name;
                    CThumbKey key = {path.c_str(), {}, entries[i]->format, entries[i]->flat};
                    CThumbFields fields = {copies[1].width, copies[1].height, copies[1].format, copies[1].flat, 0};
                    bad += !PlatGetFileStamp(key.path, &key.stamp) ||
                           !StoreThumbRecord(&cache, &key, &fields, &copies[1].thumb[0][0][0][0]);
                }
            _exit(bad ? 1 : 0);
        }
    for (pid_t child : children)
    {
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process saw a record that was not whole";
    }
    EXPECT_EQ(Records(where.At("cache")).size(), 12u) << "a temporary file was left";
    for (int32_t i = 1; i < folder.count; i++)
        ExpectLoad(entries[i], 1);
}

TEST_F(ThumbCacheTest, PruneDropsTheLeastRecentlyUsedAndWhatIsGone)
{
    // Ten records (of pictures a pixel wide: a few hundred bytes each, one
    // block on disk) used one second apart, p0 oldest; then p0 and p1 used
    // again, and p9's picture removed. A cap of five blocks keeps p6, p7,
    // p8, p0 and p1.
    for (uint32_t i = 0; i < 10; i++)
        ASSERT_TRUE(pictures.Write("p" + std::to_string(i) + ".bmp", Bmp(1, 30, i)));
    CFileEntry** entries = List();
    std::vector<std::string> seen;
    for (long i = 0; i < 10; i++)
    {
        ExpectLoad(entries[1 + i], 0);
        for (const std::string& r : Records(where.At("cache")))
            if (std::find(seen.begin(), seen.end(), r) == seen.end())
                Age(r, i), seen.push_back(r);
    }
    ExpectLoad(entries[1], 1), ExpectLoad(entries[2], 1);
    ASSERT_EQ(unlink(pictures.At("p9.bmp").c_str()), 0);
    ASSERT_LT(testfs::ReadFile(seen[0]).size(), 1000u);
    EXPECT_EQ(PruneThumbCache(&cache, 5 * 4096), 5 * 4096);
    EXPECT_EQ(Records(where.At("cache")).size(), 5u);
    for (int i = 0; i < 9; i++)
    {
        SCOPED_TRACE("p" + std::to_string(i));
        ExpectLoad(entries[1 + i], i < 2 || i > 5);
    }
}

}  // namespace
