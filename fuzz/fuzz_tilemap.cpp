// "tilemap": the first byte gives the tile count and the field exponent, the
// rest is the map; every byte must end up naming a tile.
#include "fuzz_files.h"
#include "base/mem.h"
#include "track/tile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    tile_set set = {};
    set.tile_count = (data[0] & 15) + 1;
    set.tiles = (tile*)mem_calloc_or_die((size_t)set.tile_count, sizeof(tile));
    int side = 1 << (data[0] >> 5);
    data_stream* s = fuzz_stream("tilemap", data + 1, size - 1);
    if (!tile_read_map(&set, s, side)) abort();
    data_close(s);
    for (int k = 0; k < side * side; k++)
        if (set.map[k] >= set.tile_count) abort();
    tile_set_free(&set);
    return 0;
}
