// dwtool: the command-line companion for players, modders and tests.
#include <cstdio>
#include <cstring>

#include "dwtool/commands.h"

namespace {

void print_help(FILE* out) {
    fputs("usage: dwtool <command> [arguments]\n\ncommands:\n", out);
    for (int i = 0; i < dwtool_command_count; i++) {
        const dwtool_command& c = dwtool_commands[i];
        char head[160];
        snprintf(head, sizeof head, "%s %s", c.name, c.usage);
        fprintf(out, "  %-40s %s\n", head, c.summary);
    }
    fputs("\nGame files are found in the home folder ($XDG_DATA_HOME/Dirtwake/), then in DW_HOME,\n"
          "else in the folder of the program.\n",
          out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_help(stderr);
        return 2;
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "help") == 0) {
        print_help(stdout);
        return 0;
    }
    for (int i = 0; i < dwtool_command_count; i++)
        if (strcmp(dwtool_commands[i].name, argv[1]) == 0) return dwtool_commands[i].run(argc - 1, argv + 1);
    fprintf(stderr, "dwtool: unknown command '%s' (see dwtool --help)\n", argv[1]);
    return 2;
}
