// Tests of the toolbar: slot layout and hit ranges, the band, Prev and Next,
// drive buttons, and Help and Web handing the right target to xdg-open.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "render/assets/assets.h"
#include "render/frame.h"
#include "viewer/about.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

namespace {

const uint32_t kLabel = 0xFF7FFF;
const uint32_t kAbout = 0x7F7F40;

// Drives A, C and D in use, as on a machine with a floppy drive.
struct DriveRow
{
    int types[kToolbarDriveLetters];
};

DriveRow Drives(std::initializer_list<std::pair<char, int>> used)
{
    DriveRow row;
    for (int& t : row.types)
        t = DRIVE_NO_ROOT_DIR;
    for (const auto& u : used)
        row.types[u.first - 'A'] = u.second;
    return row;
}

const DriveRow kThreeDrives = Drives({{'A', DRIVE_REMOVABLE}, {'C', DRIVE_FIXED}, {'D', DRIVE_CDROM}});

std::string ReadText(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "r");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

class ToolbarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        v = (CViewer*)calloc(1, sizeof(CViewer));
        InitViewer(v);
        Resize(&v->frame, 0, 1200, 200);
        v->toolbarShown = 1;
        char buffer[PATH_MAX];
        start = getcwd(buffer, sizeof buffer) ? buffer : "";
    }
    void TearDown() override
    {
        ClearFolder(&v->folder);
        Release(&v->frame);
        free(v);
        EXPECT_EQ(chdir(start.c_str()), 0);
    }
    // Builds a listing from a pattern: 'd' a folder, 'f' a file.
    void List(const char* pattern)
    {
        ClearFolder(&v->folder);
        CFileEntry** link = &v->folder.head;
        for (const char* p = pattern; *p; p++)
        {
            CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
            e->isDir = *p == 'd';
            *link = e;
            link = &e->next;
            v->folder.count++;
        }
        v->folder.listed = 1;
    }
    CFileEntry* Entry(int index)
    {
        CFileEntry* e = v->folder.head;
        while (index-- > 0)
            e = e->next;
        return e;
    }
    void Select(int index)
    {
        v->selected = index;
        v->folder.current = Entry(index);
    }
    // Clicks the toolbar at x and runs a pass's toolbar step.
    void ClickAt(int32_t x, const DriveRow& row = kThreeDrives)
    {
        v->toolbarClick = {x, 40};
        v->toolbarClickPending = 1;
        v->redraw = 0;
        DrawToolbarRow(v, row.types);
    }
    uint32_t Pixel(int view, int32_t x, int32_t pair)
    {
        return v->frame.pixels[(2 * pair + 1 + view) * v->frame.stride + x];
    }
    void Fill(uint32_t color)
    {
        for (int32_t i = 0; i < v->frame.capacity; i++)
            v->frame.pixels[i] = color;
    }

    CViewer* v = nullptr;
    std::string start;
};

// [SECTION] Layout

TEST_F(ToolbarTest, ThreeDrivesPutTheButtonsWhereExpected)
{
    List("ffff");
    struct
    {
        int32_t x;
        int32_t selected;  // after clicking with the second picture selected
    } cases[] = {
        {225, 1}, {226, 0}, {289, 0}, {290, 1},  // Prev 226-289
        {301, 1}, {302, 2}, {365, 2}, {366, 1},  // Next 302-365
    };
    for (const auto& c : cases)
    {
        Select(1);
        ClickAt(c.x);
        EXPECT_EQ(v->selected, c.selected) << "x " << c.x;
        EXPECT_EQ(v->toolbarClickPending, 0) << "x " << c.x;
    }
}

