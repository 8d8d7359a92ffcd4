// The whole data set, in the order it is written.
#include <cstdio>

#include "files/data.h"
#include "gen/gen.h"

bool gen_write_all(const char* outdir, char* error, int error_size) {
    char folder[1024];
    if (!gen_path(folder, sizeof folder, outdir, "")) {
        snprintf(error, error_size, "output folder name too long\n");
        return false;
    }
    data_make_folders(folder);
    return gen_write_shapes(outdir, error, error_size) && gen_write_textures(outdir, error, error_size) &&
           gen_write_testflat(outdir, error, error_size) && gen_write_testramp(outdir, error, error_size) &&
           gen_write_course_track(outdir, &rabbithill_course, error, error_size);
}
