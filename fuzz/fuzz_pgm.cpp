// The grey image reader (P5, P2).
#include "fuzz_files.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    image img;
    data_stream* s = fuzz_stream("in.pgm", data, size);
    if (image_read_grey(s, &img)) {
        if (img.channels != 1) abort();
        image_free(&img);
    }
    data_close(s);
    return 0;
}
