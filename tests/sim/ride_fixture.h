// Rides on the generated test tracks through the real game tick: the
// generated data set as the game data, an empty home folder, and helpers
// that start a ride with setup keys over the default setup, hold control
// records for a while and measure the bike.
#pragma once

#include "support/generated_data.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "dwtool/ride.h"
#include "files/config.h"
#include "files/data.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/rider.h"
#include "sim/shape.h"
#include "sim/steering.h"
#include "sim/world.h"
#include "track/terrain.h"

namespace ride_test {

constexpr double pi = 3.14159265358979323846;
constexpr double mph = 1 / 1.4666667;  // ft/s to mph
constexpr const char* test_bike = "kx250f(2017)";

using controls = std::vector<float>;  // the control record, missing values 0
using setup_keys = std::vector<std::pair<const char*, const char*>>;

// The setup keys that turn arcade physics off: the full physics with the aids.
inline const setup_keys simulation = {{"arcade", "No"}};

struct RideTest : ::testing::Test {
    std::string home;
    game_settings saved_settings;

    void SetUp() override {
        ASSERT_TRUE(use_generated_data("dwride", &home));
        shape_cache_free();
        game_reset_for_tests();
        message_clear();
        saved_settings = g_settings;
        config_defaults();
    }
    void TearDown() override {
        ride_end();
        g_realign_target = nullptr;
        g_arcade_forbidden = false;
        rider_knockout_clear();
        shape_cache_free();
        g_settings = saved_settings;
        game_reset_for_tests();
        config_defaults();
        release_generated_data();
    }

    // A ride with the default setup and these keys over it. Without `at` the
    // bikes start in the middle of the field facing -z.
    void begin(const char* track, const setup_keys& keys = {}, int riders = 1, const double* at = nullptr) {
        config_defaults();
        for (const auto& k : keys) ASSERT_TRUE(setup_read_line(k.first, k.second)) << k.first;
        ride_options o;
        ride_options_defaults(&o);
        o.riders = riders;
        if (at) {
            o.at = true;
            o.x = at[0];
            o.z = at[1];
            o.heading = at[2];
        }
        char error[512];
        ASSERT_TRUE(ride_begin_with_setup(track, test_bike, &o, error, sizeof error)) << error;
    }

    static bike_state* bike(int n = 0) { return ride_bike(n); }

    // Holds a control record for every rider for `ticks`, calling `each`
    // after every tick (it may stop the ride by returning false).
    static void hold(const controls& c, int ticks, const std::function<bool()>& each = nullptr) {
        float record[control_values] = {};
        for (size_t i = 0; i < c.size() && i < control_values; i++) record[i] = c[i];
        for (int t = 0; t < ticks; t++) {
            for (int n = 0; ride_bike(n); n++) bike_apply_controls(ride_bike(n), record);
            game_tick();
            if (each && !each()) return;
        }
    }

    // Measurements of the frame.
    static const dReal* position(const bike_state* b) { return dBodyGetPosition(b->bodies[bike_body_frame]); }
    static double speed_mph(const bike_state* b) {
        const dReal* v = dBodyGetLinearVel(b->bodies[bike_body_frame]);
        return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * mph;
    }
    // 0 faces -z, positive turned to the left.
    static double heading(const bike_state* b) {
        const dReal* m = dBodyGetRotation(b->bodies[bike_body_frame]);
        return std::atan2(m[2], m[10]);
    }
    // Nose up positive.
    static double pitch(const bike_state* b) {
        const dReal* m = dBodyGetRotation(b->bodies[bike_body_frame]);
        return std::atan2(-m[6], std::sqrt(m[2] * m[2] + m[10] * m[10]));
    }
    static double lean(const bike_state* b) { return steering_lean(b); }
    static double height_above_ground(const bike_state* b) {
        const dReal* p = position(b);
        return p[1] - terrain_height(&g_terrain, (float)p[0], (float)p[2]);
    }

    // The largest gap between the two ends of the bike's hinges (axles,
    // steering head, swing arm pivot and, while attached, the rider mount): a
    // joint that comes apart shows here.
    static double joint_gap(const bike_state* b) {
        double most = 0;
        for (int j : {bike_joint_front_axle, bike_joint_rear_axle, bike_joint_steering, bike_joint_swingarm}) {
            dVector3 a1, a2;
            dJointGetHingeAnchor(b->joints[j], a1);
            dJointGetHingeAnchor2(b->joints[j], a2);
            most = std::fmax(most, std::sqrt((a1[0] - a2[0]) * (a1[0] - a2[0]) + (a1[1] - a2[1]) * (a1[1] - a2[1]) +
                                             (a1[2] - a2[2]) * (a1[2] - a2[2])));
        }
        return most;
    }
};

}  // namespace ride_test
