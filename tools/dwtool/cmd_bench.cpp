// dwtool bench sim [--track T] [--riders N] [--ticks K] [--bike B] [--erode X]
// [--csv] [--csv-header]: the cost of the simulation core.
//
// N bikes (default 40) start on the track's starting-gate spots and in rows
// 8 ft behind them, and ride K ticks (default 2000) headless through the real
// game tick: ground contacts, rider against rider, roost, the world step,
// the ground deformation when --erode is above 0, and the bike steps. Every
// rider has a control pattern of its own that keeps it moving and turning:
// part throttle, a little less for each row back so the rows draw apart, and
// a slow sine of steering, with its own period and phase, that fades in over
// the first two seconds so the bikes leave the gate straight.
//
// Only the game tick is timed (not the controls given before it); its parts,
// the world step among them, are timed by the tick itself (g_tick_timing).
// Printed: mean and 99th percentile microseconds per tick, the world step's
// mean and its share, the ratio tick / world step, microseconds per
// rider-tick, the real-time factor (128 ticks a second is 1.0), each part's
// microseconds per tick, the process's peak resident memory, the bike
// contacts per tick, the allocations made in the ticks (and after the first
// 16), and a digest of where every body ended up: the same ride gives the
// same digest, so a change that alters the results shows there. With --csv
// one line of the same figures (--csv-header prints the column names above
// it).
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/clock.h"
#include "base/digest.h"
#include "base/mem.h"
#include "dwtool/commands.h"
#include "dwtool/ride.h"
#include "frame/game.h"
#include "race/gates.h"
#include "sim/bike.h"
#include "sim/collide.h"
#include "sim/rider.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr const char* default_track = "rabbithill";
constexpr const char* default_bike = "kx250f(2017)";
constexpr int default_riders = 40;
constexpr int default_ticks = 2000;
constexpr int max_ticks = 128 * 3600;
constexpr double row_spacing = 8;    // ft between rows on the grid
constexpr double steer_fade_in = 2;  // s
constexpr int finite_check_every = 64;
constexpr int settle_ticks = 16;     // allocations after these are reported apart

constexpr const char* csv_columns =
    "track,bike,riders,ticks,erosion,tick_mean_us,tick_p99_us,step_mean_us,step_share,tick_over_step,"
    "rider_tick_us,realtime_factor,peak_rss_kib,ground_us,pairs_us,roost_us,deform_us,bike_steps_us,"
    "roost_flight_us,bike_contacts_per_tick,crashed,allocations,late_allocations,state_digest";

struct bench_options {
    const char* track = default_track;
    const char* bike = default_bike;
    int riders = default_riders;
    int ticks = default_ticks;
    double erosion = 0;
    bool csv = false;
    bool csv_header = false;
};

bool parse_count(const char* text, int least, int most, int* value) {
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end || errno == ERANGE || v < least || v > most) return false;
    *value = (int)v;
    return true;
}

bool parse_number(const char* text, double least, double most, double* value) {
    char* end;
    double v = strtod(text, &end);
    if (end == text || *end || !std::isfinite(v) || v < least || v > most) return false;
    *value = v;
    return true;
}

// Rider n's controls at a tick: throttle 0.55 in the front row, 0.03 less a
// row further back, varied a little within the row; steering a sine of
// amplitude 0.2..0.35 and period 3..5.5 s, its phase set by n.
void rider_controls(int n, int rows_ahead, int tick, float out[control_values]) {
    for (int k = 0; k < control_values; k++) out[k] = 0;
    double throttle = 0.55 - 0.03 * rows_ahead + 0.02 * ((n * 7) % 5 - 2);
    out[control_throttle] = (float)std::clamp(throttle, 0.3, 1.0);
    double t = tick / (double)ticks_per_second;
    double period = 3 + 0.5 * (n % 6);
    double amplitude = 0.2 + 0.05 * (n % 4);
    double fade = std::min(1.0, t / steer_fade_in);
    out[control_steer] = (float)(fade * amplitude * std::sin(2 * pi * t / period + 0.9 * n));
}

