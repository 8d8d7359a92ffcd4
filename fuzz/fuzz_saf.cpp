// The ".saf" header reader over arbitrary bytes: members must lie inside the
// archive, in header order, and a malformed header must return nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "files/data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    saf_member* members = nullptr;
    int n = saf_read_header_memory(data, size, (int64_t)size, &members);
    if (n < 0) {
        if (members) abort();
        return 0;
    }
    int64_t end = 0;
    for (int i = 0; i < n; i++) {
        const saf_member& m = members[i];
        if (m.size < 0 || m.offset < end || m.offset + m.size > (int64_t)size || !m.name[0]) abort();
        if (strstr(m.name, "//")) abort();
        end = m.offset + m.size;
    }
    saf_free_members(members, n);
    return 0;
}
