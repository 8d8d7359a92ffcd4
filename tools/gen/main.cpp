// dwgen OUTDIR: writes the game's data set into OUTDIR (the build runs it
// into the folder of the game program).
#include <cstdio>
#include <cstring>

#include "gen/gen.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == 0 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fprintf(argc == 2 && argv[1][0] == '-' ? stdout : stderr, "usage: dwgen OUTDIR\n");
        return argc == 2 && argv[1][0] == '-' ? 0 : 2;
    }
    char error[1200];
    if (!gen_write_all(argv[1], error, sizeof error)) {
        fprintf(stderr, "dwgen: %s", error);
        return 1;
    }
    char hex[41];
    if (gen_shape_digest(argv[1], hex)) printf("dwgen: data written to %s (generic shapes %s)\n", argv[1], hex);
    return 0;
}
