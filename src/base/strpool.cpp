#include "base/strpool.h"

#include <cstring>

#include "base/mem.h"

namespace {
const char** s_pool = nullptr;
int s_count = 0;
int s_capacity = 0;
}  // namespace

const char* string_shared(const char* text) {
    for (int i = 0; i < s_count; i++)
        if (strcmp(s_pool[i], text) == 0) return s_pool[i];
    if (s_count == s_capacity) {
        int capacity = s_capacity ? s_capacity * 2 : 16;
        s_pool = (const char**)mem_realloc_or_die(s_pool, sizeof(char*) * capacity);
        s_capacity = capacity;
    }
    s_pool[s_count] = mem_strdup(text);
    return s_pool[s_count++];
}
