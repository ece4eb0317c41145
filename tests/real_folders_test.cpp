// The viewer against real folders: where it starts from its first argument,
// and folders that change under it, where every pass, tick and click must end
// with a defined outcome and nothing may block.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <functional>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "platform/posix/posix_text.h"
#include "tests/temp_folder.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = ORVALE_FIXTURES, kPicture = kFixtures / "flat_100.png";

// The UTF-16 the platform hands over for a name of arbitrary bytes.
std::u16string Wide(const std::string& bytes)
{
    char16_t* text = PosixToUtf16(bytes.data(), bytes.size(), nullptr);
    const std::u16string out(text);
    return free(text), out;
}

// Starts the viewer in dir on the headless host: the first pass lists it.
void Start(const fs::path& dir)
{
    HeadlessReset();
    InitViewer(&gViewer);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 0, 640, 480);
    fs::current_path(dir);
    HeadlessSend(WM_PAINT, 0, 0);
}

// Returns the entry with the given UTF-8 name, or null.
CFileEntry* Entry(const std::string& name, int32_t* index = nullptr)
{
    for (int32_t i = 0; i < gViewer.folder.count; i++)
        if (CFileEntry* e = gViewer.folder.entries[i]; fs::path(std::u16string(e->name)).string() == name)
            return index ? (*index = i, e) : e;
    return nullptr;
}

// Clicks the named cell, as the pass's hit test would select it; the pass
// enters a folder and lists it.
void Click(const std::string& name)
{
    Entry(name, &gViewer.selected);
    HeadlessSend(WM_PAINT, 0, 0);
}

// Ticks until one makes a thumbnail (workers may need a moment) or none is
// pending.
void Tick()
{
    const int before = HeadlessPresentCount();
    auto pending = [] {
        for (int32_t i = 0; i < gViewer.folder.count; i++)
            if (gViewer.folder.entries[i]->thumbPending)
                return true;
        return false;
    };
    for (int k = 0; k < 500 && HeadlessPresentCount() == before && pending(); k++)
        HeadlessSend(WM_TIMER, 13, 0), usleep(k ? 10000 : 0);
}

// Answers whether the named entry shows the failure thumbnail.
bool Failed(const std::string& name)
{
    const CFileEntry* e = Entry(name);
    return e && e->loadFailed && e->thumb[0][0][0][2] == 0xFF && e->thumb[1][95][191][0] == 0x16;
}

}  // namespace

// [SECTION] Folders changing under the viewer

// Each case makes the shown folder, changes it once it is listed, ticks or
// clicks, and names the defined outcome.
TEST(HostileFolders, EveryCaseEndsDefined)
{
    testfs::TempFolder t;
    const fs::path root = t.path, dir = root / "dir";
    using Step = std::function<void(const fs::path&)>;
    const Step picture = [](auto d) { fs::copy_file(kPicture, d / "a.png"); }, nothing = [](auto) {};
    std::string longName(251, 'x');
    longName.replace(0, 6, "\xC3\xA9\xC3\xA9\xC3\xA9");  // 255 bytes with ".png", not all ASCII
    longName += ".png";
    const struct { const char* what; Step before, during; std::function<void()> act; std::function<bool()> ends; }
        cases[] = {
        {"removed before its thumbnail", picture, [](auto d) { fs::remove(d / "a.png"); }, Tick,
         [] { return Failed("a.png"); }},
        {"truncated before its thumbnail", picture, [](auto d) { fs::resize_file(d / "a.png", 20); }, Tick,
         [] { return Failed("a.png"); }},
        {"replaced by a folder", picture, [](auto d) { fs::remove(d / "a.png"), fs::create_directory(d / "a.png"); },
         Tick, [] { return Failed("a.png"); }},
        {"removed before it opens", picture, [](auto d) { fs::remove(d / "a.png"); }, [] { Click("a.png"); },
         [] { return gViewer.selected == -1 && !gViewer.openPrimary; }},
        {"fifo, socket, device and link loops: not listed, nothing blocks",
         [](auto d) {
             mkfifo((d / "fifo.jpg").c_str(), 0644), mknod((d / "sock.jpg").c_str(), S_IFSOCK | 0644, 0);
             fs::create_symlink("/dev/zero", d / "zero.jpg"), fs::create_symlink("loop.jpg", d / "loop.jpg");
             fs::create_directory_symlink(".", d / "self");
         },
         nothing, [] { Click("self"), Tick(); },
         [] { return gViewer.folder.count == 2 && Entry("self") && Entry(".."); }},
        {"a name of 255 bytes", [&](auto d) { fs::copy_file(kPicture, d / longName); }, nothing, Tick,
         [&] { return Entry(longName) && !Entry(longName)->loadFailed && !Entry(longName)->thumbPending; }},
        {"the shown folder removed, a picture and then .. clicked", picture, [](auto d) { fs::remove_all(d); },
         [] { Click("a.png"), Click(".."); },
         [&] { return fs::current_path() == root && !Entry("dir") && Entry(".."); }},
        // As root the folder is a file system of its own, unmounted under the
        // viewer (elsewhere a plain folder: the same outcome).
        {"the shown file system unmounted, then .. clicked",
         [&](auto d) { mount("orvale", d.c_str(), "tmpfs", 0, nullptr), picture(d); },
         [](auto d) { umount2(d.c_str(), MNT_DETACH); }, [] { Tick(), Click(".."); },
         [&] { return fs::current_path() == root && Entry("dir") && Entry("dir")->isDir; }},
    };
    for (const auto& c : cases)
    {
        fs::remove_all(dir), fs::create_directory(dir), c.before(dir);
        Start(dir), c.during(dir), c.act();
        EXPECT_TRUE(c.ends()) << c.what;
        TeardownViewer(&gViewer);
    }
}

