// The RGB image reader (P3, P6, J6, J7) and the texture loader's reader.
#include "fuzz_files.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    image img;
    data_stream* s = fuzz_stream("in.ppm", data, size);
    if (image_read_rgb(s, &img)) {
        if (img.channels != 3 || (int64_t)img.width * img.height * 3 != image_bytes(&img)) abort();
        image_free(&img);
    }
    data_close(s);
    s = fuzz_stream("in.ppm", data, size);
    if (image_read_any(s, &img)) image_free(&img);
    data_close(s);
    return 0;
}
