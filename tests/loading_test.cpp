// Tests of loading through the workers on the headless host: thumbnails
// committed in listing order and equal to the window's own loads, also when
// the folder is renamed after listing; Prev and Next opening what the serial
// load opens; Next, entering a folder, changing drive and Esc never waiting
// for a worker held inside a decode; a memory limit that gives no failure
// the serial load does not give; one CPU, no workers. Built again under
// ThreadSanitizer (build-tsan).
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <sched.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/job_queue.h"
#include "platform/headless/headless.h"
#include "render/frame.h"
#include "render/split.h"
#include "tests/serial_load.h"
#include "tests/temp_folder.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

using testfs::SerialState;
using testfs::State;

// Returns the open picture's pixels.
Bytes Shown(const CViewer* v)
{
    Bytes shown;
    for (FIBITMAP* b : {v->openPrimary, v->openSecondary})
        if (b)
            shown.insert(shown.end(), FreeImage_GetBits(b), FreeImage_GetBits(b) + FreeImage_GetPitch(b) * FreeImage_GetHeight(b));
    return shown;
}

// Pictures that take a while each, in a folder and a sub-folder.
void WritePictures(const testfs::TempFolder& f)
{
    const Bytes big = testfs::Fixture("sbs_2000x1000.jps"), pair = testfs::Fixture("camera_pair.mpo");
    ASSERT_TRUE(f.Folder("sub"));
    for (int k = 0; k < 10; k++)
        ASSERT_TRUE(f.Write("p" + std::to_string(k) + ".jps", big) && f.Write("sub/q" + std::to_string(k) + ".mpo", pair));
}

