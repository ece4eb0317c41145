// split.cpp - a team of helper threads that share the parts of one call with
// the calling thread.
//
// The caller publishes a round (the work and its part count), wakes the
// helpers, and takes parts itself; each part is handed out once through an
// atomic counter. The call returns when every part is done and no helper is
// still inside the round, so the next round can never be mixed with it.
#include "render/split.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

#include "platform/platform.h"

namespace {

enum
{
    kMaxThreads = 4,
};

struct CSplitTeam;

// What one helper thread is started with.
struct CHelper
{
    CSplitTeam* team;
    int32_t thread;
};

struct CSplitTeam
{
    std::mutex lock;
    std::condition_variable go;    // helpers wait here for a round
    std::condition_variable done;  // the caller waits here for its end
    bool stop = false;
    uint64_t round = 0;
    void (*work)(void*, int32_t, int32_t) = nullptr;
    void* context = nullptr;
    int32_t parts = 0;
    std::atomic<int32_t> next{0};
    int32_t finished = 0;  // parts done this round
    int32_t inside = 0;    // helpers taking parts this round
    int32_t helpers = 0;
    PlatThread* threads[kMaxThreads - 1] = {};
    CHelper started[kMaxThreads - 1] = {};
};

CSplitTeam* gTeam;
int32_t gPinnedThreads;
int32_t gUsableThreads;  // from the CPUs, found once

// Takes and runs parts until none is left; returns how many it ran.
int32_t RunSome(CSplitTeam* t, void (*work)(void*, int32_t, int32_t), void* context, int32_t parts, int32_t thread)
{
    int32_t ran = 0;
    for (int32_t p; (p = t->next.fetch_add(1)) < parts; ran++)
        work(context, p, thread);
    return ran;
}

void HelperMain(void* argument)
{
    CSplitTeam* t = ((CHelper*)argument)->team;
    const int32_t thread = ((CHelper*)argument)->thread;
    std::unique_lock<std::mutex> hold(t->lock);
    uint64_t seen = t->round;
    for (;;)
    {
        t->go.wait(hold, [&] { return t->stop || t->round != seen; });
        if (t->stop)
            return;
        seen = t->round;
        // A round whose parts are all done is over: its caller may be gone.
        if (t->finished >= t->parts)
            continue;
        void (*work)(void*, int32_t, int32_t) = t->work;
        void* context = t->context;
        int32_t parts = t->parts;
        t->inside++;
        hold.unlock();
        int32_t ran = RunSome(t, work, context, parts, thread);
        hold.lock();
        t->finished += ran;
        t->inside--;
        if (t->finished == t->parts && t->inside == 0)
            t->done.notify_one();
    }
}

CSplitTeam* Team()
{
    if (gTeam)
        return gTeam;
    CSplitTeam* t = new (std::nothrow) CSplitTeam;
    if (!t)
        return nullptr;
    // A helper that cannot be started leaves its parts to the others.
    const int32_t wanted = SplitThreads() - 1;
    for (int32_t k = 0; k < wanted; k++)
    {
        std::lock_guard<std::mutex> hold(t->lock);
        t->started[k] = {t, k + 1};
        t->threads[k] = PlatStartThread(HelperMain, &t->started[k]);
        if (!t->threads[k])
            break;
        t->helpers++;
    }
    gTeam = t;
    return t;
}

}  // namespace

int32_t SplitThreads()
{
    if (gPinnedThreads > 0)
        return gPinnedThreads;
    if (gUsableThreads == 0)
    {
        int32_t cpus = PlatUsableCpus();
        gUsableThreads = cpus > kMaxThreads ? kMaxThreads : cpus;
    }
    return gUsableThreads;
}

void RunParts(int32_t parts, void (*work)(void* context, int32_t part, int32_t thread), void* context)
{
    CSplitTeam* t = parts > 1 ? Team() : nullptr;
    if (!t || t->helpers == 0)
    {
        for (int32_t p = 0; p < parts; p++)
            work(context, p, 0);
        return;
    }
    std::unique_lock<std::mutex> hold(t->lock);
    t->work = work;
    t->context = context;
    t->parts = parts;
    t->finished = 0;
    t->next.store(0);
    t->round++;
    hold.unlock();
    t->go.notify_all();
    int32_t ran = RunSome(t, work, context, parts, 0);
    hold.lock();
    t->finished += ran;
    t->done.wait(hold, [t] { return t->finished == t->parts && t->inside == 0; });
}

void SetSplitThreads(int32_t threads)
{
    StopSplitThreads();
    gPinnedThreads = threads < 0 ? 0 : threads > kMaxThreads ? kMaxThreads : threads;
    gUsableThreads = 0;  // counted again from the CPUs the process may use now
}

void StopSplitThreads()
{
    CSplitTeam* t = gTeam;
    if (!t)
        return;
    {
        std::lock_guard<std::mutex> hold(t->lock);
        t->stop = true;
    }
    t->go.notify_all();
    for (int32_t k = 0; k < t->helpers; k++)
        PlatJoinThread(t->threads[k]);
    delete t;
    gTeam = nullptr;
}
