// The data folders: the home folder, then DW_HOME or the executable's folder.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "files/data.h"
#include "platform/window.h"

namespace {

enum { max_folders = 3, folder_path_size = 1024 };

struct folder_list {
    bool found;
    int count;
    int home;  // index of the home folder, or -1
    char paths[max_folders][folder_path_size];
};
folder_list s_folders;

// Backslashes become "/", runs of "/" collapse, and the path ends in "/".
bool normalise_folder(const char* in, char* out, size_t size) {
    size_t n = 0;
    for (const char* p = in; *p; p++) {
        char c = *p == '\\' ? '/' : *p;
        if (c == '/' && n > 0 && out[n - 1] == '/') continue;
        if (n + 2 >= size) return false;
        out[n++] = c;
    }
    if (n == 0 || out[n - 1] != '/') {
        if (n + 2 >= size) return false;
        out[n++] = '/';
    }
    out[n] = 0;
    return true;
}

void add_folder(const char* path) {
    if (s_folders.count < max_folders && normalise_folder(path, s_folders.paths[s_folders.count], folder_path_size))
        s_folders.count++;
}

void find_folders() {
    if (s_folders.found) return;
    s_folders.found = true;
    s_folders.count = 0;
    s_folders.home = -1;

    char buffer[folder_path_size];
    const char* xdg = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    bool have_home = false;
    if (xdg && xdg[0] == '/') {
        have_home = snprintf(buffer, sizeof buffer, "%s/Dirtwake/", xdg) < (int)sizeof buffer;
    } else if (home && home[0]) {
        have_home = snprintf(buffer, sizeof buffer, "%s/.local/share/Dirtwake/", home) < (int)sizeof buffer;
    }
    if (have_home) {
        s_folders.home = s_folders.count;
        add_folder(buffer);
        if (s_folders.count == 0) s_folders.home = -1;
    }

    const char* dw_home = getenv("DW_HOME");
    if (dw_home) {
        if (snprintf(buffer, sizeof buffer, "%s/", dw_home) < (int)sizeof buffer) add_folder(buffer);
    } else {
        ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
        if (n > 0 && n < (ssize_t)sizeof buffer) {
            buffer[n] = 0;
            char* slash = strrchr(buffer, '/');
            if (slash) {
                slash[1] = 0;
                add_folder(buffer);
            }
        }
    }
}

bool is_folder(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Resolves "@name" against the home folder; other paths are copied.
bool resolve_home(const char* path, char* out, size_t size) {
    if (path[0] == '@') return data_write_path(path + 1, out, size);
    return snprintf(out, size, "%s", path) < (int)size;
}

}  // namespace

const char* data_folder(int i) {
    find_folders();
    return i >= 0 && i < s_folders.count ? s_folders.paths[i] : nullptr;
}

int data_folder_count() {
    find_folders();
    return s_folders.count;
}

const char* data_home_folder() {
    find_folders();
    return s_folders.home >= 0 ? s_folders.paths[s_folders.home] : nullptr;
}

bool data_installation_found() {
    find_folders();
    for (int i = 0; i < s_folders.count; i++)
        if (i != s_folders.home && is_folder(s_folders.paths[i])) return true;
    return false;
}

void data_make_folders(const char* path) {
    char buffer[folder_path_size];
    size_t n = strlen(path);
    if (n >= sizeof buffer) return;
    memcpy(buffer, path, n + 1);
    for (size_t i = 1; i < n; i++) {
        if (buffer[i] == '/') {
            buffer[i] = 0;
            mkdir(buffer, 0755);
            buffer[i] = '/';
        }
    }
}

bool open_home_folder() {
    const char* home = data_home_folder();
    if (!home) return false;
    data_make_folders(home);
    char path[folder_path_size];
    snprintf(path, sizeof path, "%s", home);
    size_t n = strlen(path);
    while (n > 1 && path[n - 1] == '/') path[--n] = 0;
    return platform_open_folder(path);
}

bool data_name_is_safe(const char* name) {
    if (!name || !name[0] || name[0] == '/' || name[0] == '\\') return false;
    // No part of the name may climb out of the folder.
    const char* p = name;
    while (*p) {
        const char* end = p + strcspn(p, "/\\");
        if (end - p == 2 && p[0] == '.' && p[1] == '.') return false;
        p = *end ? end + 1 : end;
    }
    return true;
}

bool data_write_path(const char* name, char* buffer, size_t size) {
    const char* home = data_home_folder();
    if (!home || !data_name_is_safe(name)) return false;
    int n = snprintf(buffer, size, "%s%s", home, name);
    return n > 0 && (size_t)n < size;
}

bool data_rename(const char* from, const char* to) {
    char source[512], target[512];
    if (!resolve_home(from, source, sizeof source) || !resolve_home(to, target, sizeof target)) return false;
    // rename() replaces the target in one step: a failed move leaves it.
    return rename(source, target) == 0;
}

void data_reset_folders_for_tests() { s_folders.found = false; }
