// Starting on the folder or picture named on the command line: resolution of
// the argument against real folders, and the grid kept under the picture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/posix/posix_text.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

// The UTF-16 the platform hands over for a name of arbitrary bytes.
static std::u16string Wide(const std::string& bytes)
{
    char16_t* text = PosixToUtf16(bytes.data(), bytes.size(), nullptr);
    std::u16string out(text);
    free(text);
    return out;
}

TEST(Start, ArgumentNamesFolderPictureOrNothing)
{
    const fs::path root = fs::temp_directory_path() / ("orvale-start-" + std::to_string(getpid()));
    const std::string odd = "caf\xE9";  // not UTF-8
    fs::create_directories(root / "b" / odd);
    for (const char* name : {"a.jpg", "m.jpg", "z.jpg"})
        fs::copy_file(fs::path(ORVALE_FIXTURES) / "flat_100.png", root / "b" / name);
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
        if (row.selected >= 0)
        {
            EXPECT_EQ(viewer.folder.current->name, Wide(fs::path(row.argument).filename().string()));
        }
        ClearFolder(&viewer.folder);
    }
    fs::remove_all(root);
}

TEST(Start, GridKeepsThePictureCellInViewUntilItCloses)
{
    static CViewer viewer;
    InitViewer(&viewer);
    viewer.selected = 7;
    KeepStartPictureInView(&viewer, 1000);  // no picture from the command line: nothing
    EXPECT_EQ(viewer.scroll, 0);
    const fs::path root = fs::temp_directory_path() / ("orvale-keep-" + std::to_string(getpid()));
    fs::create_directories(root);
    for (int i = 0; i < 9; i++)
        fs::copy_file(fs::path(ORVALE_FIXTURES) / "flat_100.png", root / ("p" + std::to_string(i) + ".jpg"));
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
