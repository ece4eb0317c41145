// Tests of the Windows backend: the start-up show command (on every system),
// and under Windows (Wine here) listings with non-ASCII names in the file
// system's order, drives, the program's path and the help page beside it,
// going up to a drive root, the command line and the program's resources.
#include <gtest/gtest.h>

#include "platform/win32/win32_start.h"

// A start that would give SW_FORCEMINIMIZE (11) opens maximised; the rest keep
// the OR with SW_SHOWMAXIMIZED, a shortcut's "minimised" (7) included.
TEST(Win32Start, ShowCommandMaximisesUnlessStartedMinimised)
{
    const int cases[][2] = {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {6, 7}, {7, 7}, {8, 3}, {9, 3}, {10, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(Win32StartShowCommand(c[0]), c[1]) << c[0];
}

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <FreeImage.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/platform.h"
#include "viewer/image_view.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

namespace {

namespace fs = std::filesystem;

std::u16string Cwd()
{
    static char16_t path[kFolderPathCapacity];
    return PlatGetCurrentFolder(path, kFolderPathCapacity) ? path : u"";
}

// Writes a 4 x 4 picture under a wide name through FreeImage's wide names.
bool WritePicture(const wchar_t* name, FREE_IMAGE_FORMAT format)
{
    FIBITMAP* dib = FreeImage_Allocate(4, 4, 24);
    bool ok = FreeImage_SaveU(format, dib, name, 0);
    FreeImage_Unload(dib);
    return ok;
}

// The chain holds what FindFirstFile reports, in its order: ".." and the
// folders, and the files whose contents are pictures, their format told from
// the contents; every name survives, whatever its script.
TEST(Win32Files, ListingKeepsTheFileSystemsOrderAndNames)
{
    const fs::path folder = fs::temp_directory_path() / L"orvale-win32-\u00e9t\u00e9";
    fs::remove_all(folder), fs::create_directories(folder / L"\u65e5\u672c");
    ASSERT_EQ(PlatChangeFolder((const char16_t*)folder.c_str()), 0);
    ASSERT_TRUE(WritePicture(L"b\u00e9.png", FIF_PNG) && WritePicture(L"A\u0416.jps", FIF_JPEG) &&
                WritePicture(L"png.jpg", FIF_PNG) && (std::ofstream(fs::path(L"text.jpg")) << "no").good());
    std::vector<std::u16string> want;
    WIN32_FIND_DATAW d;
    HANDLE find = FindFirstFileW(L"*", &d);
    do
        if (wcscmp(d.cFileName, L".") && wcscmp(d.cFileName, L"text.jpg"))
            want.push_back((const char16_t*)d.cFileName);
    while (FindNextFileW(find, &d));
    FindClose(find);
    static CFolderList list;
    ListFolder(&list);
    std::map<std::u16string, int> formats = {{u"..", -1}, {u"\u65e5\u672c", -1}, {u"b\u00e9.png", FIF_PNG},
                                             {u"A\u0416.jps", FIF_JPEG}, {u"png.jpg", FIF_PNG}};
    std::vector<std::u16string> got;
    for (CFileEntry* e = list.head; e; e = e->next)
    {
        got.push_back(e->name);
        EXPECT_EQ(e->isDir ? -1 : e->format, formats[e->name]);
    }
    EXPECT_TRUE(got == want && want.size() == 5 && std::u16string(list.path) == (const char16_t*)folder.c_str());
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    EXPECT_TRUE(PlatReadFile(u"b\u00e9.png", &bytes, &length) && length == (int32_t)fs::file_size(L"b\u00e9.png"));
    free(bytes);
    EXPECT_TRUE(!PlatReadFile(u"\u65e5\u672c", &bytes, &length) && !bytes && PlatDetectImageFormat(u"none.png") == -1);
    EXPECT_TRUE(PlatGetPathKind(u"\u65e5\u672c") == PLAT_PATH_FOLDER && PlatGetPathKind(u"png.jpg") == PLAT_PATH_FILE &&
                PlatGetPathKind(u"none") == PLAT_PATH_MISSING && PlatGetPathKind(u"") == PLAT_PATH_MISSING);
    ClearFolder(&list), PlatChangeFolder(u"C:\\"), fs::remove_all(folder);
}

// C: is a fixed disk with a root, a letter out of range none; making a drive
// current goes there, and a drive that is not there changes nothing.
TEST(Win32Drives, TypesAndChangingDrive)
{
    EXPECT_TRUE(PlatGetDriveType(2) == DRIVE_FIXED && PlatGetDriveType(26) == DRIVE_NO_ROOT_DIR &&
                PlatGetDriveType(-1) == DRIVE_NO_ROOT_DIR);
    int missing = 25;
    while (missing > 2 && PlatGetDriveType(missing) != DRIVE_NO_ROOT_DIR)
        missing--;
    ASSERT_EQ(PlatChangeFolder(u"C:\\windows"), 0);
    EXPECT_EQ(PlatChangeDrive(missing + 1), -1);
    EXPECT_EQ(Cwd(), u"C:\\windows");
    EXPECT_TRUE(PlatChangeDrive(26) == 0 && Cwd().substr(0, 3) == u"Z:\\" && PlatChangeDrive(3) == 0 &&
                Cwd().substr(0, 3) == u"C:\\");
}

// The program's path is the module's; a buffer it does not fit leaves it
// empty. The help page's path needs room for "help.html" after the folder:
// without it, the help page is looked for in the current folder.
TEST(Win32Paths, ProgramPathAndTheHelpPageBesideIt)
{
    wchar_t module[MAX_PATH];
    const int32_t n = (int32_t)GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::u16string self = (const char16_t*)module;
    char16_t buffer[MAX_PATH + 16];
    EXPECT_TRUE(PlatGetProgramPath(buffer, MAX_PATH) == n && buffer == self && self.ends_with(u"\\win32_test.exe"));
    EXPECT_TRUE(PlatGetProgramPath(buffer, n) == 0 && buffer[0] == 0);
    const std::u16string help = self.substr(0, self.rfind(u'\\') + 1) + u"help.html";
    EXPECT_TRUE(HelpPagePath(buffer, n + 10) == (int32_t)help.size() && buffer == help);
    EXPECT_TRUE(HelpPagePath(buffer, n + 9) == 9 && buffer == std::u16string(u"help.html"));
}

// ".." from a folder of a drive's root enters the root with its backslash; a
// picture named by its full path (either separator) opens in its folder,
// also when that is a drive's root.
TEST(Win32Paths, UpToTheDriveRootAndPicturesNamedByTheirPath)
{
    static CViewer v;
    InitViewer(&v);
    ASSERT_EQ(PlatChangeFolder(u"C:\\windows"), 0);
    ListFolder(&v.folder);
    ASSERT_EQ(std::u16string(v.folder.head->name), u"..");
    v.selected = 0, v.folder.current = v.folder.head;
    EnterSelectedFolder(&v);
    EXPECT_EQ(Cwd(), u"C:\\");
    ASSERT_TRUE(WritePicture(L"C:\\o.png", FIF_PNG) && WritePicture(L"C:\\windows\\o.png", FIF_PNG));
    const std::pair<const char16_t*, std::u16string> cases[] = {
        {u"C:\\o.png", u"C:\\"}, {u"C:/o.png", u"C:\\"}, {u"C:\\windows/o.png", u"C:\\windows"}};
    for (const auto& [path, where] : cases)
    {
        ClearFolder(&v.folder), InitViewer(&v), PlatChangeFolder(u"C:\\users");
        EXPECT_TRUE(StartFromArgument(&v, path) == kStartPicture && v.selected >= 0 && Cwd() == where) << where.size();
    }
    ClearFolder(&v.folder), fs::remove(L"C:\\o.png"), fs::remove(L"C:\\windows\\o.png");
}

// Arguments split as Explorer quotes them (ctest passes "two words" and x).
TEST(Win32CommandLine, QuotedArgumentsKeepTheirBlanks)
{
    char16_t buffer[32];
    EXPECT_TRUE(PlatGetArgument(1, buffer, 32) == 9 && buffer == std::u16string(u"two words"));
    EXPECT_TRUE(PlatGetArgument(2, buffer, 32) == 1 && PlatGetArgument(3, buffer, 32) == -1 &&
                PlatGetArgument(1, buffer, 9) == -1);
}

// The icon group is there by the name the window class asks for and by its
// id, each of its nine entries (48, 32, 16 pixels at 4, 8, 24 bits) naming the
// image it describes; the manifest runs the program as invoked.
TEST(Win32Resources, IconGroupByNameAndIdAndTheManifest)
{
    for (const wchar_t* group : {(const wchar_t*)L"IDI_ICON1", (const wchar_t*)MAKEINTRESOURCEW(101)})
    {
        HRSRC found = FindResourceW(nullptr, group, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
        ASSERT_TRUE(found);
        const BYTE* directory = (const BYTE*)LockResource(LoadResource(nullptr, found));
        ASSERT_EQ(*(const WORD*)(directory + 4), 9);
        std::set<std::pair<int, int>> seen;
        for (const BYTE* e = directory + 6; e < directory + 6 + 9 * 14; e += 14)  // GRPICONDIRENTRY
        {
            HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(*(const WORD*)(e + 12)), MAKEINTRESOURCEW(3));
            ASSERT_TRUE(image);
            const BITMAPINFOHEADER* h = (const BITMAPINFOHEADER*)LockResource(LoadResource(nullptr, image));
            EXPECT_TRUE(h->biWidth == e[0] && h->biHeight == 2 * e[0] && h->biBitCount == *(const WORD*)(e + 6));
            if (e[0] % 16 == 0 && e[0] <= 48 && (h->biBitCount == 4 || h->biBitCount == 8 || h->biBitCount == 24))
                seen.insert({e[0], h->biBitCount});
        }
        EXPECT_EQ(seen.size(), 9u);
    }
    EXPECT_TRUE(LoadIconW(GetModuleHandleW(nullptr), L"IDI_ICON1"));
    HRSRC manifest = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_TRUE(manifest);
    std::string text((const char*)LockResource(LoadResource(nullptr, manifest)), SizeofResource(nullptr, manifest));
    EXPECT_NE(text.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
}

}  // namespace
#endif
