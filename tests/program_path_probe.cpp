// program_path_probe.cpp - prints the program's own path and the help page the
// toolbar would open, one per line, for the installation test.
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "viewer/toolbar.h"

int main()
{
    enum { kCapacity = 4096 + 16 };
    char16_t program[kCapacity], help[kCapacity];
    if (PlatGetProgramPath(program, kCapacity) <= 0 || HelpPagePath(help, kCapacity) <= 0)
        return 1;
    char* a = PosixToBytes(program, nullptr);
    char* b = PosixToBytes(help, nullptr);
    if (!a || !b)
        return 1;
    printf("%s\n%s\n", a, b);
    free(a);
    free(b);
    return 0;
}
