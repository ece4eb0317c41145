// Tests of the Windows backend: the start-up show command (on every system),
// and under Windows (Wine here) listings with non-ASCII names in the file
// system's order, full paths and their extended form, drives and the folder
// each remembers, the program's path and the help page beside it, going up
// to a drive root, the command line, the program's resources and the
// picture types the installer registers.
#include <gtest/gtest.h>

#include "platform/win32/win32_start.h"

// Only a start asked to be minimised ends minimised; every other one that the OR
// with SW_SHOWMAXIMIZED would minimise opens maximised.
TEST(Win32Start, ShowCommandMaximisesUnlessStartedMinimised)
{
    const int cases[][2] = {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 7}, {7, 7}, {8, 3}, {9, 3}, {10, 3}, {11, 11}};
    for (const auto& c : cases)
        EXPECT_EQ(Win32StartShowCommand(c[0]), c[1]) << c[0];
}

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <FreeImage.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/thumb_cache.h"
#include "platform/platform.h"
#include "platform/win32/win32_paths.h"
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
    static FIBITMAP* dib = FreeImage_Allocate(4, 4, 24);  // kept for the run
    return FreeImage_SaveU(format, dib, name, 0);
}

// The chain holds what FindFirstFile reports, in its order: ".." and the
// folders, and the files whose contents are pictures, their format told from
// the contents; every name survives, whatever its script, and reads back.
TEST(Win32Files, ListingKeepsTheFileSystemsOrderAndNames)
{
    const fs::path folder = fs::temp_directory_path() / L"orvale-win32-\u00e9t\u00e9";
    fs::remove_all(folder), fs::create_directories(folder / L"\u65e5\u672c");
    ASSERT_EQ(PlatChangeFolder((const char16_t*)folder.c_str()), 0);
    ASSERT_TRUE(WritePicture(L"b\u00e9.png", FIF_PNG) && WritePicture(L"A\u0416.jps", FIF_JPEG) &&
                WritePicture(L"png.jpg", FIF_PNG) && (std::ofstream(fs::path(L"text.jpg")) << "no").good());
    std::vector<std::u16string> want, got;
    WIN32_FIND_DATAW d;
    for (HANDLE find = FindFirstFileW(L"*", &d); find != INVALID_HANDLE_VALUE && FindNextFileW(find, &d);)
        if (wcscmp(d.cFileName, L"text.jpg"))
            want.push_back((const char16_t*)d.cFileName);  // after ".", which comes first
    static CFolderList list;
    ListFolder(&list);
    std::map<std::u16string, int> formats = {{u"..", -1}, {u"\u65e5\u672c", -1}, {u"b\u00e9.png", FIF_PNG},
                                             {u"A\u0416.jps", FIF_JPEG}, {u"png.jpg", FIF_PNG}};
    for (int32_t i = 0; i < list.count; i++)
        got.push_back(list.entries[i]->name), formats[list.entries[i]->name] -= list.entries[i]->isDir ? -1 : list.entries[i]->format;
    EXPECT_TRUE(got == want && want.size() == 5 && std::u16string(list.path) == (const char16_t*)folder.c_str());
    EXPECT_TRUE(std::all_of(formats.begin(), formats.end(), [](auto& f) { return f.second == 0; }));
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    EXPECT_TRUE(PlatReadFile(u"b\u00e9.png", &bytes, &length) && length == (int32_t)fs::file_size(L"b\u00e9.png"));
    uint8_t head[8];
    EXPECT_EQ(PlatReadFileHead(u"b\u00e9.png", head, 8), 8);
    EXPECT_EQ(memcmp(head, bytes, 8), 0);
    EXPECT_EQ(PlatReadFileHead(u"\u65e5\u672c", head, 8), -1);  // a folder
    free(bytes);
    ClearFolder(&list), PlatChangeFolder(u"C:\\"), fs::remove_all(folder);
}

