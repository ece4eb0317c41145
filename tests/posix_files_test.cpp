// Tests of the POSIX folder and file services: listing order, folders and
// links, names that are not UTF-8, whole-file reads and format detection.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/temp_folder.h"

namespace {

struct Item
{
    std::u16string name;
    int isDir;
};

// Lists the current folder through the platform scan.
std::vector<Item> Scan()
{
    std::vector<Item> items;
    PlatFolderScan* scan = PlatScanFolder();
    if (!scan)
        return items;
    PlatFolderItem item;
    while (PlatNextItem(scan, &item))
        items.push_back({item.name, item.isDir});
    PlatEndScan(scan);
    return items;
}

const std::vector<uint8_t> kSomeBytes = {1, 2, 3};

// NTFS order: dots first, then upper-cased code units, so lower-case letters
// sort before '[' and '_', and case does not separate names.
TEST(PosixFiles, ScanReportsDotsFirstThenUpperCasedOrder)
{
    testfs::TempFolder t;
    for (const char* name : {"b.jpg", "A.jpg", "_x", "[y]", "\xC3\xA9", "a.jpg~", "Zeta", "-dash"})
        ASSERT_TRUE(t.Write(name, kSomeBytes));
    ASSERT_TRUE(t.Folder("alpha"));
    ASSERT_TRUE(t.Folder("zz"));
    ASSERT_TRUE(t.Enter());
    std::vector<Item> items = Scan();
    const Item expected[] = {{u".", 1},     {u"..", 1},    {u"-dash", 0}, {u"A.jpg", 0},
                             {u"a.jpg~", 0}, {u"alpha", 1}, {u"b.jpg", 0}, {u"Zeta", 0},
                             {u"zz", 1},    {u"[y]", 0},   {u"_x", 0},    {u"\u00E9", 0}};
    ASSERT_EQ(items.size(), std::size(expected));
    for (size_t i = 0; i < items.size(); i++)
    {
        EXPECT_TRUE(items[i].name == expected[i].name) << i;
        EXPECT_EQ(items[i].isDir, expected[i].isDir) << i;
    }
}

// Letters beyond ASCII are upper-cased too: e-acute sorts with E-acute.
TEST(PosixFiles, ScanUpperCasesBeyondAscii)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Write("\xC3\xA9" "b", kSomeBytes));  // "éb"
    ASSERT_TRUE(t.Write("\xC3\x89" "a", kSomeBytes));  // "Éa"
    ASSERT_TRUE(t.Enter());
    std::vector<Item> items = Scan();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[2].name == u"\u00C9a");
    EXPECT_TRUE(items[3].name == u"\u00E9b");
}

TEST(PosixFiles, RootHasNoParentItem)
{
    testfs::TempFolder t;  // puts the current folder back afterwards
    ASSERT_EQ(PlatChangeFolder(u"/"), 0);
    std::vector<Item> items = Scan();
    ASSERT_FALSE(items.empty());
    EXPECT_TRUE(items[0].name == u".");
    for (const Item& item : items)
        EXPECT_FALSE(item.name == u"..");
}

TEST(PosixFiles, LinkToFolderIsAFolderBrokenLinkIsNot)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Folder("real"));
    ASSERT_EQ(symlink("real", t.At("link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", t.At("broken").c_str()), 0);
    ASSERT_TRUE(t.Enter());
    std::vector<Item> items = Scan();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_TRUE(items[2].name == u"broken");
    EXPECT_EQ(items[2].isDir, 0);
    EXPECT_TRUE(items[3].name == u"link");
    EXPECT_EQ(items[3].isDir, 1);
    EXPECT_EQ(items[4].isDir, 1);
}

// A Latin-1 name is listed with its stray byte escaped, and the escaped name
// opens the very same file.
TEST(PosixFiles, NameThatIsNotUtf8ListsAndOpens)
{
    testfs::TempFolder t;
    std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
    ASSERT_FALSE(jpeg.empty());
    ASSERT_TRUE(t.Write("caf\xE9.jpg", jpeg));
    ASSERT_TRUE(t.Enter());
    std::vector<Item> items = Scan();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[2].name == u"caf\xDCE9.jpg");
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    ASSERT_EQ(PlatReadFile(items[2].name.c_str(), &bytes, &length), 1);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + length), jpeg);
    free(bytes);
    EXPECT_EQ(PlatDetectImageFormat(items[2].name.c_str()), 2);  // JPEG
}

