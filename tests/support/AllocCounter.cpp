#include "support/AllocCounter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVEL_ALLOC_HOOK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORVEL_ALLOC_HOOK 1
#endif
#endif

#if defined(QUORVEL_ALLOC_HOOK)
// The sanitizer runtimes' allocator hook (declared here: not every compiler ships the header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
#endif

namespace {
// Plain thread-locals without constructors: safe to touch from inside an allocator.
thread_local bool tlsArmed = false;
thread_local uint64_t tlsCount = 0;

inline void noteAllocation() {
    if (tlsArmed) ++tlsCount;
}
} // namespace

namespace quorvel::test {

void AllocCounter::arm() {
    tlsCount = 0;
    tlsArmed = true;
}

uint64_t AllocCounter::disarm() {
    tlsArmed = false;
    return tlsCount;
}

uint64_t AllocCounter::count() {
    return tlsCount;
}

bool AllocCounter::armed() {
    return tlsArmed;
}

bool AllocCounter::countsMalloc() {
#if defined(QUORVEL_ALLOC_HOOK) || (defined(__GLIBC__) && !defined(_WIN32))
    return true;
#else
    return false;
#endif
}

} // namespace quorvel::test

#if defined(QUORVEL_ALLOC_HOOK)

namespace {
void mallocHook(const volatile void*, size_t) {
    noteAllocation();
}
void freeHook(const volatile void*) {}

struct HookInstaller {
    HookInstaller() { __sanitizer_install_malloc_and_free_hooks(&mallocHook, &freeHook); }
};
HookInstaller installer;
} // namespace

#else // no sanitizer: replace the allocation functions themselves

#if defined(__GLIBC__) && !defined(_WIN32)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) {
    __libc_free(p);
}
}
#define QUORVEL_NEW_COUNTED_BY_MALLOC 1
#endif

namespace {
void* allocate(size_t size) {
#if !defined(QUORVEL_NEW_COUNTED_BY_MALLOC)
    noteAllocation();
#endif
    if (size == 0) size = 1;
    for (;;) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* allocateAligned(size_t size, std::align_val_t alignment) {
    noteAllocation();
    size_t align = static_cast<size_t>(alignment);
    if (align < sizeof(void*)) align = sizeof(void*);
    if (size == 0) size = 1;
#if defined(_WIN32)
    void* p = _aligned_malloc(size, align);
#else
    void* p = nullptr;
    if (posix_memalign(&p, align, size) != 0) p = nullptr;
#endif
    if (!p) throw std::bad_alloc();
    return p;
}

void releaseAligned(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}
} // namespace

void* operator new(size_t size) {
    return allocate(size);
}
void* operator new[](size_t size) {
    return allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

void* operator new(size_t size, std::align_val_t a) {
    return allocateAligned(size, a);
}
void* operator new[](size_t size, std::align_val_t a) {
    return allocateAligned(size, a);
}
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, a);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, a);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    releaseAligned(p);
}

#endif
