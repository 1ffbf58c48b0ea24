// Counts heap allocations made by the calling thread while counting is switched on.
// Linked only into the allocation test runner: it replaces the C allocator's entry
// points (which operator new uses too) and hands every call on to glibc.
#include "AllocationCounter.h"

#include <cstddef>

extern "C"
{
    void* __libc_malloc (size_t);
    void* __libc_calloc (size_t, size_t);
    void* __libc_realloc (void*, size_t);
    void* __libc_memalign (size_t, size_t);
}

namespace alloccount
{
    thread_local bool counting = false;
    thread_local long count = 0;

    void start()  { count = 0; counting = true; }
    long stop()   { counting = false; return count; }
}

namespace
{
    inline void note() { if (alloccount::counting) ++alloccount::count; }
}

extern "C"
{
    void* malloc (size_t n)               { note(); return __libc_malloc (n); }
    void* calloc (size_t n, size_t size)  { note(); return __libc_calloc (n, size); }
    void* realloc (void* p, size_t n)     { note(); return __libc_realloc (p, n); }
    void* memalign (size_t a, size_t n)   { note(); return __libc_memalign (a, n); }
    void* aligned_alloc (size_t a, size_t n) { note(); return __libc_memalign (a, n); }

    int posix_memalign (void** out, size_t a, size_t n)
    {
        note();
        *out = __libc_memalign (a, n);
        return *out != nullptr ? 0 : 12;
    }
}