TEST(PosixFiles, ReadFileFailsCleanly)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Folder("folder"));
    ASSERT_EQ(mkfifo(t.At("pipe.jpg").c_str(), 0644), 0);
    ASSERT_TRUE(t.Write("empty", {}));
    ASSERT_TRUE(t.Enter());
    for (const char16_t* name : {u"missing.jpg", u"folder", u"pipe.jpg"})
    {
        uint8_t* bytes = (uint8_t*)1;
        int32_t length = 7;
        EXPECT_EQ(PlatReadFile(name, &bytes, &length), 0);
        EXPECT_EQ(bytes, nullptr);
        EXPECT_EQ(length, 0);
    }
    uint8_t* bytes = nullptr;
    int32_t length = 7;
    ASSERT_EQ(PlatReadFile(u"empty", &bytes, &length), 1);
    EXPECT_NE(bytes, nullptr);
    EXPECT_EQ(length, 0);
    free(bytes);
}

// 2 GiB does not fit the signed 32-bit length: refused before anything is read.
TEST(PosixFiles, ReadFileRefusesTwoGibibytes)
{
    testfs::TempFolder t;
    int fd = open(t.At("big.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (off_t)1 << 31), 0);  // sparse: takes no disk
    close(fd);
    ASSERT_TRUE(t.Enter());
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    EXPECT_EQ(PlatReadFile(u"big.jpg", &bytes, &length), 0);
    EXPECT_EQ(bytes, nullptr);
}

TEST(PosixFiles, DetectsFormatFromContentsNotName)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Write("x.bmp", testfs::Fixture("x.bmp")));  // a PNG
    ASSERT_TRUE(t.Write("x.jpg", {'t', 'e', 'x', 't', '\n'}));
    ASSERT_TRUE(t.Write("empty.jpg", {}));
    ASSERT_EQ(mkfifo(t.At("pipe.jpg").c_str(), 0644), 0);
    ASSERT_TRUE(t.Folder("dir.jpg"));
    ASSERT_TRUE(t.Enter());
    EXPECT_EQ(PlatDetectImageFormat(u"x.bmp"), 13);  // PNG
    EXPECT_EQ(PlatDetectImageFormat(u"x.jpg"), -1);
    EXPECT_EQ(PlatDetectImageFormat(u"empty.jpg"), -1);
    EXPECT_EQ(PlatDetectImageFormat(u"pipe.jpg"), -1);  // and does not block
    EXPECT_EQ(PlatDetectImageFormat(u"dir.jpg"), -1);
    EXPECT_EQ(PlatDetectImageFormat(u"missing.jpg"), -1);
}

TEST(PosixFiles, CurrentFolderRoundTripsAndRespectsCapacity)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Folder("d\xE9j\xC3\xA0"));  // a stray byte, then valid UTF-8
    ASSERT_EQ(PlatChangeFolder(u"/tmp"), 0);
    char16_t buffer[256];
    ASSERT_EQ(PlatGetCurrentFolder(buffer, 256), 1);
    EXPECT_TRUE(std::u16string(buffer) == u"/tmp");
    EXPECT_EQ(PlatGetCurrentFolder(buffer, 4), 0);  // "/tmp" needs 5 with its terminator
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(PlatGetCurrentFolder(buffer, 5), 1);

    ASSERT_TRUE(t.Enter());
    ASSERT_EQ(PlatChangeFolder(u"d\xDCE9j\u00E0"), 0);  // relative, escaped byte
    ASSERT_EQ(PlatGetCurrentFolder(buffer, 256), 1);
    std::u16string path = buffer;
    EXPECT_TRUE(path.size() > 6 && path.substr(path.size() - 5) == u"/d\xDCE9j\u00E0");
    EXPECT_EQ(PlatChangeFolder(u".."), 0);
    EXPECT_EQ(PlatChangeFolder(u"no such folder"), -1);
}

}  // namespace
