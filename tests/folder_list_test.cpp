// Tests of the folder listing: name classification, entries, the listing of
// real folders (order, parent entry, what is left out) and clearing.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "tests/temp_folder.h"

namespace {

// The folder record is 120 KB of path: keep it off the stack.
struct Listing
{
    CFolderList* folder = (CFolderList*)calloc(1, sizeof(CFolderList));
    ~Listing()
    {
        ClearFolder(folder);
        free(folder);
    }
    std::vector<CFileEntry*> Entries() const
    {
        std::vector<CFileEntry*> all;
        for (CFileEntry* e = folder->head; e; e = e->next)
            all.push_back(e);
        return all;
    }
    CFileEntry* Find(const std::u16string& name) const
    {
        for (CFileEntry* e = folder->head; e; e = e->next)
            if (name == e->name)
                return e;
        return nullptr;
    }
};

bool BothViewsAre(const CFileEntry* e, const uint8_t* picture)
{
    return memcmp(e->thumb[0], picture, kPictureBytes) == 0 && memcmp(e->thumb[1], picture, kPictureBytes) == 0;
}

bool IsPlaceholder(const CFileEntry* e)
{
    const uint8_t* b = &e->thumb[0][0][0][0];
    for (size_t i = 0; i < sizeof e->thumb; i += 3)
        if (b[i] != 0x7F || b[i + 1] != 0x3F || b[i + 2] != 0x7F)
            return false;
    return true;
}

TEST(ClassifyName, LastExtensionDecides)
{
    struct Case
    {
        const char16_t* name;
        uint8_t flat;  // 2: left untouched
    } cases[] = {
        {u"left.JPS", 0},  {u"x.Jps", 0},     {u"p.jps", 0},   {u"a.jps.jpg", 1}, {u"a.jpg.jps", 0},
        {u"name.", 1},     {u"photo.jpg", 1}, {u"x.jpsx", 1},  {u"x.jp", 1},      {u"x.js", 1},
        {u".jps", 0},      {u"jps", 2},       {u"README", 2},  {u"", 2},          {u"x.j\u0130s", 1},
    };
    for (const Case& c : cases)
    {
        uint8_t flat = 2;
        ClassifyName(c.name, &flat);
        EXPECT_EQ(flat, c.flat) << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
    }
}

TEST(InitEntry, FoldersGetTheirPicturesFilesKeepThePlaceholder)
{
    struct Case
    {
        const char16_t* name;
        uint8_t isDir;
        const uint8_t* picture;
    } cases[] = {{u"..", 1, ParentPicture}, {u"...", 1, FolderPicture}, {u"..x", 1, FolderPicture},
                 {u"photos.jps", 1, FolderPicture}};
    for (const Case& c : cases)
    {
        CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
        ASSERT_EQ(InitEntry(e, c.name, c.isDir, 1), 1);
        EXPECT_TRUE(std::u16string(e->name) == c.name);
        EXPECT_NE(e->name, c.name);  // a private copy
        EXPECT_EQ(e->thumbPending, 0);
        EXPECT_EQ(e->isDir, 1);
        EXPECT_TRUE(BothViewsAre(e, c.picture));
        FreeEntries(e);
    }
    CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    memset(e->thumb, 0x55, sizeof e->thumb);
    ASSERT_EQ(InitEntry(e, u"x.jps", 0, 0), 1);
    EXPECT_EQ(e->thumbPending, 1);
    EXPECT_EQ(e->flat, 0);
    EXPECT_EQ(e->thumb[1][95][191][2], 0x55);  // a file's thumbnail is not touched
    FreeEntries(e);
}

// The fixtures folder holds every naming case the listing must get right.
TEST(ListFolder, FixturesFolderListsPicturesAndFoldersWithTheirFlags)
{
    testfs::TempFolder keep;  // restores the current folder
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    Listing l;
    ListFolder(l.folder);
    EXPECT_EQ(l.folder->listed, 1);
    char* cwd = getcwd(nullptr, 0);
    EXPECT_EQ(std::string(cwd), std::string(l.folder->path, l.folder->path + strlen(cwd)));
    EXPECT_EQ(l.folder->path[strlen(cwd)], 0);
    free(cwd);

    std::vector<CFileEntry*> all = l.Entries();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(l.folder->count, (int32_t)all.size());
    EXPECT_EQ(l.folder->cursor, all.back());
    EXPECT_TRUE(std::u16string(all[0]->name) == u"..");
    EXPECT_TRUE(BothViewsAre(all[0], ParentPicture));

    struct Expect
    {
        const char16_t* name;
        uint8_t isDir, flat;
        int32_t format;  // FreeImage: 2 JPEG, 13 PNG
    } expected[] = {
        {u"left.JPS", 0, 0, 2},        {u"x.Jps", 0, 0, 2},         {u"jps", 0, 0, 2},
        {u"a.jps.jpg", 0, 1, 2},       {u"name.", 0, 1, 2},         {u"x.bmp", 0, 1, 13},
        {u"sub.jps", 1, 1, 0},         {u"link_to_sub", 1, 1, 0},   {u"caf\xDCE9.jpg", 0, 1, 2},
        {u"sbs_2000x1000.jps", 0, 0, 13}, {u"truncated_header.jpg", 0, 1, 2},
    };
    for (const Expect& x : expected)
    {
        CFileEntry* e = l.Find(x.name);
        ASSERT_NE(e, nullptr) << std::string(x.name, x.name + std::char_traits<char16_t>::length(x.name));
        EXPECT_EQ(e->isDir, x.isDir);
        EXPECT_EQ(e->flat, x.flat);
        EXPECT_EQ(e->loadFailed, 0);
        if (x.isDir)
        {
            EXPECT_EQ(e->thumbPending, 0);
            EXPECT_TRUE(BothViewsAre(e, FolderPicture));
        }
        else
        {
            EXPECT_EQ(e->format, x.format);
            EXPECT_EQ(e->thumbPending, 1);
            EXPECT_TRUE(IsPlaceholder(e));
        }
    }
    // Not pictures, whatever their names say.
    EXPECT_EQ(l.Find(u"x.jpg"), nullptr);
    EXPECT_EQ(l.Find(u"empty.jpg"), nullptr);
    EXPECT_EQ(l.Find(u"."), nullptr);
}

// The chain keeps the scan's order: folders and files mixed, never sorted
// into groups.
TEST(ListFolder, ChainKeepsScanOrder)
{
    testfs::TempFolder t;
    std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
    ASSERT_TRUE(t.Write("b.jpg", jpeg));
    ASSERT_TRUE(t.Write("A.jpg", jpeg));
    ASSERT_TRUE(t.Write("notes.txt", {'n', '\n'}));
    ASSERT_TRUE(t.Write("_z.jpg", jpeg));
    ASSERT_TRUE(t.Folder("ab"));
    ASSERT_TRUE(t.Enter());
    Listing l;
    ListFolder(l.folder);
    std::vector<std::u16string> names;
    for (CFileEntry* e : l.Entries())
        names.push_back(e->name);
    std::vector<std::u16string> expected = {u"..", u"A.jpg", u"ab", u"b.jpg", u"_z.jpg"};
    EXPECT_TRUE(names == expected);
    EXPECT_EQ(l.folder->count, 5);
}

TEST(ListFolder, EmptyFolderHoldsOnlyTheParent)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Enter());
    Listing l;
    ListFolder(l.folder);
    ASSERT_EQ(l.folder->count, 1);
    CFileEntry* e = l.folder->head;
    EXPECT_TRUE(std::u16string(e->name) == u"..");
    EXPECT_EQ(e->isDir, 1);
    EXPECT_EQ(e->thumbPending, 0);
    EXPECT_TRUE(BothViewsAre(e, ParentPicture));
    EXPECT_EQ(e->next, nullptr);
}

