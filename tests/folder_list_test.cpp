// Tests of the folder listing: name classification, the listing of real
// folders (flags, pictures, order, the parent entry, what is left out) and
// clearing.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "tests/temp_folder.h"

namespace {

// Lists the current folder into a fresh record (120 KB of path: off the stack).
struct Listing
{
    CFolderList* folder = (CFolderList*)calloc(1, sizeof(CFolderList));
    std::vector<std::u16string> names;
    std::map<std::u16string, CFileEntry*> byName;
    Listing()
    {
        ListFolder(folder);
        for (CFileEntry* e = folder->head; e; e = e->next)
            names.push_back(e->name), byName[e->name] = e;
    }
    ~Listing() { ClearFolder(folder), free(folder); }
};

// Answers whether both views hold the picture, or (null) the placeholder.
bool ThumbIs(const CFileEntry* e, const uint8_t* picture)
{
    for (size_t i = 0; i < sizeof e->thumb; i++)
        if ((&e->thumb[0][0][0][0])[i] != (picture ? picture[i % kPictureBytes] : "\x7F\x3F\x7F"[i % 3]))
            return false;
    return true;
}

TEST(ClassifyName, LastExtensionDecides)
{
    // The name and flat after, 2 where it is left alone (no dot).
    const std::pair<const char16_t*, int> cases[] = {{u"left.JPS", 0}, {u"x.Jps", 0}, {u"a.jps.jpg", 1},
        {u"a.jpg.jps", 0}, {u"name.", 1}, {u"x.jpsx", 1}, {u"x.jp", 1}, {u"x.js", 1}, {u".jps", 0}, {u"jps", 2},
        {u"", 2}, {u"x.j\u0130s", 1}};
    for (const auto& [name, flat] : cases)
    {
        uint8_t got = 2;
        ClassifyName(name, &got);
        EXPECT_EQ(got, flat) << testing::PrintToString(std::u16string(name));
    }
}

// The fixtures folder holds every naming case the listing must get right.
TEST(ListFolder, FixturesFolderListsPicturesAndFoldersWithTheirFlags)
{
    testfs::TempFolder keep;  // restores the current folder
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    Listing l;
    const std::string cwd = std::filesystem::current_path();  // ASCII
    EXPECT_TRUE(std::u16string(l.folder->path) == std::u16string(cwd.begin(), cwd.end()) && l.folder->listed == 1 &&
                l.folder->count == (int32_t)l.names.size() && l.folder->cursor && !l.folder->cursor->next);
    // Name, folder, flat, FreeImage format (2 JPEG, 13 PNG); files wait for
    // their thumbnail under the placeholder.
    const struct { const char16_t* name; uint8_t isDir, flat; int32_t format; } expected[] = {
        {u"left.JPS", 0, 0, 2},   {u"x.Jps", 0, 0, 2},       {u"jps", 0, 0, 2},      {u"a.jps.jpg", 0, 1, 2},
        {u"name.", 0, 1, 2},      {u"x.bmp", 0, 1, 13},      {u"sub.jps", 1, 1, 0},  {u"link_to_sub", 1, 1, 0},
        {u"caf\xDCE9.jpg", 0, 1, 2}, {u"sbs_2000x1000.jps", 0, 0, 13}};
    for (const auto& x : expected)
    {
        const CFileEntry* e = l.byName[x.name];
        ASSERT_NE(e, nullptr) << testing::PrintToString(std::u16string(x.name));
        EXPECT_TRUE(e->isDir == x.isDir && e->flat == x.flat && e->loadFailed == 0 && e->thumbPending == !x.isDir &&
                    (x.isDir || e->format == x.format) && ThumbIs(e, x.isDir ? FolderPicture : nullptr))
            << testing::PrintToString(std::u16string(x.name));
    }
    EXPECT_TRUE(!l.byName.count(u"x.jpg") && !l.byName.count(u"empty.jpg") && !l.byName.count(u"."));  // no pictures
    // Clearing returns the list to its constructed state.
    l.folder->current = l.folder->head;
    ClearFolder(l.folder);
    EXPECT_TRUE(l.folder->count == 0 && l.folder->listed == 0 && !l.folder->head && !l.folder->cursor &&
                !l.folder->current && l.folder->path[0] == 0);
}

// The chain keeps the scan's order, folders and files mixed; the parent
// entry comes first with its own picture, except at the root.
TEST(ListFolder, ChainKeepsScanOrderWithTheParentFirst)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Enter());
    {
        Listing empty;
        EXPECT_TRUE(empty.names == std::vector<std::u16string>({u".."}) && empty.folder->head->isDir == 1 &&
                    empty.folder->head->thumbPending == 0 && ThumbIs(empty.folder->head, ParentPicture));
    }
    for (const char* name : {"b.jpg", "A.jpg", "_z.jpg"})
        ASSERT_TRUE(t.Write(name, testfs::Fixture("left.JPS")));
    ASSERT_TRUE(t.Write("notes.txt", {'n', '\n'}) && t.Folder("ab") && t.Folder("...") && t.Folder("..x"));
    Listing l;
    EXPECT_EQ(l.names, std::vector<std::u16string>({u"..", u"...", u"..x", u"A.jpg", u"ab", u"b.jpg", u"_z.jpg"}));
    EXPECT_TRUE(ThumbIs(l.byName[u"..."], FolderPicture) && ThumbIs(l.byName[u"..x"], FolderPicture));
    ASSERT_EQ(PlatChangeFolder(u"/"), 0);
    Listing root;
    EXPECT_TRUE(root.folder->listed == 1 && std::u16string(root.folder->path) == u"/" && root.names[0] != u"..");
}

}  // namespace