class Loading : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetJobWorkers(2);
        HeadlessReset(), InitViewer(v);
        windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
        HeadlessSetClient(0, 0, 800, 600);
    }
    void TearDown() override
    {
        HoldJobDecodes(false);
        TeardownViewer(v), windowDC = nullptr, HeadlessReset();
        EXPECT_EQ(StopJobQueue(60000), 1);
        SetJobWorkers(-1);
    }
    // Ticks until no thumbnail is pending; the made ones always come first.
    void Fill()
    {
        for (int tick = 0; tick < 20000; tick++, usleep(1000))
        {
            HeadlessSend(WM_TIMER, 13, 0);
            int gap = 0;
            for (int32_t i = 0; i < v->folder.count; i++)
                if (CFileEntry* e = v->folder.entries[i]; !e->isDir)
                {
                    ASSERT_TRUE(e->thumbPending || gap == 0) << "made after a pending one";
                    gap += e->thumbPending;
                }
            if (!gap)
                return;
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
    CViewer* v = &gViewer;
    testfs::TempFolder folder;
};

// The folder renamed after listing, before the first tick: the workers cannot
// read through the listed path, and the fill ends as the serial one.
TEST_F(Loading, FolderRenamedAfterListingFillsAsSerial)
{
    WritePictures(folder);
    ASSERT_TRUE(folder.Folder("shown"));
    for (int k = 0; k < 6; k++)
        fs::copy_file(folder.At("p" + std::to_string(k) + ".jps"), folder.At("shown/p" + std::to_string(k) + ".jps"));
    ASSERT_EQ(chdir(folder.At("shown").c_str()), 0);
    HeadlessSend(WM_PAINT, 0, 0);
    fs::rename(folder.At("shown"), folder.At("moved"));
    Fill();
    ExpectAsSerial();
    for (int32_t i = 1; i < v->folder.count; i++)
        EXPECT_EQ(v->folder.entries[i]->loadFailed, 0) << i;
}

// Steps through the fixtures from a two-stream picture, each neighbour
// decoded ahead before the step: shown pixels and entries as loading them,
// up to a file that fails and closes the view.
TEST_F(Loading, PrevAndNextOpenWhatLoadingOpens)
{
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    HeadlessSend(WM_PAINT, 0, 0);
    Select(u"camera_pair.mpo");
    CFileEntry* opened = nullptr;
    for (const char* step = "onppnnnnnnn"; *step; step++)
    {
        while (!JobQueueIdle())
            usleep(1000);
        *step == 'n' ? SelectNextImage(v) : *step == 'p' ? SelectPreviousImage(v) : void();
        opened = EntryAt(&v->folder, v->selected);
        Bytes pixels, want = SerialState(opened, &pixels, 0);
        HeadlessSend(WM_PAINT, 0, 0);
        // A failure here while workers held memory is tried again once they hold none.
        while (v->selected >= 0 && v->selected != v->loaded && usleep(1000) == 0)
            HeadlessSend(WM_PAINT, 0, 0);
        if (v->selected < 0)
            break;
        EXPECT_EQ(State(opened), want) << step;
        EXPECT_EQ(Shown(v), pixels) << step;
    }
    EXPECT_EQ(v->selected, -1);
    EXPECT_EQ(std::u16string(opened->name), u"huge_header.jpg");
    EXPECT_EQ(opened->loadFailed, 1);
}

// Every worker held inside a decode: Next onto a neighbour being decoded
// ahead, entering a folder, changing drive (which clears the listing) and Esc
// all return (the test would hang were one to wait), and what opens is what
// loading opens; Prev then shows the picture kept from before, not a decode.
TEST_F(Loading, NothingWaitsForAHeldWorker)
{
    WritePictures(folder);
    ASSERT_TRUE(folder.Enter());
    HoldJobDecodes(true);
    HeadlessSend(WM_PAINT, 0, 0), HeadlessSend(WM_TIMER, 13, 0);  // list, then queue
    Select(u"p0.jps");
    HeadlessSend(WM_PAINT, 0, 0);  // open here; p1 is queued to be decoded ahead
    while (JobsHeldInDecode() < 2)
        usleep(1000);
    uint8_t* first = FreeImage_GetBits(v->openPrimary);
    const uint8_t marked = first[0] ^= 0x5A;
    SelectNextImage(v);
    Bytes pixels, want = SerialState(EntryAt(&v->folder, v->selected), &pixels, 0);
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_GE(v->selected, 0);
    EXPECT_EQ(State(EntryAt(&v->folder, v->selected)), want);
    EXPECT_EQ(Shown(v), pixels);
    SelectPreviousImage(v);
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_TRUE(v->openPrimary);
    EXPECT_EQ(FreeImage_GetBits(v->openPrimary)[0], marked) << "p0 decoded again";
    Select(u"sub");
    HeadlessSend(WM_PAINT, 0, 0), HeadlessSend(WM_PAINT, 0, 0);  // enter, list
    EXPECT_EQ(std::u16string(v->folder.entries[1]->name), u"q0.mpo");
    HeadlessSend(WM_TIMER, 13, 0);
    ClearFolder(&v->folder);  // what a drive button does after changing drive
    HeadlessSend(WM_KEYDOWN, VK_ESCAPE, 0);
    int code = 1;
    EXPECT_TRUE(HeadlessQuitPosted(&code));
    EXPECT_EQ(JobsHeldInDecode(), 2);
    HoldJobDecodes(false);
}

// A load here that fails while workers hold pixels may have failed for want
// of their memory: it is not committed but tried again once they hold none,
// for a thumbnail and for the open picture. Here the failures are files moved
// away for a moment.
TEST_F(Loading, FailureWhileWorkersHoldPixelsIsTriedAgain)
{
    WritePictures(folder);
    ASSERT_TRUE(folder.Enter());
    HeadlessSend(WM_PAINT, 0, 0);
    fs::rename("p0.jps", "sub/p0.jps");
    HoldJobDecodes(true);
    HeadlessSend(WM_TIMER, 13, 0);  // p0's job fails at once; p1 and p2 are held
    while (JobsHeldInDecode() < 2)
        usleep(1000);
    HeadlessSend(WM_TIMER, 13, 0);
    Select(u"p0.jps");
    EXPECT_EQ(EntryAt(&v->folder, v->selected)->thumbPending, 1) << "a failure committed while workers held pixels";
    fs::rename("sub/p0.jps", "p0.jps");
    HoldJobDecodes(false);
    v->selected = -1;
    Fill();
    ExpectAsSerial();

    Select(u"p1.jps");
    HoldJobDecodes(true);
    HeadlessSend(WM_PAINT, 0, 0);  // p0 and p2 decoded ahead, held
    while (JobsHeldInDecode() < 2)
        usleep(1000);
    fs::rename("p3.jps", "sub/p3.jps");
    Select(u"p3.jps");
    HeadlessSend(WM_PAINT, 0, 0);
    EXPECT_NE(v->selected, -1) << "an open failure committed while workers held pixels";
    fs::rename("sub/p3.jps", "p3.jps");
    HoldJobDecodes(false);
    while (v->selected >= 0 && v->selected != v->loaded && usleep(1000) == 0)
        HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_GE(v->selected, 0);
    EXPECT_EQ(EntryAt(&v->folder, v->selected)->loadFailed, 0);
}

// One CPU: no worker nor helper is started, and the fill still comes in
// listing order, as the serial load makes it.
TEST_F(Loading, OneCpuFillsInOrderWithoutWorkers)
{
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    SetJobWorkers(-1), SetSplitThreads(0);
    EXPECT_EQ(JobWorkers(), 0);
    EXPECT_EQ(SplitThreads(), 1);
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    HeadlessSend(WM_PAINT, 0, 0);
    Fill();
    ExpectAsSerial();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    SetJobWorkers(-1), SetSplitThreads(0);
    EXPECT_EQ(JobWorkers(), std::min(CPU_COUNT(&all), 4));
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Returns the process's address space in bytes (VmSize).
long long AddressSpace()
{
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long long kb = 0;
    while (f && fgets(line, sizeof line, f))
        sscanf(line, "VmSize: %lld kB", &kb) == 1 ? void() : void();
    if (f)
        fclose(f);
    return kb * 1024;
}

// Fills the current folder and returns which entries failed.
std::vector<int> FailedAfterFill(CViewer* v, int32_t workers)
{
    SetJobWorkers(workers);
    ClearFolder(&v->folder);
    HeadlessSend(WM_PAINT, 0, 0);
    for (int tick = 0; tick < 100000 && EntryAt(&v->folder, v->folder.count - 1)->thumbPending; tick++, usleep(1000))
        HeadlessSend(WM_TIMER, 13, 0);
    std::vector<int> failed;
    for (int32_t i = 0; i < v->folder.count; i++)
        failed.push_back(v->folder.entries[i]->thumbPending ? -1 : v->folder.entries[i]->loadFailed);
    return failed;
}

// Panoramas in a process whose address space leaves room for one at a time:
// the workers' fill gives no failure that the serial fill does not, and the
// process ends normally.
TEST_F(Loading, MemoryLimitGivesNoFailureTheSerialLoadDoesNotGive)
{
    FIBITMAP* panorama = FreeImage_Allocate(6000, 3000, 24);
    for (unsigned y = 0; y < 3000; y++)
        memset(FreeImage_GetScanLine(panorama, y), (int)(y * 7), 6000 * 3);
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, panorama, folder.At("pano.jpg").c_str(), 0));
    FreeImage_Unload(panorama);
    for (int k = 0; k < 5; k++)
        fs::copy_file(folder.At("pano.jpg"), folder.At("pano" + std::to_string(k) + ".jpg"));
    ASSERT_TRUE(folder.Enter());
    ASSERT_EQ(StopJobQueue(60000), 1);  // no thread may hold a lock across the fork
    pid_t child = fork();
    if (child == 0)
    {
        SetJobWorkers(2);
        JobWorkers();
        FailedAfterFill(v, 2);  // every thread and heap of the run in place first
        struct rlimit limit = {(rlim_t)(AddressSpace() + (90ll << 20)), RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);
        std::vector<int> serial = FailedAfterFill(v, 0), ahead = FailedAfterFill(v, 2);
        bool serialFits = std::count(serial.begin(), serial.end(), 0) == (long)serial.size();
        _exit(!serialFits ? 3 : serial == ahead ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child crashed: signal " << WTERMSIG(status);
    EXPECT_NE(WEXITSTATUS(status), 3) << "the serial fill failed within the limit: the test proves nothing";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