// A digest of where every body of every rider ended up (position,
// orientation, velocities): two runs of the same simulation give the same
// digest, and a change that alters the results shows in it.
void state_digest(int riders, char text[41]) {
    sha1_context c;
    sha1_begin(&c);
    for (int n = 0; n < riders; n++) {
        const bike_state* b = ride_bike(n);
        for (dBodyID body : b->bodies) {
            sha1_add(&c, dBodyGetPosition(body), 3 * sizeof(dReal));
            sha1_add(&c, dBodyGetQuaternion(body), 4 * sizeof(dReal));
            sha1_add(&c, dBodyGetLinearVel(body), 3 * sizeof(dReal));
            sha1_add(&c, dBodyGetAngularVel(body), 3 * sizeof(dReal));
        }
    }
    uint8_t digest[20];
    sha1_end(&c, digest);
    sha1_hex(digest, text);
}

// The value of sorted times at or below which fraction f of them lie.
double percentile(double* sorted, int count, double f) {
    if (count <= 0) return 0;
    int i = (int)std::ceil(f * count) - 1;
    return sorted[std::clamp(i, 0, count - 1)];
}

int run_sim(const bench_options& o) {
    ride_options ro;
    ride_options_defaults(&ro);
    ro.riders = o.riders;
    ro.row_spacing = row_spacing;
    char error[512];
    if (!ride_begin(o.track, o.bike, &ro, error, sizeof error)) {
        if (error[0]) fprintf(stderr, "dwtool: %s\n", error);
        return 1;
    }
    g_settings.erosion = o.erosion;
    int spots = g_gates.spot_count > 0 ? g_gates.spot_count : 1;

    double* times = (double*)mem_calloc_or_die((size_t)o.ticks, sizeof(double));
    collide_counters_clear();
    g_tick_timing = tick_timing{};
    g_tick_timing.on = true;
    float controls[control_values];
    int code = 0;
    long long allocations_before = mem_allocation_count();
    long long allocations_settled = -1;  // the count once the first ticks have run
    for (int t = 0; t < o.ticks && code == 0; t++) {
        if (t == settle_ticks) allocations_settled = mem_allocation_count();
        for (int n = 0; n < o.riders; n++) {
            rider_controls(n, n / spots, g_race.tick, controls);
            bike_apply_controls(ride_bike(n), controls);
        }
        double start = clock_real_seconds();
        game_tick();
        times[t] = clock_real_seconds() - start;
        if ((t + 1) % finite_check_every == 0 || t + 1 == o.ticks) {
            for (int n = 0; n < o.riders; n++) {
                if (const char* bad = ride_bad_body(ride_bike(n))) {
                    fprintf(stderr, "dwtool: the simulation stopped being finite at tick %d: rider %d's %s\n",
                            g_race.tick, n, bad);
                    code = 1;
                    break;
                }
            }
        }
    }
    g_tick_timing.on = false;
    double step_total = g_tick_timing.seconds[tick_part_world_step];
    long long allocations = mem_allocation_count() - allocations_before;
    long long late_allocations = allocations_settled >= 0 ? mem_allocation_count() - allocations_settled : 0;
    int crashed = 0;
    for (int n = 0; n < o.riders; n++) crashed += ride_bike(n)->crash_timer > 0;
    long long contacts = g_collide_counters.joints + g_collide_counters.forces;
    char digest[41];
    state_digest(o.riders, digest);
    digest[16] = 0;
    ride_end();
    if (code != 0) {
        mem_free(times);
        return code;
    }

    int k = o.ticks;
    double total = 0;
    for (int t = 0; t < k; t++) total += times[t];
    std::sort(times, times + k);
    double mean = total / k, p99 = percentile(times, k, 0.99);
    mem_free(times);
    double step = step_total / k;
    double ratio = step > 0 ? mean / step : 0;
    double per_rider = mean / o.riders;
    double realtime = mean > 0 ? tick_length / mean : 0;
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    long peak = usage.ru_maxrss;  // KiB on Linux
    double contacts_per_tick = (double)contacts / k;

    const double us = 1e6;
    double part[tick_part_count];
    for (int i = 0; i < tick_part_count; i++) part[i] = g_tick_timing.seconds[i] / k * us;
    if (o.csv) {
        if (o.csv_header) printf("%s\n", csv_columns);
        printf("%s,%s,%d,%d,%g,%.1f,%.1f,%.1f,%.3f,%.3f,%.2f,%.3f,%ld,", o.track, o.bike, o.riders, k, o.erosion,
               mean * us, p99 * us, step * us, total > 0 ? step_total / total : 0, ratio, per_rider * us, realtime,
               peak);
        printf("%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,", part[tick_part_ground], part[tick_part_pairs],
               part[tick_part_roost_emit], part[tick_part_deform], part[tick_part_bike_steps],
               part[tick_part_roost_update]);
        printf("%.2f,%d,%lld,%lld,%s\n", contacts_per_tick, crashed, allocations, late_allocations, digest);
    } else {
        printf("sim: %s, %d rider%s on %s, %d ticks, erosion %g\n", o.track, o.riders, o.riders == 1 ? "" : "s",
               o.bike, k, o.erosion);
        printf("tick:               mean %.1f us, 99th percentile %.1f us\n", mean * us, p99 * us);
        printf("world step:         mean %.1f us (%.1f%% of the tick)\n", step * us,
               total > 0 ? 100 * step_total / total : 0);
        printf("tick / world step:  %.3f\n", ratio);
        printf("per rider-tick:     %.2f us (world step %.2f us, the rest %.2f us)\n", per_rider * us,
               step / o.riders * us, (mean - step) / o.riders * us);
        printf("real-time factor:   %.3f (128 ticks a second is 1.0)\n", realtime);
        printf("parts, us a tick:   ground contacts %.1f, rider pairs %.1f, roost %.1f, world step %.1f,\n"
               "                    deformation %.1f, bike steps %.1f, roost flight %.1f\n",
               part[tick_part_ground], part[tick_part_pairs], part[tick_part_roost_emit], part[tick_part_world_step],
               part[tick_part_deform], part[tick_part_bike_steps], part[tick_part_roost_update]);
        printf("peak resident:      %ld KiB\n", peak);
        printf("bike contacts:      %.2f per tick; %d rider%s down at the end\n", contacts_per_tick, crashed,
               crashed == 1 ? "" : "s");
        printf("allocations:        %lld in the ticks, %lld after the first %d\n", allocations, late_allocations,
               settle_ticks);
        printf("state digest:       %s\n", digest);
    }
    fflush(stdout);
    return 0;
}

}  // namespace

int cmd_bench(int argc, char** argv) {
    if (argc < 2 || strcmp(argv[1], "sim") != 0) return dwtool_usage("bench");
    bench_options o;
    for (int i = 2; i < argc; i++) {
        const char* a = argv[i];
        bool more = i + 1 < argc;
        if (strcmp(a, "--track") == 0 && more) {
            o.track = argv[++i];
        } else if (strcmp(a, "--bike") == 0 && more) {
            o.bike = argv[++i];
        } else if (strcmp(a, "--riders") == 0 && more && parse_count(argv[i + 1], 1, max_riders, &o.riders)) {
            i++;
        } else if (strcmp(a, "--ticks") == 0 && more && parse_count(argv[i + 1], 1, max_ticks, &o.ticks)) {
            i++;
        } else if (strcmp(a, "--erode") == 0 && more && parse_number(argv[i + 1], 0, 100, &o.erosion)) {
            i++;
        } else if (strcmp(a, "--csv") == 0) {
            o.csv = true;
        } else if (strcmp(a, "--csv-header") == 0) {
            o.csv = o.csv_header = true;
        } else {
            fprintf(stderr, "dwtool bench: bad argument '%s'\n", a);
            return dwtool_usage("bench");
        }
    }
    return run_sim(o);
}
