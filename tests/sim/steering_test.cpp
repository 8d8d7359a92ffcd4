// Tests of the steering: the lean angle (also with the frame pointing
// straight up), the lock angle, the front slide factor, the normal
// controller's aids, limits and hold-counter clamp, the torque signs of both
// controllers on a real assembly, the steering damping and the settings.
#include <gtest/gtest.h>

#include <cmath>

#include "drive_fixture.h"
#include "files/config.h"
#include "sim/drivetrain.h"
#include "sim/steering.h"
#include "sim/suspension.h"

using namespace drive_test;

namespace {

constexpr double deg = pi / 180;

TEST(SteeringLean, AngleFromTheFrameAxes) {
    const double s = std::sin(30 * deg), c = std::cos(30 * deg);
    struct {
        const char* what;
        double up[3], forward[3], want;
    } cases[] = {
        {"upright", {0, 1, 0}, {0, 0, -1}, 0},
        {"leaning right", {s, c, 0}, {0, 0, -1}, -30 * deg},
        {"leaning left", {-s, c, 0}, {0, 0, -1}, 30 * deg},
        {"heading +x, leaning to its right (+z)", {0, c, s}, {1, 0, 0}, -30 * deg},
        {"nose straight up", {0, 0, 1}, {0, 1, 0}, 0},
        {"nose straight down", {0, 0, -1}, {0, -1, 0}, 0},
        {"nose up but for rounding", {0, 1e-17, 1}, {1e-17, 1, -1e-17}, 0},
        {"lying on its right side", {1, 0, 0}, {0, 0, -1}, -90 * deg},
    };
    for (const auto& t : cases) {
        double lean = steering_lean_angle(t.up, t.forward);
        EXPECT_TRUE(std::isfinite(lean)) << t.what;
        EXPECT_NEAR(lean, t.want, 1e-9) << t.what;
    }
}

class SteeringBike : public DriveWorld {
protected:
    // Inputs of a bike rolling upright at 30 ft/s on the ground.
    steering_inputs rolling() {
        steering_inputs in{};
        in.wheel_speed = 30;
        in.front_spin = 30 / (0.833333 + 0.333333);
        in.frame_speed = 30;
        in.friction = 1;
        in.front_contact = true;
        return in;
    }
    double torque(const bike_stability& st, const steering_inputs& in, double* m = nullptr) {
        double landing = m ? *m : 1, slide = 0;
        double t = steering_normal_torque(&st, bike_option_steer_in_air, &in, &landing, &slide);
        if (m) *m = landing;
        EXPECT_TRUE(std::isfinite(slide));
        return t;
    }
};

TEST_F(SteeringBike, LockNarrowsWithSpeedAndGrip) {
    const bike_stability& st = make()->stability;  // full lock 10, restricted 5 deg at 50 ft/s
    struct {
        double v, mu, want_deg;
    } cases[] = {
        {20, 1, 20},     // 5 + 40 x 0.375
        {10, 1, 45},     // full lock up to the full lock speed
        {0, 1, 45},
        {-30, 1, 45},    // rolling backwards counts as slow
        {50, 1, 5},      // restricted from the restricted lock speed
        {200, 0.5, 10},  // less grip, more lock
        {200, 0.01, 40}, // grip counts as at least 0.125
    };
    for (const auto& c : cases)
        EXPECT_NEAR(steering_lock_angle(&st, c.v, c.mu) / deg, c.want_deg, 1e-9) << c.v << " " << c.mu;
}

TEST(SteeringSlide, FrontSlideFactor) {
    struct {
        double v, lock, lean, slip, angle, want;
    } cases[] = {
        {15, 0.4, 0.2, -0.2, 0, 0.5},      // leaning left, slipping half way from a = 0.1 to b = 0.3
        {15, 0.4, -0.2, 0.2, 0, 0.5},      // the same to the right
        {15, 0.4, 0.2, 0.2, 0, 0},         // slipping the other way does not count
        {15, 0.4, 0.2, 0, 30 * deg, 1},    // turned 30 deg into the lean
        {15, 0.4, 0.2, 0, 20 * deg, 1.0 / 3},
        {15, 0.4, -0.2, 0, -30 * deg, 1},
        {3, 0.4, 0.2, -0.025, 0, 0.5},     // slow: a = 0, b = lock / 8
        {60, 0, 0.2, -0.01, 0, 1},         // no lock at all: any slip counts fully
        {60, 0, 0.2, 0.01, 0, 0},
    };
    for (const auto& c : cases) {
        double f = steering_front_slide(c.v, c.lock, c.lean, c.slip, c.angle);
        EXPECT_NEAR(f, c.want, 1e-9) << c.v << " " << c.lock << " " << c.slip << " " << c.angle;
    }
}

TEST_F(SteeringBike, HoldCounterLimitsOnlyTheAid) {
    const bike_stability& st = make()->stability;
    steering_inputs in = rolling();
    in.steer = 1;        // D = 75
    in.roll_rate = -5;   // A = -5 x 60 = -300 ...
    in.lean = -0.3;      // ... - 0.3 x 20 = -306
    struct {
        int hold;
        double want;
    } cases[] = {{0, 1.5 * (-306 + 75)}, {-5, 1.5 * (-306 + 75)}, {96, 1.5 * (-100 + 75)},
                 {192, 1.5 * 75},        {400, 1.5 * 75}};
    for (const auto& c : cases) {
        in.collision_hold = c.hold;
        EXPECT_NEAR(torque(st, in), c.want, 1e-9) << c.hold;
    }
}

TEST_F(SteeringBike, AidsOfTheNormalController) {
    bike_state* b = make();
    const bike_stability& st = b->stability;
    double m;

    // In the air: centring only, and the landing damping is armed.
    steering_inputs in = rolling();
    in.front_contact = false;
    in.steer_angle = 0.1;
    in.roll_rate = -3;
    m = 1;
    EXPECT_NEAR(torque(st, in, &m), 1.5 * -5, 1e-9);
    EXPECT_EQ(m, 2);
    // A stopped front wheel is treated the same.
    in = rolling();
    in.front_spin = 0.5;
    m = 1;
    EXPECT_EQ(torque(st, in, &m), 0);
    EXPECT_EQ(m, 2);

    // Landed: roll damping doubled at first, the multiplier falling back by
    // (factor - 1) / falloff per second.
    in = rolling();
    in.roll_rate = -1;
    m = 2;
    EXPECT_NEAR(torque(st, in, &m), 1.5 * -120, 1e-9);
    EXPECT_NEAR(m, 2 - tick_length / 0.25, 1e-12);
    b->stability.land_damping_falloff = 0;
    m = 2;
    torque(st, in, &m);
    EXPECT_EQ(m, 1);
    b->stability.land_damping_falloff = 0.25;

    // Leaning past the roll limit while the lean grows: more damping.
    in = rolling();
    in.lean = -1;
    in.roll_rate = -1;
    double growing = -60 * ((1 - pi / 4) * 10 + 1) - 20;
    EXPECT_NEAR(torque(st, in), 1.5 * growing, 1e-9);
    in.roll_rate = 1;  // coming back up
    EXPECT_NEAR(torque(st, in), 1.5 * (60 - 20), 1e-9);

    // Slow damping: scaled up towards standstill; off when its speed is 0.
    in = rolling();
    in.roll_rate = -1;
    b->stability.slow_damping_speed = 40;
    b->stability.slow_damping_factor = 2;
    in.frame_speed = 20;
    EXPECT_NEAR(torque(st, in), 1.5 * -60 * 1.5, 1e-9);
    in.frame_speed = 0;
    EXPECT_NEAR(torque(st, in), 1.5 * -60 * 2, 1e-9);
    b->stability.slow_damping_speed = 0;
    b->stability.slow_damping_factor = 10;
    EXPECT_NEAR(torque(st, in), 1.5 * -60, 1e-9);
}

TEST_F(SteeringBike, SlipLimitsTurnRoundPastTheLock) {
    const bike_stability& st = make()->stability;
    steering_inputs in = rolling();
    // At 30 ft/s the lock is about 11.7 deg; a slip of 0.9 rad is far past it.
    in.slip_angle = 0.9;
    in.steer = -1;
    EXPECT_NEAR(torque(st, in), 0.25 * 400, 1e-9);  // pushes back the other way
    in.slip_angle = -0.9;
    in.steer = 1;
    EXPECT_NEAR(torque(st, in), -0.25 * 400, 1e-9);
    // High above the ground there are no slip limits.
    in.clearance = 0.6;
    EXPECT_NEAR(torque(st, in), 1.5 * 75, 1e-9);
    // Within the lock the rider steers freely.
    in.clearance = 0;
    in.slip_angle = -0.1;
    EXPECT_NEAR(torque(st, in), 1.5 * 75, 1e-9);
}

TEST_F(SteeringBike, LeanTargetSteering) {
    bike_state* b = make();
    b->stability.direct_steering = 0;
    b->stability.roll_damping = 0;
    b->stability.leveling = 0;
    const bike_stability& st = b->stability;
    steering_inputs in = rolling();
    in.steer = 1;
    double r0 = -pi / 4 * 2.5;  // the roll rate towards a lean of -45 deg
    struct {
        double roll, want;
    } cases[] = {
        {0, 1.5 * 75},               // not rolling yet: counter-steer to the right lean
        {r0, 0},                     // on target
        {r0 - 0.05, 0},              // within 0.125 rad/s of it
        {r0 - 0.5, -1.5 * 75},       // rolling too fast: steer back
    };
    for (const auto& c : cases) {
        in.roll_rate = c.roll;
        EXPECT_NEAR(torque(st, in), c.want, 1e-9) << c.roll;
    }
    // With direct steering 1 the lean target plays no part.
    b->stability.direct_steering = 1;
    in.roll_rate = r0 - 0.5;
    EXPECT_NEAR(torque(st, in), 1.5 * 75, 1e-9);
}

TEST_F(SteeringBike, SteerInputIsCleanedWhoeverWroteIt) {
    bike_state* b = make();
    steering_inputs in = rolling();
    double want = torque(b->stability, in);
    in.steer = NAN;
    EXPECT_EQ(torque(b->stability, in), want);
    in.steer = 5;
    double full = torque(b->stability, in);
    in.steer = 1;
    EXPECT_EQ(torque(b->stability, in), full);

    b->controls.steer = -7;
    EXPECT_EQ(steering_input(b), -1);
    b->controls.steer = INFINITY;
    EXPECT_EQ(steering_input(b), 0);
}

// The whole chain on a real assembly: a steer input of +1 rolls the frame to
// its right (negative roll rate and lean), -1 to its left.
TEST_F(SteeringBike, PositiveSteerLeansTheBikeRightInBothControllers) {
    struct {
        const char* what;
        bool arcade, front_touches;
        double lift;
    } cases[] = {
        {"normal, in the air", false, false, 0},
        {"normal, front touching", false, true, 0},
        {"arcade, high in the air", true, false, 100},
        {"arcade, front touching", true, true, 0},
    };
    for (const auto& c : cases) {
        for (double steer : {1.0, -1.0}) {
            bike_state* b = make();
            const double up[3] = {0, c.lift, 0};
            bike_translate(b, up);
            b->arcade = c.arcade ? bike_arcade_physics : 0;
            double roll = 0;
            for (int i = 0; i < 16; i++) {
                contact(b, bike_wheel_front, c.front_touches ? 0.05 : 0);
                b->controls.steer = steer;
                steering_step(b, nullptr);
                step();
                if (i == 3) roll = steering_roll_rate(b);  // before the steering reaches its stop
            }
            double lean = steering_lean(b);
            EXPECT_LT(roll * steer, 0) << c.what << " steer " << steer << " roll rate " << roll;
            EXPECT_LT(lean * steer, 0) << c.what << " steer " << steer << " lean " << lean;
            EXPECT_TRUE(all_finite(b)) << c.what;
        }
    }
}

TEST_F(SteeringBike, ArcadeLeanMotorDrivesTheRollRate) {
    bike_state* b = make();
    b->arcade = bike_arcade_physics;
    // Roll damping 60: k = 1.25, so the motor's target is -16 x 1.25 x 0.0625.
    EXPECT_NEAR(steering_arcade_roll_target(0, 1, 60), -1.25, 1e-12);
    EXPECT_NEAR(steering_arcade_roll_target(0, -1, 100), 1.0, 1e-12);
    EXPECT_NEAR(steering_arcade_roll_target(-0.02, 0, 0), 16 * 1.5 * 0.02, 1e-12);
    EXPECT_EQ(steering_arcade_roll_target(0, 0, 60), 0);
    for (int i = 0; i < 32; i++) {
        contact(b, bike_wheel_front, 0.05);
        b->controls.steer = 1;
        steering_step(b, nullptr);
        step();
    }
    EXPECT_NEAR(steering_roll_rate(b), -1.25, 0.15);
    // A crashed rider gets no arcade steering at all.
    b->crash_timer = 100;
    b->front_slide = 0.5;
    steering_step(b, nullptr);
    EXPECT_EQ(dBodyGetTorque(b->bodies[bike_body_front_wheel])[0], 0);
    EXPECT_EQ(b->front_slide, 0.5);
    // The normal controller, crashed, only clears the front slide factor.
    b->arcade = 0;
    steering_step(b, nullptr);
    EXPECT_EQ(b->front_slide, 0);
    const dReal* t = dBodyGetTorque(b->bodies[bike_body_front_wheel]);
    EXPECT_EQ(t[0] * t[0] + t[1] * t[1] + t[2] * t[2], 0);
}

TEST(SteeringArcade, SteeringFollowsTheSlip) {
    struct {
        double slip, steer, angle, rate, want;
    } cases[] = {
        {0, 0, 0, 0, 0},
        {0.02, 0, 0, 0, 0},                          // within 1/32: nothing
        {0.1, 0, 0, 0, 75 * 0.5 * 8 * (0.1 - 1.0 / 32) - 75 * 0.5 / 2400},
        {1, 0, 0, 0, 75 * 2.0 / 3},                  // held at 2/3 of the strength
        {0, 1, 0, 0, -75 * 2.0 / 3},
        {0, 0, 0, 0.5, -75 * 0.5 * (0.5 - 1.0 / 2400)},  // steering rate damped
    };
    for (const auto& c : cases)
        EXPECT_NEAR(steering_arcade_torque(75, c.slip, c.steer, c.angle, c.rate), c.want, 1e-9)
            << c.slip << " " << c.steer << " " << c.rate;
}

TEST_F(SteeringBike, NoNaNWithTheFramePointingStraightUp) {
    for (bool arcade : {false, true}) {
        bike_state* b = make();
        bike_packed_fields r = rest_record(b);
        r.frame_orientation[0] = std::cos(pi / 4);  // nose up: 90 deg about +x
        r.frame_orientation[1] = std::sin(pi / 4);
        bike_pose_from_packed(b, &r, 5);
        EXPECT_EQ(steering_lean(b), 0);
        b->arcade = arcade ? bike_arcade_physics : 0;
        b->controls.throttle = 1;
        b->controls.clutch = 1;
        for (int i = 0; i < 64; i++) {
            contact(b, bike_wheel_front, 0.05, 3, 0, 0);
            contact(b, bike_wheel_rear, 0.05, 0, 0, -3);
            b->controls.steer = i % 2 ? NAN : 1;
            suspension_step(b);
            steering_step(b, nullptr);
            drivetrain_step(b, i);
            steering_damping_step(b);
            ASSERT_TRUE(all_finite(b)) << "tick " << i << (arcade ? " arcade" : " normal");
            step();
        }
        EXPECT_TRUE(all_finite(b));
        EXPECT_TRUE(std::isfinite(b->front_slide));
        EXPECT_TRUE(std::isfinite(b->landing_damping));
    }
}

TEST_F(SteeringBike, DampingLeavesTheSpinAlone) {
    bike_state* b = make();
    dBodyID wheel = b->bodies[bike_body_front_wheel], frame = b->bodies[bike_body_frame];
    dBodySetAngularVel(wheel, -40, 0, 0);  // rolling forward
    steering_damping_step(b);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(dBodyGetTorque(wheel)[k], 0, 1e-9);
    dBodySetAngularVel(wheel, -40, 2, 0);  // and turning left
    steering_damping_step(b);
    EXPECT_NEAR(dBodyGetTorque(wheel)[1], -45 * 2, 1e-9);
    EXPECT_NEAR(dBodyGetTorque(frame)[1], 45 * 2, 1e-9);
    EXPECT_NEAR(dBodyGetTorque(wheel)[0], 0, 1e-9);
}

TEST_F(SteeringBike, SettingsAtCreationClampsAndSetup) {
    bike_state* b = make();
    const bike_stability created = b->stability;
    steering_settings s;
    steering_settings_defaults(&s);
    steering_set_settings(b, &s);
    const double* got = &b->stability.roll_damping;
    const double* want = &created.roll_damping;
    for (int i = 0; i < (int)(sizeof(bike_stability) / sizeof(double)); i++)
        EXPECT_NEAR(got[i], want[i], 1e-12) << "field " << i;

    s.restricted_lock = 90;      // degrees: held at 45
    s.roll_limit_angle = 180;
    s.full_lock_speed = 0;       // at least 1
    s.max_steering_force = 5000;
    s.direct_steering = NAN;     // back to its value at creation
    s.land_damping_falloff = -1;
    steering_set_settings(b, &s);
    EXPECT_NEAR(b->stability.restricted_lock, pi / 4, 1e-12);
    EXPECT_NEAR(b->stability.roll_limit_angle, pi, 1e-12);
    EXPECT_EQ(b->stability.full_lock_speed, 1);
    EXPECT_EQ(b->stability.max_steering_force, 1000);
    EXPECT_EQ(b->stability.direct_steering, 1);
    EXPECT_EQ(b->stability.land_damping_falloff, 0);

    steering_apply_setup(b, &g_setup_defaults);
    EXPECT_NEAR(b->stability.restricted_lock, 7.5 * deg, 1e-12);
    EXPECT_NEAR(b->stability.roll_limit_angle, 45 * deg, 1e-12);
    EXPECT_EQ(b->stability.slow_damping_speed, 40);
    EXPECT_EQ(b->stability.slow_damping_factor, 2);
    EXPECT_EQ(b->stability.steering_strength, 75);
}

}  // namespace
