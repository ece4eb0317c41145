// Tests of the program's own path and of opening documents with xdg-open.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "tests/temp_folder.h"

namespace {

// Answers whether the process has no child left, running or dead.
bool NoChildLeft()
{
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ProgramPath, NamesTheRealExecutableOrNothing)
{
    char16_t buffer[PATH_MAX];
    int32_t n = PlatGetProgramPath(buffer, PATH_MAX);
    char *bytes = PosixToBytes(buffer, nullptr), *real = realpath("/proc/self/exe", nullptr);
    EXPECT_TRUE(n > 1 && std::string(bytes) == real && (size_t)n == strlen(real)) << bytes;
    free(bytes), free(real);
    buffer[0] = u'x';
    EXPECT_EQ(PlatGetProgramPath(buffer, n), 0);  // no room for the terminator
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(PlatGetProgramPath(buffer, n + 1), n);
}

// An xdg-open first on PATH that appends its argument, the targets of its
// standard streams and its session to a record in one write, then waits at a
// FIFO until the test lets it finish, and says so.
class OpenDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string record = dir.At("record");
        std::string script = "#!/bin/sh\ns=$(readlink /proc/$$/fd/[012]; cut -d' ' -f6 /proc/$$/stat)"
                             "\nprintf '%s\\n%s\\n' \"$1\" \"$s\" >> " + record + "\nread line < " + dir.At("gate") +
                             "\necho done >> " + record + "\n";
        ASSERT_TRUE(dir.Write("xdg-open", std::vector<uint8_t>(script.begin(), script.end())));
        ASSERT_TRUE(chmod(dir.At("xdg-open").c_str(), 0755) == 0 && mkfifo(dir.At("gate").c_str(), 0600) == 0);
        setenv("PATH", (dir.path + ":" + path).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", path.c_str(), 1); }
    // Returns everything the recorders have written so far.
    std::string Recorded()
    {
        std::vector<uint8_t> bytes = testfs::ReadFile(dir.At("record"));
        return std::string(bytes.begin(), bytes.end());
    }
    testfs::TempFolder dir;
    std::string path = getenv("PATH");
};

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

TEST_F(OpenDocumentTest, StartsXdgOpenDetachedWithTheDocumentUnchanged)
{
    for (const char16_t* d : {u"/opt/orvale viewer/help \u00e9.html", u"http://example.org/a b?c=d&e='f'",
                              u"-help.html"})
        PlatOpenDocument(d);
    // The three wait at their gate: the viewer did not wait for them and
    // holds no child, running or dead. Their streams lead nowhere, they run
    // in a session of their own, and a leading dash is no option.
    EXPECT_TRUE(NoChildLeft());
    const std::string streams = "/dev/null\n/dev/null\n/dev/null\n", session = std::to_string(getsid(0)) + "\n";
    std::string text;
    for (int i = 0; i < 1000 && Count(text = Recorded(), streams) < 3; i++)
        usleep(10000);
    for (const char* d :
         {"./-help.html\n", "/opt/orvale viewer/help \xC3\xA9.html\n", "http://example.org/a b?c=d&e='f'\n"})
        EXPECT_EQ(Count(text, d + streams), 1u) << text;
    EXPECT_TRUE(Count(text, streams + session) == 0 && Count(text, "done") == 0) << text;
    // Let go (each reads a line, or the end of a writer), each finishes.
    for (int i = 0; i < 1000 && Count(text = Recorded(), "done") < 3; i++)
    {
        if (int fd = open(dir.At("gate").c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
        {
            EXPECT_EQ(write(fd, "go\ngo\ngo\n", 9), 9);
            close(fd);
        }
        usleep(10000);
    }
    EXPECT_EQ(Count(text, "done"), 3u);
    EXPECT_TRUE(NoChildLeft());
    // Without an xdg-open nothing happens either.
    setenv("PATH", "/nonexistent", 1);
    PlatOpenDocument(u"help.html");
    EXPECT_TRUE(NoChildLeft());
}

}  // namespace
