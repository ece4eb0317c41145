// posix_memory.cpp - readying fresh heap memory in bulk.
//
// A listing writes a 110 KB record per entry straight after allocating it.
// Faulting such memory in one 4 KB page at a time is what a long listing
// spends most of its time on, and far more so under a virtual machine that
// traps every first touch of a page. So a fresh block is populated by the
// kernel in one call (MADV_POPULATE_WRITE, Linux 5.14), and the heap past it
// is marked for transparent huge pages, which a 2 MB region only gets when it
// is first touched as a whole: hence also the large steps in which the heap
// grows from the first call on. All of it is advice: contents never change,
// and a kernel or C library without it leaves things as they were.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/platform.h"

// The end of the program's own data: the heap that sbrk grows lies above it.
extern "C" char end;

namespace {

const uintptr_t kLargePage = (uintptr_t)2 << 20;  // the size of a transparent huge page
const int kHeapStep = 32 << 20;                   // room the heap keeps ahead of its use
bool gHeapStepSet;

}  // namespace

void PlatPrepareFreshBlock(void* block, size_t bytes)
{
    if (!block || bytes == 0)
        return;
#if defined(__GLIBC__) && defined(M_TOP_PAD)
    if (!gHeapStepSet)
    {
        gHeapStepSet = true;
        mallopt(M_TOP_PAD, kHeapStep);
    }
#else
    (void)gHeapStepSet;
#endif
    const uintptr_t start = (uintptr_t)block;
#ifdef MADV_HUGEPAGE
    // Only a block of the heap below the program break: the whole 2 MB
    // regions from its first one to the break are not yet touched by anyone
    // but the allocator, and this block and the next ones will fill them.
    const uintptr_t top = (uintptr_t)sbrk(0);
    if ((uintptr_t)&end <= start && start < top)
    {
        uintptr_t from = (start + kLargePage - 1) & ~(kLargePage - 1);
        if (from < top)
            madvise((void*)from, top - from, MADV_HUGEPAGE);
    }
#endif
#ifdef MADV_POPULATE_WRITE
    const long pageSize = sysconf(_SC_PAGESIZE);
    const uintptr_t page = pageSize > 0 ? (uintptr_t)pageSize : 4096;
    const uintptr_t first = start & ~(page - 1);
    const uintptr_t last = (start + bytes + page - 1) & ~(page - 1);
    madvise((void*)first, last - first, MADV_POPULATE_WRITE);
#endif
}