// Each name the program or a user may pass, resolved against the current
// folder C:\windows, and the extended form the file calls get.
TEST(Win32Paths, FullPathsAndTheirExtendedForm)
{
    ASSERT_EQ(PlatChangeFolder(u"C:\\windows"), 0);
    const wchar_t* cases[][3] = {
        // name, full path, extended form; the fault each row catches
        {L"system32\\.\\x", L"C:\\windows\\system32\\x", L"\\\\?\\C:\\windows\\system32\\x"},  // not joined
        {L"..\\..\\..\\users", L"C:\\users", L"\\\\?\\C:\\users"},  // ".." above the root
        {L"/users/x", L"C:\\users\\x", L"\\\\?\\C:\\users\\x"},  // rooted, slashes
        {L"C:x", L"C:\\windows\\x", L"\\\\?\\C:\\windows\\x"},  // the drive's folder lost
        {L"c:\\", L"c:\\", L"\\\\?\\c:\\"},  // a root loses its backslash
        {L"pair. ", L"C:\\windows\\pair. ", L"\\\\?\\C:\\windows\\pair. "},  // trailing dot, space trimmed
        {L"\\\\srv\\share\\a\\..\\b", L"\\\\srv\\share\\b", L"\\\\?\\UNC\\srv\\share\\b"},  // a share
        {L"\\\\?\\UNC\\srv\\share\\..", L"\\\\srv\\share\\", L"\\\\?\\UNC\\srv\\share\\"},  // above a share
        {L"\\\\?\\C:\\x\\y.", L"C:\\x\\y.", L"\\\\?\\C:\\x\\y."},  // an extended name
        {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"},  // a device
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Win32FullPath(c[0]), c[1]) << fs::path(c[0]).string();
        EXPECT_EQ(Win32SystemPath(c[0]), c[2]) << fs::path(c[0]).string();
    }
}

// A thread starts, runs its function and is joined; the process may use a CPU
// at least.
TEST(Win32System, ThreadsAndCpus)
{
    int ran = 0;
    PlatThread* thread = PlatStartThread([](void* flag) { *(int*)flag = 1; }, &ran);
    ASSERT_NE(thread, nullptr);
    PlatJoinThread(thread);
    EXPECT_EQ(ran, 1);
    EXPECT_GE(PlatUsableCpus(), 1);
}

// C: is a fixed disk, a letter out of range none; making a drive current goes
// there, to the folder it remembers, a drive that is not there changes nothing. The program's path is the
// module's, or none where it does not fit; the help page's path needs room
// for "help.html" after the folder, else it is looked for in the current
// folder. Arguments split as Explorer quotes them (ctest passes "two words" x).
TEST(Win32System, DrivesProgramPathHelpPageAndArguments)
{
    EXPECT_TRUE(PlatGetDriveType(2) == DRIVE_FIXED && PlatGetDriveType(26) == DRIVE_NO_ROOT_DIR &&
                PlatGetDriveType(-1) == DRIVE_NO_ROOT_DIR);
    int missing = 25;
    for (; missing > 2 && PlatGetDriveType(missing) != DRIVE_NO_ROOT_DIR; missing--) {}
    ASSERT_EQ(PlatChangeFolder(u"C:\\windows"), 0);
    EXPECT_TRUE(PlatChangeDrive(missing + 1) == -1 && Cwd() == u"C:\\windows");
    EXPECT_TRUE(PlatChangeDrive(26) == 0 && Cwd().substr(0, 3) == u"Z:\\" && PlatChangeDrive(3) == 0 &&
                Cwd() == u"C:\\windows");
    wchar_t module[MAX_PATH];
    const int32_t n = (int32_t)GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::u16string self = (const char16_t*)module, help = self.substr(0, self.rfind(u'\\') + 1) + u"help.html";
    char16_t buffer[MAX_PATH + 16];
    EXPECT_TRUE(PlatGetProgramPath(buffer, MAX_PATH) == n && buffer == self && self.ends_with(u"\\win32_test.exe"));
    EXPECT_TRUE(PlatGetProgramPath(buffer, n) == 0 && buffer[0] == 0);
    EXPECT_TRUE(HelpPagePath(buffer, n + 10) == (int32_t)help.size() && buffer == help);
    EXPECT_TRUE(HelpPagePath(buffer, n + 9) == 9 && buffer == std::u16string(u"help.html"));
    EXPECT_TRUE(PlatGetArgument(1, buffer, 32) == 9 && buffer == std::u16string(u"two words"));
    EXPECT_TRUE(PlatGetArgument(2, buffer, 32) == 1 && PlatGetArgument(3, buffer, 32) == -1 &&
                PlatGetArgument(1, buffer, 9) == -1);
}

