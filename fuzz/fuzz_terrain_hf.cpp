// "terrain.hf": the header, then the whole load of a track folder whose
// other files fit the header (small fields only, so that each input runs
// quickly), with the inline samples or "terrain.png" as the input gives.
#include <string>

#include "fuzz_files.h"
#include "track/terrain.h"

namespace {

// Shading, tile table and map for a field of exponent n.
void put_basics(int n) {
    static int written = -1;
    if (written == n) return;
    written = n;
    int size = (1 << (n + 1)) + 1;
    std::string shading = "P6 " + std::to_string(size) + " " + std::to_string(size) + " 255\n";
    shading.append((size_t)size * size * 3, '\x40');
    fuzz_write("shadingx2.ppm", (const uint8_t*)shading.data(), shading.size());
    std::string tiles = "addtile\naddtile\n";
    fuzz_write("tileinfo", (const uint8_t*)tiles.data(), tiles.size());
    std::string map((size_t)1 << (2 * n), '\x01');
    fuzz_write("tilemap", (const uint8_t*)map.data(), map.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    data_stream* s = fuzz_stream("terrain.hf", data, size);
    terrain_header h;
    bool ok = terrain_read_header(s, &h);
    data_close(s);
    if (!ok || h.exponent > 5) return 0;
    put_basics(h.exponent);
    terrain t = {};
    if (terrain_load(&t, fuzz_folder(), nullptr)) {
        // Queries anywhere, including outside the field.
        float probes[] = {-1e30f, -1.0f, 0.0f, 0.5f * t.world_size, t.world_size, 1e30f};
        for (float x : probes)
            for (float z : probes) {
                float n[3];
                terrain_height(&t, x, z);
                terrain_face_normal(&t, x, z, n);
                if (terrain_tile_at(&t, x, z) >= t.tiles.tile_count) abort();
            }
        terrain_deform(&t, 0.5f * t.world_size, 0.5f * t.world_size, 3.0f * t.spacing, 1.0f);
    }
    terrain_free(&t);
    return 0;
}