// Deeper than the system reports paths: the title stays empty and ".." still
// goes up one level at a time.
TEST(HostileFolders, FolderDeeperThanAnyPathGoesUp)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Enter());
    const std::string level(200, 'd');
    for (int i = 0; i < 310; i++)  // 62,000 bytes: more than the listing keeps
        ASSERT_TRUE(mkdir(level.c_str(), 0755) == 0 && chdir(level.c_str()) == 0);
    struct stat parent, now;
    ASSERT_EQ(stat("..", &parent), 0);
    Start(".");
    EXPECT_EQ(gViewer.folder.path[0], 0);
    Click("..");
    ASSERT_EQ(stat(".", &now), 0);
    EXPECT_EQ(now.st_ino, parent.st_ino);
    EXPECT_EQ(gViewer.folder.count, 2);
    TeardownViewer(&gViewer);
}

// [SECTION] The first argument

TEST(StartArgument, NamesAFolderAPictureOrNothingUsable)
{
    testfs::TempFolder t;
    const fs::path root = t.path, b = root / "b";
    const std::string odd = "caf\xE9";  // not UTF-8
    fs::create_directories(b / odd);
    for (const char* name : {"a.jpg", "m.jpg", "z.jpg"})
        fs::copy_file(kPicture, b / name);
    fs::copy_file(kFixtures / "camera_pair.mpo", b / odd / (odd + ".mpo"));
    fs::copy_file(kFixtures / "empty.jpg", b / "notes.txt");
    // The argument (bytes, relative to root), how it starts, the current
    // folder after (relative to root) and the entry selected (".." is 0).
    const struct { std::string argument; int start; std::string folder; int selected; } rows[] = {
        {"b", kStartFolder, "b", -1}, {"b/" + odd, kStartFolder, "b/" + odd, -1},
        {"b/" + odd + "/", kStartFolder, "b/" + odd, -1},
        {(b / "m.jpg").string(), kStartPicture, "b", 3},  // "..", "a.jpg", "café", "m.jpg"
        {"b/" + odd + "/" + odd + ".mpo", kStartPicture, "b/" + odd, 1},
        {"b/missing.jpg", kStartPlain, "", -1}, {"b/notes.txt", kStartPlain, "", -1}};  // a file that is no picture
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.argument);
        ASSERT_EQ(chdir(root.c_str()), 0);
        static CViewer viewer;
        InitViewer(&viewer);
        EXPECT_EQ(StartFromArgument(&viewer, Wide(row.argument).c_str()), row.start);
        EXPECT_EQ(fs::current_path(), fs::weakly_canonical(root / row.folder));
        EXPECT_EQ(viewer.selected, row.selected);
        if (row.selected >= 0)
        {
            EXPECT_EQ(viewer.folder.entries[row.selected]->name, Wide(fs::path(row.argument).filename()));
        }
        ClearFolder(&viewer.folder);
    }
}

// The grid scrolls the started picture's row into view at every width until
// the picture closes.
TEST(StartArgument, GridKeepsThePictureCellInViewUntilItCloses)
{
    testfs::TempFolder t;
    static CViewer viewer;
    InitViewer(&viewer);
    auto keep = [](int32_t width) { return KeepStartPictureInView(&viewer, width), viewer.scroll; };
    viewer.selected = 7;
    EXPECT_EQ(keep(1000), 0);  // no picture from the command line: nothing
    for (int i = 0; i < 9; i++)
        fs::copy_file(kPicture, t.At("p" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(StartFromArgument(&viewer, Wide(t.At("p6.jpg")).c_str()) == kStartPicture && viewer.selected == 7);
    EXPECT_EQ(keep(26 + 202 * 3), 2 * 118);  // three columns: row 2
    EXPECT_EQ(keep(100), 7 * 118);           // one column: row 7
    viewer.selected = -1, viewer.scroll = 5;  // closed: the grid is the person's again
    keep(100);
    viewer.selected = 7;
    EXPECT_EQ(keep(100), 5);
    ClearFolder(&viewer.folder);
}
