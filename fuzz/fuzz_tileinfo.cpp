// "tileinfo": any text gives a table of 1 to 256 tiles with sorted curves.
#include "fuzz_files.h"
#include "track/tile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tile_set set = {};
    data_stream* s = fuzz_stream("tileinfo", data, size);
    tile_read_tileinfo(&set, s);
    data_close(s);
    if (set.tile_count < 1 || set.tile_count > tile_max) abort();
    for (int k = 0; k < set.tile_count; k++) {
        const tile& t = set.tiles[k];
        for (int p = 1; p < tile_curve_points; p++)
            if (t.friction[p].speed != 0.0f && t.friction[p].speed < t.friction[p - 1].speed) abort();
        tile_friction(&t, 3.0f);
        float a, b;
        tile_roll_resist(&t, 3.0f, &a, &b);
    }
    tile_set_free(&set);
    return 0;
}
