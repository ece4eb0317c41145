// Tests of decoding ahead on worker threads, on the headless host: thumbnails
// committed one per tick in listing order and equal to the window's own
// loads; Prev and Next opening pictures decoded ahead exactly as loading them;
// and cancelling while decodes are in flight (folders entered and left
// quickly, Esc during a fill, files removed while they are decoded). Built
// again under ThreadSanitizer (build-tsan).
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/decode_ahead.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "platform/headless/headless.h"
#include "render/frame.h"
#include "tests/temp_folder.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

// Everything a load writes into an entry: flags, format, size, thumbnail.
Bytes State(const CFileEntry* e) { return Bytes((const uint8_t*)e, (const uint8_t*)&e->name); }

// Loads a fresh copy of e as the listing made it, on this thread, with the
// window's own code; returns its state, and its pixels in *pixels when given.
Bytes SerialState(const CFileEntry* e, Bytes* pixels = nullptr, uint8_t thumbnailOnly = 1)
{
    CFileEntry* c = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    InitEntry(c, e->name, 0, e->flat), c->format = e->format;
    FIBITMAP *p = nullptr, *s = nullptr;
    LoadEntryImage(c, thumbnailOnly, &p, &s);
    for (FIBITMAP* b : {p, s})
        if (pixels && b)
            pixels->insert(pixels->end(), FreeImage_GetBits(b), FreeImage_GetBits(b) + FreeImage_GetPitch(b) * FreeImage_GetHeight(b));
    Bytes state = State(c);
    FreeImageSlots(&p, &s), free(c->name), free(c);  // FreeEntries would cancel the workers
    return state;
}

class DecodeAhead : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HeadlessReset(), InitViewer(v);
        windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
        HeadlessSetClient(0, 0, 800, 600);
    }
    void TearDown() override { TeardownViewer(v), windowDC = nullptr, HeadlessReset(); }
    // Lists dir (when given) and ticks until no thumbnail is pending: each
    // tick makes at most one, and the made ones always come first.
    void Fill(const char* dir = nullptr)
    {
        ASSERT_TRUE(!dir || chdir(dir) == 0);
        HeadlessSend(WM_PAINT, 0, 0);
        for (int tick = 0, made = 0; tick < 5000; tick++, usleep(1000))
        {
            HeadlessSend(WM_TIMER, 13, 0);
            int now = 0, gap = 0;
            for (int32_t i = 0; i < v->folder.count; i++)
                if (CFileEntry* e = v->folder.entries[i]; !e->isDir)
                {
                    ASSERT_TRUE(e->thumbPending || gap == 0) << "made after a pending one";
                    e->thumbPending ? gap++ : now++;
                }
            ASSERT_LE(now, made + 1) << "two in one tick";
            if (!gap)
                return;
            made = now;
        }
        FAIL() << "the thumbnails never came";
    }
    // Every file's entry as the window's own load leaves it.
    void ExpectAsSerial()
    {
        for (int32_t i = 0; i < v->folder.count; i++)
        {
            CFileEntry* e = v->folder.entries[i];
            EXPECT_TRUE(e->isDir || State(e) == SerialState(e)) << fs::path(std::u16string(e->name));
        }
    }
    void Select(const char16_t* name)
    {
        v->selected = 0;
        while (std::u16string(v->folder.entries[v->selected]->name) != name)
            v->selected++;
    }
    void WaitIdle()
    {
        for (int k = 0; k < 5000 && !DecodeAheadIdle(); k++)
            usleep(1000);
    }
    CViewer* v = &gViewer;
    testfs::TempFolder folder;
};

TEST_F(DecodeAhead, ThumbnailsComeOnePerTickInListingOrderAsTheWindowMakesThem)
{
    // The workers read through the folder as it was listed, not the current one.
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    HeadlessSend(WM_PAINT, 0, 0), HeadlessSend(WM_TIMER, 13, 0), chdir("/");
    Fill();
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    ExpectAsSerial();
}

