// Data streams over plain files. (Archives, gzip and scrambled data are read
// through the same operations once the file list knows them.)
#include <stdio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "base/mem.h"
#include "files/data.h"

void data_reset_folders_for_tests();

struct data_stream {
    FILE* file;
    int64_t limit;
    int64_t position;
    int pushback;  // -1 when none
    bool error;
    char* replace_target;  // data_open_replace: the file the temporary one replaces
    char* temp_path;
};

namespace {

data_stream* wrap(FILE* f) {
    data_stream* s = (data_stream*)mem_calloc_or_die(1, sizeof(data_stream));
    s->file = f;
    s->limit = 2147483647;
    s->pushback = -1;
    return s;
}

bool read_only(const char* mode) { return strchr(mode, 'r') && !strchr(mode, '+'); }

}  // namespace

data_stream* data_open(const char* path, const char* mode) {
    char full[1024];
    if (path[0] == '@') {
        if (read_only(mode)) {
            for (int i = 0; data_folder(i); i++) {
                snprintf(full, sizeof full, "%s%s", data_folder(i), path + 1);
                FILE* f = fopen(full, mode);
                if (f) return wrap(f);
            }
            return nullptr;
        }
        if (!data_write_path(path + 1, full, sizeof full)) return nullptr;
        path = full;
    }
    if (mode[0] == '~') mode++;
    if (!read_only(mode)) data_make_folders(path);
    FILE* f = fopen(path, mode);
    return f ? wrap(f) : nullptr;
}

void data_close(data_stream* s) {
    if (!s) return;
    if (s->file) fclose(s->file);
    mem_free(s->replace_target);
    mem_free(s->temp_path);
    mem_free(s);
}

int data_getc(data_stream* s) {
    if (s->pushback >= 0) {
        int c = s->pushback;
        s->pushback = -1;
        return c;
    }
    if (s->position >= s->limit) return -1;
    int c = fgetc(s->file);
    if (c >= 0) s->position++;
    return c;
}

int data_peekc(data_stream* s) {
    if (s->pushback < 0) {
        if (s->position >= s->limit) return -1;
        int c = fgetc(s->file);
        if (c < 0) return -1;
        s->position++;
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
    int64_t room = s->limit - s->position;
    size_t want = count - n;
    if ((int64_t)want > room) want = room > 0 ? (size_t)room : 0;
    size_t got = fread(out + n, 1, want, s->file);
    s->position += got;
    return n + got;
}

int data_scanf(data_stream*, const char*, ...) { return -1; }

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
    size_t n = fwrite(buffer, 1, count, s->file);
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
    if (position < 0 || position >= s->limit) return false;
    if (fseek(s->file, (long)position, SEEK_SET) != 0) return false;
    s->position = position;
    s->pushback = -1;
    return true;
}

bool data_flush(data_stream* s) {
    bool ok = fflush(s->file) == 0;
    if (!ok) s->error = true;
    return ok;
}

bool data_is_scrambled(data_stream*) { return false; }
bool data_error(data_stream* s) { return s->error || ferror(s->file); }

data_stream* data_open_replace(const char* path) {
    char target[1024], temp[1100];
    if (path[0] == '@') {
        if (!data_write_path(path + 1, target, sizeof target)) return nullptr;
    } else if (snprintf(target, sizeof target, "%s", path) >= (int)sizeof target) {
        return nullptr;
    }
    snprintf(temp, sizeof temp, "%s.tmp%d", target, (int)getpid());
    data_make_folders(temp);
    FILE* f = fopen(temp, "wb");
    if (!f) return nullptr;
    data_stream* s = wrap(f);
    s->replace_target = mem_strdup(target);
    s->temp_path = mem_strdup(temp);
    return s;
}

bool data_close_replace(data_stream* s) {
    if (!s) return false;
    bool ok = !data_error(s) && fflush(s->file) == 0;
    ok = (fclose(s->file) == 0) && ok;
    s->file = nullptr;
    if (ok) ok = rename(s->temp_path, s->replace_target) == 0;
    if (!ok) remove(s->temp_path);
    data_close(s);
    return ok;
}

const char* const* file_list_names() {
    static const char* const empty[] = {""};
    return empty;
}
int file_list_count() { return 0; }
const file_entry* file_list_entry(int) { return nullptr; }
bool file_list_describe(int, char*, size_t) { return false; }
const file_entry* file_list_find(const char*) { return nullptr; }
void file_list_free() {}

void data_reset_for_tests() {
    file_list_free();
    data_reset_folders_for_tests();
}
