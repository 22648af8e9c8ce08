// Freed-memory guard for the test programs that exercise object lifetimes. Every
// block that C++ code deletes is filled with 0xDD and kept out of use for a while, so
// that a use after free finds 0xDD... instead of the old contents (a virtual call
// through it faults at once), a write after free is found when the block leaves the
// quarantine or the program ends, and a second delete of it ends the program with a
// report. A crash ends the program at once too, with its code, instead of waiting on a
// debugger.
//
// Linked into a program as an object: its operator new and delete replace the
// library's for the whole program.

#include <windows.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr unsigned char kPoison = 0xDD;
constexpr size_t kHeldBlocks = 16384;
constexpr size_t kHeldBytes = 32u << 20;
// Larger blocks (buffers, not objects) go back at once.
constexpr size_t kLargestHeld = 1u << 20;

struct Quarantine {
    // Not std::mutex: this runs inside operator delete, also before and after the
    // C++ runtime's own statics, and winpthreads may allocate on a mutex's first lock.
    CRITICAL_SECTION lock;
    void* blocks[kHeldBlocks];
    size_t sizes[kHeldBlocks];
    void* deleters[kHeldBlocks];  // where each was deleted from, for the report
    size_t oldest;
    size_t count;
    size_t bytes;
};

Quarantine& Held() {
    // Made on first use, whenever that is (static constructors allocate too), and never freed.
    static Quarantine* quarantine = [] {
        auto* made = static_cast<Quarantine*>(calloc(1, sizeof(Quarantine)));
        InitializeCriticalSection(&made->lock);
        return made;
    }();
    return *quarantine;
}

[[noreturn]] void Fail(const char* what, const void* block, const void* deleter) {
    fprintf(stderr, "freed-memory guard: %s %p (deleted by the code at %p)\n", what, block, deleter);
    fflush(stderr);
    ExitProcess(3);
}

bool IsHeld(Quarantine& held, const void* block) {
    for (size_t i = 0; i < held.count; ++i) {
        if (held.blocks[(held.oldest + i) % kHeldBlocks] == block) return true;
    }
    return false;
}

bool StillPoisoned(const void* block, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != kPoison) return false;
    }
    return true;
}

// Gives the oldest held block back to the heap, once it is seen untouched.
void FreeOldest(Quarantine& held) {
    void* block = held.blocks[held.oldest];
    if (!StillPoisoned(block, held.sizes[held.oldest])) {
        Fail("written to after it was deleted:", block, held.deleters[held.oldest]);
    }
    free(block);
    held.bytes -= held.sizes[held.oldest];
    held.oldest = (held.oldest + 1) % kHeldBlocks;
    --held.count;
}

void Release(void* block, void* deleter) {
    if (block == nullptr) return;
    size_t size = _msize(block);
    if (size > kLargestHeld) {
        free(block);
        return;
    }
    Quarantine& held = Held();
    EnterCriticalSection(&held.lock);
    // A block that looks freed already is searched for among the held ones.
    bool poisoned = size > 0;
    for (size_t i = 0; i < size && i < 8; ++i) poisoned = poisoned && static_cast<unsigned char*>(block)[i] == kPoison;
    if (poisoned && IsHeld(held, block)) Fail("deleted twice:", block, deleter);
    memset(block, kPoison, size);
    while (held.count == kHeldBlocks || (held.count > 0 && held.bytes + size > kHeldBytes)) FreeOldest(held);
    size_t slot = (held.oldest + held.count) % kHeldBlocks;
    held.blocks[slot] = block;
    held.sizes[slot] = size;
    held.deleters[slot] = deleter;
    held.bytes += size;
    ++held.count;
    LeaveCriticalSection(&held.lock);
}

void* Allocate(size_t size) {
    void* block = malloc(size != 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
    fprintf(stderr, "crash 0x%08lx at %p\n", exception->ExceptionRecord->ExceptionCode,
            exception->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

// At the end every block still held must be untouched.
void CheckHeldAtExit() {
    Quarantine& held = Held();
    EnterCriticalSection(&held.lock);
    while (held.count > 0) FreeOldest(held);
    LeaveCriticalSection(&held.lock);
}

[[maybe_unused]] const bool g_crashFilter = (SetUnhandledExceptionFilter(EndOnCrash), atexit(CheckHeldAtExit), true);

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size != 0 ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size != 0 ? size : 1); }
void operator delete(void* block) noexcept { Release(block, __builtin_return_address(0)); }
void operator delete[](void* block) noexcept { Release(block, __builtin_return_address(0)); }
void operator delete(void* block, size_t) noexcept { Release(block, __builtin_return_address(0)); }
void operator delete[](void* block, size_t) noexcept { Release(block, __builtin_return_address(0)); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block, __builtin_return_address(0)); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block, __builtin_return_address(0)); }
