// dwtool map TRACK OUT.png: a picture of a track seen from above, one pixel
// per grid cell (fewer for fields above 2048 cells a side), north (z = 0) at
// the top. Each pixel takes the mean colour of its surface tile's texture (a
// fixed colour per tile index when the texture cannot be read), lit by the
// track's baked shading and shadows, brightened with height, with a contour
// line every 5 ft.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "dwtool/commands.h"
#include "files/data.h"
#include "render/image.h"
#include "track/terrain.h"

namespace {

constexpr int map_max_side = 2048;
constexpr float contour_step = 5.0f;  // ft

// Mean colour of a tile's texture, or a colour of its own for the index.
void tile_colour(const tile* tl, int index, float rgb[3]) {
    static const float fallback[6][3] = {{90, 130, 60},   {140, 105, 75},  {160, 125, 90},
                                         {210, 190, 145}, {120, 120, 120}, {80, 100, 150}};
    for (int c = 0; c < 3; c++) rgb[c] = fallback[index % 6][c];
    if (!tl->texture_name) return;
    data_stream* s = data_open(tl->texture_name, "rb");
    if (!s) return;
    image img = {};
    bool ok = image_read_any(s, &img);
    data_close(s);
    if (!ok) return;
    double sum[3] = {0, 0, 0};
    int64_t pixels = (int64_t)img.width * img.height;
    int step = image_pixel_bytes(&img);
    for (int64_t k = 0; k < pixels; k++)
        for (int c = 0; c < 3; c++) sum[c] += img.pixels[k * step + c];
    for (int c = 0; c < 3; c++) rgb[c] = (float)(sum[c] / (double)pixels);
    image_free(&img);
}

}  // namespace

int cmd_map(int argc, char** argv) {
    if (argc != 3) return dwtool_usage("map");
    char folder[1024];
    terrain t = {};
    if (!dwtool_load_terrain(argv[1], &t, folder, sizeof folder)) return 1;
    int cells = t.size - 1;
    int stride = (cells + map_max_side - 1) / map_max_side;
    int side = cells / stride;

    float* colours = (float*)mem_calloc_or_die((size_t)t.tiles.tile_count * 3, sizeof(float));
    for (int k = 0; k < t.tiles.tile_count; k++) tile_colour(&t.tiles.tiles[k], k, colours + k * 3);

    image img = {};
    if (!image_alloc(&img, side, side, 3, 1)) {
        fprintf(stderr, "dwtool: a map of %d x %d pixels is too large\n", side, side);
        mem_free(colours);
        terrain_free(&t);
        return 1;
    }
    float range = t.max_height - t.min_height;
    for (int py = 0; py < side; py++)
        for (int px = 0; px < side; px++) {
            // The cell's centre.
            int i = px * stride, j = py * stride;
            float x = (i + 0.5f * stride) * t.spacing, z = (j + 0.5f * stride) * t.spacing;
            const float* base = colours + terrain_tile_at(&t, x, z) * 3;
            size_t k = (size_t)i + (size_t)j * t.size;
            float h = terrain_sample(&t, i, j);
            float light = 0;
            for (int c = 0; c < 3; c++) light += t.shading[k * 3 + c] * 2.0f / 255.0f / 3.0f;
            float lift = range > 0 ? 0.85f + 0.3f * (h - t.min_height) / range : 1.0f;
            // A contour where the height crosses a multiple of the step within the cell.
            float lo = h, hi = h;
            for (int c = 1; c <= 3; c++) {
                float v = terrain_sample(&t, i + (c & 1) * stride, j + (c >> 1) * stride);
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
            bool contour = std::floor(lo / contour_step) != std::floor(hi / contour_step);
            float shade = light * lift * (contour ? 0.8f : 1.0f);
            uint8_t* p = img.pixels + ((size_t)py * side + px) * 3;
            for (int c = 0; c < 3; c++) {
                float v = base[c] * shade;
                p[c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    data_stream* s = data_open(argv[2], "wb");
    bool ok = s && image_write_png(s, &img, false);
    if (s) data_close(s);
    image_free(&img);
    mem_free(colours);
    terrain_free(&t);
    if (!ok) {
        fprintf(stderr, "dwtool: can't write '%s'\n", argv[2]);
        return 1;
    }
    return 0;
}
