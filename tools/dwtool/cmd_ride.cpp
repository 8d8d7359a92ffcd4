// dwtool ride TRACK BIKE SCRIPT [--riders N] [--at X Z HEADING] [--every N]
// [--ticks N] [--setup FILE]: rides bikes on a track headless, every one
// driven by the control script, through the real game tick, and prints a CSV
// trace.
//
// The bikes get the default bike setup (with the keys of a setup file over
// it) through the mechanic and start on
// the track's starting-gate spots (or, without any, side by side from the
// middle of the field facing -z); --at starts them at X Z facing HEADING
// degrees (0 faces -z, 90 faces -x), 4 ft apart to the first one's right.
// The ride lasts as long as the script unless --ticks says otherwise (the
// controls are all 0 after the script's end). A row per tick, or per
// --every ticks, and one for the start and the end.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dwtool/commands.h"
#include "dwtool/ride.h"

namespace {

bool parse_count(const char* text, int least, int most, int* value) {
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end || errno == ERANGE || v < least || v > most) return false;
    *value = (int)v;
    return true;
}

bool parse_number(const char* text, double limit, double* value) {
    char* end;
    double v = strtod(text, &end);
    if (end == text || *end || !std::isfinite(v) || std::fabs(v) > limit) return false;
    *value = v;
    return true;
}

}  // namespace

int cmd_ride(int argc, char** argv) {
    if (argc < 4) return dwtool_usage("ride");
    ride_options o;
    ride_options_defaults(&o);
    for (int i = 4; i < argc; i++) {
        const char* a = argv[i];
        bool more = i + 1 < argc;
        if (strcmp(a, "--riders") == 0 && more && parse_count(argv[i + 1], 1, ride_max_riders, &o.riders)) {
            i++;
        } else if (strcmp(a, "--every") == 0 && more && parse_count(argv[i + 1], 1, ride_script_max_ticks, &o.every)) {
            i++;
        } else if (strcmp(a, "--ticks") == 0 && more && parse_count(argv[i + 1], 1, ride_script_max_ticks, &o.ticks)) {
            i++;
        } else if (strcmp(a, "--setup") == 0 && more) {
            o.setup = argv[++i];
        } else if (strcmp(a, "--at") == 0 && i + 3 < argc && parse_number(argv[i + 1], 1e7, &o.x) &&
                   parse_number(argv[i + 2], 1e7, &o.z) && parse_number(argv[i + 3], 1e6, &o.heading)) {
            o.at = true;
            o.heading *= 3.14159265358979323846 / 180;
            i += 3;
        } else {
            fprintf(stderr, "dwtool ride: bad argument '%s'\n", a);
            return dwtool_usage("ride");
        }
    }

    ride_script script;
    char error[512];
    if (!ride_script_read(argv[3], &script, error, sizeof error)) {
        fprintf(stderr, "dwtool ride: %s\n", error);
        return 2;
    }
    if (script.ticks == 0 && o.ticks == 0) {
        fprintf(stderr, "dwtool ride: %s holds no control lines (give --ticks to ride with no input)\n", argv[3]);
        ride_script_free(&script);
        return 2;
    }
    int code = ride_run(argv[1], argv[2], &script, &o, stdout, stderr);
    ride_script_free(&script);
    fflush(stdout);
    return code;
}
