// The viewer against real folders: where it starts from its first argument,
// and folders that change under it, where every pass, tick and click must end
// with a defined outcome and nothing may block.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "platform/posix/posix_text.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPicture = fs::path(ORVALE_FIXTURES) / "flat_100.png";

// The UTF-16 the platform hands over for a name of arbitrary bytes.
std::u16string Wide(const std::string& bytes)
{
    char16_t* text = PosixToUtf16(bytes.data(), bytes.size(), nullptr);
    std::u16string out(text);
    free(text);
    return out;
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
    int32_t i = 0;
    for (CFileEntry* e = gViewer.folder.head; e; e = e->next, i++)
        if (fs::path(std::u16string(e->name)).string() == name)
            return index ? (*index = i, e) : e;
    return nullptr;
}

// Clicks the named cell, as the pass's hit test would select it; the next
// pass lists a folder entered.
void Click(const std::string& name)
{
    gViewer.folder.current = Entry(name, &gViewer.selected);
    HeadlessSend(WM_PAINT, 0, 0);
    HeadlessSend(WM_PAINT, 0, 0);
}

bool Failed(const CFileEntry* e) { return e->loadFailed && e->thumb[0][0][0][2] == 0xFF && e->thumb[1][95][191][0] == 0x16; }

struct Case
{
    const char* what;
    std::function<void(const fs::path&)> before;  // makes the folder
    std::function<void(const fs::path&)> during;  // changes it while it is shown
    std::function<void()> act;                    // ticks and clicks
    std::function<bool()> outcome;
};

}  // namespace

// [SECTION] Folders changing under the viewer

