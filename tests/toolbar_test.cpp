// Tests of the toolbar: slot layout and hit ranges, what is drawn where, the
// band, Prev and Next, drive buttons, and Help and Web handing the right
// target to xdg-open.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "render/assets/assets.h"
#include "render/frame.h"
#include "tests/temp_folder.h"
#include "viewer/about.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

namespace {

// The DRIVE_* type of letters A, B, C ... one digit each; no root for the
// rest. "2135" is A removable, C fixed and D optical, as on a machine with a
// floppy drive: Prev is the slot at 226, Next 302, Help 378, Web 454.
typedef std::array<int, kToolbarDriveLetters> DriveRow;
DriveRow Drives(const char* types)
{
    DriveRow row;
    row.fill(DRIVE_NO_ROOT_DIR);
    for (size_t i = 0; types[i]; i++)
        row[i] = types[i] - '0';
    return row;
}

// A 1200 x 200 client (99 line pairs) with the toolbar shown, in a
// temporary folder (on drive C:, the root).
class ToolbarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.Enter());
        InitViewer(v);
        Resize(&v->frame, 0, 1200, 200);
        v->toolbarShown = 1;
    }
    void TearDown() override { ClearFolder(&v->folder), Release(&v->frame), free(v); }
    // Builds a listing from a pattern, 'd' a folder and 'f' a file, with
    // entry `selected` selected.
    void List(const char* pattern, int32_t selected)
    {
        ClearFolder(&v->folder);
        for (CFileEntry** link = &v->folder.head; *pattern; link = &(*link)->next, v->folder.count++)
            (*link = (CFileEntry*)calloc(1, sizeof(CFileEntry)))->isDir = *pattern++ == 'd';
        v->folder.listed = 1;
        v->selected = selected;
        v->folder.current = Entry(selected);
    }
    CFileEntry* Entry(int32_t index)
    {
        CFileEntry* e = index < 0 ? nullptr : v->folder.head;
        while (e && index-- > 0)
            e = e->next;
        return e;
    }
    // Clicks the toolbar at x and runs a pass's toolbar step.
    void ClickAt(int32_t x, const DriveRow& row = Drives("2135"))
    {
        v->toolbarClick = {x, 40}, v->toolbarClickPending = 1, v->redraw = 0;
        DrawToolbarRow(v, row.data());
        EXPECT_EQ(v->toolbarClickPending, 0);
    }
    uint32_t Pixel(int view, int32_t x, int32_t pair) { return v->frame.pixels[(2 * pair + 1 + view) * 1200 + x]; }

    testfs::TempFolder folder;
    CViewer* v = (CViewer*)calloc(1, sizeof(CViewer));
};

// [SECTION] Layout and drawing

TEST_F(ToolbarTest, ButtonsActOnClicksOnTheirPicturesOnly)
{
    // An xdg-open first on PATH that records its argument.
    const std::string record = folder.At("record"), path = getenv("PATH");
    const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record + "'\n";
    ASSERT_TRUE(folder.Write("xdg-open", std::vector<uint8_t>(script.begin(), script.end())));
    ASSERT_EQ(chmod(folder.At("xdg-open").c_str(), 0755), 0);
    setenv("PATH", (folder.path + ":" + path).c_str(), 1);
    // x; the selection after a click with the second of four pictures
    // selected; whether the listing was cleared; what was opened (1 the help
    // page beside the program, 2 the web page). The slots: A: 10 (never a
    // drive here), C: 82 (the root, which keeps the current folder), Prev
    // 226, Next 302, Help 378, Web 454, each 64 wide; the gap after a slot
    // uses the click up.
    const int32_t cases[][4] = {{225, 1, 0, 0}, {226, 0, 0, 0}, {289, 0, 0, 0}, {290, 1, 0, 0}, {301, 1, 0, 0},
                                {302, 2, 0, 0}, {365, 2, 0, 0}, {366, 1, 0, 0}, {377, 1, 0, 0}, {378, 1, 0, 1},
                                {441, 1, 0, 1}, {442, 1, 0, 0}, {453, 1, 0, 0}, {454, 1, 0, 2}, {517, 1, 0, 2},
                                {518, 1, 0, 0}, {10, 1, 0, 0},  {74, 1, 0, 0},  {81, 1, 0, 0},  {82, -1, 1, 0}};
    for (const auto& c : cases)
    {
        List("ffff", 1);
        ClickAt(c[0]);
        EXPECT_TRUE(v->selected == c[1] && (v->folder.head == nullptr) == c[2] && v->redraw == (c[1] != 1)) << c[0];
    }
    setenv("PATH", path.c_str(), 1);
    char* exe = realpath("/proc/self/exe", nullptr);
    const std::string help = std::string(exe, strrchr(exe, '/') + 1) + "help.html\n";
    const std::string web = "http://orvale-viewer.org/orvale_viewer_en.html\n";
    free(exe);
    // Waits up to ten seconds for the four openings, then a moment for strays.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 1000 && bytes.size() < 2 * (help.size() + web.size()); i++)
        usleep(10000), bytes = testfs::ReadFile(record);
    usleep(300000);
    bytes = testfs::ReadFile(record);
    const std::string got(bytes.begin(), bytes.end());
    size_t helps = 0, webs = 0;
    for (size_t at = 0; at < got.size(); at = got.find('\n', at) + 1)
        helps += got.compare(at, help.size(), help) == 0, webs += got.compare(at, web.size(), web) == 0;
    EXPECT_TRUE(helps == 2 && webs == 2 && got.size() == 2 * (help.size() + web.size())) << got;
}