// Steps through the fixtures from a two-stream picture, each neighbour
// decoded ahead before the step (the one just left is kept): shown pixels and
// entries as loading them, up to a file that fails and closes the view.
TEST_F(DecodeAhead, PrevAndNextOpenWhatWasDecodedAheadAsLoadingIt)
{
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    HeadlessSend(WM_PAINT, 0, 0);
    Select(u"camera_pair.mpo");
    CFileEntry* opened = nullptr;
    for (const char* step = "onppnnnnnnn"; *step; step++)
    {
        WaitIdle();
        *step == 'n' ? SelectNextImage(v) : *step == 'p' ? SelectPreviousImage(v) : void();
        opened = EntryAt(&v->folder, v->selected);
        Bytes pixels, want = SerialState(opened, &pixels, 0);
        HeadlessSend(WM_PAINT, 0, 0);
        if (v->selected < 0)
            break;
        Bytes shown;
        for (FIBITMAP* b : {v->openPrimary, v->openSecondary})
            if (b)
                shown.insert(shown.end(), FreeImage_GetBits(b), FreeImage_GetBits(b) + FreeImage_GetPitch(b) * FreeImage_GetHeight(b));
        EXPECT_EQ(State(opened), want) << step;
        EXPECT_EQ(shown, pixels) << step;
    }
    EXPECT_EQ(v->selected, -1);
    EXPECT_EQ(std::u16string(opened->name), u"huge_header.jpg");
    EXPECT_EQ(opened->loadFailed, 1);
}

// Pictures that take a while each, in a folder and a sub-folder.
void WritePictures(const testfs::TempFolder& f)
{
    const Bytes big = testfs::Fixture("sbs_2000x1000.jps"), pair = testfs::Fixture("camera_pair.mpo");
    ASSERT_TRUE(f.Folder("sub"));
    for (int k = 0; k < 10; k++)
        ASSERT_TRUE(f.Write("p" + std::to_string(k) + ".jps", big) && f.Write("sub/q" + std::to_string(k) + ".mpo", pair));
}

TEST_F(DecodeAhead, FoldersEnteredAndLeftWhileDecodingThenFilledAsTheWindowFillsThem)
{
    WritePictures(folder);
    ASSERT_EQ(chdir(folder.path.c_str()), 0);
    for (int k = 0; k < 12; k++)
    {
        HeadlessSend(WM_PAINT, 0, 0), HeadlessSend(WM_TIMER, 13, 0);  // list, then queue
        Select(k % 2 ? u".." : u"sub");
        HeadlessSend(WM_PAINT, 0, 0);  // enter while the workers decode
        EXPECT_TRUE(DecodeAheadIdle()) << "entered before the decodes in flight ended";
    }
    Fill(folder.path.c_str());
    ExpectAsSerial();
    // Esc while a fill has just begun: the quit comes, teardown waits for the
    // decodes in flight before it frees the entries.
    ClearFolder(&v->folder), HeadlessSend(WM_PAINT, 0, 0), HeadlessSend(WM_TIMER, 13, 0);
    HeadlessSend(WM_KEYDOWN, VK_ESCAPE, 0);
    int code = 1;
    EXPECT_TRUE(HeadlessQuitPosted(&code));
    EXPECT_EQ(code, 0);
}

// Files removed while the workers decode them end either decoded, as the
// window would have made them, or failed; never half made.
TEST_F(DecodeAhead, FilesRemovedWhileDecodedEndDecodedOrFailed)
{
    WritePictures(folder);
    ASSERT_EQ(chdir(folder.path.c_str()), 0);
    HeadlessSend(WM_PAINT, 0, 0), HeadlessSend(WM_TIMER, 13, 0);
    Bytes made = SerialState(v->folder.entries[2]);
    for (int k = 0; k < 10; k++)
        fs::remove(folder.At("p" + std::to_string(k) + ".jps"));
    Fill();
    int failed = 0;
    for (int32_t i = 1; !v->folder.entries[i]->isDir; i++)
    {
        CFileEntry* e = v->folder.entries[i];
        failed += e->loadFailed;
        EXPECT_TRUE(e->loadFailed ? e->thumb[0][0][0][2] == 0xFF && e->thumb[1][95][191][0] == 0x16 : State(e) == made);
    }
    EXPECT_GT(failed, 0);
}

}  // namespace
