// The table of dwtool's subcommands.
#include "dwtool/commands.h"

#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "base/log.h"
#include "frame/game.h"
#include "track/terrain.h"

const dwtool_command dwtool_commands[] = {
    {"version", "", "print the game's version", cmd_version},
    {"bikes", "", "list the bike catalogue: name, engine class, gears, peak torque and its rpm", cmd_bikes},
    {"bike", "NAME", "build a bike in a fresh physics world and print its bodies, masses, inertias and joints", cmd_bike},
    {"dyno", "BIKE [--shift auto|RPM] [--time SECONDS] [--every SECONDS] [--drum SLUG_FT2] [--free]",
     "run a bike's engine on a stand at full throttle through the gears: rpm, torque, and road speed per gear",
     cmd_dyno},
    {"ls", "", "list every record of the game's file list as \"name -> open path\"", cmd_ls},
    {"cat", "@NAME|PATH", "print a game file as the game reads it (unpacked, gunzipped, descrambled)", cmd_cat},
    {"pack", "OUT.saf FILE|FOLDER...", "pack files (folders recursively) into a .saf archive", cmd_pack},
    {"unpack", "ARCHIVE.saf FOLDER", "write an archive's members into a folder", cmd_unpack},
    {"scramble", "IN OUT", "write IN as a scrambled file OUT (name it with .scram)", cmd_scramble},
    {"terrain", "TRACK", "load a track's terrain: size, spacing, heights, tiles per kind, files found", cmd_terrain},
    {"ground", "TRACK X Z", "the ground at a point: height, normals, tile and its friction at a few slip speeds", cmd_ground},
    {"map", "TRACK OUT.png", "draw a track seen from above: surface tiles, shading, height and 5 ft contours", cmd_map},
    {"drop", "TRACK BIKE X Z [TICKS]", "drop a bike onto a track at a point and trace how it lands and settles (512 ticks)", cmd_drop},
    {"ride", "TRACK BIKE SCRIPT [--riders N] [--at X Z HEADING_DEG] [--every N] [--ticks N] [--setup FILE]",
     "ride bikes headless through the game tick, driven by a control script; prints a CSV trace", cmd_ride},
    {"bench", "sim [--track T] [--riders N] [--ticks K] [--bike B] [--erode X] [--csv] [--csv-header]",
     "time the game tick with N riders on the starting grid: per tick, the world step's share, real-time factor",
     cmd_bench},
};
const int dwtool_command_count = sizeof dwtool_commands / sizeof dwtool_commands[0];

int dwtool_usage(const char* name) {
    for (const dwtool_command& c : dwtool_commands)
        if (strcmp(c.name, name) == 0) fprintf(stderr, "usage: dwtool %s %s\n", c.name, c.usage);
    return 2;
}

bool dwtool_load_terrain(const char* track, terrain* t, char* folder, size_t size) {
    struct stat st;
    bool path = track[0] != '@' && stat(track, &st) == 0 && S_ISDIR(st.st_mode);
    snprintf(folder, size, "%s%s", path || track[0] == '@' ? "" : "@", track);
    size_t n = strlen(folder);
    while (n > 1 && folder[n - 1] == '/') folder[--n] = 0;
    if (terrain_load(t, folder, nullptr)) return true;
    // The loader says why on the message list.
    const message_list& m = g_messages;
    const char* last = m.lines[(m.next + message_ring_lines - 1) % message_ring_lines];
    fprintf(stderr, "dwtool: cannot load the terrain of '%s'%s%s\n", folder, last[0] ? ": " : "", last);
    return false;
}

int cmd_version(int argc, char** argv) {
    if (argc != 1) return dwtool_usage("version");
    printf("Dirtwake version %s\n", game_version);
    return 0;
}
