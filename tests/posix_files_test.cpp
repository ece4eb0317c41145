// Tests of the POSIX folder and file services: listing order, folders and
// links, names that are not UTF-8, whole-file reads and format detection.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/temp_folder.h"

namespace {

typedef std::vector<std::pair<std::u16string, int>> Items;

// Lists the current folder through the platform scan: names and folder flags.
Items Scan()
{
    Items items;
    PlatFolderItem item;
    PlatFolderScan* scan = PlatScanFolder();
    while (scan && PlatNextItem(scan, &item))
        items.push_back({item.name, item.isDir});
    if (scan)
        PlatEndScan(scan);
    return items;
}

// NTFS order: dots first, then upper-cased code units (beyond ASCII too), so
// lower-case letters sort before '[' and '_' and case does not separate
// names. A link to a folder is a folder, a broken link is not; a Latin-1
// name is listed with its stray byte escaped, and that name opens the file.
// The root has no parent item.
TEST(PosixFiles, ScanListsInUpperCasedOrderAndEscapesStrayBytes)
{
    testfs::TempFolder t;
    const std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
    for (const char* name : {"b.jpg", "A.jpg", "_x", "[y]", "\xC3\xA9", "\xC3\xA9" "b", "\xC3\x89" "a", "a.jpg~",
                             "Zeta", "-dash", "caf\xE9.jpg"})
        ASSERT_TRUE(t.Write(name, jpeg));
    ASSERT_TRUE(t.Folder("alpha") && t.Folder("zz") && t.Folder("real") && t.Enter());
    ASSERT_TRUE(symlink("real", "link") == 0 && symlink("nowhere", "broken") == 0);
    EXPECT_EQ(Scan(), Items({{u".", 1},        {u"..", 1},      {u"-dash", 0},       {u"A.jpg", 0},   {u"a.jpg~", 0},
                             {u"alpha", 1},    {u"b.jpg", 0},   {u"broken", 0},      {u"caf\xDCE9.jpg", 0},
                             {u"link", 1},     {u"real", 1},    {u"Zeta", 0},        {u"zz", 1},      {u"[y]", 0},
                             {u"_x", 0},       {u"\u00E9", 0}, {u"\u00C9a", 0},     {u"\u00E9b", 0}}));
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    ASSERT_EQ(PlatReadFile(u"caf\xDCE9.jpg", &bytes, &length), 1);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + length), jpeg);
    free(bytes);
    EXPECT_EQ(PlatDetectImageFormat(u"caf\xDCE9.jpg"), 2);  // JPEG
    ASSERT_EQ(PlatChangeFolder(u"/"), 0);  // the root has no parent item
    Items root = Scan();
    EXPECT_TRUE(!root.empty() && root[0].first == u".");
    EXPECT_EQ(std::count(root.begin(), root.end(), Items::value_type(u"..", 1)), 0);
}

// Nothing that is not a whole readable file under 2 GiB (the length is a
// signed 32-bit count) reads, nor does a pipe block; the format is told from
// the contents, not the name.
TEST(PosixFiles, ReadsAndDetectionFailCleanly)
{
    testfs::TempFolder t;
    int fd = open(t.At("big.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, (off_t)1 << 31) == 0);  // sparse: takes no disk
    close(fd);
    ASSERT_TRUE(t.Folder("dir.jpg") && mkfifo(t.At("pipe.jpg").c_str(), 0644) == 0 && t.Write("empty.jpg", {}));
    ASSERT_TRUE(t.Write("x.jpg", {'t', 'e', 'x', 't'}) && t.Write("x.bmp", testfs::Fixture("x.bmp")) && t.Enter());
    for (const char16_t* name : {u"missing.jpg", u"dir.jpg", u"pipe.jpg", u"big.jpg"})
    {
        uint8_t* bytes = (uint8_t*)1;
        int32_t length = 7;
        EXPECT_TRUE(PlatReadFile(name, &bytes, &length) == 0 && !bytes && length == 0) << (int)name[0];
    }
    for (const char16_t* name : {u"missing.jpg", u"dir.jpg", u"pipe.jpg", u"x.jpg", u"empty.jpg"})
        EXPECT_EQ(PlatDetectImageFormat(name), -1) << (int)name[0];
    EXPECT_EQ(PlatDetectImageFormat(u"x.bmp"), 13);  // a PNG
    uint8_t* bytes = nullptr;
    int32_t length = 7;
    EXPECT_TRUE(PlatReadFile(u"empty.jpg", &bytes, &length) == 1 && bytes && length == 0);
    free(bytes);
}

TEST(PosixFiles, CurrentFolderRoundTripsAndRespectsCapacity)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Folder("d\xE9j\xC3\xA0"));  // a stray byte, then valid UTF-8
    ASSERT_EQ(PlatChangeFolder(u"/tmp"), 0);
    char16_t buffer[256];
    EXPECT_TRUE(PlatGetCurrentFolder(buffer, 256) == 1 && std::u16string(buffer) == u"/tmp");
    EXPECT_TRUE(PlatGetCurrentFolder(buffer, 4) == 0 && buffer[0] == 0);  // "/tmp" needs 5 with its terminator
    EXPECT_EQ(PlatGetCurrentFolder(buffer, 5), 1);
    ASSERT_TRUE(t.Enter());
    ASSERT_EQ(PlatChangeFolder(u"d\xDCE9j\u00E0"), 0);  // relative, escaped byte
    ASSERT_EQ(PlatGetCurrentFolder(buffer, 256), 1);
    EXPECT_EQ(std::u16string(buffer), std::u16string(t.path.begin(), t.path.end()) + u"/d\xDCE9j\u00E0");
    EXPECT_EQ(PlatChangeFolder(u".."), 0);
    EXPECT_EQ(PlatChangeFolder(u"no such folder"), -1);
}

}  // namespace
