// Bikes on the ground for the contact, deformation and roost tests: the
// generated data set (shapes, "testflat", "testramp") as the game data, a
// physics world, the race state, and small hand-made fields.
#pragma once

#include "support/generated_data.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/random.h"
#include "files/data.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/contact.h"
#include "sim/roost.h"
#include "sim/shape.h"
#include "sim/world.h"
#include "track/terrain.h"

namespace ground_test {

constexpr double pi = 3.14159265358979323846;
constexpr const char* test_bike = "kx250f(2017)";

struct v3 {
    double x, y, z;
};
inline v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline v3 operator*(v3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double len(v3 a) { return std::sqrt(dot(a, a)); }
inline v3 of(const double* v) { return {v[0], v[1], v[2]}; }

// A flat field of 2^(n+1) cells a side at the given height, one default tile.
inline void make_field(terrain* t, int exponent, float spacing, float height = 0) {
    ASSERT_TRUE(terrain_create(t, exponent, spacing, nullptr));
    for (int k = 0; k < t->size * t->size; k++) t->heights[k] = height;
    terrain_update_range(t);
}

// The game data: the generated set of the build, with an empty home folder.
struct GroundWorld : ::testing::Test {
    std::string home;
    std::vector<bike_state*> bikes;
    game_settings saved_settings;

    void SetUp() override {
        ASSERT_TRUE(use_generated_data("dwground", &home));
        shape_cache_free();
        game_reset_for_tests();
        saved_settings = g_settings;
        g_settings.erosion = 0;
        g_settings.roost_frequency = 1000;
        random_seed(1);
        roost_clear();
        ASSERT_TRUE(physics_world_create());
    }
    void TearDown() override {
        for (int i = 0; i < max_riders; i++) g_race.bikes[i] = nullptr;
        for (bike_state* b : bikes) bike_destroy(b);
        bikes.clear();
        physics_world_destroy();
        shape_cache_free();
        terrain_free(&g_terrain);
        roost_clear();
        g_settings = saved_settings;
        game_reset_for_tests();
        release_generated_data();
    }

    void load(const char* track) { ASSERT_TRUE(terrain_load(&g_terrain, track, nullptr)) << track; }

    // A bike in a slot of the race (a robot: simulated, no controls).
    bike_state* make(int slot = 0, int kind = control_robot) {
        bike_state* b = bike_create(test_bike, slot, "1", nullptr);
        if (!b) return nullptr;
        bikes.push_back(b);
        g_race.bikes[slot] = b;
        g_race.control_kind[slot] = kind;
        return b;
    }

    // Turns the bike to a heading (about y; 0 faces -z) and puts the middle
    // of its wheelbase over (x, z), the tyres `gap` ft clear of the ground.
    static void place(bike_state* b, const terrain* t, double x, double z, double heading = 0, double gap = 0.01) {
        const double axis[3] = {0, 1, 0}, none[3] = {0, 0, 0};
        bike_place(b, axis, heading, none);
        v3 f = of(dBodyGetPosition(b->wheels[0].body)), r = of(dBodyGetPosition(b->wheels[1].body));
        v3 mid = (f + r) * 0.5;
        const double across[3] = {x - mid.x, 0, z - mid.z};
        bike_translate(b, across);
        // Down to the ground under the wheels, then up until clear.
        double most = -1e30;
        for (const bike_wheel& w : b->wheels) {
            const dReal* c = dBodyGetPosition(w.body);
            double under = terrain_height(t, (float)c[0], (float)c[2]) - (c[1] - w.ring_radius - w.section_radius);
            if (under > most) most = under;
        }
        const double down[3] = {0, most + gap, 0};
        bike_translate(b, down);
        for (int round = 0; gap >= 0 && round < 100; round++) {
            double deepest = 0;
            for (int k = 0; k < 2; k++)
                if (contact_wheel_query(b, k, t)) deepest = std::fmax(deepest, b->wheels[k].depth);
            if (deepest <= 0) break;
            const double up[3] = {0, deepest + gap, 0};
            bike_translate(b, up);
        }
    }

    // Every body of the bike moving at one velocity, the wheels rolling with it.
    static void launch(bike_state* b, v3 v) {
        for (dBodyID body : b->bodies) dBodySetLinearVel(body, v.x, v.y, v.z);
        for (const bike_wheel& w : b->wheels) {
            // Rolling along -z at speed V spins the wheel at -V / radius about x.
            double radius = w.ring_radius + w.section_radius;
            dBodySetAngularVel(w.body, v.z / radius, 0, 0);
        }
    }

    static bool finite_bike(const bike_state* b) {
        for (dBodyID body : b->bodies) {
            const dReal* arrays[3] = {dBodyGetPosition(body), dBodyGetLinearVel(body), dBodyGetAngularVel(body)};
            for (const dReal* a : arrays)
                for (int k = 0; k < 3; k++)
                    if (!std::isfinite(a[k])) return false;
        }
        return true;
    }

    static v3 frame_position(const bike_state* b) { return of(dBodyGetPosition(b->bodies[bike_body_frame])); }
    static v3 frame_up(const bike_state* b) {
        const dReal* m = dBodyGetRotation(b->bodies[bike_body_frame]);
        return {m[1], m[5], m[9]};
    }

    static void run(int ticks) {
        for (int i = 0; i < ticks; i++) game_tick();
    }
};

}  // namespace ground_test
