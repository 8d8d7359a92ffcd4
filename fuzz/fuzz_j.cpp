// The predictive J6/J7 body: the first byte picks the file's channel count
// and how many the caller keeps, the rest is the body after the token. What
// decodes must encode and decode again to the same pixels.
#include <cstring>

#include "fuzz_files.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int file_channels = data[0] & 1 ? 4 : 3;
    int keep = data[0] & 2 ? 4 : 3;
    image img;
    data_stream* s = fuzz_stream("in.j", data + 1, size - 1);
    bool ok = image_read_j_body(s, &img, file_channels, keep);
    data_close(s);
    if (!ok) return 0;
    const char* path = fuzz_write("out.j", nullptr, 0);
    data_stream* out = data_open(path, "wb");
    if (!image_write_j(out, &img, keep)) abort();
    data_close(out);
    image back;
    data_stream* in = data_open(path, "rb");
    if (!image_read_any(in, &back) || back.channels != keep || image_bytes(&back) != image_bytes(&img) ||
        memcmp(back.pixels, img.pixels, (size_t)image_bytes(&img)) != 0)
        abort();
    data_close(in);
    image_free(&back);
    image_free(&img);
    return 0;
}
