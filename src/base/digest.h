// SHA-1 digests (FIPS 180): the track hash, the collision-shape check and the
// server password proof.
#pragma once

#include <cstddef>
#include <cstdint>

struct sha1_context {
    uint32_t state[5];
    uint64_t length;  // bytes hashed so far
    uint8_t block[64];
    int used;
};

void sha1_begin(sha1_context* c);
void sha1_add(sha1_context* c, const void* data, size_t size);
void sha1_end(sha1_context* c, uint8_t digest[20]);
// Writes the digest as 40 lower-case hexadecimal digits and a terminator.
void sha1_hex(const uint8_t digest[20], char text[41]);
