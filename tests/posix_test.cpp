// Tests of the POSIX services: names between bytes and UTF-16, listing order,
// folders and links, whole-file reads and format detection, opening documents
// with xdg-open, drive letters and the folder last visited on each.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_drives.h"
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
        EXPECT_EQ(wide, text) << bytes;
        EXPECT_EQ(back, bytes) << bytes;
        EXPECT_EQ(wideLength, text.size()) << bytes;
        EXPECT_EQ(backLength, bytes.size()) << bytes;
        free(wide), free(back);
    }
}

// [SECTION] Folders and files

// Lists the current folder through the platform scan, folders marked "/".
std::u16string Scan()
{
    std::u16string items;
    PlatFolderScan* scan = PlatScanFolder();
    for (PlatFolderItem item; scan && PlatNextItem(scan, &item);)
        items += item.name + std::u16string(item.isDir ? u"/ " : u" ");
    return PlatEndScan(scan), items;
}

// NTFS order: dots first, then upper-cased code units (beyond ASCII too), so
// lower-case letters sort before '[' and '_' and case does not separate
// names. A link to a folder is a folder, a broken link is not. A Latin-1
// name is listed with its stray byte escaped, and that name enters the
// folder.
TEST(PosixFiles, ScanListsInUpperCasedOrderAndEscapesStrayBytes)
{
    testfs::TempFolder t;
    for (const char* name : {"b.jpg", "A.jpg", "_x", "[y]", "\xC3\xA9", "\xC3\xA9" "b", "\xC3\x89" "a", "a.jpg~",
                             "Zeta", "caf\xE9.jpg"})
        ASSERT_TRUE(t.Write(name, {}));
    ASSERT_TRUE(t.Folder("alpha") && t.Folder("d\xE9j\xC3\xA0") && t.Enter() && symlink("alpha", "link") == 0 &&
                symlink("nowhere", "broken") == 0);
    EXPECT_EQ(Scan(), u"./ ../ A.jpg a.jpg~ alpha/ b.jpg broken caf\xDCE9.jpg d\xDCE9j\u00E0/ link/ Zeta [y] _x \u00E9 "
                      u"\u00C9a \u00E9b ");
    ASSERT_EQ(PlatChangeFolder(u"d\xDCE9j\u00E0"), 0);
    const std::u16string here = std::u16string(t.path.begin(), t.path.end()) + u"/d\xDCE9j\u00E0";
    char16_t buffer[256];
    EXPECT_EQ(PlatGetCurrentFolder(buffer, (int32_t)here.size()), 0);  // no room for the end
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(PlatGetCurrentFolder(buffer, (int32_t)here.size() + 1), 1);
    EXPECT_EQ(buffer, here);
    EXPECT_EQ(PlatChangeFolder(u"no such folder"), -1);
}

// Nothing that is not a whole readable file under 2 GiB (the length is a
// signed 32-bit count) reads whole, nor does a pipe block; a head is read
// from any regular file, however large.
TEST(PosixFiles, ReadsFailCleanly)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Write("big.jpg", {}) && truncate(t.At("big.jpg").c_str(), (off_t)1 << 31) == 0 &&  // sparse
                t.Folder("dir.jpg") && mkfifo(t.At("pipe.jpg").c_str(), 0644) == 0 && t.Write("empty.jpg", {}));
    const std::vector<uint8_t> png = testfs::Fixture("x.bmp");
    ASSERT_TRUE(t.Write("x.jpg", {'t'}) && t.Write("x.bmp", png) && t.Enter());
    // The name, the length read whole and the length of a 16-byte head (-1: refused).
    const std::tuple<const char16_t*, int32_t, int32_t> cases[] = {{u"missing.jpg", -1, -1}, {u"dir.jpg", -1, -1},
        {u"pipe.jpg", -1, -1}, {u"big.jpg", -1, 16}, {u"x.jpg", 1, 1}, {u"empty.jpg", 0, 0},
        {u"x.bmp", (int32_t)png.size(), 16}};
    for (const auto& [name, want, head] : cases)
    {
        uint8_t* bytes = (uint8_t*)1;  // both are set whatever happens
        int32_t length = 7, read = PlatReadFile(name, &bytes, &length);
        uint8_t first[16] = {};
        SCOPED_TRACE(testing::PrintToString(name));
        EXPECT_EQ(read, want >= 0);
        EXPECT_EQ(bytes != nullptr, read);
        EXPECT_EQ(length, std::max(want, 0));
        EXPECT_EQ(PlatReadFileHead(name, first, 16), head);
        EXPECT_TRUE(!read || head <= 0 || memcmp(first, bytes, (size_t)head) == 0);
        free(read ? bytes : nullptr);
    }
}