TEST(HostileFolders, EveryCaseEndsDefined)
{
    const fs::path root = fs::temp_directory_path() / ("orvale-hostile-" + std::to_string(getpid()));
    auto pic = [](const fs::path& p) { fs::copy_file(kPicture, p); };
    auto tick = [] { HeadlessSend(WM_TIMER, 13, 0); };
    std::string longName(251, 'x');
    longName.replace(0, 6, "\xC3\xA9\xC3\xA9\xC3\xA9");  // 255 bytes with ".png", not all ASCII
    longName += ".png";
    const Case cases[] = {
        {"removed before its thumbnail", [&](auto d) { pic(d / "a.png"); }, [](auto d) { fs::remove(d / "a.png"); },
         tick, [] { return Failed(Entry("a.png")); }},
        {"truncated before its thumbnail", [&](auto d) { pic(d / "a.png"); },
         [](auto d) { fs::resize_file(d / "a.png", 20); }, tick, [] { return Failed(Entry("a.png")); }},
        {"replaced by a folder", [&](auto d) { pic(d / "a.png"); },
         [](auto d) { fs::remove(d / "a.png"), fs::create_directory(d / "a.png"); }, tick,
         [] { return Failed(Entry("a.png")); }},
        {"removed before it opens", [&](auto d) { pic(d / "a.png"); }, [](auto d) { fs::remove(d / "a.png"); },
         [] { Click("a.png"); }, [] { return gViewer.selected == -1 && !gViewer.openPrimary; }},
        {"fifo, socket, device and link loops: not listed, nothing blocks",
         [&](auto d) {
             mkfifo((d / "fifo.jpg").c_str(), 0644);
             fs::create_symlink("/dev/zero", d / "zero.jpg");
             fs::create_symlink("loop.jpg", d / "loop.jpg");
             fs::create_directory_symlink(".", d / "self");
             sockaddr_un a = {};
             a.sun_family = AF_UNIX;
             snprintf(a.sun_path, sizeof a.sun_path, "%s", (d / "sock.jpg").c_str());
             int s = socket(AF_UNIX, SOCK_STREAM, 0);
             bind(s, (sockaddr*)&a, sizeof a), close(s);
         },
         [](auto) {}, [&] { Click("self"), tick(); },
         [] { return gViewer.folder.count == 2 && Entry("self") && Entry(".."); }},
        {"a name of 255 bytes", [&](auto d) { pic(d / longName); }, [](auto) {}, tick,
         [&] { return Entry(longName) && !Entry(longName)->loadFailed && !Entry(longName)->thumbPending; }},
        {"the shown folder removed, a picture and then .. clicked", [&](auto d) { pic(d / "a.png"); },
         [](auto d) { fs::remove_all(d); }, [] { Click("a.png"), Click(".."); },
         [&] { return fs::current_path() == root && Entry("dir") == nullptr && Entry(".."); }},
        // As root the folder is a file system of its own, unmounted under the
        // viewer (elsewhere a plain folder: the same outcome).
        {"the shown file system unmounted, then .. clicked",
         [&](auto d) { mount("orvale", d.c_str(), "tmpfs", 0, nullptr), pic(d / "a.png"); },
         [](auto d) { umount2(d.c_str(), MNT_DETACH); }, [&] { tick(), Click(".."); },
         [&] { return fs::current_path() == root && Entry("dir") && Entry("dir")->isDir; }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        fs::remove_all(root);
        fs::create_directories(root / "dir");
        c.before(root / "dir");
        Start(root / "dir");
        c.during(root / "dir");
        c.act();
        EXPECT_TRUE(c.outcome());
        TeardownViewer(&gViewer);
        fs::current_path(fs::temp_directory_path());
    }
    fs::remove_all(root);
}

// Deeper than the system reports paths: the title stays empty and ".." still
// goes up one level at a time.
TEST(HostileFolders, FolderDeeperThanAnyPathGoesUp)
{
    const fs::path root = fs::temp_directory_path() / ("orvale-deep-" + std::to_string(getpid()));
    fs::create_directories(root);
    fs::current_path(root);
    const std::string level(200, 'd');
    for (int i = 0; i < 310; i++)  // 62,000 bytes: more than the listing keeps
        ASSERT_EQ(mkdir(level.c_str(), 0755) == 0 && chdir(level.c_str()) == 0, true);
    struct stat deepest, parent, now;
    stat(".", &deepest), stat("..", &parent);
    Start(".");
    EXPECT_EQ(gViewer.folder.path[0], 0);
    Click("..");
    stat(".", &now);
    EXPECT_TRUE(now.st_ino == parent.st_ino && gViewer.folder.count == 2);
    TeardownViewer(&gViewer);
    fs::current_path(root);
    fs::remove_all(root);
}

// [SECTION] The first argument

TEST(StartArgument, NamesAFolderAPictureOrNothingUsable)
{
    const fs::path root = fs::temp_directory_path() / ("orvale-start-" + std::to_string(getpid()));
    const std::string odd = "caf\xE9";  // not UTF-8
    fs::create_directories(root / "b" / odd);
    for (const char* name : {"a.jpg", "m.jpg", "z.jpg"})
        fs::copy_file(kPicture, root / "b" / name);
    fs::copy_file(fs::path(ORVALE_FIXTURES) / "camera_pair.mpo", root / "b" / odd / (odd + ".mpo"));
    fs::copy_file(fs::path(ORVALE_FIXTURES) / "empty.jpg", root / "b" / "notes.txt");
    struct Row
    {
        std::string argument;  // bytes, relative to root
        int start;
        std::string folder;    // current folder afterwards, relative to root
        int selected;          // entry index (". ." is 0), -1 for none
    } rows[] = {
        {"b", kStartFolder, "b", -1},
        {(root / "b" / "m.jpg").string(), kStartPicture, "b", 3},  // "..", "a.jpg", "café", "m.jpg"
        {"b/" + odd + "/" + odd + ".mpo", kStartPicture, "b/" + odd, 1},
        {"b/" + odd, kStartFolder, "b/" + odd, -1},
        {"b/missing.jpg", kStartPlain, "", -1},
        {"b/notes.txt", kStartPlain, "", -1},  // a file that is no picture
        {"b/" + odd + "/", kStartFolder, "b/" + odd, -1},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.argument);
        ASSERT_EQ(chdir(root.c_str()), 0);
        static CViewer viewer;
        InitViewer(&viewer);
        EXPECT_EQ(StartFromArgument(&viewer, Wide(row.argument).c_str()), row.start);
        EXPECT_EQ(fs::current_path(), fs::weakly_canonical(root / row.folder));
        EXPECT_EQ(viewer.selected, row.selected);
        EXPECT_TRUE(row.selected < 0 || viewer.folder.current->name == Wide(fs::path(row.argument).filename().string()));
        ClearFolder(&viewer.folder);
    }
    fs::remove_all(root);
}

TEST(StartArgument, GridKeepsThePictureCellInViewUntilItCloses)
{
    static CViewer viewer;
    InitViewer(&viewer);
    viewer.selected = 7;
    KeepStartPictureInView(&viewer, 1000);  // no picture from the command line: nothing
    EXPECT_EQ(viewer.scroll, 0);
    const fs::path root = fs::temp_directory_path() / ("orvale-keep-" + std::to_string(getpid()));
    fs::create_directories(root);
    for (int i = 0; i < 9; i++)
        fs::copy_file(kPicture, root / ("p" + std::to_string(i) + ".jpg"));
    ASSERT_EQ(StartFromArgument(&viewer, Wide((root / "p6.jpg").string()).c_str()), kStartPicture);
    ASSERT_EQ(viewer.selected, 7);
    KeepStartPictureInView(&viewer, 26 + 202 * 3);  // three columns: row 2
    EXPECT_EQ(viewer.scroll, 2 * 118);
    KeepStartPictureInView(&viewer, 100);  // one column: row 7
    EXPECT_EQ(viewer.scroll, 7 * 118);
    viewer.selected = -1;  // closed: the grid is the person's again
    viewer.scroll = 5;
    KeepStartPictureInView(&viewer, 100);
    viewer.selected = 7;
    KeepStartPictureInView(&viewer, 100);
    EXPECT_EQ(viewer.scroll, 5);
    ClearFolder(&viewer.folder);
    fs::remove_all(root);
}
