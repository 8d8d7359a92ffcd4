// dwtool drop TRACK BIKE X Z [TICKS]: drops a bike onto a track's ground and
// runs the game tick, printing how it lands and settles.
//
// The bike is built in a fresh physics world, placed at its rest pose with
// the middle of its wheelbase over (X, Z) and its tyres just clear of the
// ground, and put in slot 0 as a robot with no controls (no rider input, no
// riding aids). Every 16 ticks, and after the last, a line shows the tick,
// the frame's height and its height above the ground under it, and per wheel
// the tyre's squash depth and the force of its ground contact.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "dwtool/commands.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/contact.h"
#include "sim/roost.h"
#include "sim/world.h"
#include "track/terrain.h"

namespace {

constexpr int default_ticks = 512;
constexpr int max_ticks = 128 * 3600;  // an hour of riding
constexpr double clearance = 0.02;     // ft between the tyres and the ground at the start
constexpr int trace_every = 16;

bool parse_coordinate(const char* text, double* value) {
    char* end;
    double v = strtod(text, &end);
    if (end == text || *end || !std::isfinite(v) || std::fabs(v) > 1e7) return false;
    *value = v;
    return true;
}

bool parse_ticks(const char* text, int* value) {
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end || errno == ERANGE || v < 1 || v > max_ticks) return false;
    *value = (int)v;
    return true;
}

// Places the bike with the middle of its wheels over (x, z) and lifts it until
// neither tyre touches, then a little more.
void place_above(bike_state* b, double x, double z) {
    const dReal* f = dBodyGetPosition(b->wheels[bike_wheel_front].body);
    const dReal* r = dBodyGetPosition(b->wheels[bike_wheel_rear].body);
    double mid_x = 0.5 * (f[0] + r[0]), mid_z = 0.5 * (f[2] + r[2]);
    // Start with the lowest tyre point at the ground height under the middle.
    double lowest = 1e30;
    for (const bike_wheel& w : b->wheels) {
        double bottom = dBodyGetPosition(w.body)[1] - w.ring_radius - w.section_radius;
        if (bottom < lowest) lowest = bottom;
    }
    double ground = terrain_height(&g_terrain, (float)x, (float)z);
    const double offset[3] = {x - mid_x, ground - lowest + clearance, z - mid_z};
    bike_translate(b, offset);
    // Uneven ground: raise it until both tyres are clear.
    for (int round = 0; round < 64; round++) {
        double most = 0;
        for (int k = 0; k < bike_wheel_count; k++)
            if (contact_wheel_query(b, k, &g_terrain) && b->wheels[k].depth > most) most = b->wheels[k].depth;
        if (most <= 0) break;
        const double up[3] = {0, most + clearance, 0};
        bike_translate(b, up);
    }
    for (bike_wheel& w : b->wheels) w.depth = 0;
}

double force_length(const dJointFeedback& f) { return std::sqrt(f.f1[0] * f.f1[0] + f.f1[1] * f.f1[1] + f.f1[2] * f.f1[2]); }

void trace(const bike_state* b) {
    const dReal* p = dBodyGetPosition(b->bodies[bike_body_frame]);
    double above = p[1] - terrain_height(&g_terrain, (float)p[0], (float)p[2]);
    printf("%6d %10.4f %9.4f", g_race.tick, p[1], above);
    for (const bike_wheel& w : b->wheels) printf("  %7.4f %8.1f", w.depth, force_length(w.contact_feedback));
    printf("\n");
}

}  // namespace

int cmd_drop(int argc, char** argv) {
    double x, z;
    int ticks = default_ticks;
    if (argc < 5 || argc > 6 || !parse_coordinate(argv[3], &x) || !parse_coordinate(argv[4], &z) ||
        (argc == 6 && !parse_ticks(argv[5], &ticks)))
        return dwtool_usage("drop");

    const bike_spec* spec = bike_find(argv[2]);
    if (!spec) {
        fprintf(stderr, "dwtool: no bike named '%s' (dwtool bikes lists them)\n", argv[2]);
        return 1;
    }
    char folder[1024];
    if (!dwtool_load_terrain(argv[1], &g_terrain, folder, sizeof folder)) return 1;
    bool had_world = g_world != nullptr;
    if (!physics_world_create()) {
        fprintf(stderr, "dwtool: the rigid-body library cannot simulate (not built for double precision)\n");
        terrain_free(&g_terrain);
        return 1;
    }
    bike_state* b = bike_create(spec->name, 0, "1", nullptr);
    if (!b) {
        fprintf(stderr, "dwtool: cannot build bike '%s'\n", spec->name);
        if (!had_world) physics_world_destroy();
        terrain_free(&g_terrain);
        return 1;
    }

    race_state& r = g_race;
    r = race_state{};  // an empty race with this bike alone in slot 0
    r.local_slot = no_slot;
    r.menu = -1;
    r.bikes[0] = b;
    r.control_kind[0] = control_robot;
    r.track_loaded = true;
    roost_clear();
    place_above(b, x, z);

    bool outside = !(x >= 0 && x <= g_terrain.world_size && z >= 0 && z <= g_terrain.world_size);
    printf("track %s, bike %s at %g %g%s\n", folder, spec->name, x, z,
           outside ? " (outside the field: border heights)" : "");
    static const char* const shape_bodies[] = {"frame", nullptr, nullptr, "fork upper", "fork lower", "swing arm", "rider"};
    for (int i = 0; i < bike_body_count; i++)
        if (shape_bodies[i] && !b->shapes[i]) printf("note: the %s has no collision shape\n", shape_bodies[i]);
    printf("  tick    frame y     above   front depth    force   rear depth    force\n");
    trace(b);
    for (int t = 1; t <= ticks; t++) {
        game_tick();
        if (t % trace_every == 0 || t == ticks) trace(b);
    }

    r.bikes[0] = nullptr;
    bike_destroy(b);
    roost_clear();
    if (!had_world) physics_world_destroy();
    r = race_state{};
    terrain_free(&g_terrain);
    return 0;
}
