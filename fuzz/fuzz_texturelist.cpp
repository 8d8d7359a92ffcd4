// "texturelist": any text gives a table of 1 to 256 tiles.
#include "fuzz_files.h"
#include "track/tile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tile_set set = {};
    data_stream* s = fuzz_stream("texturelist", data, size);
    tile_read_texturelist(&set, s);
    data_close(s);
    if (set.tile_count < 1 || set.tile_count > tile_max) abort();
    tile_set_free(&set);
    return 0;
}
