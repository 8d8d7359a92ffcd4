// A physics world of its own for the suspension, steering and drivetrain
// tests, a data folder with small collision shapes (nothing from the user's
// home folder), and helpers that pose a bike and make wheel contact records
// by hand (no ground contact code runs in these tests).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "files/data.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/shape.h"
#include "sim/world.h"

namespace drive_test {

constexpr double pi = 3.14159265358979323846;

inline void write_text(const std::string& path, const char* text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fputs(text, f);
    fclose(f);
}

class DriveWorld : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = ::testing::TempDir() + "drive_test_data";
        mkdir(root_.c_str(), 0755);
        mkdir((root_ + "/home").c_str(), 0755);
        mkdir((root_ + "/data").c_str(), 0755);
        for (const char* name : {"generic_frame.shp", "generic_fork_upper.shp", "generic_fork_lower.shp",
                                 "generic_swingarm.shp", "front_wheel.shp", "rear_wheel.shp", "generic_rider.shp"})
            write_text(root_ + "/data/" + name, "1\n0 0 0 0.3 0.5 2500 250\n");
        setenv("DW_HOME", (root_ + "/data").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ + "/home").c_str(), 1);
        data_reset_for_tests();
        shape_cache_free();
        g_race.tick = 0;
        ASSERT_TRUE(physics_world_create());
    }
    void TearDown() override {
        for (bike_state* b : bikes_) bike_destroy(b);
        physics_world_destroy();
        shape_cache_free();
        unsetenv("DW_HOME");
        unsetenv("XDG_DATA_HOME");
        data_reset_for_tests();
    }
    bike_state* make(const char* name = "yz250f(2017)") {
        bike_state* b = bike_create(name, (int)bikes_.size(), "7", nullptr);
        if (b) bikes_.push_back(b);
        return b;
    }
    void step(int ticks = 1) {
        for (int i = 0; i < ticks; i++) physics_world_step(tick_length);
    }

    std::string root_;
    std::vector<bike_state*> bikes_;
};

// A record of the bike at its rest placement, to pose joints from.
inline bike_packed_fields rest_record(const bike_state* b) {
    bike_packed_fields r{};
    r.frame_position[0] = b->spec.frame_position.x;
    r.frame_position[1] = b->spec.frame_position.y;
    r.frame_position[2] = b->spec.frame_position.z;
    r.frame_orientation[0] = 1;
    r.rider_offset[0] = b->spec.rider_position.x - b->spec.frame_position.x;
    r.rider_offset[1] = b->spec.rider_position.y - b->spec.frame_position.y;
    r.rider_offset[2] = b->spec.rider_position.z - b->spec.frame_position.z;
    r.rider_orientation[0] = 1;
    return r;
}

// Poses the bodies with the fork at slider position `fork` (0 or negative),
// the swing arm at `swingarm` rad and the steering at `steer` rad.
inline void pose(bike_state* b, double fork, double swingarm, double steer = 0) {
    bike_packed_fields r = rest_record(b);
    r.fork_position = fork;
    r.swingarm_angle = swingarm;
    r.steering_angle = steer;
    bike_pose_from_packed(b, &r, 5);
}

// A hand-made wheel contact: touching at `depth` (0: not touching) with the
// slip velocity v.
inline void contact(bike_state* b, int wheel, double depth, double vx = 0, double vy = 0, double vz = 0) {
    bike_wheel& w = b->wheels[wheel];
    w.depth = depth;
    w.contact_velocity[0] = vx;
    w.contact_velocity[1] = vy;
    w.contact_velocity[2] = vz;
    w.contact_normal[0] = 0;
    w.contact_normal[1] = depth > 0 ? 1 : 0;
    w.contact_normal[2] = 0;
}

inline bool all_finite(const bike_state* b) {
    for (dBodyID body : b->bodies) {
        const dReal* arrays[4] = {dBodyGetPosition(body), dBodyGetQuaternion(body), dBodyGetLinearVel(body),
                                  dBodyGetAngularVel(body)};
        for (const dReal* a : arrays)
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(a[k])) return false;
        if (!std::isfinite(dBodyGetQuaternion(body)[3])) return false;
        const dReal* f = dBodyGetForce(body);
        const dReal* t = dBodyGetTorque(body);
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(f[k]) || !std::isfinite(t[k])) return false;
    }
    return true;
}

}  // namespace drive_test
