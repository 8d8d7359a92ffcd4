// The game tick: advances every rider slot by one tick in a fixed order.
#include "frame/game.h"
#include "sim/world.h"

void game_tick() {
    race_state& r = g_race;

    // Contacts are gathered before the step; the world moves every body by one
    // tick and the contact joints are dropped again.
    if (g_world) physics_world_step(tick_length);

    r.tick++;
}
