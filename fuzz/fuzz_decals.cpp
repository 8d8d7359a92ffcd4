// "decals": records until one does not parse, then the region lists.
#include "fuzz_files.h"
#include "track/tile.h"

namespace {

// Every picture loads, so that every record that parses becomes a decal.
uint32_t any_texture(const char*) { return 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_tile_texture_hooks.texture_get = any_texture;
    tile_set set = {};
    data_stream* s = fuzz_stream("decals", data, size);
    tile_read_decals(&set, s, 512.0f, true);
    data_close(s);
    for (int r = 0; r < decal_region_side * decal_region_side; r++)
        for (int k = 0; k < set.region_counts[r]; k++)
            if (set.region_decals[r][k] < 0 || set.region_decals[r][k] >= set.decal_count) abort();
    tile_set_free(&set);
    return 0;
}
