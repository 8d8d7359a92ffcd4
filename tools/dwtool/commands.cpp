// The table of dwtool's subcommands.
#include "dwtool/commands.h"

#include <cstdio>
#include <cstring>

#include "frame/game.h"

const dwtool_command dwtool_commands[] = {
    {"version", "", "print the game's version", cmd_version},
    {"bikes", "", "list the bike catalogue: name, engine class, gears, peak torque and its rpm", cmd_bikes},
    {"bike", "NAME", "build a bike in a fresh physics world and print its bodies, masses, inertias and joints", cmd_bike},
};
const int dwtool_command_count = sizeof dwtool_commands / sizeof dwtool_commands[0];

int dwtool_usage(const char* name) {
    for (const dwtool_command& c : dwtool_commands)
        if (strcmp(c.name, name) == 0) fprintf(stderr, "usage: dwtool %s %s\n", c.name, c.usage);
    return 2;
}

int cmd_version(int argc, char** argv) {
    if (argc != 1) return dwtool_usage("version");
    printf("Dirtwake version %s\n", game_version);
    return 0;
}
