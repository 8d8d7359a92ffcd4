// Roost: the dirt the wheels throw.
//
// Every tick each touching wheel emits particles from its contact patch
// according to the roost kinds of the surface tile under it. Tyre roost
// leaves the tyre just behind the contact patch with the speed of the tread
// there, so a spinning wheel throws dirt up and back; spray (water, mud)
// fans out to both sides of the wheel's path, alternating sides from tick to
// tick. Particles fly, slow down with their kind's drag, fall, grow and
// change colour, and go back to the pool when they fall below the ground.
// Roost is visual only: nothing in the simulation reads it.
//
// The particles live in one pool of roost_pool_size; when it is empty no
// particle is emitted. Random numbers come from the race's generator.
#pragma once

#include <cstdint>

#include "track/tile.h"

struct terrain;
struct bike_state;

enum { roost_pool_size = 2000 };

// Below this tangential speed (ft/s) a wheel has no direction to spray in.
constexpr double roost_min_spray_speed = 0.05;

struct roost_particle {
    float position[3];   // ft, world
    float velocity[3];   // ft/s
    float size;          // ft
    uint8_t colour[4];   // r, g, b, a
    roost_type kind;     // a copy of the tile's record: texture, growth, drag, colour change
    bool live;
};

struct roost_pool {
    roost_particle particles[roost_pool_size];
    int free_list[roost_pool_size];  // indices of the free particles; the next one handed out is the last
    int free_count;
};

extern roost_pool g_roost;

// Returns every particle to the pool (race reset, track change).
void roost_clear();
// Particles in flight.
int roost_live_count();

// Particles per tick for a roost frequency (0..1000, clamped): frequency / 100,
// plus one with probability (frequency mod 100) / 100. Draws one random
// number when the frequency is not a whole hundred.
int roost_per_tick(int frequency);

// The roost step of a bike, before the world step: for the front and then
// the rear wheel that touches the ground, the particles of every roost kind
// of the tile under its contact point. A simulated bike uses its wheel
// records as the ground contacts left them; for a replayed one (simulated
// false) the wheel contact is computed here first. `tick` is the tick
// counter, which picks the spray side. Returns the particles emitted.
int roost_emit(bike_state* bike, const terrain* t, bool simulated, int tick, int frequency);

// Moves every particle by one tick: drag (velocity times exp(-h drag), so no
// drag makes it faster), gravity, growth and colour change; a particle that
// falls below the ground, or whose values are no longer finite, goes back to
// the pool. Without a loaded terrain every particle goes back.
void roost_update(const terrain* t);
