// Scrambled data: a keystream XORed over the bytes.
//
// The keystream is xoshiro256** seeded through splitmix64 from the game key
// and the file's nonce; each 64-bit output gives eight bytes, low byte
// first. README.md ("Scrambled files") describes it for modders.
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "base/mem.h"
#include "files/data.h"

namespace {

const uint64_t game_key[2] = {0x446972747761b3e5ull, 0x9c3b5a1e27d4f806ull};
const unsigned char magic[4] = {'D', 'W', 'S', 'C'};

uint64_t rotate_left(uint64_t x, int k) { return (x << k) | (x >> ((64 - k) & 63)); }

uint64_t splitmix64(uint64_t* x) {
    uint64_t z = (*x += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

uint64_t next_word(scramble_key* key) {
    uint64_t* s = key->state;
    uint64_t result = rotate_left(s[1] * 5, 7) * 9;
    uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotate_left(s[3], 45);
    return result;
}

}  // namespace

struct scramble_reader {
    FILE* file;
    int64_t remaining;
    scramble_key key;
};

void scramble_start(scramble_key* key, uint64_t nonce) {
    uint64_t x = game_key[0] ^ nonce;
    for (int i = 0; i < 4; i++) key->state[i] = splitmix64(&x) ^ rotate_left(game_key[1], 16 * i);
    for (int i = 0; i < 4; i++) next_word(key);
    key->used = 8;
}

void scramble_apply(scramble_key* key, void* buffer, size_t count) {
    unsigned char* p = (unsigned char*)buffer;
    for (size_t i = 0; i < count; i++) {
        if (key->used == 8) {
            uint64_t w = next_word(key);
            for (int b = 0; b < 8; b++) key->block[b] = (unsigned char)(w >> (8 * b));
            key->used = 0;
        }
        p[i] ^= key->block[key->used++];
    }
}

void scramble_make_header(uint64_t nonce, unsigned char header[scramble_header_size]) {
    memcpy(header, magic, 4);
    for (int b = 0; b < 8; b++) header[4 + b] = (unsigned char)(nonce >> (8 * b));
}

uint64_t scramble_new_nonce() {
    uint64_t nonce = 0;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t n = read(fd, &nonce, sizeof nonce);
        close(fd);
        if (n == (ssize_t)sizeof nonce) return nonce;
    }
    static uint64_t counter;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t x = (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec + ((uint64_t)getpid() << 40) + ++counter;
    return splitmix64(&x);
}

scramble_reader* scramble_open(FILE* file, int64_t available) {
    if (available >= 0 && available < scramble_header_size) return nullptr;
    unsigned char header[scramble_header_size];
    if (fread(header, 1, sizeof header, file) != sizeof header || memcmp(header, magic, 4) != 0) return nullptr;
    uint64_t nonce = 0;
    for (int b = 0; b < 8; b++) nonce |= (uint64_t)header[4 + b] << (8 * b);
    scramble_reader* r = (scramble_reader*)mem_calloc_or_die(1, sizeof(scramble_reader));
    r->file = file;
    r->remaining = available >= 0 ? available - scramble_header_size : INT64_MAX;
    scramble_start(&r->key, nonce);
    return r;
}

size_t scramble_read(scramble_reader* r, void* buffer, size_t count) {
    if (count > (size_t)INT64_MAX || (int64_t)count > r->remaining) count = (size_t)r->remaining;
    size_t got = count ? fread(buffer, 1, count, r->file) : 0;
    scramble_apply(&r->key, buffer, got);
    r->remaining -= (int64_t)got;
    return got;
}

void scramble_close(scramble_reader* r) { mem_free(r); }
