#include "frame/catalogues.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "files/data.h"
#include "frame/game.h"

track_choice* g_tracks = nullptr;
int g_track_count = 0;
demo_choice* g_demos = nullptr;
int g_demo_count = 0;

namespace {

bool ends_with(const char* text, const char* tail) {
    size_t n = strlen(text), m = strlen(tail);
    return n >= m && strcmp(text + n - m, tail) == 0;
}

// Lowered character by character; a shorter text sorts first on a common prefix.
int compare_display(const char* a, const char* b) {
    while (*a && *b) {
        int ca = tolower((unsigned char)*a), cb = tolower((unsigned char)*b);
        if (ca != cb) return ca - cb;
        a++;
        b++;
    }
    return (unsigned char)*a - (unsigned char)*b;
}

char* read_desc(const char* folder) {
    char name[1100];
    snprintf(name, sizeof name, "@%s/desc", folder);
    data_stream* s = data_open(name, "rb");
    if (!s) return nullptr;
    char line[256];
    int n = 0, c;
    while (n < (int)sizeof line - 1 && (c = data_getc(s)) >= 0 && c != '\r' && c != '\n' && c != 0) line[n++] = (char)c;
    line[n] = 0;
    data_close(s);
    return mem_strdup(line);
}

bool is_terrain_name(const char* name) {
    return ends_with(name, "/terrain.hf") || ends_with(name, "/terrain.hf.gz") || ends_with(name, "/terrain.hf.scram") ||
           ends_with(name, "/terrain.hf.gz.scram");
}

}  // namespace

void track_list_build() {
    track_list_free();
    const char* const* names = file_list_names();
    int capacity = 0;
    for (int i = 0; names[i][0]; i++)
        if (is_terrain_name(names[i])) capacity++;
    if (!capacity) return;
    g_tracks = (track_choice*)mem_calloc_or_die((size_t)capacity, sizeof(track_choice));
    for (int i = 0; names[i][0]; i++) {
        if (!is_terrain_name(names[i])) continue;
        const char* slash = strrchr(names[i], '/');
        size_t n = (size_t)(slash - names[i]);
        char* folder = (char*)mem_alloc_or_die(n + 1);
        memcpy(folder, names[i], n);
        folder[n] = 0;
        // A folder with both a plain and a compressed height field is one track.
        if (track_find(folder) >= 0) {
            mem_free(folder);
            continue;
        }
        char* display = read_desc(folder);
        g_tracks[g_track_count].folder = folder;
        g_tracks[g_track_count].display = display ? display : mem_strdup(folder);
        g_track_count++;
    }
    // Insertion sort: tracks whose names compare equal keep their scan order.
    for (int i = 1; i < g_track_count; i++) {
        track_choice t = g_tracks[i];
        int j = i;
        while (j > 0 && compare_display(t.display, g_tracks[j - 1].display) < 0) {
            g_tracks[j] = g_tracks[j - 1];
            j--;
        }
        g_tracks[j] = t;
    }
    if (g_settings.debug_level >= 1)
        for (int i = 0; i < g_track_count; i++) log_printf("%s -> %s\n", g_tracks[i].folder, g_tracks[i].display);
}

void track_list_free() {
    for (int i = 0; i < g_track_count; i++) {
        mem_free(g_tracks[i].folder);
        mem_free(g_tracks[i].display);
    }
    mem_free(g_tracks);
    g_tracks = nullptr;
    g_track_count = 0;
}

int track_find(const char* folder) {
    for (int i = 0; i < g_track_count; i++)
        if (strcmp(g_tracks[i].folder, folder) == 0) return i;
    return -1;
}

void demo_list_build() {
    demo_list_free();
    const char* const* names = file_list_names();
    int capacity = 0;
    for (int i = 0; names[i][0]; i++)
        if (strncmp(names[i], "demos/", 6) == 0 && ends_with(names[i], ".dwdemo")) capacity++;
    if (!capacity) return;
    g_demos = (demo_choice*)mem_calloc_or_die((size_t)capacity, sizeof(demo_choice));
    for (int i = 0; names[i][0]; i++) {
        const char* name = names[i];
        if (strncmp(name, "demos/", 6) != 0 || !ends_with(name, ".dwdemo")) continue;
        size_t n = strlen(name);
        char* data_name = (char*)mem_alloc_or_die(n + 2);
        data_name[0] = '@';
        memcpy(data_name + 1, name, n + 1);
        const char* base = strrchr(name, '/') + 1;
        const char* dot = strrchr(base, '.');
        size_t m = (size_t)(dot - base);
        char* display = (char*)mem_alloc_or_die(m + 1);
        memcpy(display, base, m);
        display[m] = 0;
        g_demos[g_demo_count++] = {data_name, display};
        if (g_settings.debug_level >= 1) log_printf("%s -> %s\n", data_name, display);
    }
}

void demo_list_free() {
    for (int i = 0; i < g_demo_count; i++) {
        mem_free(g_demos[i].data_name);
        mem_free(g_demos[i].display);
    }
    mem_free(g_demos);
    g_demos = nullptr;
    g_demo_count = 0;
}
