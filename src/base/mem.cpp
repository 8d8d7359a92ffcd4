// Tracked allocation.
//
// Tracking is decided on the first call: on when DW_CHECK_ALLOC converts to a
// number above 0. The table keeps live blocks in allocation order; release
// and resize search it from the newest entry back, so short-lived blocks are
// found at once.
#include "base/mem.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"

fatal_hooks g_fatal_hooks = {nullptr, nullptr, nullptr};

namespace {

enum { tracking_undecided, tracking_off, tracking_on };
enum { table_capacity = 0x100000 };

struct alloc_table {
    void** address;
    size_t* size;
    int* serial;
    int count;
    int next_serial;
};

int s_tracking = tracking_undecided;
alloc_table s_table;
// Counted from any thread (the audio callback may allocate too).
std::atomic<long long> s_allocations{0};

bool tracking_on_now() {
    if (s_tracking == tracking_undecided) {
        const char* v = getenv("DW_CHECK_ALLOC");
        s_tracking = (v && atoi(v) > 0) ? tracking_on : tracking_off;
        if (s_tracking == tracking_on) {
            // The table itself is not tracked.
            s_table.address = (void**)malloc(sizeof(void*) * table_capacity);
            s_table.size = (size_t*)malloc(sizeof(size_t) * table_capacity);
            s_table.serial = (int*)malloc(sizeof(int) * table_capacity);
            if (!s_table.address || !s_table.size || !s_table.serial) {
                fputs("Can't allocate the allocation table\n", stderr);
                s_tracking = tracking_off;
            }
        }
    }
    return s_tracking == tracking_on;
}

void track(void* block, size_t size) {
    if (s_table.count >= table_capacity) {
        fputs("Too many allocations to check!\n", stderr);
        s_tracking = tracking_off;
        return;
    }
    s_table.address[s_table.count] = block;
    s_table.size[s_table.count] = size;
    s_table.serial[s_table.count] = s_table.next_serial++;
    s_table.count++;
}

int find(void* block) {
    for (int i = s_table.count - 1; i >= 0; i--)
        if (s_table.address[i] == block) return i;
    return -1;
}

void untrack_at(int i) {
    int rest = s_table.count - i - 1;
    memmove(s_table.address + i, s_table.address + i + 1, sizeof(void*) * rest);
    memmove(s_table.size + i, s_table.size + i + 1, sizeof(size_t) * rest);
    memmove(s_table.serial + i, s_table.serial + i + 1, sizeof(int) * rest);
    s_table.count--;
}

}  // namespace

void* mem_alloc(size_t size) {
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    void* block = malloc(size);
    if (tracking_on_now() && block) track(block, size);
    return block;
}

void* mem_realloc(void* block, size_t size) {
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    if (!tracking_on_now()) return realloc(block, size);
    int i = -1;
    if (block) {
        i = find(block);
        if (i < 0) fprintf(stderr, "Allocation not found for %p!\n", block);
    }
    void* moved = realloc(block, size);
    // A failed reallocation leaves the old block live: keep its entry.
    if (!moved && size > 0) return nullptr;
    if (i >= 0) untrack_at(i);
    if (moved && s_tracking == tracking_on) track(moved, size);
    return moved;
}

void mem_free(void* block) {
    if (!block) return;
    if (s_tracking != tracking_on) {
        free(block);
        return;
    }
    int i = find(block);
    if (i < 0) {
        fprintf(stderr, "Allocation not found for %p!\n", block);
        return;
    }
    memset(block, 0, s_table.size[i]);
    untrack_at(i);
    free(block);
}

void* mem_alloc_or_die(size_t size) {
    void* block = mem_alloc(size ? size : 1);
    if (!block) fatal_out_of_memory();
    return block;
}

void* mem_realloc_or_die(void* block, size_t size) {
    void* moved = mem_realloc(block, size ? size : 1);
    if (!moved) fatal_out_of_memory();
    return moved;
}

void* mem_calloc_or_die(size_t count, size_t size) {
    if (size && count > SIZE_MAX / size) fatal_out_of_memory();
    void* block = mem_alloc_or_die(count * size);
    memset(block, 0, count * size);
    return block;
}

char* mem_strdup(const char* text) {
    size_t n = strlen(text) + 1;
    char* copy = (char*)mem_alloc_or_die(n);
    memcpy(copy, text, n);
    return copy;
}

void fatal_out_of_memory() {
    static bool dying = false;
    if (!dying) {
        dying = true;
        if (g_fatal_hooks.close_audio) g_fatal_hooks.close_audio();
        if (g_fatal_hooks.close_window) g_fatal_hooks.close_window();
        log_text("Out of virtual memory\n");
        if (!g_fatal_hooks.message_box || !g_fatal_hooks.message_box("Error", "Out of virtual memory"))
            fputs("Error: Out of virtual memory\n", stderr);
    }
    _Exit(1);
}

void mem_report() {
    if (s_tracking != tracking_on) return;
    for (int i = 0; i < s_table.count; i++) fprintf(stderr, "%p:%d\n", s_table.address[i], s_table.serial[i]);
}

long long mem_allocation_count() { return s_allocations.load(std::memory_order_relaxed); }

int mem_tracked_count() { return tracking_on_now() ? s_table.count : 0; }

bool mem_tracking() { return tracking_on_now(); }

void mem_reset_for_tests() {
    free(s_table.address);
    free(s_table.size);
    free(s_table.serial);
    memset(&s_table, 0, sizeof s_table);
    s_tracking = tracking_undecided;
}