// [SECTION] Opening documents

// Answers whether the process has no child left, running or dead.
bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// Returns a file's text once it has n lines, or after 10 s.
std::string WaitForLines(const std::string& file, long n)
{
    for (int i = 0;; i++, usleep(10000))
        if (const std::vector<uint8_t> bytes = testfs::ReadFile(file);
            i == 1000 || std::count(bytes.begin(), bytes.end(), '\n') >= n)
            return {bytes.begin(), bytes.end()};
}

// The path rules: going up (the root stays), where a name starts, a picture's
// folder as the start enters it (the root keeps its slash), joining.
TEST(PosixPaths, ParentNameFolderAndJoin)
{
    const std::pair<std::u16string, std::u16string> parents[] = {
        {u"/a/b", u"/a"}, {u"/a", u"/"}, {u"/", u"/"}, {u"/a/b c/d", u"/a/b c"}, {u"name", u"name"}};
    for (auto [path, parent] : parents)
    {
        PlatCutToParent(path.data());
        EXPECT_EQ(std::u16string(path.c_str()), parent);
    }
    // Path, where its name starts, its folder part.
    const std::tuple<const char16_t*, int32_t, std::u16string> files[] = {
        {u"/a/b/p.mpo", 5, u"/a/b"}, {u"/p.mpo", 1, u"/"}, {u"p.mpo", 0, u""}, {u"a/p.mpo", 2, u"a"}};
    for (const auto& [path, start, where] : files)
    {
        char16_t folder[16];
        EXPECT_EQ(PlatNameStart(path), start) << testing::PrintToString(std::u16string(path));
        EXPECT_EQ(PlatFolderPart(path, start, folder, 16), (int32_t)where.size());
        EXPECT_EQ(std::u16string(folder), where);
    }
    char16_t buffer[8];
    EXPECT_EQ(PlatFolderPart(u"/abcdefgh/x", 10, buffer, 8), -1);  // does not fit
    EXPECT_EQ(PlatJoinPath(u"/a", u"b", buffer, 8), 4);
    EXPECT_EQ(std::u16string(buffer), u"/a/b");
    EXPECT_EQ(PlatJoinPath(u"/", u"b", buffer, 8), 2);  // no second slash after the root
    EXPECT_EQ(PlatJoinPath(u"/abc", u"def", buffer, 8), -1);
    EXPECT_EQ(buffer[0], 0);
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
    ASSERT_TRUE(dir.Write("xdg-open", {script.begin(), script.end()}) && mkfifo(gate.c_str(), 0600) == 0 &&
                chmod(dir.At("xdg-open").c_str(), 0755) == 0);
    setenv("PATH", (dir.path + ":" + path).c_str(), 1);
    PlatOpenDocument(u"/opt/orvale viewer/help \u00e9.html?c=d&e='f'"), PlatOpenDocument(u"-h.html");
    EXPECT_TRUE(NoChildLeft());
    const std::string text = WaitForLines(record, 2);
    for (const char* d : {"./-h.html", "/opt/orvale viewer/help \xC3\xA9.html?c=d&e='f'"})
        EXPECT_NE(text.find(d + std::string(" /dev/null /dev/null /dev/null ")), std::string::npos) << text;
    EXPECT_EQ(text.find(" " + std::to_string(getsid(0)) + "\n"), std::string::npos) << text;
    const int fd = open(gate.c_str(), O_RDWR);  // lets each read its line
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "go\ngo\n", 6), 6);
    const std::string finished = WaitForLines(record, 4);
    EXPECT_EQ(std::count(finished.begin(), finished.end(), '\n'), 4) << finished;
    EXPECT_EQ(close(fd), 0);
    EXPECT_TRUE(NoChildLeft());
    setenv("PATH", path.c_str(), 1);
}

