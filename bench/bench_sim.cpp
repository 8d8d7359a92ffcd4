// The hot functions of the game tick, each alone: the wheel-ground torus test
// over random wheel poses on the generated "rabbithill", all the ground
// contacts of a riding bike, the cheap test of two bikes far apart, bike
// against bike for two bikes side by side (near but clear of each other) and
// for two that touch, and one bike step of a riding bike.
//
// The bikes ride headless as dwtool ride rides them, on the generated data
// of this build (DW_BINARY_DIR/bin) with an empty home folder. Whatever a
// function leaves for the world step (contact joints, motors) is dropped
// again inside the timed loop, as the world step would drop it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "dwtool/ride.h"
#include "files/data.h"
#include "frame/game.h"
#include "race/gates.h"
#include "sim/bike.h"
#include "sim/collide.h"
#include "sim/contact.h"
#include "sim/rider.h"
#include "sim/world.h"
#include "track/terrain.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr const char* bike_name = "kx250f(2017)";

// The build's generated data as the game data, and a home folder of its own.
void use_generated_data() {
    static bool done = false;
    if (done) return;
    done = true;
    char home[] = "/tmp/dw_bench_sim_XXXXXX";
    if (!mkdtemp(home)) {
        perror("mkdtemp");
        exit(1);
    }
    setenv("DW_HOME", DW_BINARY_DIR "/bin", 1);
    setenv("XDG_DATA_HOME", home, 1);
    data_reset_for_tests();
}

// A ride of `riders` bikes on a track, stopped with a message when it
// cannot start.
bool begin(benchmark::State& state, const char* track, int riders) {
    use_generated_data();
    ride_options o;
    ride_options_defaults(&o);
    o.riders = riders;
    char error[512] = "";
    if (!ride_begin(track, bike_name, &o, error, sizeof error)) {
        state.SkipWithError(error[0] ? error : "the track cannot be loaded (build the gamedata target)");
        return false;
    }
    return true;
}

// Every rider with the same controls for a number of ticks.
void ride_for(int riders, int ticks, float steer, float throttle) {
    float controls[control_values] = {};
    controls[control_steer] = steer;
    controls[control_throttle] = throttle;
    for (int t = 0; t < ticks; t++) {
        for (int n = 0; n < riders; n++) bike_apply_controls(ride_bike(n), controls);
        game_tick();
    }
}

uint32_t s_seed = 12345;
double next_unit() {
    s_seed = s_seed * 1664525u + 1013904223u;
    return (double)(s_seed >> 8) / 16777216.0;
}

// --- Wheel and ground ---------------------------------------------------------------------------

enum { pose_count = 4096 };

struct wheel_pose {
    double centre[3];
    double axle[3];
};

// Wheels near the checkpoints of the course (jumps, whoops, berms), at
// random headings and leans up to 45 degrees, from a little clear of the
// ground to squashed most of the tyre's section.
void BM_torus_ground(benchmark::State& state) {
    if (!begin(state, "rabbithill", 1)) return;
    const bike_wheel& wheel = ride_bike(0)->wheels[bike_wheel_front];
    double ring = wheel.ring_radius, section = wheel.section_radius;
    static wheel_pose poses[pose_count];
    int places = g_gates.checkpoint_count;
    for (wheel_pose& p : poses) {
        double x, z;
        if (places > 0) {
            const checkpoint& c = g_gates.checkpoints[(int)(next_unit() * places) % places];
            x = c.point[0] + (next_unit() - 0.5) * 2 * c.radius;
            z = c.point[2] + (next_unit() - 0.5) * 2 * c.radius;
        } else {
            x = next_unit() * g_terrain.world_size;
            z = next_unit() * g_terrain.world_size;
        }
        double heading = next_unit() * 2 * pi, lean = (next_unit() - 0.5) * pi / 2;
        double ground = terrain_height(&g_terrain, (float)x, (float)z);
        p.centre[0] = x;
        p.centre[1] = ground + ring + section * (0.25 - next_unit());
        p.centre[2] = z;
        p.axle[0] = std::cos(heading) * std::cos(lean);
        p.axle[1] = std::sin(lean);
        p.axle[2] = -std::sin(heading) * std::cos(lean);
    }
    int k = 0;
    long long touching = 0;
    for (auto _ : state) {
        ground_hit hit;
        touching += contact_torus_ground(&g_terrain, poses[k].centre, poses[k].axle, ring, section, &hit);
        benchmark::DoNotOptimize(hit);
        k = (k + 1) & (pose_count - 1);
    }
    state.counters["touching"] = benchmark::Counter((double)touching / (double)state.iterations());
    ride_end();
}
BENCHMARK(BM_torus_ground);

