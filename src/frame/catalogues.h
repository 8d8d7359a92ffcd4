// The catalogues built at start-up from the file list: tracks and demos.
#pragma once

struct track_choice {
    char* folder;   // the folder that holds "terrain.hf"
    char* display;  // first line of "<folder>/desc", else the folder name
};

struct demo_choice {
    char* data_name;  // "@demos/....dwdemo"
    char* display;    // file name without folder and extension
};

extern track_choice* g_tracks;
extern int g_track_count;
extern demo_choice* g_demos;
extern int g_demo_count;

// Builds the track list sorted by display name (case-insensitively, shorter
// first on a common prefix; equal names keep their scan order).
void track_list_build();
void track_list_free();
// The track whose folder is the given name, or -1.
int track_find(const char* folder);

void demo_list_build();
void demo_list_free();