// [SECTION] Drive letters

class DrivesTest : public ::testing::Test
{
protected:
    void SetUp() override { PosixForgetVisits(); }
    void TearDown() override { PosixFreeDrives(&map), PosixForgetVisits(); }
    // Returns each letter in use, its place and its type: F fixed, R
    // removable, N network, O optical, M memory.
    std::string Letters() const
    {
        std::string s;
        for (int i = 0; i < kPosixDriveLetters; i++)
            if (map.root[i] || map.type[i] != DRIVE_NO_ROOT_DIR)
                s += std::string(1, (char)('A' + i)) + ":" + (map.root[i] ? map.root[i] : "") + " " +
                     "?-RFNOM?"[std::clamp(map.type[i], 0, 7)] + " ";
        return s;
    }
    testfs::TempFolder tmp;  // puts the current folder back
    PosixDriveMap map = {};
};

TEST_F(DrivesTest, LettersFollowTheMountTable)
{
    // A sysfs tree: disks sda (partition 8:1) and sdc (8:33) fixed, sdb
    // (8:17) and sde (8:65) removable.
    std::string sys = "cd '" + tmp.path + "' && mkdir -p sys/dev/block real home && ln -s real link";
    for (const char* d : {"sda 8:1 0", "sdb 8:17 1", "sdc 8:33 0", "sde 8:65 1"})
        sys += " && set -- " + std::string(d) + " && mkdir -p sys/devices/$1/${1}1" +
               " && echo $3 > sys/devices/$1/removable && ln -s ../../devices/$1/${1}1 sys/dev/block/$2";
    ASSERT_EQ(system(sys.c_str()), 0);
    const std::string home = tmp.At("home"), link = tmp.At("link/"), root = "26 1 254:0 / / rw - ext4 /dev/vda rw\n";
    const std::string table = root + "28 26 0:23 / /tmp rw - tmpfs tmpfs rw\n"
        "29 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n30 26 0:40 / /home/ann/remote rw - fuse.sshfs a@h: rw\n"
        "31 26 0:41 / /srv/photos rw shared:5 - nfs4 s:/p rw\n32 26 8:17 / /media/ann/STICK rw - vfat /dev/sdb1 rw\n"
        "33 26 8:33 / /mnt/backup rw - ext4 /dev/sdc1 rw\n34 26 11:0 / /media/cdrom0 ro - iso9660 /dev/sr0 ro\n"
        "35 26 0:42 / /mnt/ram rw - tmpfs tmpfs rw\n36 26 0:43 / /run/media/ann/My\\040Disk rw - exfat /dev/sdd1 rw\n"
        "39 26 8:65 / /mnt/usbext4 rw - ext4 /dev/sde1 rw\n"
        "42 26 0:47 / /usr/lib/wsl/drivers ro - 9p drivers ro\n45 26 8:1 / /mnt/efi rw - vfat /dev/sda1 rw\n"
        "46 26 8:17 / /opt/stick rw - vfat /dev/sdb1 rw\n47 26 8:33 / /home/ann/disk rw - vfat /dev/sdc1 rw\n"
        "48 26 8:33 / /mnt/stack rw - ext4 /dev/sdc1 rw\n49 48 0:49 / /mnt/stack rw - tmpfs tmpfs rw\n"
        "this line is not a mount\n51 26 0:51 / /mnt/short rw\n";
    std::string shares, toZ = "C:/ F ";  // 40 of them: the letters stop at Z
    for (int i = 100; i < 140; i++)
        shares += "30 26 0:40 / /srv/share" + std::to_string(i) + " rw - nfs srv:/x rw\n",
            toZ += i < 123 ? std::string{(char)('D' + i - 100)} + ":/srv/share" + std::to_string(i) + " N " : "";
    // C: the root, D: home, then volumes ordered by mount point (the topmost
    // of stacked mounts); without a home (none, empty, "/" or relative)
    // volumes start at D:. Home is named by its real path, or as given less
    // trailing slashes; on a share it is a network drive, the share one
    // more; a mount on home itself is no second letter. Empty or broken
    // tables leave the root and home.
    const struct { std::string table; std::vector<const char*> homes; std::string want; } cases[] = {
        {table, {home.c_str()}, "C:/ F D:" + home + " F E:/home/ann/remote N F:/media/ann/STICK R G:/media/cdrom0 O "
         "H:/mnt/backup F I:/mnt/efi F J:/mnt/ram M K:/mnt/stack M L:/mnt/usbext4 R M:/opt/stick R "
         "N:/run/media/ann/My Disk R O:/srv/photos N "},
        {root + "31 26 0:41 / /srv/photos rw - nfs s:/p rw\n", {nullptr, "", "/", "a/b"}, "C:/ F D:/srv/photos N "},
        {"", {link.c_str()}, "C:/ F D:" + tmp.At("real") + " F "},
        {root + "30 26 0:40 / /nethome rw - nfs4 srv:/home rw\n", {"/nethome/ann"},
         "C:/ F D:/nethome/ann N E:/nethome N "},
        {root + "30 26 0:40 / " + home + " rw - nfs4 srv:/home rw\n", {home.c_str()}, "C:/ F D:" + home + " N "},
        {shares, {nullptr}, toZ},
        {"\n\n1 2 3\n1 2 3:4 / /mnt/x rw - \n", {"/nowhere/ann", "/nowhere/ann//"}, "C:/ F D:/nowhere/ann F "}};
    for (const auto& c : cases)
        for (const char* h : c.homes)
        {
            PosixMapDrives(&map, c.table.c_str(), h, tmp.At("sys").c_str());
            EXPECT_EQ(Letters(), c.want) << (h ? h : "no home");
        }
}

