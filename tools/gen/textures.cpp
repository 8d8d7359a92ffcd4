// The ground textures of the surface tiles and the roost particle: small
// pictures of periodic noise, so that they repeat across the ground without
// seams.
#include <cmath>
#include <cstdio>

#include "gen/gen.h"
#include "render/image.h"

namespace {

constexpr int ground_side = 128;
constexpr int roost_side = 32;

uint32_t hash2(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Value noise in -1..1 with `cells` lattice cells across the picture,
// repeating at its edges.
float tiled_noise(int x, int y, int cells, uint32_t seed) {
    float u = float(x) * cells / ground_side, v = float(y) * cells / ground_side;
    int i = int(u), j = int(v);
    float a = u - i, b = v - j;
    a = a * a * (3 - 2 * a);
    b = b * b * (3 - 2 * b);
    auto corner = [&](int di, int dj) {
        return float(hash2((i + di) % cells, (j + dj) % cells, seed) & 0xffff) / 32767.5f - 1;
    };
    float top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * a;
    float bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * a;
    return top + (bottom - top) * b;
}

struct ground_look {
    const char* file;
    uint8_t base[3];
    float coarse, fine;    // brightness variation of the broad and the fine noise
    float speckle;         // share of pixels that are pebbles or tufts
    int8_t speckle_shift;  // their brightness change
    uint32_t seed;
};

const ground_look looks[course_surface_count] = {
    {"grass.png", {74, 112, 48}, 18, 14, 0.06f, -30, 11},
    {"hardpack.png", {128, 98, 70}, 10, 8, 0.02f, 25, 12},
    {"loose.png", {142, 108, 76}, 16, 18, 0.08f, -28, 13},
    {"sand.png", {206, 184, 138}, 8, 10, 0.03f, -20, 14},
};

uint8_t clamp_byte(float v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

bool save(const char* outdir, const char* file, const image* img, char* error, int error_size) {
    char path[1024];
    if (!gen_path(path, sizeof path, outdir, file) || !image_save(path, img)) {
        snprintf(error, error_size, "can't write '%s/%s'\n", outdir, file);
        return false;
    }
    return true;
}

}  // namespace

bool gen_write_textures(const char* outdir, char* error, int error_size) {
    for (const ground_look& look : looks) {
        image img = {};
        if (!image_alloc(&img, ground_side, ground_side, 3, 1)) return false;
        for (int y = 0; y < ground_side; y++)
            for (int x = 0; x < ground_side; x++) {
                float shade =
                    look.coarse * tiled_noise(x, y, 8, look.seed) + look.fine * tiled_noise(x, y, 64, look.seed + 7);
                if (float(hash2(x, y, look.seed + 99) & 0xffff) / 65536.0f < look.speckle) shade += look.speckle_shift;
                uint8_t* p = img.pixels + (y * ground_side + x) * 3;
                for (int c = 0; c < 3; c++) p[c] = clamp_byte(look.base[c] + shade);
            }
        bool ok = save(outdir, look.file, &img, error, error_size);
        image_free(&img);
        if (!ok) return false;
    }
    // The roost particle: a white blob whose alpha fades to its edge; the
    // roost colour of each surface tints it.
    image img = {};
    if (!image_alloc(&img, roost_side, roost_side, 4, 1)) return false;
    for (int y = 0; y < roost_side; y++)
        for (int x = 0; x < roost_side; x++) {
            float dx = (x + 0.5f) / roost_side * 2 - 1, dy = (y + 0.5f) / roost_side * 2 - 1;
            float d = 1 - (dx * dx + dy * dy);
            float a = d > 0 ? d * d : 0;
            uint8_t* p = img.pixels + (y * roost_side + x) * 4;
            p[0] = p[1] = p[2] = 255;
            p[3] = clamp_byte(a * 255 + 0.5f);
        }
    bool ok = save(outdir, "roost.png", &img, error, error_size);
    image_free(&img);
    return ok;
}
