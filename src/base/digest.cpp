#include "base/digest.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t rotate(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void compress(sha1_context* c, const uint8_t* p) {
    uint32_t w[80];
    for (int i = 0; i < 16; i++) w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
    for (int i = 16; i < 80; i++) w[i] = rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = c->state[0], b = c->state[1], d3 = c->state[2], d = c->state[3], e = c->state[4];
    for (int i = 0; i < 80; i++) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & d3) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ d3 ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & d3) | (b & d) | (d3 & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ d3 ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = d3;
        d3 = rotate(b, 30);
        b = a;
        a = t;
    }
    c->state[0] += a;
    c->state[1] += b;
    c->state[2] += d3;
    c->state[3] += d;
    c->state[4] += e;
}

}  // namespace

void sha1_begin(sha1_context* c) {
    static const uint32_t initial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    memcpy(c->state, initial, sizeof initial);
    c->length = 0;
    c->used = 0;
}

void sha1_add(sha1_context* c, const void* data, size_t size) {
    const uint8_t* p = (const uint8_t*)data;
    c->length += size;
    while (size > 0) {
        size_t take = 64 - (size_t)c->used;
        if (take > size) take = size;
        memcpy(c->block + c->used, p, take);
        c->used += (int)take;
        p += take;
        size -= take;
        if (c->used == 64) {
            compress(c, c->block);
            c->used = 0;
        }
    }
}

void sha1_end(sha1_context* c, uint8_t digest[20]) {
    uint64_t bits = c->length * 8;
    uint8_t pad = 0x80;
    sha1_add(c, &pad, 1);
    uint8_t zero = 0;
    while (c->used != 56) sha1_add(c, &zero, 1);
    uint8_t tail[8];
    for (int i = 0; i < 8; i++) tail[i] = (uint8_t)(bits >> (56 - 8 * i));
    sha1_add(c, tail, 8);
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 4; j++) digest[4 * i + j] = (uint8_t)(c->state[i] >> (24 - 8 * j));
}

void sha1_hex(const uint8_t digest[20], char text[41]) {
    for (int i = 0; i < 20; i++) snprintf(text + 2 * i, 3, "%02x", digest[i]);
}
