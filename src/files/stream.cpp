// Data streams: plain files, archive members, gzip-compressed and scrambled
// data through one set of read operations, and safe replacement of files the
// program keeps.
//
// A stream reads at most limit bytes (the member's size, else 2147483647).
// Compressed data is read in 16384-byte input blocks (through the deciphering
// stream when also scrambled) and inflated into a 1024-byte output buffer;
// the underlying bytes handed to the decompressor, the first block included,
// never exceed the member's size. Corrupt or truncated deflate data ends the
// stream and marks it with an error.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/mem.h"
#include "files/data.h"

void data_reset_folders_for_tests();

namespace {

constexpr int64_t plain_limit = 2147483647;
constexpr size_t input_block_size = 16384;
constexpr int output_buffer_size = 1024;
constexpr size_t path_size = 1024;
constexpr size_t backup_block_size = 65536;

}  // namespace

struct data_stream {
    FILE* file;
    int64_t base;      // offset of the data inside the file
    int64_t limit;     // bytes that may be read
    int64_t position;  // bytes delivered (the pushback byte counts)
    int pushback;      // -1 when none
    bool error;
    bool compressed;
    bool scrambled;
    int64_t compressed_limit;     // underlying bytes that may be inflated
    int64_t compressed_consumed;  // underlying bytes handed to the decompressor
    bool compressed_ended;
    z_stream* inflater;
    unsigned char* input;  // input_block_size bytes
    unsigned char output[output_buffer_size];
    int output_read, output_write;
    scramble_reader* cipher;
    char* replace_target;  // data_open_replace: the file the temporary one replaces
    char* temp_path;
};

