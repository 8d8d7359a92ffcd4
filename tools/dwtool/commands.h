// dwtool's subcommands. Each takes the arguments from its own name on
// (argv[0] is the subcommand) and returns the exit code: 0 success, 1 a
// failure of the work itself, 2 a usage error.
#pragma once

#include <cstddef>

struct dwtool_command {
    const char* name;
    const char* usage;  // arguments, shown by --help
    const char* summary;
    int (*run)(int argc, char** argv);
};

extern const dwtool_command dwtool_commands[];
extern const int dwtool_command_count;

int cmd_version(int argc, char** argv);
int cmd_bikes(int argc, char** argv);
int cmd_map(int argc, char** argv);
int cmd_bike(int argc, char** argv);
int cmd_dyno(int argc, char** argv);
int cmd_ls(int argc, char** argv);
int cmd_cat(int argc, char** argv);
int cmd_pack(int argc, char** argv);
int cmd_unpack(int argc, char** argv);
int cmd_scramble(int argc, char** argv);
int cmd_terrain(int argc, char** argv);
int cmd_ground(int argc, char** argv);
int cmd_drop(int argc, char** argv);
int cmd_ride(int argc, char** argv);
int cmd_bench(int argc, char** argv);

struct terrain;

// Loads the terrain of a track argument: a track folder name ("rabbithill",
// found through the data folders), a data name ("@rabbithill") or a path to
// a folder. On failure prints why on standard error and returns false. The
// folder name used is left in folder.
bool dwtool_load_terrain(const char* track, terrain* t, char* folder, size_t size);

// Prints "usage: dwtool <name> <usage>" for the named command to standard
// error and returns 2.
int dwtool_usage(const char* name);
