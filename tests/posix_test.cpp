// Tests of the POSIX services: names between bytes and UTF-16, listing order,
// folders and links, whole-file reads and format detection, opening documents
// with xdg-open, and readying fresh memory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "tests/temp_folder.h"

namespace {

// [SECTION] Names

// Valid UTF-8 decodes; each byte of anything else becomes U+DC80..U+DCFF, so
// that every name comes back to the same bytes. Lengths are reported in code
// units and bytes.
TEST(NameText, DecodesUtf8AndEscapesStrayBytesBothWays)
{
    // Two-, three- and four-byte sequences (a surrogate pair), Latin-1, never
    // valid, an overlong slash, encoded surrogates (high, low), past U+10FFFF,
    // cut off at the end, a stray continuation byte.
    const std::pair<std::string, std::u16string> cases[] = {{"\xD0\x9C\xD0\xB8", u"\u041C\u0438"},
        {"a\xE6\x97\xA5", u"a\u65E5"}, {"\xF0\x9F\x93\xB7", u"\U0001F4F7"}, {"caf\xE9.jpg", u"caf\xDCE9.jpg"},
        {"\xFF\xFE", u"\xDCFF\xDCFE"}, {"\xC0\xAF", u"\xDCC0\xDCAF"}, {"\xED\xA0\x80x", u"\xDCED\xDCA0\xDC80x"},
        {"\xED\xB0\x80", u"\xDCED\xDCB0\xDC80"}, {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        {"end\xE6\x97", u"end\xDCE6\xDC97"}, {"\xE6\x97\xA5\x80", u"\u65E5\xDC80"}};
    for (const auto& [bytes, text] : cases)
    {
        size_t wideLength = 0, backLength = 0;
        char16_t* wide = PosixToUtf16(bytes.data(), bytes.size(), &wideLength);
        char* back = PosixToBytes(wide, &backLength);
        EXPECT_TRUE(wide == text && back == bytes && wideLength == text.size() && backLength == bytes.size()) << bytes;
        free(wide), free(back);
    }
}

// [SECTION] Folders and files

typedef std::vector<std::pair<std::u16string, int>> Items;

// Lists the current folder through the platform scan: names and folder flags.
Items Scan()
{
    Items items;
    PlatFolderItem item;
    for (PlatFolderScan* scan = PlatScanFolder(); scan; PlatEndScan(scan), scan = nullptr)
        while (PlatNextItem(scan, &item))
            items.push_back({item.name, item.isDir});
    return items;
}

// NTFS order: dots first, then upper-cased code units (beyond ASCII too), so
// lower-case letters sort before '[' and '_' and case does not separate
// names. A link to a folder is a folder, a broken link is not. A Latin-1
// name is listed with its stray byte escaped, and that name enters the
// folder. The root has no parent item.
TEST(PosixFiles, ScanListsInUpperCasedOrderAndEscapesStrayBytes)
{
    testfs::TempFolder t;
    for (const char* name : {"b.jpg", "A.jpg", "_x", "[y]", "\xC3\xA9", "\xC3\xA9" "b", "\xC3\x89" "a", "a.jpg~",
                             "Zeta", "caf\xE9.jpg"})
        ASSERT_TRUE(t.Write(name, {}));
    ASSERT_TRUE(t.Folder("alpha") && t.Folder("d\xE9j\xC3\xA0") && t.Enter() && symlink("alpha", "link") == 0);
    ASSERT_EQ(symlink("nowhere", "broken"), 0);
    EXPECT_EQ(Scan(), Items({{u".", 1}, {u"..", 1}, {u"A.jpg", 0}, {u"a.jpg~", 0}, {u"alpha", 1}, {u"b.jpg", 0},
                             {u"broken", 0}, {u"caf\xDCE9.jpg", 0}, {u"d\xDCE9j\u00E0", 1}, {u"link", 1},
                             {u"Zeta", 0}, {u"[y]", 0}, {u"_x", 0}, {u"\u00E9", 0}, {u"\u00C9a", 0}, {u"\u00E9b", 0}}));
    ASSERT_EQ(PlatChangeFolder(u"d\xDCE9j\u00E0"), 0);
    const std::u16string here = std::u16string(t.path.begin(), t.path.end()) + u"/d\xDCE9j\u00E0";
    char16_t buffer[256];
    EXPECT_TRUE(PlatGetCurrentFolder(buffer, (int32_t)here.size()) == 0 && buffer[0] == 0);  // no room for the end
    EXPECT_TRUE(PlatGetCurrentFolder(buffer, (int32_t)here.size() + 1) == 1 && buffer == here);
    EXPECT_TRUE(PlatChangeFolder(u"no such folder") == -1 && PlatChangeFolder(u"/") == 0);
    const Items root = Scan();
    EXPECT_TRUE(root.size() > 1 && root[0].first == u"." && root[1].first != u"..");
}

// Nothing that is not a whole readable file under 2 GiB (the length is a
// signed 32-bit count) reads, nor does a pipe block; the format is told from
// the contents, not the name. A name with a stray byte reads the file.
TEST(PosixFiles, ReadsAndDetectionFailCleanly)
{
    testfs::TempFolder t;
    int fd = open(t.At("big.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, (off_t)1 << 31) == 0 && close(fd) == 0);  // sparse: takes no disk
    ASSERT_TRUE(t.Folder("dir.jpg") && mkfifo(t.At("pipe.jpg").c_str(), 0644) == 0 && t.Write("empty.jpg", {}));
    const std::vector<uint8_t> png = testfs::Fixture("x.bmp"), jpeg = testfs::Fixture("left.JPS");
    ASSERT_TRUE(t.Write("x.jpg", {'t', 'e', 'x', 't'}) && t.Write("x.bmp", png) && t.Write("caf\xE9", jpeg));
    ASSERT_TRUE(t.Enter());
    // The name, the length read (-1: refused) and the format (-1 none, 13 PNG).
    const std::tuple<const char16_t*, int32_t, int> cases[] = {{u"missing.jpg", -1, -1}, {u"dir.jpg", -1, -1},
        {u"pipe.jpg", -1, -1}, {u"big.jpg", -1, -1}, {u"x.jpg", 4, -1}, {u"empty.jpg", 0, -1},
        {u"x.bmp", (int32_t)png.size(), 13}, {u"caf\xDCE9", (int32_t)jpeg.size(), 2}};
    for (const auto& [name, want, format] : cases)
    {
        uint8_t* bytes = (uint8_t*)1;
        int32_t length = 7;
        const int read = PlatReadFile(name, &bytes, &length);
        EXPECT_TRUE(read == (want >= 0) && (bytes != nullptr) == read && length == std::max(want, 0) &&
                    PlatDetectImageFormat(name) == format) << testing::PrintToString(name);
        free(read ? bytes : nullptr);
    }
}

// [SECTION] Opening documents

// Answers whether the process has no child left, running or dead.
bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// Returns a file's text once it has n lines, or after 10 s.
std::string WaitForLines(const std::string& file, long n)
{
    std::string text;
    for (int i = 0; i < 1000 && std::count(text.begin(), text.end(), '\n') < n; i++, usleep(10000))
    {
        const std::vector<uint8_t> bytes = testfs::ReadFile(file);
        text.assign(bytes.begin(), bytes.end());
    }
    return text;
}

// An xdg-open first on PATH records a line: its argument, its standard
// streams and its session; then it waits at a FIFO until the test lets it go,
// and says so. The viewer waits for none of them and holds no child; their
// streams lead nowhere, they run in a session of their own, and a leading
// dash is no option.
TEST(OpenDocument, StartsXdgOpenDetachedWithTheDocumentUnchanged)
{
    testfs::TempFolder dir;
    const std::string record = dir.At("record"), gate = dir.At("gate"), path = getenv("PATH");
    const std::string script = "#!/bin/sh\necho \"$1 $(readlink /proc/$$/fd/[012] | tr '\\n' ' ')$(cut -d' ' -f6 "
                               "/proc/$$/stat)\" >> " + record + "\nread line < " + gate + "\necho done >> " + record;
    ASSERT_TRUE(dir.Write("xdg-open", {script.begin(), script.end()}) && mkfifo(gate.c_str(), 0600) == 0);
    ASSERT_EQ(chmod(dir.At("xdg-open").c_str(), 0755), 0);
    setenv("PATH", (dir.path + ":" + path).c_str(), 1);
    PlatOpenDocument(u"/opt/orvale viewer/help \u00e9.html?c=d&e='f'"), PlatOpenDocument(u"-h.html");
    EXPECT_TRUE(NoChildLeft());
    const std::string text = WaitForLines(record, 2);
    for (const char* d : {"./-h.html", "/opt/orvale viewer/help \xC3\xA9.html?c=d&e='f'"})
        EXPECT_NE(text.find(d + std::string(" /dev/null /dev/null /dev/null ")), std::string::npos) << text;
    EXPECT_EQ(text.find(" " + std::to_string(getsid(0)) + "\n"), std::string::npos) << text;
    const int fd = open(gate.c_str(), O_RDWR);  // lets each read its line
    EXPECT_TRUE(fd >= 0 && write(fd, "go\ngo\n", 6) == 6);
    const std::string finished = WaitForLines(record, 4);
    EXPECT_TRUE(std::count(finished.begin(), finished.end(), '\n') == 4 && close(fd) == 0 && NoChildLeft());
    setenv("PATH", "/nonexistent", 1);  // without an xdg-open nothing happens either
    PlatOpenDocument(u"help.html");
    EXPECT_TRUE(NoChildLeft());
    setenv("PATH", path.c_str(), 1);
}

// [SECTION] Fresh memory

// The contents stay as they were, and exactly the block's pages are backed
// afterwards where the kernel populates on request.
TEST(PrepareFreshBlock, KeepsTheContentsAndBacksExactlyTheBlocksPages)
{
    const size_t page = 4096, pages = 16;
    uint8_t* region = (uint8_t*)mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(region, MAP_FAILED);
    memset(region + 5 * page, 0x5A, page);
    PlatPrepareFreshBlock(region + 2 * page + 100, 7 * page);  // the middle of page 2 to the middle of page 9
    PlatPrepareFreshBlock(nullptr, 100), PlatPrepareFreshBlock(region, 0);
    unsigned char resident[pages];
    ASSERT_EQ(mincore(region, pages * page, resident), 0);
    for (size_t i = 0; i < pages - 1; i++)  // page 15 tells whether this kernel populates on request
        EXPECT_TRUE((resident[i] & 1) == (i >= 2 && i <= 9) || madvise(region + 15 * page, page, MADV_POPULATE_WRITE))
            << "page " << i;
    for (size_t i = 0; i < pages * page; i++)
        ASSERT_EQ(region[i], i / page == 5 ? 0x5A : 0) << i;
    munmap(region, pages * page);
}

}  // namespace
