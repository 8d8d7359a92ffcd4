// The game tick: advances every rider slot by one tick in a fixed order.
#include "base/clock.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/collide.h"
#include "sim/contact.h"
#include "sim/ground.h"
#include "sim/rider.h"
#include "sim/roost.h"
#include "sim/world.h"
#include "track/terrain.h"

tick_timing g_tick_timing;

namespace {

// The clock for the part timing; 0 while it is off.
double part_start() { return g_tick_timing.on ? clock_real_seconds() : 0; }

// Ends a timed part: its time since `mark` goes to its total and the next
// part starts now.
void part_done(int part, double* mark) {
    if (!g_tick_timing.on) return;
    double now = clock_real_seconds();
    g_tick_timing.seconds[part] += now - *mark;
    *mark = now;
}

}  // namespace

void game_tick() {
    race_state& r = g_race;
    terrain* ground = g_terrain.heights ? &g_terrain : nullptr;
    double mark = part_start();

    // Contacts for the coming step. The ground comes first: a wheel that
    // touches the ground keeps that contact in its wheel record, and the
    // starting gates, track objects and other bikes tested after it may only
    // fill the record of a wheel that has none. Replayed riders are placed
    // from their records and get no ground contacts.
    int simulated[max_riders];
    int simulated_count = 0;
    if (g_world && ground) {
        for (int i = 0; i < max_riders; i++) {
            bike_state* b = r.bikes[i];
            if (!b || r.control_kind[i] == control_replayed) continue;
            contact_ground(b, ground);
            // The static track objects near the bike, and the starting gates
            // until 10 s after the gate drop, are tested here once the track's
            // objects are loaded.
            simulated[simulated_count++] = i;
        }
    }
    part_done(tick_part_ground, &mark);
    // Rider against rider: every pair of simulated bikes, fastest first.
    if (g_world && simulated_count > 1) collide_pairs(simulated, simulated_count);
    part_done(tick_part_pairs, &mark);

    // Roost from both wheels of every bike, starting the round at a different
    // occupied slot each tick so no slot always gets the pool first.
    if (ground) {
        int occupied[max_riders];
        int count = 0;
        for (int i = 0; i < max_riders; i++)
            if (r.bikes[i]) occupied[count++] = i;
        for (int k = 0; k < count; k++) {
            int slot = occupied[(unsigned)(r.tick + k) % (unsigned)count];
            roost_emit(r.bikes[slot], ground, r.control_kind[slot] != control_replayed, r.tick,
                       g_settings.roost_frequency);
        }
    }
    part_done(tick_part_roost_emit, &mark);

    // The world moves every body by one tick and the contact joints are
    // dropped again.
    if (g_world) physics_world_step(tick_length);
    part_done(tick_part_world_step, &mark);

    // The wheels dig into the ground, now that the contact force records hold
    // what the ground did in this step.
    if (ground && g_settings.erosion > 0) {
        for (int i = 0; i < max_riders; i++) {
            bike_state* b = r.bikes[i];
            if (b && r.control_kind[i] != control_replayed) deform_step(b, ground, g_settings.erosion);
        }
    }
    part_done(tick_part_deform, &mark);

    // Every rider in slot order: a robot chooses its controls (the robot
    // driver), then the bike step sets the motors, forces and rider springs
    // that the next world step uses, then the gate crossings and laps.
    if (g_world) {
        for (int i = 0; i < max_riders; i++) {
            bike_state* b = r.bikes[i];
            if (b) rider_step(b, ground);
        }
    }
    part_done(tick_part_bike_steps, &mark);

    // The thrown dirt moves after the bikes have.
    roost_update(ground);
    part_done(tick_part_roost_update, &mark);

    r.tick++;
}