namespace {

bool read_only(const char* mode) { return strchr(mode, 'r') && !strchr(mode, '+'); }

bool ends_with(const char* text, const char* tail) {
    size_t n = strlen(text), m = strlen(tail);
    return n >= m && strcmp(text + n - m, tail) == 0;
}

void* z_alloc(void*, unsigned items, unsigned size) {
    if (size && items > SIZE_MAX / size) return nullptr;
    return mem_alloc((size_t)items * size);
}

void z_free(void*, void* block) { mem_free(block); }

// Length of the gzip header at the start of the block, or -1 when it is not
// a gzip header or does not lie wholly within the block.
int gzip_header_length(const unsigned char* p, size_t n) {
    if (n < 10 || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || (p[3] & 0xe0)) return -1;
    int flags = p[3];
    size_t at = 10;
    if (flags & 4) {  // FEXTRA
        if (n - at < 2) return -1;
        size_t length = p[at] | (size_t)p[at + 1] << 8;
        at += 2;
        if (n - at < length) return -1;
        at += length;
    }
    for (int bit : {8, 16}) {  // FNAME, FCOMMENT: through a zero byte
        if (!(flags & bit)) continue;
        while (at < n && p[at]) at++;
        if (at >= n) return -1;
        at++;
    }
    if (flags & 2) {  // FHCRC
        if (n - at < 2) return -1;
        at += 2;
    }
    return (int)at;
}

// Underlying bytes: through the deciphering stream when scrambled.
size_t read_underlying(data_stream* s, void* buffer, size_t count) {
    if (count == 0) return 0;
    size_t got = s->cipher ? scramble_read(s->cipher, buffer, count) : fread(buffer, 1, count, s->file);
    if (got < count && ferror(s->file)) s->error = true;
    return got;
}

// Refills the empty input block; false when no underlying bytes are left.
bool refill_input(data_stream* s) {
    int64_t left = s->compressed_limit - s->compressed_consumed;
    size_t want = left < (int64_t)input_block_size ? (size_t)(left > 0 ? left : 0) : input_block_size;
    size_t got = read_underlying(s, s->input, want);
    s->compressed_consumed += (int64_t)got;
    s->inflater->next_in = s->input;
    s->inflater->avail_in = (unsigned)got;
    return got > 0;
}

// Decompressing read: copies what the output buffer holds, then inflates more
// into it until the request is met or the deflate data ends.
size_t inflate_read(data_stream* s, unsigned char* out, size_t count) {
    size_t copied = 0;
    for (;;) {
        size_t available = (size_t)(s->output_write - s->output_read);
        size_t n = count - copied < available ? count - copied : available;
        memcpy(out + copied, s->output + s->output_read, n);
        s->output_read += (int)n;
        copied += n;
        if (copied == count || s->compressed_ended) return copied;
        if (s->output_read == s->output_write && s->output_write == output_buffer_size)
            s->output_read = s->output_write = 0;
        z_stream* z = s->inflater;
        z->next_out = s->output + s->output_write;
        z->avail_out = (unsigned)(output_buffer_size - s->output_write);
        while (z->avail_out > 0 && !s->compressed_ended) {
            if (z->avail_in == 0 && !refill_input(s)) {
                s->compressed_ended = true;  // the underlying bytes ended first
                s->error = true;
                break;
            }
            int r = inflate(z, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                s->compressed_ended = true;
            } else if (r != Z_OK && !(r == Z_BUF_ERROR && z->avail_in == 0)) {
                s->compressed_ended = true;  // corrupt data
                s->error = true;
            }
        }
        s->output_write = output_buffer_size - (int)z->avail_out;
    }
}

// Reads count bytes of the data after the pushback byte.
size_t read_data(data_stream* s, unsigned char* out, size_t count) {
    int64_t room = s->limit - s->position;
    if (room <= 0) return 0;
    if ((uint64_t)count > (uint64_t)room) count = (size_t)room;
    size_t got;
    if (s->compressed) got = inflate_read(s, out, count);
    else got = read_underlying(s, out, count);
    s->position += (int64_t)got;
    return got;
}

void release(data_stream* s) {
    if (s->inflater) {
        inflateEnd(s->inflater);
        mem_free(s->inflater);
    }
    if (s->cipher) scramble_close(s->cipher);
    mem_free(s->input);
    mem_free(s->replace_target);
    mem_free(s->temp_path);
    mem_free(s);
}

// Makes a stream over a file positioned at its data (available bytes, -1 for
// the rest of the file). Closes the file and returns null when the scrambled
// or gzip header is bad.
data_stream* start_stream(FILE* f, int64_t available, bool compressed, bool scrambled) {
    data_stream* s = (data_stream*)mem_calloc_or_die(1, sizeof(data_stream));
    s->file = f;
    s->pushback = -1;
    s->limit = available >= 0 ? available : plain_limit;
    s->compressed = compressed;
    s->scrambled = scrambled;
    bool ok = true;
    if (scrambled) {
        s->cipher = scramble_open(f, available);
        ok = s->cipher != nullptr;
        if (ok && available >= 0) s->limit = available - scramble_header_size;
    }
    if (ok && compressed) {
        s->compressed_limit = s->limit;
        s->limit = plain_limit;
        s->input = (unsigned char*)mem_alloc_or_die(input_block_size);
        s->inflater = (z_stream*)mem_calloc_or_die(1, sizeof(z_stream));
        s->inflater->zalloc = z_alloc;
        s->inflater->zfree = z_free;
        size_t first = s->compressed_limit < (int64_t)input_block_size ? (size_t)s->compressed_limit : input_block_size;
        size_t got = read_underlying(s, s->input, first);
        s->compressed_consumed = (int64_t)got;
        int header = gzip_header_length(s->input, got);
        if (header < 0 || inflateInit2(s->inflater, -15) != Z_OK) {
            mem_free(s->inflater);  // never initialised, or failed to
            s->inflater = nullptr;
            ok = false;
        } else {
            s->inflater->next_in = s->input + header;
            s->inflater->avail_in = (unsigned)(got - (size_t)header);
        }
    }
    if (!ok) {
        fclose(f);
        release(s);
        return nullptr;
    }
    return s;
}

bool exists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0 || errno != ENOENT;
}

