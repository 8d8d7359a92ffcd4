// dwtool terrain / ground: load a track's terrain the way the game does
// (without drawing) and describe it, or answer the ground queries at a point.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/digest.h"
#include "base/log.h"
#include "base/mem.h"
#include "dwtool/commands.h"
#include "files/data.h"
#include "track/terrain.h"

namespace {

bool has_file(const char* folder, const char* file) {
    char name[1100];
    if (snprintf(name, sizeof name, "%s/%s", folder, file) >= (int)sizeof name) return false;
    data_stream* s = data_open(name, "rb");
    if (!s) return false;
    data_close(s);
    return true;
}

bool parse_coordinate(const char* text, float* value) {
    char* end;
    double v = strtod(text, &end);
    if (end == text || *end) return false;
    *value = (float)v;
    return true;
}

void print_unit(const char* label, const float n[3]) {
    printf("%-16s (%.6f, %.6f, %.6f)\n", label, (double)n[0], (double)n[1], (double)n[2]);
}

}  // namespace

int cmd_terrain(int argc, char** argv) {
    if (argc != 2) return dwtool_usage("terrain");
    terrain t = {};
    char folder[1024];
    if (!dwtool_load_terrain(argv[1], &t, folder, sizeof folder)) return 1;
    printf("folder           %s\n", folder);
    printf("samples          %d x %d (exponent %d)\n", t.size, t.size, t.exponent);
    printf("spacing          %g ft (tiles %g ft, field %g ft)\n", (double)t.spacing, (double)t.tile_size,
           (double)t.world_size);
    printf("heights          %g .. %g ft\n", (double)t.min_height, (double)t.max_height);
    int kinds[3];
    tile_kind_counts(&t.tiles, kinds);
    printf("tiles            %d (no roost %d, dirt %d, splash %d)\n", t.tiles.tile_count, kinds[0], kinds[1], kinds[2]);
    int side = t.tiles.map_side;
    int64_t squares = (int64_t)side * side;
    int64_t* used = (int64_t*)mem_calloc_or_die((size_t)t.tiles.tile_count, sizeof(int64_t));
    for (int64_t k = 0; k < squares; k++) used[t.tiles.map[k]]++;
    for (int k = 0; k < t.tiles.tile_count; k++) {
        const tile& tl = t.tiles.tiles[k];
        const char* name = tile_name(&tl);
        printf("  %3d %-28s friction %-8g squares %lld (%.1f%%)\n", k, name ? name : "(plain)",
               (double)tile_friction(&tl, 0.0f), (long long)used[k], 100.0 * (double)used[k] / (double)squares);
    }
    mem_free(used);
    printf("decals           %d\n", t.tiles.decal_count);
    static const char* const files[] = {"terrain.hf", "terrain.png", "shadingx2.ppm", "shading.ppm", "shadows.pgm",
                                        "tileinfo",   "texturelist", "tilemap",       "decals"};
    printf("files           ");
    for (const char* f : files)
        if (has_file(folder, f)) printf(" %s", f);
    printf("\n");
    char hex[41];
    sha1_hex(t.height_hash, hex);
    printf("height hash      %s\n", hex);
    terrain_free(&t);
    return 0;
}

int cmd_ground(int argc, char** argv) {
    float x, z;
    if (argc != 4 || !parse_coordinate(argv[2], &x) || !parse_coordinate(argv[3], &z)) return dwtool_usage("ground");
    terrain t = {};
    char folder[1024];
    if (!dwtool_load_terrain(argv[1], &t, folder, sizeof folder)) return 1;
    bool outside = !(x >= 0.0f && x <= t.world_size && z >= 0.0f && z <= t.world_size);
    printf("point            %g %g%s\n", (double)x, (double)z, outside ? " (outside the field: border values)" : "");
    printf("height           %.6f ft\n", (double)terrain_height(&t, x, z));
    float n[3];
    terrain_face_normal(&t, x, z, n);
    float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f)
        for (float& c : n) c /= length;
    print_unit("normal", n);
    // The smoothed normal of the grid point nearest to the point.
    float u = x * t.inv_spacing, v = z * t.inv_spacing;
    float last = (float)(t.size - 1);
    u = !(u >= 0.0f) ? 0.0f : (u > last ? last : u);
    v = !(v >= 0.0f) ? 0.0f : (v > last ? last : v);
    int i = (int)(u + 0.5f), j = (int)(v + 0.5f);
    terrain_vertex_normal(&t, i, j, n);
    char label[64];
    snprintf(label, sizeof label, "smoothed (%d,%d)", i, j);
    print_unit(label, n);
    int index = terrain_tile_at(&t, x, z);
    const tile* tl = &t.tiles.tiles[index];
    const char* name = tile_name(tl);
    printf("tile             %d %s\n", index, name ? name : "(plain)");
    static const float speeds[] = {0.0f, 1.0f, 2.0f, 5.0f, 10.0f, 20.0f, 40.0f, 80.0f};
    printf("friction        ");
    for (float s : speeds) printf(" %g:%.4g", (double)s, (double)tile_friction(tl, s));
    printf("  (slip ft/s:coefficient)\n");
    printf("rolling resist. ");
    for (float s : speeds) {
        float a, b;
        tile_roll_resist(tl, s, &a, &b);
        printf(" %g:%.4g/%.4g", (double)s, (double)a, (double)b);
    }
    printf("  (ft/s:lbf touching/pressed)\n");
    terrain_free(&t);
    return 0;
}
