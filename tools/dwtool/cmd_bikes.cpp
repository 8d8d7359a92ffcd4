// dwtool bikes: lists the bike catalogue in catalogue order, one
// line per bike: name, engine class, number of gears, peak full-throttle
// torque (lbf ft) and the engine speed (rpm) of that peak.
#include <cstdio>
#include <cstring>

#include "sim/catalogue.h"

int cmd_bikes(int argc, char** argv) {
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        printf("usage: dwtool bikes\n");
        return 0;
    }
    if (argc != 1) {
        fprintf(stderr, "usage: dwtool bikes\n");
        return 2;
    }
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        int rpm = 0;
        float peak = bike_peak_torque(spec, &rpm);
        printf("%-16s %-4s %d %-6g %d\n", spec->name, spec->engine_class, bike_gear_count(spec), (double)peak, rpm);
    }
    return 0;
}