// Keeps a numbered copy "<path>.~N~" of an existing file (smallest free N
// from 1 to 9999). True when there was nothing to keep or the copy is whole.
bool keep_backup(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return errno == ENOENT;
    char backup[path_size + 16];
    int fd = -1;
    for (int i = 1; i <= 9999 && fd < 0; i++) {
        snprintf(backup, sizeof backup, "%s.~%d~", path, i);
        if (exists(backup)) continue;
        fd = open(backup, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    FILE* out = fdopen(fd, "wb");
    FILE* in = fopen(path, "rb");
    bool ok = out && in;
    if (!out) close(fd);
    if (ok) {
        unsigned char* block = (unsigned char*)mem_alloc_or_die(backup_block_size);
        size_t n;
        while (ok && (n = fread(block, 1, backup_block_size, in)) > 0) ok = fwrite(block, 1, n, out) == n;
        ok = ok && !ferror(in);
        mem_free(block);
    }
    if (in) fclose(in);
    if (out) ok = fclose(out) == 0 && ok;
    if (!ok) remove(backup);
    return ok;
}

FILE* open_file(const char* path, const char* mode) {
    FILE* f = fopen(path, mode);
    if (!f) return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

data_stream* open_plain(const char* path, const char* mode) {
    bool ro = read_only(mode);
    size_t length = strlen(path);
    if (!ro && length < path_size) data_make_folders(path);
    if (mode[0] == '~') {
        mode++;
        if (length > 1000 || !keep_backup(path)) return nullptr;
    }
    if (FILE* f = open_file(path, mode)) return start_stream(f, -1, false, false);
    if (!ro) return nullptr;
    static const struct {
        const char* suffix;
        bool compressed, scrambled;
    } variants[] = {{".gz", true, false}, {".scram", false, true}, {".gz.scram", true, true}};
    char variant[path_size];
    for (const auto& v : variants) {
        if (length + strlen(v.suffix) >= path_size) continue;
        snprintf(variant, sizeof variant, "%s%s", path, v.suffix);
        if (FILE* f = open_file(variant, mode)) return start_stream(f, -1, v.compressed, v.scrambled);
    }
    return nullptr;
}

data_stream* open_data_name(const char* name, const char* mode) {
    char full[path_size];
    file_list_count();  // builds the list on first use
    if (!read_only(mode)) {
        // Written data names go to the home folder only.
        if (!data_write_path(name, full, sizeof full)) return nullptr;
        return open_plain(full, mode);
    }
    if (!data_name_is_safe(name)) return nullptr;
    for (int i = 0; const char* folder = data_folder(i); i++) {
        int n = snprintf(full, 512, "%s%s", folder, name);
        if (n < 0 || n >= 512) continue;
        if (data_stream* s = open_plain(full, mode)) return s;
    }
    const file_entry* best = nullptr;
    for (const char* suffix : {"", ".gz", ".scram", ".gz.scram"}) {
        int n = snprintf(full, sizeof full, "%s%s", name, suffix);
        if (n < 0 || n >= (int)sizeof full) continue;
        const file_entry* e = file_list_find(full);
        if (e && (!best || e->source_rank < best->source_rank)) best = e;
    }
    if (!best) return nullptr;
    FILE* f = open_file(best->open_path, "rb");
    if (!f) return nullptr;
    if (fseeko(f, (off_t)best->offset, SEEK_SET) != 0) {
        fclose(f);
        return nullptr;
    }
    bool scrambled = ends_with(best->name, ".scram");
    bool compressed = ends_with(best->name, ".gz") || ends_with(best->name, ".gz.scram");
    data_stream* s = start_stream(f, best->size, compressed, scrambled);
    if (s) s->base = best->offset;
    return s;
}

}  // namespace

data_stream* data_open(const char* path, const char* mode) {
    if (!path || !mode || !path[0]) return nullptr;
    if (path[0] == '@') return open_data_name(path + 1, mode);
    return open_plain(path, mode);
}

data_stream* data_open_file(FILE* file, int64_t size, bool compressed, bool scrambled) {
    if (!file) return nullptr;
    return start_stream(file, size, compressed, scrambled);
}

void data_close(data_stream* s) {
    if (!s) return;
    if (s->file) fclose(s->file);
    if (s->temp_path) remove(s->temp_path);  // an abandoned replacement
    release(s);
}

int data_getc(data_stream* s) {
    if (s->pushback >= 0) {
        int c = s->pushback;
        s->pushback = -1;
        return c;
    }
    unsigned char c;
    return read_data(s, &c, 1) == 1 ? c : -1;
}

int data_peekc(data_stream* s) {
    if (s->pushback < 0) {
        unsigned char c;
        if (read_data(s, &c, 1) != 1) return -1;
        s->pushback = c;
    }
    return s->pushback;
}

char* data_gets(data_stream* s, char* buffer, int size) {
    if (size <= 0) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = data_getc(s);
        if (c < 0) break;
        buffer[n++] = (char)c;
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n > 0 ? buffer : nullptr;
}

size_t data_read(data_stream* s, void* buffer, size_t count) {
    unsigned char* out = (unsigned char*)buffer;
    size_t n = 0;
    if (count > 0 && s->pushback >= 0) {
        out[n++] = (unsigned char)s->pushback;
        s->pushback = -1;
    }
    return n + read_data(s, out + n, count - n);
}

int data_putc(data_stream* s, int c) {
    int r = fputc(c, s->file);
    if (r < 0) s->error = true;
    return r;
}

int data_puts(data_stream* s, const char* text) {
    int r = fputs(text, s->file);
    if (r < 0) s->error = true;
    return r;
}

size_t data_write(data_stream* s, const void* buffer, size_t count) {
    size_t n = count ? fwrite(buffer, 1, count, s->file) : 0;
    if (n != count) s->error = true;
    return n;
}

int data_printf(data_stream* s, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = vfprintf(s->file, format, args);
    va_end(args);
    if (r < 0) s->error = true;
    return r;
}

bool data_seek(data_stream* s, int64_t position) {
    if (s->compressed || s->scrambled || position < 0 || position >= s->limit) return false;
    if (fseeko(s->file, (off_t)(s->base + position), SEEK_SET) != 0) return false;
    s->position = position;
    s->pushback = -1;
    return true;
}

bool data_flush(data_stream* s) {
    bool ok = fflush(s->file) == 0;
    if (!ok) s->error = true;
    return ok;
}

bool data_is_scrambled(data_stream* s) { return s->scrambled; }
bool data_error(data_stream* s) { return s->error || ferror(s->file); }

data_stream* data_open_replace(const char* path) {
    if (!path) return nullptr;
    char target[path_size], temp[path_size + 32];
    if (path[0] == '@') {
        if (!data_write_path(path + 1, target, sizeof target)) return nullptr;
    } else if (!path[0] || snprintf(target, sizeof target, "%s", path) >= (int)sizeof target) {
        return nullptr;
    }
    data_make_folders(target);
    // The temporary file gets the target's permissions, or the usual ones.
    struct stat st;
    bool keep_mode = stat(target, &st) == 0;
    static unsigned counter;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
        snprintf(temp, sizeof temp, "%s.tmp%d.%u", target, (int)getpid(), ++counter);
        fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return nullptr;
    }
    if (fd < 0) return nullptr;
    if (keep_mode) fchmod(fd, st.st_mode & 07777);
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        remove(temp);
        return nullptr;
    }
    data_stream* s = start_stream(f, -1, false, false);
    s->replace_target = mem_strdup(target);
    s->temp_path = mem_strdup(temp);
    return s;
}

bool data_close_replace(data_stream* s) {
    if (!s) return false;
    bool ok = !data_error(s) && fflush(s->file) == 0;
    if (s->temp_path) ok = ok && fsync(fileno(s->file)) == 0;
    ok = fclose(s->file) == 0 && ok;
    s->file = nullptr;
    if (s->temp_path) {
        if (ok) ok = rename(s->temp_path, s->replace_target) == 0;
        if (!ok) remove(s->temp_path);
        mem_free(s->temp_path);
        s->temp_path = nullptr;
    }
    release(s);
    return ok;
}

void data_reset_for_tests() {
    file_list_free();
    data_reset_folders_for_tests();
}