TEST_F(ToolbarTest, PicturesAndLabelsSitInTheirSlots)
{
    DrawToolbarRow(v, kThreeDrives.types);
    const int32_t P = v->frame.pairs;
    struct
    {
        int32_t x;
        const uint8_t* icon;
    } slots[] = {{10, DriveIcons[DRIVE_REMOVABLE - 1]}, {82, DriveIcons[DRIVE_FIXED - 1]},
                 {154, DriveIcons[DRIVE_CDROM - 1]},    {226, PrevIcon},
                 {302, NextIcon},                       {378, HelpIcon},
                 {454, WebIcon}};
    for (const auto& s : slots)
        for (int r = 0; r < kIconHeight; r++)
            for (int c = 0; c < kIconWidth; c++)
            {
                const uint8_t* p = s.icon + (r * kIconWidth + c) * 3;
                uint32_t want = (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
                ASSERT_EQ(Pixel(0, s.x + c, P - 32 + r), want) << s.x << " " << r << " " << c;
                ASSERT_EQ(Pixel(1, s.x + c, P - 32 + r), want) << s.x << " " << r << " " << c;
            }
    // Labels lie on P - 40 to P - 33: drive labels from slot x + 8, Prev at
    // the slot's own x, and nothing of them strays into the gaps.
    int32_t labelMin = INT32_MAX, labelMax = -1;
    for (int32_t pair = P - 40; pair <= P - 33; pair++)
        for (int32_t x = 0; x < 226; x++)
            if (Pixel(0, x, pair) == kLabel)
            {
                labelMin = std::min(labelMin, x);
                labelMax = std::max(labelMax, x);
            }
    EXPECT_GE(labelMin, 18);
    EXPECT_LT(labelMax, 154 + 8 + 48);
    for (int32_t pair = 0; pair < P; pair++)
    {
        if (pair >= P - 40 && pair <= P - 33)
            continue;
        for (int32_t x = 0; x < 1200; x++)
            ASSERT_NE(Pixel(0, x, pair), kLabel) << x << "," << pair;
    }
}

TEST_F(ToolbarTest, AboutTextStartsTwentyPixelsAfterTheWebSlot)
{
    DrawToolbarRow(v, kThreeDrives.types);
    const int32_t P = v->frame.pairs;
    int32_t first = INT32_MAX;
    int32_t lowest = INT32_MAX, highest = -1;
    for (int32_t pair = 0; pair < P; pair++)
        for (int32_t x = 0; x < 1200; x++)
            if (Pixel(0, x, pair) == kAbout)
            {
                first = std::min(first, x);
                lowest = std::min(lowest, pair);
                highest = std::max(highest, pair);
            }
    EXPECT_GE(first, 550);
    EXPECT_LT(first, 550 + 16);
    EXPECT_LE(highest, P - 3);   // first line on P - 10 to P - 3
    EXPECT_GE(lowest, P - 37);   // fourth line on P - 37 to P - 30
}

TEST_F(ToolbarTest, ClickInTheGapAfterADriveIsUsedUp)
{
    List("ff");
    Select(1);
    DriveRow row = Drives({{'A', DRIVE_FIXED}});
    for (int32_t x = 74; x <= 81; x++)
    {
        ClickAt(x, row);
        EXPECT_EQ(v->toolbarClickPending, 0);
        EXPECT_EQ(v->selected, 1);
        EXPECT_EQ(v->redraw, 0);
        EXPECT_NE(v->folder.head, nullptr);
    }
}

TEST_F(ToolbarTest, UnknownTypesGetTheUnknownPicture)
{
    DriveRow row = Drives({{'C', 77}, {'D', DRIVE_UNKNOWN}});
    DrawToolbarRow(v, row.types);
    const int32_t P = v->frame.pairs;
    for (int32_t slot : {10, 82})
        for (int r = 0; r < kIconHeight; r++)
            for (int c = 0; c < kIconWidth; c++)
            {
                const uint8_t* p = DriveIcons[0] + (r * kIconWidth + c) * 3;
                uint32_t want = (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
                ASSERT_EQ(Pixel(0, slot + c, P - 32 + r), want);
            }
}

// [SECTION] The band

TEST_F(ToolbarTest, BandDimsTheTop42LinePairsOnly)
{
    Fill(0xFFFFFF);
    DrawToolbarRow(v, Drives({}).types);
    const int32_t P = v->frame.pairs;
    for (int view = 0; view < 2; view++)
    {
        EXPECT_EQ(Pixel(view, 1199, P - 43), 0xFFFFFFu);
        EXPECT_EQ(Pixel(view, 1199, P - 42), 0x7F7F7Fu);
        EXPECT_EQ(Pixel(view, 1199, P - 1), 0x7F7F7Fu);
        EXPECT_EQ(Pixel(view, 0, P - 42), 0x7F7F7Fu);
    }
}

TEST_F(ToolbarTest, BandStaysInsideALowFrame)
{
    for (int32_t height : {40, 20, 3, 1, 0})
    {
        Resize(&v->frame, 0, 300, height);
        Fill(0xFFFFFF);
        ClickAt(10);
        for (int32_t pair = 0; pair < v->frame.pairs; pair++)
            EXPECT_NE(Pixel(0, 299, pair), 0xFFFFFFu) << height;
    }
}

// [SECTION] Prev and Next

TEST_F(ToolbarTest, NextAndPrevStepOverFolders)
{
    List("ddfddfdf");  // "..", two folders, files at 2, 5 and 7
    Select(2);
    SelectNextImage(v);
    EXPECT_EQ(v->selected, 5);
    EXPECT_EQ(v->folder.current, Entry(5));
    SelectNextImage(v);
    EXPECT_EQ(v->selected, 7);
    SelectPreviousImage(v);
    EXPECT_EQ(v->selected, 5);
    SelectPreviousImage(v);
    EXPECT_EQ(v->selected, 2);
    EXPECT_EQ(v->folder.current, Entry(2));
    EXPECT_EQ(v->redraw, 1);
}

TEST_F(ToolbarTest, PrevOnTheFirstAndNextOnTheLastCloseTheView)
{
    List("dfdf");
    Select(1);
    SelectPreviousImage(v);
    EXPECT_EQ(v->selected, -1);
    EXPECT_EQ(v->folder.current, nullptr);
    Select(3);
    SelectNextImage(v);
    EXPECT_EQ(v->selected, -1);
    EXPECT_EQ(v->folder.current, nullptr);
}

TEST_F(ToolbarTest, WithoutAnOpenPictureBothOnlyRedraw)
{
    List("dff");
    for (int32_t selected : {-1, 3, 99})
    {
        v->selected = selected;
        v->redraw = 0;
        SelectNextImage(v);
        EXPECT_EQ(v->selected, selected);
        EXPECT_EQ(v->redraw, 1);
        v->redraw = 0;
        SelectPreviousImage(v);
        EXPECT_EQ(v->selected, selected);
        EXPECT_EQ(v->redraw, 1);
    }
}

// [SECTION] Drive buttons

TEST_F(ToolbarTest, CurrentDriveButtonRelistsAndClearsTheSelection)
{
    // The temporary folder lies on C:, the root, which keeps it.
    char pattern[] = "/tmp/orvale-toolbar-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ASSERT_EQ(chdir(pattern), 0);
    List("dff");
    Select(2);
    ClickAt(10, Drives({{'C', DRIVE_FIXED}}));
    EXPECT_EQ(v->folder.head, nullptr);
    EXPECT_EQ(v->folder.listed, 0);
    EXPECT_EQ(v->selected, -1);
    EXPECT_EQ(v->redraw, 1);
    EXPECT_EQ(v->toolbarClickPending, 0);
    char buffer[PATH_MAX];
    EXPECT_STREQ(getcwd(buffer, sizeof buffer), pattern);
    EXPECT_EQ(chdir("/"), 0);
    EXPECT_EQ(rmdir(pattern), 0);
}

TEST_F(ToolbarTest, FailedDriveChangeLeavesEverything)
{
    // B: is never a drive on this platform, whatever the row says.
    List("dff");
    Select(2);
    ClickAt(10, Drives({{'B', DRIVE_FIXED}}));
    EXPECT_NE(v->folder.head, nullptr);
    EXPECT_EQ(v->selected, 2);
    EXPECT_EQ(v->redraw, 0);
    EXPECT_EQ(v->toolbarClickPending, 0);
}

// [SECTION] Help and Web

TEST(AboutText, IsFourAsciiLinesEndingWithTheWebHost)
{
    std::string text = kAboutText;
    std::vector<std::string> lines;
    size_t at = 0;
    for (;;)
    {
        size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos)
            break;
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 4u);
    for (unsigned char c : text)
        EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 32 && c < 127)) << (int)c;
    EXPECT_EQ(lines[0], std::string("Orvale Viewer ") + ORVALE_PROJECT_VERSION);
    char* address = PosixToBytes(kWebAddress, nullptr);
    EXPECT_EQ(std::string(address), "http://" + lines[3] + "/orvale_viewer_en.html");
    free(address);
}

