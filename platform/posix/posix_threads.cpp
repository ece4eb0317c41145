// posix_threads.cpp - scheduling priority of background threads on POSIX.
#include <sys/resource.h>
#include <cerrno>
#include <unistd.h>

#include "platform/platform.h"

enum
{
    // Nice steps below the window's thread: enough that the scheduler hands a
    // shared core to the window whenever it wants one, not so many that
    // background decoding stops while other programs keep the cores busy.
    kBackgroundNiceSteps = 3,
};

void PlatLowerThreadPriority()
{
#ifdef __linux__
    // Linux keeps a nice value per thread: the thread's own id names it alone.
    const id_t self = (id_t)gettid();
    errno = 0;
    int now = getpriority(PRIO_PROCESS, self);
    if (errno == 0)
        setpriority(PRIO_PROCESS, self, now + kBackgroundNiceSteps);
#endif
    // Elsewhere nice values belong to the whole process: lowering them would
    // slow the window too, so background threads keep the priority they have.
}
