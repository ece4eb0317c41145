// Tests of readying fresh heap blocks: contents kept, exactly the block's
// pages backed, large-page advice only on the heap past the block.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

const size_t kPage = 4096;

// Returns whether this kernel populates on request (Linux 5.14 and later).
bool KernelPopulates()
{
#ifdef MADV_POPULATE_WRITE
    void* p = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    bool ok = p != MAP_FAILED && madvise(p, kPage, MADV_POPULATE_WRITE) == 0;
    if (p != MAP_FAILED)
        munmap(p, kPage);
    return ok;
#else
    return false;
#endif
}

// Returns the VmFlags line of the mapping that holds address, "" if none
// (unused where the sanitizers bring their own heap).
[[maybe_unused]] std::string FlagsOf(const void* address)
{
    FILE* f = fopen("/proc/self/smaps", "r");
    if (!f)
        return "";
    char line[512];
    bool inside = false;
    std::string flags;
    const uintptr_t a = (uintptr_t)address;
    while (fgets(line, sizeof line, f))
    {
        unsigned long from, to;
        if (sscanf(line, "%lx-%lx ", &from, &to) == 2 && strchr(line, '-') < strchr(line, ' '))
            inside = from <= a && a < to;
        else if (inside && strncmp(line, "VmFlags:", 8) == 0)
        {
            flags = line;
            break;
        }
    }
    fclose(f);
    return flags;
}

TEST(PrepareFreshBlock, KeepsTheContents)
{
    const size_t n = 300000;
    uint8_t* heap = (uint8_t*)malloc(n);
    ASSERT_NE(heap, nullptr);
    for (size_t i = 0; i < n; i++)
        heap[i] = (uint8_t)(i * 7 + 3);
    PlatPrepareFreshBlock(heap, n);
    for (size_t i = 0; i < n; i++)
        ASSERT_EQ(heap[i], (uint8_t)(i * 7 + 3)) << i;
    free(heap);

    uint8_t stack[5000];
    memset(stack, 0x5A, sizeof stack);
    PlatPrepareFreshBlock(stack + 3, sizeof stack - 3);
    for (uint8_t b : stack)
        ASSERT_EQ(b, 0x5A);
    PlatPrepareFreshBlock(nullptr, 100);
    PlatPrepareFreshBlock(stack, 0);
}

// Every page the block touches is backed afterwards, and nothing past them.
TEST(PrepareFreshBlock, BacksEveryPageOfTheBlockAndNoOther)
{
    if (!KernelPopulates())
        GTEST_SKIP() << "this kernel cannot populate on request";
    const size_t pages = 16;
    uint8_t* region =
        (uint8_t*)mmap(nullptr, pages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(region, MAP_FAILED);
    // A block from the middle of page 2 to the middle of page 9.
    PlatPrepareFreshBlock(region + 2 * kPage + 100, 7 * kPage);
    unsigned char resident[pages];
    ASSERT_EQ(mincore(region, pages * kPage, resident), 0);
    for (size_t i = 0; i < pages; i++)
        EXPECT_EQ(resident[i] & 1, (i >= 2 && i <= 9) ? 1 : 0) << "page " << i;
    for (size_t i = 0; i < pages * kPage; i++)
        ASSERT_EQ(region[i], 0);
    munmap(region, pages * kPage);
}

#if defined(__SANITIZE_ADDRESS__)
#define ORVALE_OWN_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVALE_OWN_MALLOC 1
#endif
#endif

// Entry-sized blocks come from the heap below the program break; the heap
// past them gets the large-page advice, a block mapped on its own does not.
TEST(PrepareFreshBlock, AdvisesLargePagesOnTheHeapOnly)
{
#if defined(ORVALE_OWN_MALLOC) || !defined(__GLIBC__)
    GTEST_SKIP() << "the heap is not the C library's";
#else
    if (access("/sys/kernel/mm/transparent_hugepage/enabled", F_OK) != 0)
        GTEST_SKIP() << "no transparent huge pages";
    const size_t entryBytes = 110632;
    void* first = malloc(entryBytes);
    PlatPrepareFreshBlock(first, entryBytes);  // lets the heap grow in large steps
    void* blocks[40];
    for (void*& b : blocks)
    {
        b = malloc(entryBytes);
        PlatPrepareFreshBlock(b, entryBytes);
    }
    uint8_t* last = (uint8_t*)blocks[39];
    ASSERT_LT((uintptr_t)last, (uintptr_t)sbrk(0));
    // The heap keeps at least 32 MB ahead, so 2 MB past the last block is
    // still heap, untouched, and advised.
    const uint8_t* ahead = last + entryBytes + (2 << 20);
    ASSERT_LT((uintptr_t)ahead, (uintptr_t)sbrk(0));
    EXPECT_NE(FlagsOf(ahead).find(" hg"), std::string::npos) << FlagsOf(ahead);

    void* own = mmap(nullptr, 4 << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(own, MAP_FAILED);
    PlatPrepareFreshBlock(own, 4 << 20);
    EXPECT_EQ(FlagsOf(own).find(" hg"), std::string::npos) << FlagsOf(own);
    munmap(own, 4 << 20);
    for (void* b : blocks)
        free(b);
    free(first);
#endif
}

}  // namespace
