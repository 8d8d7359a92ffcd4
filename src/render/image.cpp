// Picture files: PPM, PGM, PNG (through libpng) and the predictive J6/J7
// format.
#include "render/image.h"

#include <png.h>
#include <setjmp.h>

#include <cstring>
#include <strings.h>

#include "base/mem.h"
#include "files/data.h"

namespace {

// ---------------------------------------------------------------------------
// Tokens of the text headers, read the way the formatted reader would read
// "%15s", " %1[#]%*[^\n]" and "%d".

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skip_blanks(data_stream* s) {
    while (is_blank(data_peekc(s))) data_getc(s);
}

// Skips white space and comment lines ("#" to the end of the line, the line
// feed left for the next skip).
void skip_comments(data_stream* s) {
    for (;;) {
        skip_blanks(s);
        if (data_peekc(s) != '#') return;
        for (int c = data_peekc(s); c >= 0 && c != '\n'; c = data_peekc(s)) data_getc(s);
    }
}

// The first token: up to size-1 characters that are not white space.
bool read_token(data_stream* s, char* token, int size) {
    skip_blanks(s);
    int n = 0;
    for (int c = data_peekc(s); c >= 0 && !is_blank(c) && n < size - 1; c = data_peekc(s)) token[n++] = (char)data_getc(s);
    token[n] = 0;
    return n > 0;
}

// A decimal integer after white space, with an optional sign. Values beyond
// the int range saturate (and *overflow is set). False when no digit follows.
bool read_int(data_stream* s, int* value, bool* overflow = nullptr) {
    skip_blanks(s);
    bool negative = false;
    int c = data_peekc(s);
    if (c == '+' || c == '-') {
        negative = c == '-';
        data_getc(s);
        c = data_peekc(s);
    }
    if (c < '0' || c > '9') return false;
    int64_t v = 0;
    bool big = false;
    while (c >= '0' && c <= '9') {
        data_getc(s);
        v = v * 10 + (c - '0');
        if (v > 2147483647) {
            big = true;
            v = 2147483648;
        }
        c = data_peekc(s);
    }
    if (negative) v = -v;
    if (v > 2147483647) v = 2147483647;
    if (v < -2147483647) v = -2147483647;
    *value = (int)v;
    if (overflow) *overflow = big;
    return true;
}

// A header number: comments first, then a number that is present and not
// negative.
bool read_header_number(data_stream* s, int* value) {
    skip_comments(s);
    bool overflow = false;
    return read_int(s, value, &overflow) && !overflow && *value >= 0;
}

// The checked allocation of image_alloc, without filling: for readers that
// write every byte (or fail), so that a header claiming a huge picture costs
// nothing until its data actually arrives.
bool alloc_pixels(image* out, int width, int height, int channels, int sample_bytes) {
    if (width < 1 || height < 1 || width > image_max_side || height > image_max_side) return false;
    if (channels < 1 || channels > 4 || sample_bytes < 1 || sample_bytes > 2) return false;
    int64_t bytes = (int64_t)width * height * channels * sample_bytes;
    if (bytes > image_max_bytes) return false;
    out->width = width;
    out->height = height;
    out->channels = channels;
    out->sample_bytes = sample_bytes;
    out->pixels = (uint8_t*)mem_alloc_or_die((size_t)bytes);
    return true;
}

uint8_t scale_sample(int64_t v, int64_t max) {
    int64_t r = max == 255 ? v : v * 255 / max;
    return (uint8_t)(r < 0 ? 0 : (r > 255 ? 255 : r));
}

// The body of a netpbm picture after its first token: width, height, maximum,
// then binary samples (one byte each up to a maximum of 255, two bytes high
// byte first above it) or decimal ones.
bool read_netpbm(data_stream* s, image* out, int channels, bool binary) {
    int width, height, max;
    if (!read_header_number(s, &width) || !read_header_number(s, &height) || !read_header_number(s, &max))
        return false;
    if (max < 1 || max > 65535) return false;
    if (!alloc_pixels(out, width, height, channels, 1)) return false;
    int64_t count = image_bytes(out);
    uint8_t* p = out->pixels;
    if (binary) {
        data_getc(s);  // the one byte after the maximum
        if (max < 256) {
            if ((int64_t)data_read(s, p, (size_t)count) != count) goto fail;
            if (max != 255)
                for (int64_t k = 0; k < count; k++) p[k] = scale_sample(p[k], max);
        } else {
            uint8_t pair[2];
            for (int64_t k = 0; k < count; k++) {
                if (data_read(s, pair, 2) != 2) goto fail;
                p[k] = scale_sample(pair[0] << 8 | pair[1], max);
            }
        }
        return true;
    }
    for (int64_t k = 0; k < count; k++) {
        skip_comments(s);
        int v;
        if (!read_int(s, &v)) {
            // Nothing after this point can be read either: every value left
            // counts as -1.
            memset(p + k, scale_sample(-1, max), (size_t)(count - k));
            break;
        }
        p[k] = scale_sample(v, max);
    }
    return true;
fail:
    image_free(out);
    return false;
}

int predict(int left, int above, int above_left) {
    int v = left + above - above_left;
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// ---------------------------------------------------------------------------
// libpng through data streams and the tracked allocation calls. The state a
// failed call unwinds from lives in a heap block so that nothing the error
// path needs sits in a local variable changed after setjmp.

struct png_job {
    data_stream* s;
    image img;
    png_bytep* rows;
};

void png_read_fn(png_structp png, png_bytep data, size_t length) {
    png_job* job = (png_job*)png_get_io_ptr(png);
    if (data_read(job->s, data, length) != length) png_error(png, "short file");
}

void png_write_fn(png_structp png, png_bytep data, size_t length) {
    png_job* job = (png_job*)png_get_io_ptr(png);
    if (data_write(job->s, data, length) != length) png_error(png, "write failed");
}

void png_flush_fn(png_structp png) {
    png_job* job = (png_job*)png_get_io_ptr(png);
    data_flush(job->s);
}

void png_fail_fn(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warn_fn(png_structp, png_const_charp) {}
png_voidp png_alloc_fn(png_structp, png_alloc_size_t size) { return mem_alloc(size); }
void png_free_fn(png_structp, png_voidp block) { mem_free(block); }

bool host_little_endian() {
    const uint16_t one = 1;
    return *(const uint8_t*)&one == 1;
}

// Reads the image rows once the transforms are set; png_error on any fault.
void png_read_rows(png_structp png, png_infop info, png_job* job, int sample_bytes_wanted) {
    png_read_update_info(png, info);
    int channels = png_get_channels(png, info);
    int depth = png_get_bit_depth(png, info);
    int width = (int)png_get_image_width(png, info);
    int height = (int)png_get_image_height(png, info);
    int stored_bytes = depth == 16 ? 2 : 1;
    int sample_bytes = sample_bytes_wanted ? sample_bytes_wanted : stored_bytes;
    if (depth != 8 && depth != 16) png_error(png, "unexpected depth");
    if (!alloc_pixels(&job->img, width, height, channels, sample_bytes)) png_error(png, "too large");
    size_t row_bytes = (size_t)width * channels * sample_bytes;
    if (png_get_rowbytes(png, info) != (size_t)width * channels * stored_bytes) png_error(png, "unexpected row size");
    job->rows = (png_bytep*)mem_alloc(sizeof(png_bytep) * height);
    if (!job->rows) png_error(png, "out of memory");
    for (int y = 0; y < height; y++) job->rows[y] = job->img.pixels + row_bytes * y;
    png_read_image(png, job->rows);
    png_read_end(png, nullptr);
    if (stored_bytes == 1 && sample_bytes == 2) {
        // Widen 8-bit samples to 16 bits (v becomes 257 v), from the end of
        // each row so that nothing is overwritten before it is read.
        int count = width * channels;
        for (int y = 0; y < height; y++) {
            uint8_t* row = job->rows[y];
            uint16_t* wide = (uint16_t*)row;
            for (int x = count - 1; x >= 0; x--) wide[x] = (uint16_t)(row[x] * 257);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The record

bool image_alloc(image* out, int width, int height, int channels, int sample_bytes) {
    if (!alloc_pixels(out, width, height, channels, sample_bytes)) return false;
    memset(out->pixels, 0, (size_t)image_bytes(out));
    return true;
}

void image_free(image* img) {
    mem_free(img->pixels);
    *img = {};
}

int image_pixel_bytes(const image* img) { return img->channels * img->sample_bytes; }

int64_t image_bytes(const image* img) { return (int64_t)img->width * img->height * image_pixel_bytes(img); }

// ---------------------------------------------------------------------------
// Readers

bool image_read_j_body(data_stream* s, image* out, int file_channels, int keep) {
    *out = {};
    if ((file_channels != 3 && file_channels != 4) || (keep != 3 && keep != 4)) return false;
    int width, height;
    if (!read_header_number(s, &width) || !read_header_number(s, &height)) return false;
    if (!alloc_pixels(out, width, height, keep, 1)) return false;
    data_getc(s);  // the one byte after the height
    size_t row_bytes = (size_t)width * file_channels;
    uint8_t* rows = (uint8_t*)mem_alloc_or_die(row_bytes * 2);
    uint8_t* above = rows;
    uint8_t* current = rows + row_bytes;
    bool ok = true;
    for (int y = 0; y < height && ok; y++) {
        if (data_read(s, current, row_bytes) != row_bytes) {
            ok = false;
            break;
        }
        for (int x = 0; x < width; x++) {
            for (int c = 0; c < file_channels; c++) {
                size_t k = (size_t)x * file_channels + c;
                int guess;
                if (y == 0)
                    guess = x == 0 ? 0 : current[k - file_channels];
                else if (x == 0)
                    guess = above[k];
                else
                    guess = predict(current[k - file_channels], above[k], above[k - file_channels]);
                current[k] = (uint8_t)(current[k] + guess);
            }
            uint8_t* dst = out->pixels + ((size_t)y * width + x) * keep;
            memcpy(dst, current + (size_t)x * file_channels, 3);
            if (keep == 4) dst[3] = file_channels == 4 ? current[(size_t)x * file_channels + 3] : 255;
        }
        uint8_t* t = above;
        above = current;
        current = t;
    }
    mem_free(rows);
    if (!ok) image_free(out);
    return ok;
}

bool image_read_rgb(data_stream* s, image* out) {
    *out = {};
    char token[16];
    if (!read_token(s, token, sizeof token)) return false;
    if (strcmp(token, "P6") == 0) return read_netpbm(s, out, 3, true);
    if (strcmp(token, "P3") == 0) return read_netpbm(s, out, 3, false);
    if (strcmp(token, "J6") == 0) return image_read_j_body(s, out, 3, 3);
    if (strcmp(token, "J7") == 0) return image_read_j_body(s, out, 4, 3);
    return false;
}

bool image_read_grey(data_stream* s, image* out) {
    *out = {};
    char token[16];
    if (!read_token(s, token, sizeof token)) return false;
    if (strcmp(token, "P5") == 0) return read_netpbm(s, out, 1, true);
    if (strcmp(token, "P2") == 0) return read_netpbm(s, out, 1, false);
    return false;
}

bool image_read_any(data_stream* s, image* out) {
    *out = {};
    if (data_peekc(s) == 0x89) return image_read_png(s, out, image_png_texture);
    char token[16];
    if (!read_token(s, token, sizeof token)) return false;
    if (strcmp(token, "J7") == 0) return image_read_j_body(s, out, 4, 4);
    if (strcmp(token, "J6") == 0) return image_read_j_body(s, out, 3, 3);
    if (strcmp(token, "P6") == 0) return read_netpbm(s, out, 3, true);
    if (strcmp(token, "P3") == 0) return read_netpbm(s, out, 3, false);
    return false;
}

bool image_read_png(data_stream* s, image* out, int form) {
    *out = {};
    uint8_t signature[8];
    if (data_read(s, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0) return false;
    png_job* job = (png_job*)mem_calloc_or_die(1, sizeof(png_job));
    job->s = s;
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, job, png_fail_fn, png_warn_fn, job,
                                               png_alloc_fn, png_free_fn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        if (png) png_destroy_read_struct(&png, nullptr, nullptr);
        mem_free(job);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        mem_free(job->rows);
        image_free(&job->img);
        mem_free(job);
        return false;
    }
    png_set_read_fn(png, job, png_read_fn);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, image_max_side, image_max_side);
    png_set_chunk_malloc_max(png, 8 << 20);
    png_read_info(png, info);
    int color = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    int wanted_sample_bytes = 0;
    if (form == image_png_texture) {
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        if (depth == 16) png_set_strip_16(png);
        if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    } else if (form == image_png_grey16) {
        png_set_strip_alpha(png);
        if (color & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray(png, PNG_ERROR_ACTION_NONE, -1, -1);
        wanted_sample_bytes = 2;
    }
    if (depth == 16 && form != image_png_texture && host_little_endian()) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_rows(png, info, job, wanted_sample_bytes);
    if (form == image_png_grey16 && job->img.channels != 1) png_error(png, "not grey");
    *out = job->img;
    png_destroy_read_struct(&png, &info, nullptr);
    mem_free(job->rows);
    mem_free(job);
    return true;
}

// ---------------------------------------------------------------------------
// Writers

bool image_write_ppm(data_stream* s, const image* img) {
    if (!img->pixels || img->sample_bytes != 1 || img->channels == 2) return false;
    data_printf(s, "P6\n%d %d\n255\n", img->width, img->height);
    size_t row_bytes = (size_t)img->width * 3;
    uint8_t* row = (uint8_t*)mem_alloc_or_die(row_bytes);
    for (int y = 0; y < img->height; y++) {
        const uint8_t* src = img->pixels + (size_t)y * img->width * img->channels;
        for (int x = 0; x < img->width; x++, src += img->channels) {
            uint8_t* dst = row + (size_t)x * 3;
            if (img->channels == 1) {
                dst[0] = dst[1] = dst[2] = src[0];
            } else {
                memcpy(dst, src, 3);
            }
        }
        data_write(s, row, row_bytes);
    }
    mem_free(row);
    return !data_error(s);
}

bool image_write_pgm(data_stream* s, const image* img) {
    if (!img->pixels || img->sample_bytes != 1 || img->channels != 1) return false;
    data_printf(s, "P5\n%d %d\n255\n", img->width, img->height);
    data_write(s, img->pixels, (size_t)image_bytes(img));
    return !data_error(s);
}

bool image_write_j(data_stream* s, const image* img, int format_channels) {
    if (!img->pixels || img->sample_bytes != 1 || (img->channels != 3 && img->channels != 4)) return false;
    if (format_channels != 3 && format_channels != 4) return false;
    data_printf(s, "J%d\n%d %d\n", format_channels == 4 ? 7 : 6, img->width, img->height);
    int w = img->width, n = format_channels, in = img->channels;
    size_t row_bytes = (size_t)w * n;
    uint8_t* rows = (uint8_t*)mem_alloc_or_die(row_bytes * 3);
    uint8_t* above = rows;
    uint8_t* current = rows + row_bytes;
    uint8_t* deltas = rows + row_bytes * 2;
    for (int y = 0; y < img->height; y++) {
        const uint8_t* src = img->pixels + (size_t)y * w * in;
        for (int x = 0; x < w; x++)
            for (int c = 0; c < n; c++) current[(size_t)x * n + c] = c < in ? src[(size_t)x * in + c] : 255;
        for (int x = 0; x < w; x++) {
            for (int c = 0; c < n; c++) {
                size_t k = (size_t)x * n + c;
                int guess;
                if (y == 0)
                    guess = x == 0 ? 0 : current[k - n];
                else if (x == 0)
                    guess = above[k];
                else
                    guess = predict(current[k - n], above[k], above[k - n]);
                deltas[k] = (uint8_t)(current[k] - guess);
            }
        }
        data_write(s, deltas, row_bytes);
        uint8_t* t = above;
        above = current;
        current = t;
    }
    mem_free(rows);
    return !data_error(s);
}

bool image_write_png(data_stream* s, const image* img, bool bottom_up) {
    if (!img->pixels || img->width < 1 || img->height < 1) return false;
    int channels = img->channels;
    if (channels < 1 || channels > 4) return false;
    if (img->sample_bytes == 2 && channels != 1) return false;
    static const int colour_types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                       PNG_COLOR_TYPE_RGB_ALPHA};
    png_job* job = (png_job*)mem_calloc_or_die(1, sizeof(png_job));
    job->s = s;
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, job, png_fail_fn, png_warn_fn, job,
                                                png_alloc_fn, png_free_fn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        if (png) png_destroy_write_struct(&png, nullptr);
        mem_free(job);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        mem_free(job);
        return false;
    }
    png_set_write_fn(png, job, png_write_fn, png_flush_fn);
    png_set_IHDR(png, info, img->width, img->height, img->sample_bytes * 8, colour_types[channels - 1],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (img->sample_bytes == 2 && host_little_endian()) png_set_swap(png);
    size_t row_bytes = (size_t)img->width * image_pixel_bytes(img);
    for (int y = 0; y < img->height; y++) {
        int source_row = bottom_up ? img->height - 1 - y : y;
        png_write_row(png, img->pixels + row_bytes * source_row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    mem_free(job);
    return !data_error(s);
}

// ---------------------------------------------------------------------------
// Formats by file name

namespace {

bool read_png_texture(data_stream* s, image* out) { return image_read_png(s, out, image_png_texture); }
bool write_png_top_down(data_stream* s, const image* img) { return image_write_png(s, img, false); }

}  // namespace

const image_format image_formats[] = {
    {".ppm", image_read_rgb, image_write_ppm},
    {".pgm", image_read_grey, image_write_pgm},
    {".png", read_png_texture, write_png_top_down},
};
const int image_format_count = sizeof image_formats / sizeof image_formats[0];

const image_format* image_format_for(const char* name) {
    const char* slash = strrchr(name, '/');
    const char* base = slash ? slash + 1 : name;
    const char* dot = strrchr(base, '.');
    if (!dot) return nullptr;
    for (const image_format& f : image_formats)
        if (strcasecmp(dot, f.extension) == 0) return &f;
    return nullptr;
}

bool image_load(const char* name, image* out) {
    *out = {};
    const image_format* f = image_format_for(name);
    if (!f) return false;
    data_stream* s = data_open(name, "rb");
    if (!s) return false;
    bool ok = f->read(s, out);
    data_close(s);
    return ok;
}

bool image_save(const char* name, const image* img) {
    const image_format* f = image_format_for(name);
    if (!f) return false;
    data_stream* s = data_open(name, "wb");
    if (!s) return false;
    bool ok = f->write(s, img);
    if (data_error(s)) ok = false;
    data_close(s);
    return ok;
}
