// posix_shell.cpp - the program's own path and opening documents on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"

extern char** environ;

int32_t PlatGetProgramPath(char16_t* buffer, int32_t capacity)
{
    if (capacity > 0)
        buffer[0] = 0;
    // The link names the real file, wherever the program was started from
    // (a symbolic link in bin/ included).
    size_t size = 256;
    char* bytes = nullptr;
    ssize_t n = 0;
    for (;;)
    {
        char* grown = (char*)realloc(bytes, size);
        if (!grown)
        {
            free(bytes);
            return 0;
        }
        bytes = grown;
        n = readlink("/proc/self/exe", bytes, size);
        if (n < 0)
        {
            free(bytes);
            return 0;
        }
        if ((size_t)n < size)
            break;
        if (size >= 65536)
        {
            free(bytes);
            return 0;
        }
        size *= 2;
    }
    size_t length = 0;
    char16_t* path = PosixToUtf16(bytes, (size_t)n, &length);
    free(bytes);
    if (!path)
        return 0;
    int32_t result = 0;
    if (length > 0 && capacity > 0 && length < (size_t)capacity)
    {
        memcpy(buffer, path, (length + 1) * sizeof(char16_t));
        result = (int32_t)length;
    }
    free(path);
    return result;
}

void PlatOpenDocument(const char16_t* pathOrAddress)
{
    char* target = PosixToBytes(pathOrAddress, nullptr);
    if (!target)
        return;
    // xdg-open would read a leading dash as an option.
    char* arg = target;
    char* dotted = nullptr;
    if (target[0] == '-')
    {
        size_t n = strlen(target);
        dotted = (char*)malloc(n + 3);
        if (!dotted)
        {
            free(target);
            return;
        }
        memcpy(dotted, "./", 2);
        memcpy(dotted + 2, target, n + 1);
        arg = dotted;
    }

    // A short-lived shell in a session of its own starts xdg-open in the
    // background and exits at once: the viewer reaps only the shell, and
    // xdg-open, however long it lives, belongs to init. Every stream is
    // /dev/null and every signal is back at its default, so nothing the
    // opener does reaches the viewer. posix_spawn rather than fork keeps this
    // safe whatever threads a window system library may have started.
    static const char kScript[] = "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";
    char* argv[] = {(char*)"sh", (char*)"-c", (char*)kScript, (char*)"sh", arg, nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ) == 0)
    {
        // The shell only forks and exits; a viewer that ignores SIGCHLD has
        // no child left to wait for (ECHILD), which is fine too.
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR)
        {
        }
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    free(dotted);
    free(target);
}
