// dwtool's game-file commands: list the file list, print a game file as the
// game reads it, pack and unpack ".saf" archives, scramble a file.
#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "base/mem.h"
#include "dwtool/commands.h"
#include "files/data.h"

namespace {

constexpr size_t copy_block_size = 65536;

struct pack_member {
    char* name;  // as stored in the archive
    char* path;  // the file read
    int64_t size;
};

// "a//b/./c" -> "a/b/c"; a leading "./" goes, a leading "/" stays (and is
// refused as a member name).
char* member_name_of(const char* path) {
    size_t n = strlen(path);
    char* name = (char*)mem_alloc_or_die(n + 2);
    size_t out = 0;
    if (path[0] == '/') name[out++] = '/';
    const char* p = path;
    while (*p) {
        if (*p == '/') {
            p++;
            continue;
        }
        size_t part = strcspn(p, "/");
        if (!(part == 1 && p[0] == '.')) {
            if (out && name[out - 1] != '/') name[out++] = '/';
            memcpy(name + out, p, part);
            out += part;
        }
        p += part;
    }
    name[out] = 0;
    return name;
}

int compare_text(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

void free_members(dw_vector<pack_member>& members) {
    for (pack_member& m : members) {
        mem_free(m.name);
        mem_free(m.path);
    }
    members.clear();
}

// Adds a file, or a folder's files recursively (in name order).
bool collect(const char* path, dw_vector<pack_member>& members, int depth) {
    struct stat st;
    if (stat(path, &st) != 0) {
        fprintf(stderr, "dwtool pack: can't read %s\n", path);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        char* name = member_name_of(path);
        if (!data_name_is_safe(name) || strchr(name, '\n') || strlen(name) + 24 >= saf_line_size) {
            fprintf(stderr, "dwtool pack: %s can't be a member name (it must be a relative path without \"..\")\n", path);
            mem_free(name);
            return false;
        }
        members.push_back({name, mem_strdup(path), (int64_t)st.st_size});
        return true;
    }
    if (depth > 48) {
        fprintf(stderr, "dwtool pack: %s is nested too deeply\n", path);
        return false;
    }
    DIR* dir = opendir(path);
    if (!dir) {
        fprintf(stderr, "dwtool pack: can't read the folder %s\n", path);
        return false;
    }
    dw_vector<char*> entries;
    while (struct dirent* e = readdir(dir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) entries.push_back(mem_strdup(e->d_name));
    closedir(dir);
    if (!entries.empty()) qsort(entries.data(), entries.size(), sizeof(char*), compare_text);
    bool ok = true;
    size_t n = strlen(path);
    while (n > 1 && path[n - 1] == '/') n--;
    for (char* entry : entries) {
        if (ok) {
            size_t m = strlen(entry);
            char* child = (char*)mem_alloc_or_die(n + m + 2);
            memcpy(child, path, n);
            child[n] = '/';
            memcpy(child + n + 1, entry, m + 1);
            ok = collect(child, members, depth + 1);
            mem_free(child);
        }
        mem_free(entry);
    }
    return ok;
}

// Copies exactly size bytes from in to out.
bool copy_bytes(FILE* in, data_stream* out, int64_t size, unsigned char* block) {
    while (size > 0) {
        size_t want = size < (int64_t)copy_block_size ? (size_t)size : copy_block_size;
        size_t got = fread(block, 1, want, in);
        if (got != want || data_write(out, block, got) != got) return false;
        size -= (int64_t)got;
    }
    return true;
}

}  // namespace

int cmd_ls(int argc, char** argv) {
    if (argc != 1) return dwtool_usage("ls");
    char line[8192];
    for (int i = 0; file_list_describe(i, line, sizeof line); i++) printf("%s\n", line);
    return fflush(stdout) == 0 ? 0 : 1;
}

int cmd_cat(int argc, char** argv) {
    if (argc != 2) return dwtool_usage("cat");
    data_stream* s = data_open(argv[1], "rb");
    if (!s) {
        fprintf(stderr, "dwtool cat: can't open %s\n", argv[1]);
        return 1;
    }
    unsigned char* block = (unsigned char*)mem_alloc_or_die(copy_block_size);
    size_t n;
    bool written = true;
    while (written && (n = data_read(s, block, copy_block_size)) > 0) written = fwrite(block, 1, n, stdout) == n;
    mem_free(block);
    bool read_ok = !data_error(s);
    data_close(s);
    written = fflush(stdout) == 0 && written;
    if (!read_ok) fprintf(stderr, "dwtool cat: %s is damaged or could not be read to its end\n", argv[1]);
    if (!written) fprintf(stderr, "dwtool cat: can't write to standard output\n");
    return read_ok && written ? 0 : 1;
}

int cmd_pack(int argc, char** argv) {
    if (argc < 3) return dwtool_usage("pack");
    dw_vector<pack_member> members;
    for (int i = 2; i < argc; i++) {
        if (!collect(argv[i], members, 0)) {
            free_members(members);
            return 1;
        }
    }
    data_stream* out = data_open_replace(argv[1]);
    if (!out) {
        fprintf(stderr, "dwtool pack: can't create %s\n", argv[1]);
        free_members(members);
        return 1;
    }
    for (const pack_member& m : members) data_printf(out, "%lld %s\n", (long long)m.size, m.name);
    data_puts(out, "-\n");
    unsigned char* block = (unsigned char*)mem_alloc_or_die(copy_block_size);
    bool ok = true;
    for (const pack_member& m : members) {
        FILE* in = fopen(m.path, "rb");
        bool copied = in && copy_bytes(in, out, m.size, block) && getc(in) == EOF;
        if (in) fclose(in);
        if (!copied) {
            fprintf(stderr, "dwtool pack: can't read %s (or it changed while packing)\n", m.path);
            ok = false;
            break;
        }
    }
    mem_free(block);
    free_members(members);
    if (!ok) {
        data_close(out);  // the temporary file goes; an old archive stays
        return 1;
    }
    if (!data_close_replace(out)) {
        fprintf(stderr, "dwtool pack: can't write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

int cmd_unpack(int argc, char** argv) {
    if (argc != 3) return dwtool_usage("unpack");
    FILE* in = fopen(argv[1], "rb");
    struct stat st;
    if (!in || fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (in) fclose(in);
        fprintf(stderr, "dwtool unpack: can't read %s\n", argv[1]);
        return 1;
    }
    saf_member* members = nullptr;
    int count = saf_read_header_file(in, (int64_t)st.st_size, &members);
    if (count < 0) {
        fclose(in);
        fprintf(stderr, "dwtool unpack: %s has a malformed archive header\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < count; i++) {
        if (!data_name_is_safe(members[i].name)) {
            fprintf(stderr, "dwtool unpack: refusing the member name \"%s\" (absolute or with \"..\"); nothing unpacked\n",
                    members[i].name);
            saf_free_members(members, count);
            fclose(in);
            return 1;
        }
    }
    unsigned char* block = (unsigned char*)mem_alloc_or_die(copy_block_size);
    size_t folder_length = strlen(argv[2]);
    while (folder_length > 1 && argv[2][folder_length - 1] == '/') folder_length--;
    int result = 0;
    for (int i = 0; i < count && result == 0; i++) {
        size_t n = folder_length + strlen(members[i].name) + 2;
        char* path = (char*)mem_alloc_or_die(n);
        snprintf(path, n, "%.*s/%s", (int)folder_length, argv[2], members[i].name);
        data_stream* out = data_open_replace(path);
        bool ok = out && fseeko(in, (off_t)members[i].offset, SEEK_SET) == 0 &&
                  copy_bytes(in, out, members[i].size, block);
        if (out && !ok) data_close(out);
        else if (out) ok = data_close_replace(out);
        if (!ok) {
            fprintf(stderr, "dwtool unpack: can't write %s\n", path);
            result = 1;
        }
        mem_free(path);
    }
    mem_free(block);
    saf_free_members(members, count);
    fclose(in);
    return result;
}

int cmd_scramble(int argc, char** argv) {
    if (argc != 3) return dwtool_usage("scramble");
    FILE* in = fopen(argv[1], "rb");
    struct stat st;
    if (!in || fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (in) fclose(in);
        fprintf(stderr, "dwtool scramble: can't read %s\n", argv[1]);
        return 1;
    }
    data_stream* out = data_open_replace(argv[2]);
    if (!out) {
        fclose(in);
        fprintf(stderr, "dwtool scramble: can't create %s\n", argv[2]);
        return 1;
    }
    uint64_t nonce = scramble_new_nonce();
    unsigned char header[scramble_header_size];
    scramble_make_header(nonce, header);
    data_write(out, header, sizeof header);
    scramble_key key;
    scramble_start(&key, nonce);
    unsigned char* block = (unsigned char*)mem_alloc_or_die(copy_block_size);
    size_t n;
    while ((n = fread(block, 1, copy_block_size, in)) > 0) {
        scramble_apply(&key, block, n);
        data_write(out, block, n);
    }
    mem_free(block);
    bool read_ok = !ferror(in);
    fclose(in);
    if (!read_ok) {
        data_close(out);
        fprintf(stderr, "dwtool scramble: can't read %s\n", argv[1]);
        return 1;
    }
    if (!data_close_replace(out)) {
        fprintf(stderr, "dwtool scramble: can't write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