TEST_F(ToolbarTest, PicturesLabelsAndAboutTextSitInTheirSlots)
{
    // Five drives, two of types without a picture of their own: Prev at 370,
    // Next 446, Help 522, Web 598, the about text 20 after the Web slot ends.
    DrawToolbarRow(v, Drives("213570").data());
    const int32_t P = v->frame.pairs;  // pictures on P - 32 to P - 1
    const std::pair<int32_t, const uint8_t*> slots[] = {
        {10, DriveIcons[DRIVE_REMOVABLE - 1]}, {82, DriveIcons[DRIVE_FIXED - 1]}, {154, DriveIcons[DRIVE_CDROM - 1]},
        {226, DriveIcons[0]}, {298, DriveIcons[0]}, {370, PrevIcon}, {446, NextIcon}, {522, HelpIcon}, {598, WebIcon}};
    for (const auto& [x, icon] : slots)
        for (int i = 0; i < kIconHeight * kIconWidth; i++)
        {
            const uint8_t* p = icon + 3 * i;
            uint32_t want = (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
            for (int view = 0; view < 2; view++)
                ASSERT_EQ(Pixel(view, x + i % kIconWidth, P - 32 + i / kIconWidth), want) << x << " " << i;
        }
    // Columns and line pairs that pixels of a colour span in columns x0 to x1.
    auto span = [&](uint32_t colour, int32_t x0, int32_t x1) {
        std::array<int32_t, 4> r = {INT32_MAX, -1, INT32_MAX, -1};
        for (int32_t y = 0; y < P; y++)
            for (int32_t x = x0; x <= x1; x++)
                if (Pixel(0, x, y) == colour)
                    r = {std::min(r[0], x), std::max(r[1], x), std::min(r[2], y), std::max(r[3], y)};
        return r;
    };
    // Labels (0xFF7FFF) lie on P - 40 to P - 33 from their slot, + 8 for the
    // drives and Web; the about text (0x7F7F40) from 694 on, its first line
    // on P - 10 to P - 3, its fourth on P - 37 to P - 30.
    std::array<int32_t, 4> drives = span(0xFF7FFF, 0, 369), labels = span(0xFF7FFF, 0, 1199);
    EXPECT_TRUE(drives[0] == 18 && drives[1] < 298 + 8 + 48 && labels[2] >= P - 40 && labels[3] <= P - 33);
    EXPECT_TRUE(span(0xFF7FFF, 370, 445)[0] == 370 && span(0xFF7FFF, 598, 673)[0] == 606);
    std::array<int32_t, 4> about = span(0x7F7F40, 0, 1199);
    EXPECT_TRUE(about[0] >= 694 && about[0] < 694 + 16 && about[2] >= P - 37 && about[3] <= P - 3);
}

TEST_F(ToolbarTest, BandDimsTheTop42LinePairsAndStaysInsideALowFrame)
{
    // Columns 0 and 1199 hold neither pictures nor text.
    for (int32_t height : {200, 40, 20, 3, 1, 0})
    {
        Resize(&v->frame, 0, 1200, height);
        std::fill(v->frame.pixels, v->frame.pixels + v->frame.capacity, 0xFFFFFFu);
        ClickAt(10, Drives(""));
        for (int32_t pair = 0; pair < v->frame.pairs; pair++)
            for (int32_t i = 0; i < 4; i++)
                EXPECT_EQ(Pixel(i % 2, i / 2 * 1199, pair), pair < v->frame.pairs - 42 ? 0xFFFFFFu : 0x7F7F7Fu)
                    << height << ": " << pair;
    }
}

// [SECTION] Prev and Next

TEST_F(ToolbarTest, PrevAndNextStepOverFoldersAndCloseAtTheEnds)
{
    // Listing, selection, Next or Prev, selection after. Without an open
    // picture both only redraw.
    const struct { const char* pattern; int32_t selected; bool next; int32_t after; } cases[] = {
        {"ddfddfdf", 2, true, 5}, {"ddfddfdf", 5, true, 7}, {"ddfddfdf", 7, false, 5}, {"ddfddfdf", 5, false, 2},
        {"dfdf", 1, false, -1},   {"dfdf", 3, true, -1},    {"dff", -1, true, -1},     {"dff", 3, false, 3},
        {"dff", 99, true, 99}};
    for (const auto& c : cases)
    {
        List(c.pattern, c.selected);
        v->redraw = 0;
        c.next ? SelectNextImage(v) : SelectPreviousImage(v);
        EXPECT_TRUE(v->selected == c.after && v->redraw == 1) << c.pattern << " " << c.selected << " " << c.next;
        EXPECT_EQ(v->folder.current, Entry(c.after));
    }
}

// [SECTION] About and help

TEST(AboutText, IsFourAsciiLinesEndingWithTheWebHost)
{
    const std::string text = kAboutText;
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || (c >= 32 && c < 127); }));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), std::string("Orvale Viewer ") + ORVALE_PROJECT_VERSION);
    char* address = PosixToBytes(kWebAddress, nullptr);
    EXPECT_EQ(std::string(address), "http://" + text.substr(text.rfind("\r\n") + 2) + "/orvale_viewer_en.html");
    free(address);
}

// With no room for the program's path the page is looked for in the current
// folder; with no room for that either there is none.
TEST(HelpPage, TooSmallABufferGivesTheBareNameOrNothing)
{
    char16_t path[12];
    EXPECT_TRUE(HelpPagePath(path, 12) == 9 && std::u16string(path) == u"help.html");
    EXPECT_TRUE(HelpPagePath(path, 9) == 0 && path[0] == 0);
}

}  // namespace
