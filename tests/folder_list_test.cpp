// Tests of the folder listing: name classification, the listing of real
// folders (flags, pictures, order, the parent entry, what is left out),
// running out of memory, and clearing.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstring>
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
    Listing() { ListFolder(folder); }
    ~Listing() { ClearFolder(folder), free(folder); }
    std::vector<std::u16string> Names() const
    {
        std::vector<std::u16string> names;
        for (CFileEntry* e = folder->head; e; e = e->next)
            names.push_back(e->name);
        return names;
    }
    CFileEntry* Find(const std::u16string& name) const
    {
        CFileEntry* e = folder->head;
        while (e && name != e->name)
            e = e->next;
        return e;
    }
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
    const std::pair<const char16_t*, int> cases[] = {
        {u"left.JPS", 0}, {u"x.Jps", 0},     {u"p.jps", 0},  {u"a.jps.jpg", 1}, {u"a.jpg.jps", 0},
        {u"name.", 1},    {u"photo.jpg", 1}, {u"x.jpsx", 1}, {u"x.jp", 1},      {u"x.js", 1},
        {u".jps", 0},     {u"jps", 2},       {u"README", 2}, {u"", 2},          {u"x.j\u0130s", 1}};
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
    char* cwd = getcwd(nullptr, 0);
    EXPECT_EQ(std::u16string(l.folder->path), std::u16string(cwd, cwd + strlen(cwd)));  // ASCII
    free(cwd);
    EXPECT_TRUE(l.folder->listed == 1 && l.folder->count == (int32_t)l.Names().size() && l.folder->cursor &&
                !l.folder->cursor->next && l.Names()[0] == u"..");
    // Name, folder, flat, FreeImage format (2 JPEG, 13 PNG); files wait for
    // their thumbnail under the placeholder.
    const struct { const char16_t* name; uint8_t isDir, flat; int32_t format; } expected[] = {
        {u"left.JPS", 0, 0, 2},   {u"x.Jps", 0, 0, 2},       {u"jps", 0, 0, 2},      {u"a.jps.jpg", 0, 1, 2},
        {u"name.", 0, 1, 2},      {u"x.bmp", 0, 1, 13},      {u"sub.jps", 1, 1, 0},  {u"link_to_sub", 1, 1, 0},
        {u"caf\xDCE9.jpg", 0, 1, 2}, {u"sbs_2000x1000.jps", 0, 0, 13}, {u"truncated_header.jpg", 0, 1, 2}};
    for (const auto& x : expected)
    {
        CFileEntry* e = l.Find(x.name);
        SCOPED_TRACE(testing::PrintToString(std::u16string(x.name)));
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(e->isDir == x.isDir && e->flat == x.flat && e->loadFailed == 0 && e->thumbPending == !x.isDir &&
                    (x.isDir || e->format == x.format) && ThumbIs(e, x.isDir ? FolderPicture : nullptr));
    }
    // Not pictures, whatever their names say.
    EXPECT_TRUE(!l.Find(u"x.jpg") && !l.Find(u"empty.jpg") && !l.Find(u"."));
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
        EXPECT_TRUE(empty.Names() == std::vector<std::u16string>({u".."}) && empty.folder->count == 1 &&
                    empty.folder->head->isDir == 1 && empty.folder->head->thumbPending == 0);
        EXPECT_TRUE(ThumbIs(empty.folder->head, ParentPicture));
    }
    std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
    for (const char* name : {"b.jpg", "A.jpg", "_z.jpg"})
        ASSERT_TRUE(t.Write(name, jpeg));
    ASSERT_TRUE(t.Write("notes.txt", {'n', '\n'}) && t.Folder("ab") && t.Folder("...") && t.Folder("..x"));
    Listing l;
    EXPECT_EQ(l.Names(), std::vector<std::u16string>({u"..", u"...", u"..x", u"A.jpg", u"ab", u"b.jpg", u"_z.jpg"}));
    EXPECT_TRUE(ThumbIs(l.Find(u"..."), FolderPicture) && ThumbIs(l.Find(u"..x"), FolderPicture));
    ASSERT_EQ(PlatChangeFolder(u"/"), 0);
    Listing root;
    EXPECT_TRUE(root.folder->listed == 1 && std::u16string(root.folder->path) == u"/" && root.folder->count > 0);
    EXPECT_EQ(root.Find(u".."), nullptr);
}

// Memory running out part way stops the listing cleanly: what was listed
// stays, well formed, and the list counts as listed so that the passes do not
// retry it again and again. Runs in a child whose address space is capped.
TEST(ListFolder, RunningOutOfMemoryKeepsWhatWasListed)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space cap and the sanitizer's shadow memory do not mix";
#else
    testfs::TempFolder t;
    std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
    for (int i = 0; i < 400; i++)
        ASSERT_TRUE(t.Write("p" + std::to_string(1000 + i) + ".jpg", jpeg));
    ASSERT_TRUE(t.Enter());
    // Room for some 100 of the 400 entries of 110 KB each.
    auto listWithLittleMemory = [] {
        CFolderList* folder = (CFolderList*)calloc(1, sizeof(CFolderList));
        long pages = 0;
        FILE* f = fopen("/proc/self/statm", "r");
        struct rlimit cap;
        if (!f || fscanf(f, "%ld", &pages) != 1)
            _exit(3);
        cap.rlim_cur = cap.rlim_max = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + (rlim_t)(12 << 20);
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(3);
        ListFolder(folder);
        int32_t length = 0;
        CFileEntry* last = nullptr;
        bool named = true;
        for (CFileEntry* e = folder->head; e; last = e, e = e->next, length++)
            named = named && e->name;
        bool ok = named && folder->listed == 1 && length == folder->count && folder->cursor == last;
        _exit(ok && length > 1 && length < 401 ? 0 : 1);
    };
    EXPECT_EXIT(listWithLittleMemory(), testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
