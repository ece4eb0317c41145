// Tests of the program's own path and of opening documents with xdg-open.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"

namespace {

std::string ToBytes(const char16_t* text)
{
    char* bytes = PosixToBytes(text, nullptr);
    std::string s = bytes ? bytes : "";
    free(bytes);
    return s;
}

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

// Returns whether the process has no child left, running or dead.
bool NoChildLeft()
{
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ProgramPath, NamesTheRealExecutable)
{
    char16_t buffer[PATH_MAX];
    int32_t n = PlatGetProgramPath(buffer, PATH_MAX);
    ASSERT_GT(n, 0);
    char* real = realpath("/proc/self/exe", nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(ToBytes(buffer), real);
    EXPECT_EQ((size_t)n, strlen(real));
    free(real);
}

TEST(ProgramPath, TooSmallABufferGivesNothing)
{
    char16_t full[PATH_MAX];
    int32_t n = PlatGetProgramPath(full, PATH_MAX);
    ASSERT_GT(n, 1);
    char16_t small[PATH_MAX];
    small[0] = u'x';
    EXPECT_EQ(PlatGetProgramPath(small, n), 0);  // no room for the terminator
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(PlatGetProgramPath(small, n + 1), n);
}

class OpenDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvale-open-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp = pattern;
        const char* path = getenv("PATH");
        oldPath = path ? path : "";
        record = tmp + "/record";
        gate = tmp + "/gate";
    }
    void TearDown() override
    {
        setenv("PATH", oldPath.c_str(), 1);
        ASSERT_EQ(system(("rm -rf '" + tmp + "'").c_str()), 0);
    }
    // Puts a recording xdg-open first on PATH: it writes its argument, the
    // targets of its standard streams and its session, then waits at a FIFO
    // until the test lets it finish.
    void InstallRecorder()
    {
        ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
        std::string script = "#!/bin/sh\n"
                             "in=$(readlink /proc/$$/fd/0); out=$(readlink /proc/$$/fd/1)\n"
                             "err=$(readlink /proc/$$/fd/2); sid=$(cut -d' ' -f6 /proc/$$/stat)\n"
                             "printf '%s\\n' \"$1\" \"$in\" \"$out\" \"$err\" \"$sid\" > '" + record + ".part'\n"
                             "mv '" + record + ".part' '" + record + "'\n"
                             "read line < '" + gate + "'\n"
                             "echo done >> '" + record + "'\n";
        std::string tool = tmp + "/xdg-open";
        FILE* f = fopen(tool.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(script.c_str(), f);
        fclose(f);
        ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
        setenv("PATH", (tmp + ":" + oldPath).c_str(), 1);
    }
    // Waits up to ten seconds for the recorder's first report.
    std::string WaitForRecord()
    {
        for (int i = 0; i < 1000; i++)
        {
            if (access(record.c_str(), F_OK) == 0)
                return ReadText(record);
            usleep(10000);
        }
        return "";
    }
    // Lets the recorder finish by opening the FIFO's writing end.
    void OpenGate()
    {
        for (int i = 0; i < 1000; i++)
        {
            int fd = open(gate.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
            {
                ASSERT_EQ(write(fd, "go\n", 3), 3);
                close(fd);
                return;
            }
            usleep(10000);
        }
        FAIL() << "the recorder never waited at its gate";
    }
    std::string tmp, oldPath, record, gate;
};

TEST_F(OpenDocumentTest, StartsXdgOpenDetachedAndReturnsAtOnce)
{
    InstallRecorder();
    PlatOpenDocument(u"/opt/orvale viewer/help \u00e9.html");
    // xdg-open is still waiting at its gate: the viewer did not wait for it
    // and holds no child, running or dead.
    EXPECT_TRUE(NoChildLeft());
    std::string text = WaitForRecord();
    std::string sid = std::to_string(getsid(0));
    EXPECT_EQ(text.substr(0, text.find('\n')), "/opt/orvale viewer/help \u00e9.html");
    EXPECT_NE(text.find("/dev/null\n/dev/null\n/dev/null\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n" + sid + "\n"), std::string::npos) << "same session " << sid;
    EXPECT_EQ(text.find("done"), std::string::npos);
    OpenGate();
    for (int i = 0; i < 1000 && ReadText(record).find("done") == std::string::npos; i++)
        usleep(10000);
    EXPECT_NE(ReadText(record).find("done"), std::string::npos);
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(OpenDocumentTest, WebAddressIsPassedUnchanged)
{
    InstallRecorder();
    PlatOpenDocument(u"http://example.org/a b?c=d&e='f'");
    std::string text = WaitForRecord();
    EXPECT_EQ(text.substr(0, text.find('\n')), "http://example.org/a b?c=d&e='f'");
    OpenGate();
}

TEST_F(OpenDocumentTest, LeadingDashIsNotTakenForAnOption)
{
    InstallRecorder();
    PlatOpenDocument(u"-help.html");
    std::string text = WaitForRecord();
    EXPECT_EQ(text.substr(0, text.find('\n')), "./-help.html");
    OpenGate();
}

TEST_F(OpenDocumentTest, MissingXdgOpenFailsSilently)
{
    setenv("PATH", tmp.c_str(), 1);  // nothing there
    PlatOpenDocument(u"help.html");
    EXPECT_TRUE(NoChildLeft());
}

}  // namespace
