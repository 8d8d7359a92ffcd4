// The gzip stream over arbitrary bytes. The first byte picks the set-up:
// bit 0 bounds the underlying data to about half the input (as an archive
// member), bit 1 reads through the deciphering stream (the rest of the input
// is scrambled first, so it is what the decompressor sees), bits 2-3 pick the
// reading calls.
#include <stdio.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int mode = data[0];
    std::vector<unsigned char> bytes(data + 1, data + size);
    bool scrambled = mode & 2;
    if (scrambled) {
        unsigned char header[scramble_header_size];
        scramble_make_header(99, header);
        scramble_key key;
        scramble_start(&key, 99);
        scramble_apply(&key, bytes.data(), bytes.size());
        bytes.insert(bytes.begin(), header, header + sizeof header);
    }
    int64_t bound = (mode & 1) ? (int64_t)bytes.size() / 2 + (scrambled ? scramble_header_size : 0) : -1;
    if (bound > (int64_t)bytes.size()) bound = (int64_t)bytes.size();
    bytes.push_back(0);  // fmemopen needs a non-empty buffer
    FILE* f = fmemopen(bytes.data(), bytes.size() - 1 ? bytes.size() - 1 : 1, "rb");
    if (!f) return 0;
    if (bytes.size() == 1) bound = 0;
    data_stream* s = data_open_file(f, bound, true, scrambled);
    if (!s) return 0;
    char buffer[3000];
    bool ended = false;
    for (int round = 0; round < 20000 && !ended; round++) {
        size_t n;
        switch ((mode >> 2) & 3) {
        case 0: n = data_read(s, buffer, sizeof buffer); break;
        case 1: n = data_getc(s) >= 0 ? 1 : 0; break;
        case 2: n = data_gets(s, buffer, 100) ? 1 : 0; break;
        default:
            data_peekc(s);
            n = data_read(s, buffer, 1 + round % 1500);
            break;
        }
        ended = n == 0;
    }
    // Once a stream has ended it stays ended.
    if (ended && data_getc(s) >= 0) abort();
    data_close(s);
    return 0;
}