// The path rules of Windows: up to a drive's root, where a name starts (after
// either separator or "C:"), a picture's folder (roots keep their separator,
// "C:" stays the drive's current folder), joining.
TEST(Win32Paths, ParentNameFolderAndJoin)
{
    const std::pair<std::u16string, std::u16string> parents[] = {
        {u"C:\\a\\b", u"C:\\a"}, {u"C:\\a", u"C:\\"}, {u"C:\\", u"C:\\"}, {u"C:/a/b", u"C:/a"}};
    for (auto [path, parent] : parents)
    {
        PlatCutToParent(path.data());
        EXPECT_EQ(std::u16string(path.c_str()), parent);
    }
    const std::tuple<const char16_t*, int32_t, std::u16string> files[] = {
        {u"C:\\a\\p.mpo", 5, u"C:\\a"}, {u"C:\\p.mpo", 3, u"C:\\"}, {u"C:/p.mpo", 3, u"C:/"},
        {u"C:p.mpo", 2, u"C:"}, {u"p.mpo", 0, u""}, {u"a/b\\p.mpo", 4, u"a/b"}};
    for (const auto& [path, start, where] : files)
    {
        char16_t folder[16];
        EXPECT_EQ(PlatNameStart(path), start);
        EXPECT_EQ(PlatFolderPart(path, start, folder, 16), (int32_t)where.size());
        EXPECT_EQ(std::u16string(folder), where);
    }
    char16_t buffer[16];
    EXPECT_EQ(PlatJoinPath(u"C:\\a", u"b", buffer, 16), 6);
    EXPECT_EQ(std::u16string(buffer), u"C:\\a\\b");
    EXPECT_EQ(PlatJoinPath(u"C:\\", u"b", buffer, 16), 4);
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
    ASSERT_EQ(std::u16string(v.folder.entries[0]->name), u"..");
    v.selected = 0;
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

// The cache's folder is under LOCALAPPDATA, made when missing; a picture's
// stamp counts from 1970 (Windows counts from 1601); a record stored cold is
// found warm, holding what the load committed, and marked used; a prune to
// nothing removes it.
TEST(Win32Cache, FolderStampRecordAndPrune)
{
    const fs::path home = fs::temp_directory_path() / L"orvale-win32-cache-\u00e9t\u00e9";
    fs::remove_all(home), fs::create_directories(home / L"pictures");
    SetEnvironmentVariableW(L"LOCALAPPDATA", home.c_str());  // this process only
    static CThumbCache cache;
    ASSERT_EQ(OpenThumbCache(&cache, nullptr), 1);
    EXPECT_EQ(std::u16string(cache.folder), (home / L"Orvale Viewer" / L"cache").u16string());
    ASSERT_TRUE(PlatChangeFolder((const char16_t*)(home / L"pictures").c_str()) == 0 && WritePicture(L"p\u00e9.png", FIF_PNG));
    fs::last_write_time(L"p\u00e9.png", fs::last_write_time(L"p\u00e9.png") - std::chrono::hours(1));
    static CFolderList list;
    ListFolder(&list);
    CThumbSource source;
    ASSERT_EQ(StampThumbSource(&source, list.path, list.entries[1]->name, list.entries[1]->format, list.entries[1]->flat), 1);
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_TRUE(source.key.stamp.size == fs::file_size(L"p\u00e9.png") && std::abs(source.key.stamp.modifiedNs / 1000000000 - (now - 3600)) < 60);
    CFileEntry loaded = *list.entries[1], found = loaded;
    FIBITMAP *primary = nullptr, *secondary = nullptr;
    LoadEntryImage(&loaded, 1, &primary, &secondary);
    CThumbFields fields = {loaded.width, loaded.height, loaded.format, loaded.flat, loaded.loadFailed}, back;
    EXPECT_EQ(StoreThumbIfUnchanged(&cache, &source.key, &fields, &loaded.thumb[0][0][0][0]), 1);
    fs::path record;  // the only file in the cache
    for (const auto& f : fs::recursive_directory_iterator(home / L"Orvale Viewer" / L"cache"))
        record = f.is_regular_file() ? f.path() : record;
    fs::last_write_time(record, fs::file_time_type::clock::now() - std::chrono::hours(2));
    EXPECT_EQ(FindThumbRecord(&cache, &source.key, &back, &found.thumb[0][0][0][0]), 1);
    EXPECT_GT(fs::last_write_time(record), fs::file_time_type::clock::now() - std::chrono::minutes(10)) << "a hit not marked as a use";
    CommitThumbRecord(&found, &back, &found.thumb[0][0][0][0]);
    EXPECT_EQ(memcmp(&loaded, &found, sizeof(CFileEntry)), 0);
    EXPECT_TRUE(PruneThumbCache(&cache, 0, nullptr) == 0 && FindThumbRecord(&cache, &source.key, &back, &found.thumb[0][0][0][0]) == 0);
    FreeThumbSource(&source);
    ClearFolder(&list), PlatChangeFolder(u"C:\\"), fs::remove_all(home);
}

// The icon group is there by the name the window class asks for and by its
// id, its nine entries (48, 32, 16 pixels at 4, 8, 24 bits) naming the images
// they describe; the manifest runs the program as invoked, never stretched,
// aware of long paths.
TEST(Win32Resources, IconGroupByNameAndIdAndTheManifest)
{
    auto resource = [](const wchar_t* name, int type) {
        HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(type));
        return std::string(found ? (const char*)LockResource(LoadResource(nullptr, found)) : "",
                           found ? SizeofResource(nullptr, found) : 0);
    };
    for (const wchar_t* group : {(const wchar_t*)L"IDI_ICON1", (const wchar_t*)MAKEINTRESOURCEW(101)})
    {
        const std::string directory = resource(group, 14);  // RT_GROUP_ICON, GRPICONDIRENTRY from byte 6
        std::string images;
        for (size_t e = 6; e + 14 <= directory.size(); e += 14)
        {
            std::string image = resource(MAKEINTRESOURCEW(*(const WORD*)&directory[e + 12]), 3);  // RT_ICON
            const BITMAPINFOHEADER* h = (const BITMAPINFOHEADER*)image.data();
            if (image.size() > 40 && h->biWidth == (uint8_t)directory[e] && h->biHeight == 2 * h->biWidth &&
                h->biBitCount == *(const WORD*)&directory[e + 6])
                images += std::to_string(h->biWidth) + "/" + std::to_string(h->biBitCount) + " ";
        }
        EXPECT_EQ(images, "48/4 48/8 48/24 32/4 32/8 32/24 16/4 16/8 16/24 ");
    }
    EXPECT_TRUE(LoadIconW(GetModuleHandleW(nullptr), L"IDI_ICON1"));
    const std::string manifest = resource(MAKEINTRESOURCEW(1), 24);
    EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor<"), std::string::npos);
    EXPECT_NE(manifest.find("longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<"),
              std::string::npos);
}