TEST(ListFolder, RootHasNoParentEntry)
{
    testfs::TempFolder keep;
    ASSERT_EQ(PlatChangeFolder(u"/"), 0);
    Listing l;
    ListFolder(l.folder);
    EXPECT_EQ(l.folder->listed, 1);
    EXPECT_TRUE(std::u16string(l.folder->path) == u"/");
    EXPECT_GT(l.folder->count, 0);
    for (CFileEntry* e : l.Entries())
        EXPECT_FALSE(std::u16string(e->name) == u"..");
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
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        CFolderList* folder = (CFolderList*)calloc(1, sizeof(CFolderList));
        // Room for some 100 of the 400 entries of 110 KB each.
        long pages = 0;
        if (FILE* f = fopen("/proc/self/statm", "r"))
        {
            if (fscanf(f, "%ld", &pages) != 1)
                pages = 0;
            fclose(f);
        }
        struct rlimit cap;
        cap.rlim_cur = cap.rlim_max = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + (rlim_t)(12 << 20);
        if (pages == 0 || setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(3);
        ListFolder(folder);
        int32_t length = 0;
        CFileEntry* last = nullptr;
        for (CFileEntry* e = folder->head; e; e = e->next, length++)
        {
            if (!e->name)
                _exit(4);
            last = e;
        }
        bool ok = folder->listed == 1 && length == folder->count && folder->cursor == last && length > 1 &&
                  length < 401;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(ClearFolder, ReturnsTheListToItsConstructedState)
{
    testfs::TempFolder keep;
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    Listing l;
    ListFolder(l.folder);
    l.folder->current = l.folder->head;
    ClearFolder(l.folder);
    EXPECT_EQ(l.folder->count, 0);
    EXPECT_EQ(l.folder->listed, 0);
    EXPECT_EQ(l.folder->head, nullptr);
    EXPECT_EQ(l.folder->cursor, nullptr);
    EXPECT_EQ(l.folder->current, nullptr);
    EXPECT_EQ(l.folder->path[0], 0);
}

}  // namespace
