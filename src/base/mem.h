// Tracked allocation, the fatal out-of-memory exit and allocation report.
//
// Every block the program's own code allocates comes from these calls. With
// DW_CHECK_ALLOC set to a number above 0 they keep a table of live blocks in
// allocation order; mem_report() lists what is left at shut-down.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

void* mem_alloc(size_t size);
void* mem_realloc(void* block, size_t size);
void mem_free(void* block);

// The same, but running out of memory takes the fatal path.
void* mem_alloc_or_die(size_t size);
void* mem_realloc_or_die(void* block, size_t size);
// Zero-filled array of count elements; an overflowing count is out of memory.
void* mem_calloc_or_die(size_t count, size_t size);
char* mem_strdup(const char* text);

// Closes the audio output and the window (through the hooks below), shows
// "Error" / "Out of virtual memory" and exits with code 1.
[[noreturn]] void fatal_out_of_memory();

// Hooks the platform layer fills in so the fatal path can reach it without
// the base depending on it. Any may be null.
struct fatal_hooks {
    void (*close_audio)();
    void (*close_window)();
    // Shows a message box; returns false when no display exists (the text
    // then goes to standard error).
    bool (*message_box)(const char* title, const char* text);
};
extern fatal_hooks g_fatal_hooks;

// Writes every tracked block to standard error as "%p:%d\n", oldest first.
void mem_report();

// Blocks handed out by mem_alloc and mem_realloc since the program started,
// tracking on or off (a reallocation counts once, moved or not): a count
// that stays the same over a stretch of code shows it allocated nothing.
long long mem_allocation_count();

// Number of tracked live blocks (0 when tracking is off).
int mem_tracked_count();
// Whether tracking is on (decides it on first use).
bool mem_tracking();

// For tests: decide tracking again from DW_CHECK_ALLOC and clear the table.
void mem_reset_for_tests();

// A standard-library allocator over the tracked calls, for the few places
// that use containers. Allocation failure takes the fatal path.
template <class T>
struct tracked_allocator {
    using value_type = T;
    tracked_allocator() = default;
    template <class U>
    tracked_allocator(const tracked_allocator<U>&) {}
    T* allocate(size_t n) {
        if (n > size_t(-1) / sizeof(T)) fatal_out_of_memory();
        return static_cast<T*>(mem_alloc_or_die(n * sizeof(T)));
    }
    void deallocate(T* p, size_t) { mem_free(p); }
    template <class U>
    bool operator==(const tracked_allocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const tracked_allocator<U>&) const { return false; }
};

template <class T>
using dw_vector = std::vector<T, tracked_allocator<T>>;