// Every extension of a format FreeImage reads in this build is offered by
// the installer (tools/build/picture_types.txt), and the stereo types are ours.
TEST(Win32Installer, PictureTypesCoverWhatTheProgramReads)
{
    std::map<std::string, std::string> listed;
    std::ifstream list(ORVALE_PICTURE_TYPES);
    for (std::string line; std::getline(list, line);)
        if (line.size() > 1 && line[0] == '.')
            listed[line.substr(1, line.find(' ') - 1)] = line.find(" stereo") != std::string::npos ? "stereo" : "";
    std::string missing;
    for (int f = 0; f < FreeImage_GetFIFCount(); f++)
    {
        std::string exts = std::string(FreeImage_GetFIFExtensionList((FREE_IMAGE_FORMAT)f)) + ",";
        for (size_t at = 0, end; FreeImage_FIFSupportsReading((FREE_IMAGE_FORMAT)f) && at < exts.size(); at = end + 1)
            if (!listed.count(exts.substr(at, (end = exts.find(',', at)) - at)))
                missing += exts.substr(at, end - at) + " ";
    }
    EXPECT_EQ(missing, "");
    EXPECT_TRUE(listed["mpo"] == "stereo" && listed["jps"] == "stereo" && listed["jpg"].empty() && listed.size() > 30);
}

}  // namespace
#endif
