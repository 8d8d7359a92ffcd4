// The bike step on the test tracks through the real game tick: standing,
// launching, braking, turning, jumping, crashing and getting up, parking,
// backing up, and bikes running into each other.
#include <cstdio>

#include "ride_fixture.h"

namespace ride_test {
namespace {

struct mode {
    const char* name;
    setup_keys keys;
};
const mode modes[] = {{"arcade (default setup)", {}}, {"simulation", simulation}};

TEST_F(RideTest, StoppedBikeWithNoInputStaysUpright) {
    for (const mode& m : modes) {
        SCOPED_TRACE(m.name);
        begin("testflat", m.keys);
        bike_state* b = bike();
        double x0 = position(b)[0], z0 = position(b)[2];
        double most_lean = 0, lowest = 1e9;
        hold({}, 10 * ticks_per_second, [&] {
            most_lean = std::fmax(most_lean, std::fabs(lean(b)));
            lowest = std::fmin(lowest, height_above_ground(b));
            return true;
        });
        EXPECT_LT(most_lean, 3 * pi / 180);
        EXPECT_GT(lowest, 1.2);  // on its wheels, not on its side
        EXPECT_LT(std::hypot(position(b)[0] - x0, position(b)[2] - z0), 0.5);
        EXPECT_LT(speed_mph(b), 0.2);
        EXPECT_EQ(b->crash_count, 0);
        printf("[ figures  ] %s: stood 10 s, largest lean %.2f deg\n", m.name, most_lean * 180 / pi);
    }
}

TEST_F(RideTest, FullThrottleLaunchesShiftsUpAndReachesFortyMph) {
    for (const mode& m : modes) {
        SCOPED_TRACE(m.name);
        begin("testflat", m.keys);
        bike_state* b = bike();
        int forty = -1, highest_gear = 0;
        double most_lean = 0, top = 0;
        hold({0, 1}, 10 * ticks_per_second, [&] {
            if (forty < 0 && speed_mph(b) >= 40) forty = g_race.tick;
            highest_gear = std::max(highest_gear, b->controls.gear);
            most_lean = std::fmax(most_lean, std::fabs(lean(b)));
            top = std::fmax(top, speed_mph(b));
            return true;
        });
        ASSERT_GT(forty, 0) << "top speed " << top << " mph";
        EXPECT_LT(forty, 10 * ticks_per_second);
        EXPECT_GE(highest_gear, 2) << "automatic shifting went up";
        EXPECT_LT(most_lean, 5 * pi / 180);
        EXPECT_LT(std::fabs(heading(b)), 3 * pi / 180) << "runs straight";
        EXPECT_EQ(b->crash_count, 0);
        printf("[ figures  ] %s: 40 mph after %.2f s, %.1f mph after 10 s in gear %d\n", m.name,
               forty * tick_length, top, highest_gear + 1);
    }
}

TEST_F(RideTest, HardBrakingFromSpeedStopsWithoutFlipping) {
    for (const mode& m : modes) {
        SCOPED_TRACE(m.name);
        begin("testflat", m.keys);
        bike_state* b = bike();
        hold({0, 1}, 5 * ticks_per_second);
        double from = speed_mph(b);
        double z0 = position(b)[2];
        int start = g_race.tick, stopped = -1;
        double lowest_pitch = 0, most_lean = 0;
        // Throttle shut, clutch pulled, both brakes hard.
        hold({0, 0, 1, 1, 0, 1}, 6 * ticks_per_second, [&] {
            lowest_pitch = std::fmin(lowest_pitch, pitch(b));
            most_lean = std::fmax(most_lean, std::fabs(lean(b)));
            if (speed_mph(b) < 0.5) {
                stopped = g_race.tick;
                return false;
            }
            return true;
        });
        ASSERT_GT(stopped, 0) << "still at " << speed_mph(b) << " mph";
        double distance = z0 - position(b)[2];
        double seconds = (stopped - start) * tick_length;
        EXPECT_GT(from, 50);
        EXPECT_GT(lowest_pitch, -25 * pi / 180) << "the rear wheel stays near the ground";
        EXPECT_LT(most_lean, 5 * pi / 180);
        // About 1 g: 60 mph stops in some 120 ft.
        EXPECT_GT(distance, 60);
        EXPECT_LT(distance, 250);
        EXPECT_EQ(b->crash_count, 0);
        printf("[ figures  ] %s: stopped from %.1f mph in %.2f s and %.0f ft (%.2f g)\n", m.name, from, seconds,
               distance, from / mph / seconds / 32);
    }
}

TEST_F(RideTest, SteeringTurnsTheWayTheSignsSay) {
    // The record's steer is the input layer's value ("Left" positive);
    // reversed steering (on by default) makes it the bike's steer negated,
    // and a positive bike steer leans the bike to its right and turns right.
    struct turn {
        const char* reverse;
        float steer;
        int way;  // +1 left, -1 right
    } cases[] = {{"Yes", 0.4f, +1}, {"Yes", -0.4f, -1}, {"No", 0.4f, -1}};
    for (const mode& m : modes) {
        for (const turn& c : cases) {
            SCOPED_TRACE(std::string(m.name) + ", reversed " + c.reverse + ", steer " + std::to_string(c.steer));
            setup_keys keys = m.keys;
            keys.push_back({"reverse_steering", c.reverse});
            begin("testflat", keys);
            bike_state* b = bike();
            hold({0, 1}, 3 * ticks_per_second);
            double h0 = heading(b);
            // Arcade leans the bike as far as asked; the full physics turns
            // on a lighter touch, held briefly.
            int ticks = m.keys.empty() ? ticks_per_second : ticks_per_second / 2;
            float steer = m.keys.empty() ? c.steer : c.steer / 4;
            hold({steer, 0.6f}, ticks);
            EXPECT_GT(lean(b) * c.way, 3 * pi / 180) << "leans into the turn";
            hold({0, 0.6f}, ticks_per_second);
            EXPECT_GT((heading(b) - h0) * c.way, 2 * pi / 180) << "turned";
            EXPECT_EQ(b->crash_count, 0);
        }
    }
}

TEST_F(RideTest, JumpLandsWithoutTheSimulationComingApart) {
    for (const mode& m : modes) {
        SCOPED_TRACE(m.name);
        const double at[3] = {200, 240, 0};  // the jump lane, facing the table-top
        begin("testramp", m.keys, 1, at);
        bike_state* b = bike();
        double highest = 0, widest_gap = 0, top = 0;
        bool finite = true;
        hold({0, 1}, 4 * ticks_per_second, [&] { return top = std::fmax(top, speed_mph(b)), true; });
        hold({0, 0.3f}, 4 * ticks_per_second, [&] {
            highest = std::fmax(highest, height_above_ground(b));
            widest_gap = std::fmax(widest_gap, joint_gap(b));
            if (ride_bad_body(b)) finite = false;
            return finite;
        });
        EXPECT_TRUE(finite);
        EXPECT_GT(highest, 6) << "it flew";
        EXPECT_LT(widest_gap, 0.05) << "the joints held";
        EXPECT_LT(height_above_ground(b), 2.5) << "it came down";
        printf("[ figures  ] %s: took off at %.1f mph, frame %.1f ft above the ground at the top, crashed %d, "
               "joints apart by at most %.4f ft\n",
               m.name, top, highest, b->crash_count, widest_gap);
    }
}

TEST_F(RideTest, EndoAtSpeedThrowsTheRiderWhoGetsBackOn) {
    // Front brake alone, no antilock and no stoppie aid: the bike goes over
    // its front wheel.
    setup_keys keys = {{"arcade", "No"}, {"front_brake", "Normal"}, {"stop_wheelies", "No"}, {"brake_torque", "500"}};
    begin("testflat", keys);
    bike_state* b = bike();
    hold({0, 1}, 4 * ticks_per_second);
    double at = speed_mph(b);
    int crashed = -1;
    hold({0, 0, 1}, 2 * ticks_per_second, [&] {
        if (b->crash_timer > 0) crashed = g_race.tick;
        return crashed < 0;
    });
    ASSERT_GT(crashed, 0) << "no crash";
    EXPECT_EQ(b->crash_count, 1);
    EXPECT_FALSE(bike_rider_attached(b));
    EXPECT_GE(b->crash_timer, rider_crash_ticks - 1);
    int back = -1;
    double farthest = 0;
    hold({}, 20 * ticks_per_second, [&] {
        // The rider stays with his bike: held by the bars, then pulled in.
        const dReal* r = dBodyGetPosition(b->bodies[bike_body_rider]);
        const dReal* f = position(b);
        farthest = std::fmax(farthest, std::sqrt((r[0] - f[0]) * (r[0] - f[0]) + (r[1] - f[1]) * (r[1] - f[1]) +
                                                 (r[2] - f[2]) * (r[2] - f[2])));
        if (b->crash_timer == 0) back = g_race.tick;
        return back < 0 && !ride_bad_body(b);
    });
    ASSERT_GT(back, 0) << "still down, timer " << b->crash_timer;
    EXPECT_TRUE(bike_rider_attached(b));
    EXPECT_GE(back - crashed, rider_crash_ticks) << "down for at least 4 s";
    EXPECT_LT(farthest, 12);
    printf("[ figures  ] endo at %.1f mph: back on the bike after %.2f s, rider at most %.1f ft from the frame\n", at,
           (back - crashed) * tick_length, farthest);
    // And rides on.
    hold({}, 3 * ticks_per_second);
    EXPECT_EQ(b->crash_timer, 0);
    EXPECT_EQ(b->crash_count, 1);
}

// The rider body's place on the frame: (fore-aft, height) of its offset
// from its rest point, in the frame's coordinates (positive backwards, up).
std::pair<double, double> rider_offset(const bike_state* b) {
    dVector3 local;
    const dReal* r = dBodyGetPosition(b->bodies[bike_body_rider]);
    dBodyGetPosRelPoint(b->bodies[bike_body_frame], r[0], r[1], r[2], local);
    return {local[2] - (b->spec.rider_position.z - b->spec.frame_position.z),
            local[1] - (b->spec.rider_position.y - b->spec.frame_position.y)};
}

TEST_F(RideTest, LeanAndSitMoveTheRiderOnHisSprings) {
    for (const mode& m : modes) {
        SCOPED_TRACE(m.name);
        begin("testflat", m.keys);
        bike_state* b = bike();
        // Rolling, so that no aid puts a foot down; the rider takes a good
        // half second to settle on his springs.
        const int settle = 3 * ticks_per_second / 2;
        hold({0, 0.5f}, 2 * settle);
        auto riding = rider_offset(b);
        hold({0, 0.5f, 0, 0, 0, 0, 0, 0, 1}, settle);
        auto back = rider_offset(b);
        hold({0, 0.5f, 0, 0, 0, 0, 0, 0, -1}, settle);
        auto forward = rider_offset(b);
        hold({0, 0.5f}, settle);
        hold({0, 0.5f, 0, 0, 0, 0, 1}, settle);
        auto sitting = rider_offset(b);
        EXPECT_GT(back.first - riding.first, 0.3) << "leaning back";
        EXPECT_LT(forward.first - riding.first, -0.3) << "leaning forward";
        EXPECT_LT(sitting.second - riding.second, -0.25) << "sitting down";
        EXPECT_GT(speed_mph(b), 15);
        EXPECT_EQ(b->crash_count, 0);
        printf("[ figures  ] %s: rider %.2f ft back leaning back, %.2f ft forward leaning forward, %.2f ft lower "
               "sitting\n",
               m.name, back.first - riding.first, riding.first - forward.first, riding.second - sitting.second);
    }
}

TEST_F(RideTest, ParkedBikeIsHeldByBothBrakesForThisStepOnly) {
    begin("testflat", simulation);
    bike_state* b = bike();
    hold({}, ticks_per_second);
    // The aid puts the brakes on for the joint motors; the rider's own
    // controls are left as they were.
    EXPECT_DOUBLE_EQ(dJointGetHingeParam(b->joints[bike_joint_front_axle], dParamFMax), b->stability.front_brake_torque);
    EXPECT_DOUBLE_EQ(dJointGetHingeParam(b->joints[bike_joint_rear_axle], dParamFMax), b->stability.rear_brake_torque);
    EXPECT_EQ(b->controls.front_brake, 0);
    EXPECT_EQ(b->controls.rear_brake, 0);
    EXPECT_EQ(b->controls.dab, 0);
    EXPECT_GT(b->controls.dab_progress, 0.5) << "a foot is down";
    // With the throttle open (and the clutch in) the aid lets go.
    hold({0, 1}, 16);
    EXPECT_EQ(dJointGetHingeParam(b->joints[bike_joint_front_axle], dParamFMax), 0);
}

TEST_F(RideTest, BackingUpPushesTheBikeBackwardsInPulses) {
    begin("testflat", simulation);
    bike_state* b = bike();
    hold({}, ticks_per_second / 2);
    double z0 = position(b)[2];
    double fastest = 0;
    hold({0, 0, 0, 0, 0, 0, 0, 1}, 3 * ticks_per_second, [&] {
        fastest = std::fmax(fastest, speed_mph(b) / mph);
        return true;
    });
    EXPECT_GT(position(b)[2] - z0, 2) << "moved backwards (towards +z)";
    EXPECT_LT(fastest, 5);
    EXPECT_LT(std::fabs(lean(b)), 5 * pi / 180);
}

TEST_F(RideTest, BikeThatRunsIntoAnotherGetsTheHoldCounter) {
    begin("testflat", {}, 2);
    // The second bike rides off slowly 60 ft ahead of the first, in its
    // lane; the first, at full throttle, runs into its back wheel.
    const dReal* p = position(bike(0));
    ride_place(1, p[0], p[2] - 3.6 - 60, 0);
    bike_state* a = bike(0);
    bike_state* ahead = bike(1);
    const float go[control_values] = {0, 1}, slow[control_values] = {0, 0.6f};
    int contact = -1, a_hold = 0, ahead_hold = 0;
    double a_speed = 0, ahead_speed = 0;
    for (int t = 0; t < 6 * ticks_per_second && contact < 0; t++) {
        bike_apply_controls(a, go);
        bike_apply_controls(ahead, slow);
        // The speeds as the collision test sees them, before the step.
        a_speed = speed_mph(a) / mph;
        ahead_speed = speed_mph(ahead) / mph;
        game_tick();
        if (a->last_contact_tick >= 0) {
            contact = a->last_contact_tick;
            a_hold = a->collision_hold;
            ahead_hold = ahead->collision_hold;
        }
    }
    ASSERT_GE(contact, 0) << "they never met";
    EXPECT_EQ(ahead->last_contact_tick, contact);
    EXPECT_GE(a_speed, 10) << "fast enough to be the cause";
    EXPECT_GE(ahead_speed, 5) << "the other was moving";
    EXPECT_GT(a_hold, 192) << "the bike that ran into the other is the cause";
    EXPECT_LT(ahead_hold, 0) << "the other is marked as struck";
    printf("[ figures  ] ran into the other at %.1f ft/s against %.1f ft/s: hold counters %d and %d\n", a_speed,
           ahead_speed, a_hold, ahead_hold);
}

}  // namespace
}  // namespace ride_test
