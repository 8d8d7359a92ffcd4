// The PNG reader in its three forms: 16-bit grey heights, textures and the
// file's own layout.
#include <initializer_list>

#include "fuzz_files.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int form : {image_png_grey16, image_png_texture, image_png_native}) {
        image img;
        data_stream* s = fuzz_stream("terrain.png", data, size);
        if (image_read_png(s, &img, form)) {
            if (form == image_png_grey16 && (img.channels != 1 || img.sample_bytes != 2)) abort();
            if (form == image_png_texture && (img.channels < 3 || img.sample_bytes != 1)) abort();
            image_free(&img);
        }
        data_close(s);
    }
    return 0;
}