TEST(HelpPage, LiesBesideTheProgram)
{
    char16_t path[PATH_MAX + 16];
    int32_t n = HelpPagePath(path, PATH_MAX + 16);
    char* bytes = PosixToBytes(path, nullptr);
    char* exe = realpath("/proc/self/exe", nullptr);
    std::string want = exe;
    want = want.substr(0, want.rfind('/') + 1) + "help.html";
    EXPECT_EQ(std::string(bytes), want);
    EXPECT_EQ((size_t)n, want.size());
    free(bytes);
    free(exe);
}

TEST(HelpPage, TooSmallABufferGivesTheBareName)
{
    // With no room for the program's path the page is looked for in the
    // current folder.
    char16_t path[12];
    EXPECT_EQ(HelpPagePath(path, 12), 9);
    EXPECT_EQ(std::u16string(path), u"help.html");
    EXPECT_EQ(HelpPagePath(path, 9), 0);
    EXPECT_EQ(path[0], 0);
}

class ToolbarOpenTest : public ToolbarTest
{
protected:
    void SetUp() override
    {
        ToolbarTest::SetUp();
        char pattern[] = "/tmp/orvale-opener-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp = pattern;
        const char* path = getenv("PATH");
        oldPath = path ? path : "";
        record = tmp + "/record";
        std::string tool = tmp + "/xdg-open";
        FILE* f = fopen(tool.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fprintf(f, "#!/bin/sh\nprintf '%%s\\n' \"$1\" >> '%s'\n", record.c_str());
        fclose(f);
        ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
        setenv("PATH", (tmp + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", oldPath.c_str(), 1);
        EXPECT_EQ(system(("rm -rf '" + tmp + "'").c_str()), 0);
        ToolbarTest::TearDown();
    }
    // Waits up to ten seconds for n recorded lines, then a moment for strays.
    std::vector<std::string> WaitForLines(size_t n)
    {
        std::vector<std::string> lines;
        for (int i = 0; i < 1000; i++)
        {
            std::string text = ReadText(record);
            if ((size_t)std::count(text.begin(), text.end(), '\n') >= n)
                break;
            usleep(10000);
        }
        usleep(300000);
        std::string text = ReadText(record);
        size_t at = 0, end;
        while ((end = text.find('\n', at)) != std::string::npos)
        {
            lines.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    std::string tmp, oldPath, record;
};

TEST_F(ToolbarOpenTest, HelpAndWebOpenTheirTargetsAcrossTheirRanges)
{
    List("ff");
    Select(0);
    for (int32_t x : {377, 442, 453, 518})
        ClickAt(x);
    for (int32_t x : {378, 441, 454, 517})
        ClickAt(x);
    EXPECT_EQ(v->selected, 0);  // neither changes the viewer
    EXPECT_EQ(v->folder.head != nullptr, true);
    char* exe = realpath("/proc/self/exe", nullptr);
    std::string help = exe;
    free(exe);
    help = help.substr(0, help.rfind('/') + 1) + "help.html";
    std::vector<std::string> want = {help, help, "http://orvale-viewer.org/orvale_viewer_en.html",
                                     "http://orvale-viewer.org/orvale_viewer_en.html"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(WaitForLines(4), want);
}

}  // namespace
