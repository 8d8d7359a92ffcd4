// Images: the pixel record and the readers and writers of the picture files
// (PPM, PGM, PNG and the predictive J6/J7 format). Nothing here touches
// OpenGL; the terrain, the texture loader and the data generator share it.
//
// Every reader takes an open data stream positioned at the start of the
// picture and fills an image on success. A reader that fails frees what it
// allocated, leaves the image empty and prints nothing: callers report in
// their own words. Dimensions are bounded (image_max_side, image_max_bytes)
// and checked before anything is allocated.
#pragma once

#include <cstdint>

struct data_stream;

enum {
    image_max_side = 16384,  // pixels, either dimension
};
constexpr int64_t image_max_bytes = int64_t(1) << 29;  // largest pixel buffer a reader allocates

struct image {
    int width, height;  // pixels
    int channels;       // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    int sample_bytes;   // 1, or 2 for 16-bit samples kept in host byte order
    uint8_t* pixels;    // rows top to bottom, channels interleaved; owned, freed by image_free
};

// ---------------------------------------------------------------------------
// The record

// Allocates width x height pixels (zero-filled). Fails without allocating when
// a dimension is not 1..image_max_side or the buffer would exceed
// image_max_bytes; any previous pixels are not freed.
bool image_alloc(image* out, int width, int height, int channels, int sample_bytes);
// Frees the pixels and empties the record; safe on an empty record.
void image_free(image* img);
// Bytes of one pixel and of the whole buffer.
int image_pixel_bytes(const image* img);
int64_t image_bytes(const image* img);

// ---------------------------------------------------------------------------
// Readers

// The RGB image reader: the first token ("%15s") chooses P3 or P6 (PPM), J6
// or J7 (predictive); anything else fails. Gives 3 channels (J7 alpha is
// decoded and dropped).
bool image_read_rgb(data_stream* s, image* out);
// The grey image reader: P5 or P2. Gives 1 channel.
bool image_read_grey(data_stream* s, image* out);
// The texture loader's reader: a PNG (told by its signature) as
// image_png_texture, or by first token J7 (4 channels), J6, P3 or P6 (3).
bool image_read_any(data_stream* s, image* out);

// What the PNG reader turns the file into.
enum {
    // 8-bit RGB, or RGBA when the file has alpha or a tRNS chunk: palettes
    // expanded, grey widened to RGB, 16-bit samples cut to 8.
    image_png_texture = 0,
    // 16-bit grey in host order: palettes expanded, alpha dropped, colour
    // turned to grey with libpng's default weights, 8-bit samples v become
    // 257 v (the heights of "terrain.png").
    image_png_grey16 = 1,
    // The file's own layout: grey, grey and alpha, RGB or RGBA, 8 or 16 bits
    // (16-bit samples in host order); palettes become RGB, grey below 8 bits
    // becomes 8 bits.
    image_png_native = 2,
};
bool image_read_png(data_stream* s, image* out, int form);

// A J6 (3 bytes a pixel) or J7 (4 bytes) body, once its token has been read:
// width, height, one byte, then the predicted deltas. keep is the channel
// count wanted (3 or 4; a J6 read with 4 gets alpha 255).
bool image_read_j_body(data_stream* s, image* out, int file_channels, int keep);

// ---------------------------------------------------------------------------
// Writers (8-bit images unless stated). Each returns false when the image
// does not fit the format or a write fails.

// "P6" with maximum 255. Grey is written as equal R, G, B; alpha is dropped.
bool image_write_ppm(data_stream* s, const image* img);
// "P5" with maximum 255, from a 1-channel image.
bool image_write_pgm(data_stream* s, const image* img);
// PNG of 8-bit grey, grey and alpha, RGB or RGBA, or 16-bit grey (host order
// in memory). bottom_up: the rows are stored bottom to top (frame-buffer
// order, for screenshots).
bool image_write_png(data_stream* s, const image* img, bool bottom_up);
// J6 (format_channels 3) or J7 (4) from a 3- or 4-channel image; a missing
// alpha is written as 255.
bool image_write_j(data_stream* s, const image* img, int format_channels);

// ---------------------------------------------------------------------------
// Formats by file name

struct image_format {
    const char* extension;  // ".ppm", ".pgm", ".png"
    bool (*read)(data_stream* s, image* out);
    bool (*write)(data_stream* s, const image* img);
};
extern const image_format image_formats[];
extern const int image_format_count;

// The format of a file name, from the extension after its last "." that
// follows the last "/" (case-insensitive); null when none matches.
const image_format* image_format_for(const char* name);
// Opens a data name or path and reads it with the reader of its extension.
bool image_load(const char* name, image* out);
// Writes a data name or path ("wb") with the writer of its extension.
bool image_save(const char* name, const image* img);
