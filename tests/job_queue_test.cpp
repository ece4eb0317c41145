// Tests of the decoders' table, format detection from a file's first bytes,
// and the job queue's pixel budget on real files. (loading_test checks that
// the window never waits for a held worker, and results against the window's
// own loads.) Built again under ThreadSanitizer (build-tsan).
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "folder/decoder.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/job_queue.h"
#include "tests/temp_folder.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const char16_t kFixtures[] = u"" ORVALE_FIXTURES;

// A fixture's entry as the listing makes it.
struct CSerial
{
    CFileEntry entry = {};
    CSerial(const char16_t* name, uint8_t)
    {
        EXPECT_EQ(chdir(ORVALE_FIXTURES), 0);
        entry.thumbPending = 1, entry.flat = 0, entry.name = (char16_t*)name;  // as the listing starts
        ClassifyName(name, &entry.flat);
        entry.format = DetectImageFormat(name);
    }
};

// Submits a fixture's job as the window would, from the listing's entry.
uint32_t Submit(const CFileEntry* e, uint8_t kind, const char16_t* folder = kFixtures)
{
    CJobRequest r = {folder, e->name, e->format, e->flat, kind};
    return SubmitJob(&r);
}

// Asks for a job's result until it is not kJobNotReady (a worker always ends).
int Take(uint32_t job, CJobResult* result)
{
    int got;
    while ((got = TakeJobResult(job, result)) == kJobNotReady)
        usleep(1000);
    return got;
}

void WaitIdle()
{
    while (!JobQueueIdle())
        usleep(1000);
}

const char16_t* const kFiles[] = {u"camera_pair.mpo", u"two_streams.jpg", u"three_streams.jpg", u"gap_between.jpg",
    u"empty_first_stream.jpg", u"sbs_2000x1000.jps", u"left.JPS", u"jps", u"portrait_800x1200.png", u"palette.png",
    u"grey16.png", u"rgba.png", u"x.bmp", u"preview_in_app1.jpg", u"one_pixel_wide.jps", u"huge_header.jpg",
    u"truncated_header.jpg", u"empty.jpg"};

class JobQueue : public ::testing::Test
{
protected:
    void SetUp() override { SetJobWorkers(2), SetJobPixelBudget(0); }
    void TearDown() override
    {
        HoldJobDecodes(false);
        EXPECT_EQ(StopJobQueue(60000), 1);
        SetJobWorkers(-1);
    }
};

// The table picks the first decoder that answers: two streams before the
// name's pair rule, the flat picture for everything else.
TEST(Decoders, TableTakesTheFirstThatAnswers)
{
    // The file, and the decoder that must take it.
    const std::pair<const char16_t*, const char*> cases[] = {{u"camera_pair.mpo", "two-stream JPEG"},
        {u"a.jps.jpg", "flat picture"}, {u"sbs_2000x1000.jps", "side-by-side pair"}, {u"jps", "side-by-side pair"},
        {u"preview_in_app1.jpg", "flat picture"}, {u"flat_100.png", "flat picture"}};
    for (const auto& [name, want] : cases)
    {
        CSerial s(name, 1);
        const Bytes bytes = testfs::Fixture(std::string(name, name + std::char_traits<char16_t>::length(name)));
        CDecodeInput in = {bytes.data(), (int32_t)bytes.size(), s.entry.format, s.entry.flat};
        int32_t found = 0;
        EXPECT_STREQ(FindDecoder(&in, &found)->name, want) << testing::PrintToString(std::u16string(name));
    }
}

// The format told from the first bytes is the one FreeImage tells from the
// whole file, for every fixture and for what is no picture.
TEST(Decoders, FormatFromTheHeadAsFromTheWholeFile)
{
    testfs::TempFolder t;
    ASSERT_TRUE(t.Folder("dir.jpg") && t.Write("text.jpg", {'t'}) && t.Enter());
    EXPECT_EQ(DetectImageFormat(u"dir.jpg"), -1);
    EXPECT_EQ(DetectImageFormat(u"text.jpg"), -1);
    EXPECT_EQ(DetectImageFormat(u"missing.jpg"), -1);
    ASSERT_EQ(chdir(ORVALE_FIXTURES), 0);
    for (const char16_t* name : kFiles)
    {
        std::string path(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_EQ(DetectImageFormat(name), FreeImage_GetFileType(path.c_str(), 0)) << path;
    }
}

// Pictures wait for room: with room for one, the second does not decode while
// the first does; a picture larger than the whole budget decodes alone.
TEST_F(JobQueue, PixelsHeldStayWithinTheBudget)
{
    CSerial s(u"sbs_2000x1000.jps", 1);
    SetJobPixelBudget(3000000);
    HoldJobDecodes(true);
    uint32_t first = Submit(&s.entry, kJobPicture), second = Submit(&s.entry, kJobPicture), rest = 0;
    while (JobsHeldInDecode() < 1)
        usleep(1000);
    usleep(200000);  // time enough for the other to reach its decode, were there room
    EXPECT_EQ(JobsHeldInDecode(), 1);
    EXPECT_EQ(JobPixelsHeld(), 2000000);
    HoldJobDecodes(false);
    CJobResult a, b;
    int got;
    for (;; usleep(1000))
    {
        if ((got = TakeJobResult(first, &a)) != kJobNotReady && (rest = second))
            break;
        if ((got = TakeJobResult(second, &a)) != kJobNotReady && (rest = first))
            break;
    }
    ASSERT_EQ(got, kJobDone);
    ASSERT_EQ(Take(rest, &b), kJobDone);
    FreeBitmapsLater(a.picture.primary, a.picture.secondary);
    FreeBitmapsLater(b.picture.primary, b.picture.secondary);
    SetJobPixelBudget(1000000);
    ASSERT_EQ(Take(Submit(&s.entry, kJobPicture), &a), kJobDone);
    EXPECT_EQ(JobPixelsHeld(), 0);
    FreeBitmapsLater(a.picture.primary, a.picture.secondary);
    WaitIdle();
}

}  // namespace
