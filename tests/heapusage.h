#ifndef KWN_TESTS_HEAPUSAGE_H
#define KWN_TESTS_HEAPUSAGE_H

// The heap in use, for tests that check what a store takes per record: a
// ratio of bytes, never a time. Read where the C library tells it (glibc).

#include <QtGlobal>

#include <cstdlib>

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <malloc.h>
#define KWN_HEAP_USAGE 1
#endif

namespace heapusage {

// Bytes handed out by malloc and not freed; 0 where that cannot be read.
inline qint64 bytesInUse()
{
#ifdef KWN_HEAP_USAGE
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#else
    return 0;
#endif
}

// Whether bytesInUse follows allocations: not where the C library cannot
// tell, nor under a sanitizer's allocator.
inline bool measurable()
{
    const qint64 before = bytesInUse();
    void *volatile block = std::malloc(1 << 20); // volatile: the pair is not left out
    const qint64 grown = bytesInUse() - before;
    std::free(block);
    return grown >= (1 << 20);
}

} // namespace heapusage

#endif
