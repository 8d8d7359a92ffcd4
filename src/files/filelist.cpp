// The file list: every file of the data folders and every member of their
// ".saf" archives, sorted by name (case-insensitively), then by precedence.
//
// The list is built once, on first use: each data folder is scanned
// recursively (a folder is never entered twice along one path, so symbolic
// link loops end), then every ".saf" file found is opened and its header
// read; a malformed header drops that archive's members but keeps the
// archive itself listed. The unique names keep, for each run of names equal
// case-insensitively, the name of the first (highest precedence) record.
#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "files/data.h"

namespace {

enum { max_scan_depth = 48, scan_path_size = 4096 };

struct file_list_state {
    bool built;
    file_entry* entries;
    int count, capacity;
    const char** names;  // unique names, ending with ""
};
file_list_state s_list;

int lower(int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

int compare_names(const char* a, const char* b) {
    for (;; a++, b++) {
        int ca = lower((unsigned char)*a), cb = lower((unsigned char)*b);
        if (ca != cb || !ca) return ca - cb;
    }
}

int compare_entries(const void* pa, const void* pb) {
    const file_entry* a = (const file_entry*)pa;
    const file_entry* b = (const file_entry*)pb;
    int c = compare_names(a->name, b->name);
    if (c) return c;
    if (a->source_rank != b->source_rank) return a->source_rank < b->source_rank ? -1 : 1;
    // Only for a stable, repeatable order among names differing in case.
    c = strcmp(a->name, b->name);
    if (c) return c;
    return a->offset < b->offset ? -1 : a->offset > b->offset;
}

void add_entry(char* name, char* open_path, int64_t offset, int64_t size, int rank) {
    if (s_list.count == s_list.capacity) {
        int grown = s_list.capacity ? s_list.capacity * 2 : 256;
        s_list.entries = (file_entry*)mem_realloc_or_die(s_list.entries, (size_t)grown * sizeof(file_entry));
        s_list.capacity = grown;
    }
    s_list.entries[s_list.count++] = {name, open_path, offset, size, rank};
}

// The chain of folders being scanned, to keep symbolic link loops out.
struct scan_chain {
    dev_t device;
    ino_t inode;
    const scan_chain* parent;
};

bool in_chain(const scan_chain* chain, const struct stat& st) {
    for (; chain; chain = chain->parent)
        if (chain->device == st.st_dev && chain->inode == st.st_ino) return true;
    return false;
}

void scan_folder(const char* directory, size_t prefix_length, int rank, int depth, const scan_chain* chain) {
    DIR* dir = opendir(directory);
    if (!dir) return;
    size_t dir_length = strlen(directory);
    while (dir_length > 1 && directory[dir_length - 1] == '/') dir_length--;
    char path[scan_path_size];
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        size_t name_length = strlen(e->d_name);
        if (dir_length + 1 + name_length >= sizeof path) continue;
        memcpy(path, directory, dir_length);
        path[dir_length] = '/';
        memcpy(path + dir_length + 1, e->d_name, name_length + 1);
        struct stat st;
        if (stat(path, &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth >= max_scan_depth || in_chain(chain, st)) continue;
            scan_chain link = {st.st_dev, st.st_ino, chain};
            scan_folder(path, prefix_length, rank, depth + 1, &link);
        } else if (strlen(path) > prefix_length) {
            add_entry(mem_strdup(path + prefix_length), mem_strdup(path), 0, (int64_t)st.st_size, rank);
        }
    }
    closedir(dir);
}

bool is_archive_name(const char* name) {
    size_t n = strlen(name);
    return n >= 5 && compare_names(name + n - 4, ".saf") == 0;
}

void add_archive_members(const file_entry& archive, int rank) {
    FILE* f = fopen(archive.open_path, "rb");
    if (!f) return;
    saf_member* members = nullptr;
    int n = saf_read_header_file(f, archive.size, &members);
    fclose(f);
    if (n < 0) {
        log_printf("Archive %s has a malformed header: its members are not used\n", archive.open_path);
        return;
    }
    for (int i = 0; i < n; i++) {
        add_entry(members[i].name, mem_strdup(archive.open_path), members[i].offset, members[i].size, rank);
        members[i].name = nullptr;  // now owned by the list
    }
    saf_free_members(members, n);
}

void build_list() {
    if (s_list.built) return;
    s_list.built = true;
    int folders = data_folder_count();
    for (int i = 0; i < folders; i++) {
        const char* folder = data_folder(i);
        struct stat st;
        if (stat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        scan_chain root = {st.st_dev, st.st_ino, nullptr};
        scan_folder(folder, strlen(folder), i, 0, &root);
    }
    if (s_list.count > 1) qsort(s_list.entries, (size_t)s_list.count, sizeof(file_entry), compare_entries);

    // Archives: only the files found in the folders, in sorted order. The
    // ordinal counts every ".saf" met, whether it opened or not.
    int plain_count = s_list.count;
    int ordinal = 0;
    for (int i = 0; i < plain_count; i++) {
        if (!is_archive_name(s_list.entries[i].name)) continue;
        file_entry archive = s_list.entries[i];  // the array may move as members are added
        add_archive_members(archive, folders + ordinal);
        ordinal++;
    }
    if (s_list.count > plain_count) qsort(s_list.entries, (size_t)s_list.count, sizeof(file_entry), compare_entries);

    s_list.names = (const char**)mem_calloc_or_die((size_t)s_list.count + 1, sizeof(const char*));
    int unique = 0;
    for (int i = 0; i < s_list.count; i++)
        if (unique == 0 || compare_names(s_list.names[unique - 1], s_list.entries[i].name) != 0)
            s_list.names[unique++] = s_list.entries[i].name;
    s_list.names[unique] = "";
}

// Collapses runs of "/" in place.
void collapse_slashes(char* name) {
    char* out = name;
    for (const char* p = name; *p; p++)
        if (*p != '/' || out == name || out[-1] != '/') *out++ = *p;
    *out = 0;
}

struct memory_lines {
    const char* data;
    size_t size, at;
};

int read_memory_line(void* context, char* buffer, int size) {
    memory_lines* m = (memory_lines*)context;
    int n = 0;
    while (n < size - 1 && m->at < m->size) {
        char c = m->data[m->at++];
        buffer[n++] = c;
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n;
}

int read_file_line(void* context, char* buffer, int size) {
    FILE* f = (FILE*)context;
    int n = 0, c;
    while (n < size - 1 && (c = getc(f)) != EOF) {
        buffer[n++] = (char)c;
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n;
}

// A member line's size: a decimal integer with optional leading white space
// and sign, as a standard decimal conversion reads it. Returns the text after
// it, or null when there is no number or it is negative or overflows.
const char* parse_member_size(const char* line, int64_t* size) {
    const char* p = line;
    while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f' || *p == '\r') p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return nullptr;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        int d = *p - '0';
        if (value > (INT64_MAX - d) / 10) return nullptr;
        value = value * 10 + d;
    }
    if (negative && value != 0) return nullptr;
    *size = value;
    return p;
}

}  // namespace

int saf_read_header(saf_line_reader read_line, void* context, int64_t archive_size, saf_member** members) {
    *members = nullptr;
    saf_member* list = nullptr;
    int count = 0, capacity = 0;
    int64_t header_length = 0;
    char line[saf_line_size];
    bool ok = false;
    for (;;) {
        int n = read_line(context, line, sizeof line);
        if (n <= 0 || line[n - 1] != '\n' || (int)strlen(line) != n) break;  // too long, at the end, or a NUL byte
        header_length += n;
        if (n == 2 && line[0] == '-') {
            ok = true;
            break;
        }
        int64_t size = 0;
        const char* rest = parse_member_size(line, &size);
        if (!rest || rest[0] != ' ' || rest[1] == '\n') break;
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 16;
            list = (saf_member*)mem_realloc_or_die(list, (size_t)capacity * sizeof(saf_member));
        }
        size_t name_length = (size_t)(line + n - 1 - (rest + 1));
        char* name = (char*)mem_alloc_or_die(name_length + 1);
        memcpy(name, rest + 1, name_length);
        name[name_length] = 0;
        collapse_slashes(name);
        list[count++] = {name, 0, size};
    }
    // Offsets follow the header in member order; every member must end
    // within the archive.
    int64_t offset = header_length;
    for (int i = 0; ok && i < count; i++) {
        if (offset > archive_size || list[i].size > archive_size - offset) {
            ok = false;
            break;
        }
        list[i].offset = offset;
        offset += list[i].size;
    }
    if (!ok) {
        saf_free_members(list, count);
        return -1;
    }
    if (count == 0) {
        mem_free(list);
        list = nullptr;
    }
    *members = list;
    return count;
}

int saf_read_header_memory(const void* data, size_t size, int64_t archive_size, saf_member** members) {
    memory_lines m = {(const char*)data, size, 0};
    return saf_read_header(read_memory_line, &m, archive_size, members);
}

int saf_read_header_file(FILE* file, int64_t archive_size, saf_member** members) {
    return saf_read_header(read_file_line, file, archive_size, members);
}

void saf_free_members(saf_member* members, int count) {
    if (!members) return;
    for (int i = 0; i < count; i++) mem_free(members[i].name);
    mem_free(members);
}

const char* const* file_list_names() {
    build_list();
    return s_list.names;
}

int file_list_count() {
    build_list();
    return s_list.count;
}

const file_entry* file_list_entry(int i) {
    build_list();
    return i >= 0 && i < s_list.count ? &s_list.entries[i] : nullptr;
}

bool file_list_describe(int i, char* buffer, size_t size) {
    const file_entry* e = file_list_entry(i);
    if (!e) return false;
    if (!buffer || size == 0) return true;
    size_t n = 0;
    for (const char* piece : {(const char*)e->name, " -> ", (const char*)e->open_path}) {
        size_t m = strlen(piece);
        if (m > size - 1 - n) m = size - 1 - n;
        memcpy(buffer + n, piece, m);
        n += m;
    }
    buffer[n] = 0;
    return true;
}

const file_entry* file_list_find(const char* name) {
    build_list();
    int low = 0, high = s_list.count;  // first record not below name
    while (low < high) {
        int mid = low + (high - low) / 2;
        if (compare_names(s_list.entries[mid].name, name) < 0) low = mid + 1;
        else high = mid;
    }
    if (low < s_list.count && compare_names(s_list.entries[low].name, name) == 0) return &s_list.entries[low];
    return nullptr;
}

void file_list_free() {
    for (int i = 0; i < s_list.count; i++) {
        mem_free(s_list.entries[i].name);
        mem_free(s_list.entries[i].open_path);
    }
    mem_free(s_list.entries);
    mem_free(s_list.names);
    s_list = {};
}
