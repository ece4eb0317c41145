// posix_threads.cpp - threads, their scheduling priority and the CPUs the
// process may use, on POSIX.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

enum
{
    // Nice steps below the window's thread: enough that the scheduler hands a
    // shared core to the window whenever it wants one, not so many that
    // background decoding stops while other programs keep the cores busy.
    kBackgroundNiceSteps = 3,
};

struct PlatThread
{
    pthread_t id;
};

// What a new thread runs; the thread frees it.
struct ThreadStart
{
    void (*main)(void*);
    void* argument;
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

// Runs a thread's own function with its argument.
static void* RunThread(void* start)
{
    ThreadStart run = *(ThreadStart*)start;
    free(start);
    run.main(run.argument);
    return nullptr;
}

PlatThread* PlatStartThread(void (*main)(void* argument), void* argument)
{
    PlatThread* thread = (PlatThread*)malloc(sizeof(PlatThread));
    ThreadStart* start = (ThreadStart*)malloc(sizeof(ThreadStart));
    if (thread && start)
    {
        *start = {main, argument};
        if (pthread_create(&thread->id, nullptr, RunThread, start) == 0)
            return thread;
    }
    free(thread);
    free(start);
    return nullptr;
}

void PlatJoinThread(PlatThread* thread)
{
    pthread_join(thread->id, nullptr);
    free(thread);
}

void PlatDetachThread(PlatThread* thread)
{
    pthread_detach(thread->id);
    free(thread);
}

#ifdef __linux__
// Returns the CPUs that the control group's quota (cgroup v2 cpu.max: quota
// and period in microseconds) amounts to, rounded up; 0 when there is none.
static int32_t QuotaCpus()
{
    char line[512] = {0};
    FILE* f = fopen("/proc/self/cgroup", "re");
    bool found = false;
    while (f && !found && fgets(line, sizeof line, f))
        found = strncmp(line, "0::", 3) == 0;
    if (f)
        fclose(f);
    if (!found)
        return 0;
    line[strcspn(line, "\n")] = 0;
    char path[600];
    snprintf(path, sizeof path, "/sys/fs/cgroup%s/cpu.max", line + 3);
    f = fopen(path, "re");
    long long quota = 0, period = 0;
    int got = f ? fscanf(f, "%lld %lld", &quota, &period) : 0;
    if (f)
        fclose(f);
    // "max 100000" reads no quota: the first number is not one.
    if (got != 2 || quota <= 0 || period <= 0)
        return 0;
    long long cpus = (quota + period - 1) / period;
    return cpus > 1024 ? 1024 : (int32_t)cpus;
}
#endif

int32_t PlatUsableCpus()
{
    int32_t cpus = 0;
#ifdef __linux__
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        cpus = CPU_COUNT(&set);
    int32_t quota = QuotaCpus();
    if (quota > 0 && (cpus == 0 || quota < cpus))
        cpus = quota;
#endif
    if (cpus <= 0)
    {
        long online = sysconf(_SC_NPROCESSORS_ONLN);
        cpus = online > 0 ? (int32_t)(online > 1024 ? 1024 : online) : 1;
    }
    return cpus;
}