TEST_F(DrivesTest, ChangingDriveGoesToTheFolderLastVisitedThere)
{
    // C: the root, D: home, E: a network volume, until a share that sorts
    // before it takes E:; folders are remembered by place, not by letter.
    const std::string home = tmp.At("home"), volume = tmp.At("volume"), other = tmp.At("another");
    ASSERT_EQ(system(("mkdir -p '" + home + "/photos' '" + volume + "/trip' '" + other + "'").c_str()), 0);
    const std::string table = "26 1 254:0 / / rw - ext4 /dev/vda rw\n30 26 0:40 / " + volume + " rw - nfs4 srv:/v rw\n";
    // What is done first (cd, rmdir, or the share mounted), the drive number
    // changed to (1 = A), the result and the current folder after.
    const struct { std::string first; int n; std::string want; } steps[] = {
        {"cd " + home + "/photos", 5, "0 " + volume},  // the first visit goes to the root
        {"cd trip", 5, "0 " + volume + "/trip"},       // the current drive stays
        {"", 4, "0 " + home + "/photos"}, {"", 3, "0 /"}, {"cd " + tmp.path, 4, "0 " + home + "/photos"},
        {"", 3, "0 " + tmp.path}, {"share", 5, "0 " + other}, {"", 6, "0 " + volume + "/trip"},
        {"rmdir " + volume + "/trip", 6, "0 " + volume},  // a folder gone: the root
        // A place gone, unused letters and numbers outside A to Z fail and change nothing.
        {"cd " + home, 4, "0 " + home}, {"rmdir " + volume, 6, "-1 " + home}, {"", 0, "-1 " + home},
        {"", 1, "-1 " + home}, {"", 7, "-1 " + home}, {"", 27, "-1 " + home}};
    PosixMapDrives(&map, table.c_str(), home.c_str(), tmp.path.c_str());
    for (const auto& s : steps)
    {
        const std::string& f = s.first;
        if (f == "share")
            PosixMapDrives(&map, (table + "31 26 0:41 / " + other + " rw - nfs4 srv:/a rw\n").c_str(), home.c_str(),
                           tmp.path.c_str());
        ASSERT_EQ(!f.find("cd ") ? chdir(f.c_str() + 3) : !f.find("rmdir ") ? rmdir(f.c_str() + 6) : 0, 0) << f;
        const int result = PosixChangeDrive(&map, s.n);
        EXPECT_EQ(std::to_string(result) + " " + std::filesystem::current_path().string(), s.want) << f << " " << s.n;
    }
}

}  // namespace