// Both wheels and the five shapes of a bike riding on rabbithill against
// the ground, with the joints they make.
void BM_contact_ground(benchmark::State& state) {
    if (!begin(state, "rabbithill", 1)) return;
    ride_for(1, 384, 0, 0.5f);
    bike_state* b = ride_bike(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(contact_ground(b, &g_terrain));
        dJointGroupEmpty(g_contact_group);
    }
    ride_end();
}
BENCHMARK(BM_contact_ground);

// --- Bike against bike --------------------------------------------------------------------------

// Two bikes at rest on testflat, side by side `apart` ft (frame to frame).
bool two_bikes(benchmark::State& state, double apart) {
    if (!begin(state, "testflat", 2)) return false;
    double middle = g_terrain.world_size / 2;
    ride_place(0, middle, middle, 0);
    ride_place(1, middle + apart, middle, 0);
    return true;
}

void BM_bikes_may_touch_far(benchmark::State& state) {
    if (!two_bikes(state, 30)) return;
    bike_state* a = ride_bike(0);
    bike_state* b = ride_bike(1);
    for (auto _ : state) benchmark::DoNotOptimize(collide_bikes_may_touch(a, b));
    ride_end();
}
BENCHMARK(BM_bikes_may_touch_far);

// Side by side on a starting grid (3.2 ft): within the cheap test's reach,
// but no part touches.
void BM_bike_bike_side_by_side(benchmark::State& state) {
    if (!two_bikes(state, 3.2)) return;
    bike_state* a = ride_bike(0);
    bike_state* b = ride_bike(1);
    int parts = 0;
    for (auto _ : state) {
        parts = collide_bike_bike(a, b, false);
        benchmark::DoNotOptimize(parts);
    }
    if (parts != 0) state.SkipWithError("the bikes side by side touch");
    ride_end();
}
BENCHMARK(BM_bike_bike_side_by_side);

// Handlebars and riders overlapping: the first contact of the tick, with
// contact joints (dropped again in the loop).
void BM_bike_bike_touching(benchmark::State& state) {
    if (!two_bikes(state, 1.5)) return;
    bike_state* a = ride_bike(0);
    bike_state* b = ride_bike(1);
    int parts = 0;
    for (auto _ : state) {
        a->last_contact_tick = b->last_contact_tick = -1;
        parts = collide_bike_bike(a, b, false);
        dJointGroupEmpty(g_contact_group);
    }
    if (parts == 0) state.SkipWithError("the bikes do not touch");
    ride_end();
}
BENCHMARK(BM_bike_bike_touching);

// --- The bike step ------------------------------------------------------------------------------

// A bike riding and turning on testflat: the rider springs, suspension,
// steering, drivetrain, aids and feet, and the motors and springs it makes.
void BM_rider_step(benchmark::State& state) {
    if (!begin(state, "testflat", 1)) return;
    ride_for(1, 384, 0.3f, 0.5f);
    bike_state* b = ride_bike(0);
    for (auto _ : state) {
        rider_step(b, &g_terrain);
        dJointGroupEmpty(g_contact_group);
    }
    ride_end();
}
BENCHMARK(BM_rider_step);

}  // namespace

BENCHMARK_MAIN();
