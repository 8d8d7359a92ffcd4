// Tests of the engine and drivetrain: the torque curves, the automatic
// clutch, the clutch torque while slipping, a free-revving engine against the
// curve's cut, manual and automatic shifting, the brakes with antilock and
// the stop-wheelies aids, the settings, and "dwtool dyno".
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "drive_fixture.h"
#include "dwtool/commands.h"
#include "files/config.h"
#include "sim/drivetrain.h"

using namespace drive_test;

namespace {

constexpr double rad_s_per_rpm = 1 / 9.549296;

TEST(DrivetrainEngine, TorqueCurveReadings) {
    const bike_spec* s = bike_find("yz450f(2017)");
    ASSERT_NE(s, nullptr);
    struct {
        double rpm, throttle, want;
    } cases[] = {
        {6500, 1, 32.55},                         // the peak
        {6250, 1, (31.15 + 32.55) / 2},           // between two entries
        {6500, 0, -5},                            // closed throttle
        {6500, 0.5, (32.55 - 5) / 2},
        {12000, 1, 0},                            // the cut
        {24500, 1, -34},                          // the last entry...
        {24600, 1, -34},                          // ... and past it
        {1e12, 1, -34},
        {-100, 1, 5},                             // below zero: the first entry
        {NAN, 1, 5},
        {INFINITY, 1, 5},
        {6500, NAN, -5},                          // a broken throttle counts as closed
        {6500, 3, 32.55},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(engine_torque(s, c.rpm, c.throttle), c.want, 1e-4) << c.rpm << " " << c.throttle;
}

TEST(DrivetrainClutch, AutomaticClutchEngagement) {
    struct {
        double rpm, auto_rpm, lever, want;
    } cases[] = {
        {4000, 5000, 1, 0},      // held open below the auto clutch speed
        {6000, 5000, 1, 0.5},
        {7000, 5000, 1, 1},
        {9000, 5000, 0.3, 0.3},  // from there the control alone
        {6000, 5000, 0.2, 0.2},  // never above the control
        {0, 0, 1, 0},
        {2500, 0, 1, 1},
        {NAN, 5000, 1, 0},
        {6000, 5000, NAN, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(drivetrain_auto_clutch(c.rpm, c.auto_rpm, c.lever), c.want, 1e-12) << c.rpm << " " << c.lever;
}

class DrivetrainBike : public DriveWorld {};

TEST_F(DrivetrainBike, SlippingClutchPassesABoundedTorque) {
    struct {
        double rpm, windup, engagement;
    } cases[] = {
        {10000, 3, 1},     // fully engaged, wound far past the limit
        {6000, 3, 0.5},    // the automatic clutch half engaged
        {10000, -3, 1},    // engine braking
        {4000, 3, 0},      // held open: nothing passes
        {4000, -3, 1},     // ... but engine braking does
    };
    for (const auto& c : cases) {
        bike_state* b = make("yz450f(2017)");
        const bike_spec& s = b->spec;
        b->controls.clutch = 1;
        b->drivetrain.engine_speed = c.rpm * rad_s_per_rpm;
        b->drivetrain.clutch_windup = c.windup;
        double n = drivetrain_ratio(b);
        drivetrain_step(b, 1);
        const bike_drivetrain& d = b->drivetrain;
        double damping = std::fmin(c.rpm * rad_s_per_rpm * s.clutch_damping, 500);
        double limit = c.engagement * pi / 4;
        double sign = c.windup > 0 ? 1 : -1;
        double want = c.engagement * c.engagement * (sign * s.clutch_stiffness * limit + damping);
        EXPECT_NEAR(d.clutch_engagement, c.engagement, 1e-12) << c.rpm << " " << c.windup;
        EXPECT_NEAR(d.clutch_torque, want, 1e-6) << c.rpm << " " << c.windup;
        EXPECT_LE(std::fabs(d.clutch_torque), c.engagement * c.engagement * (s.clutch_stiffness * limit + 500) + 1e-6);
        // The wind-up went back to the limit, then followed the engine.
        EXPECT_NEAR(d.clutch_windup, sign * limit + tick_length * d.engine_speed / n, 1e-9) << c.rpm;
        // The rear wheel took the torque about its axle, the frame the reaction.
        EXPECT_NEAR(dBodyGetTorque(b->bodies[bike_body_rear_wheel])[0], -d.clutch_torque, 1e-6);
        EXPECT_NEAR(dBodyGetTorque(b->bodies[bike_body_frame])[0], d.clutch_torque, 1e-6);
    }
}

TEST_F(DrivetrainBike, FreeRevvingEngineStopsAtTheCut) {
    struct {
        const char* bike;
        double cut;
    } cases[] = {{"yz450f(2017)", 12000}, {"yz250f(2017)", 14000}, {"rs50cr", 13500}};
    for (const auto& c : cases) {
        bike_state* b = make(c.bike);
        b->controls.throttle = 1;
        b->controls.clutch = 0;  // lever pulled
        double highest = 0, at_three = 0;
        for (int tick = 0; tick < 4 * ticks_per_second; tick++) {
            drivetrain_step(b, tick);
            highest = std::fmax(highest, drivetrain_rpm(b));
            if (tick == 3 * ticks_per_second) at_three = drivetrain_rpm(b);
        }
        double rpm = drivetrain_rpm(b);
        EXPECT_LE(highest, c.cut + 1) << c.bike;
        EXPECT_GT(rpm, c.cut - 5) << c.bike;
        EXPECT_NEAR(rpm, at_three, 1) << c.bike;
        EXPECT_EQ(b->drivetrain.clutch_torque, 0) << c.bike;
    }
}

TEST_F(DrivetrainBike, AutomaticShiftingAtTheBikesEngineSpeeds) {
    // yz250f(2017): down below 8000 rpm, up above 12500; first gear overall
    // 2.1429 x 3.3529 x 50/13, fifth 1.0417 x 3.3529 x 50/13.
    struct {
        const char* what;
        double rear_rate;    // rad/s
        int start_gear;
        int shift_ticks[6];  // ticks at which the gear changed, then -1
        int end_gear;
    } cases[] = {
        {"revving: up every 32 ticks, no sixth gear", 156, 0, {0, 32, 64, 96, -1}, 4},
        {"slow: down every 32 ticks", 10, 4, {0, 32, 64, 96, -1}, 0},
        {"between the speeds: stays", 56, 2, {-1}, 2},  // about 9960 rpm in third
    };
    for (const auto& c : cases) {
        bike_state* b = make();
        pose(b, 0, -0.1);
        drivetrain_set_aids(b, true, false, true, 2);
        b->controls.gear = c.start_gear;
        dBodySetAngularVel(b->bodies[bike_body_rear_wheel], -c.rear_rate, 0, 0);
        ASSERT_NEAR(dJointGetHingeAngleRate(b->joints[bike_joint_rear_axle]), c.rear_rate, 1e-9);
        int shifts[8], count = 0;
        for (int tick = 0; tick < 200; tick++) {
            int before = b->controls.gear;
            drivetrain_step(b, tick);
            if (b->controls.gear != before && count < 8) shifts[count++] = tick;
            ASSERT_GT(b->spec.gear_ratio[b->controls.gear], 0) << c.what;
        }
        int expected = 0;
        while (c.shift_ticks[expected] >= 0) expected++;
        ASSERT_EQ(count, expected) << c.what;
        for (int i = 0; i < count; i++) EXPECT_EQ(shifts[i], c.shift_ticks[i]) << c.what;
        EXPECT_EQ(b->controls.gear, c.end_gear) << c.what;
    }
}

TEST_F(DrivetrainBike, AutomaticShiftingWaits) {
    struct {
        const char* what;
        double swingarm;     // rad
        double rear_depth, rear_slip;
        int tick;
        bool shifts;
    } cases[] = {
        {"loaded, in the air", -0.1, 0, 0, 64, true},
        {"loaded, rolling on the ground", -0.1, 0.05, 1.9, 64, true},
        {"rear wheel spinning on the ground", -0.1, 0.05, 3, 64, false},
        {"rear suspension unloaded", -0.005, 0, 0, 64, false},
        {"between the 32-tick marks", -0.1, 0, 0, 65, false},
        {"off", -0.1, 0, 0, 64, false},
    };
    for (const auto& c : cases) {
        bike_state* b = make();
        pose(b, 0, c.swingarm);
        drivetrain_set_aids(b, true, false, strcmp(c.what, "off") != 0, 2);
        contact(b, bike_wheel_rear, c.rear_depth, 0, 0, c.rear_slip);
        dBodySetAngularVel(b->bodies[bike_body_rear_wheel], -156, 0, 0);
        drivetrain_step(b, c.tick);
        EXPECT_EQ(b->controls.gear, c.shifts ? 1 : 0) << c.what;
    }
}

TEST_F(DrivetrainBike, ManualShifting) {
    bike_state* b = make();  // five gears
    bike_state* six = make("kx125");
    struct {
        bike_state* bike;
        int request;
        int crash_timer;
        int gear_after;
    } steps[] = {
        {b, 1, 0, 1},   {b, 1, 0, 1},   // held: one shift per press
        {b, 0, 0, 1},   {b, 1, 0, 2},   // released and pressed again
        {b, 0, 0, 2},   {b, 1, 50, 2},  // the rider is down
        {b, 2, 0, 2},   {b, 1, 0, 3},   {b, 0, 0, 3},  {b, 1, 0, 4},
        {b, 0, 0, 4},   {b, 1, 0, 4},   // no sixth gear on a five-speed bike
        {b, -1, 0, 3},  {b, 0, 0, 3},   {b, -1, 0, 2},
        {six, 1, 0, 1}, {six, 0, 0, 1},
    };
    for (const auto& s : steps) {
        s.bike->crash_timer = s.crash_timer;
        drivetrain_shift(s.bike, s.request);
        EXPECT_EQ(s.bike->controls.gear, s.gear_after) << s.request;
    }
    six->controls.gear = 4;
    six->controls.last_shift = 0;
    drivetrain_shift(six, 1);
    EXPECT_EQ(six->controls.gear, 5);
    EXPECT_EQ(drivetrain_valid_gear(&b->spec, 5), 4);
    EXPECT_EQ(drivetrain_valid_gear(&b->spec, -3), 0);
    b->controls.gear = 5;  // written by someone else
    EXPECT_EQ(drivetrain_ratio(b), 0);
}

TEST_F(DrivetrainBike, BrakesAntilockAndStoppies) {
    struct {
        const char* what;
        bool front_antilock, rear_antilock;
        int stop_wheelies;
        double front_depth, front_slip, rear_depth, rear_slip;
        double front, rear;  // brake torques
    } cases[] = {
        {"rolling", true, false, 0, 0.05, 1, 0.05, 1, 250, 250},
        {"front slipping at 3 ft/s", true, false, 0, 0.05, 3, 0.05, 1, 0, 250},
        {"front slipping, no antilock", false, false, 0, 0.05, 3, 0.05, 1, 250, 250},
        {"front in the air, spinning", true, false, 0, 0, 3, 0.05, 1, 250, 250},
        {"rear slipping, no antilock", true, false, 0, 0.05, 1, 0.05, 3, 250, 250},
        {"rear slipping, antilock", true, true, 0, 0.05, 1, 0.05, 3, 250, 0},
        {"stoppie", true, false, 2, 0.05, 1, 0, 0, 0, 250},
        {"stoppie, aid off", true, false, 1, 0.05, 1, 0, 0, 250, 250},
    };
    for (const auto& c : cases) {
        bike_state* b = make();
        drivetrain_set_aids(b, c.front_antilock, c.rear_antilock, false, c.stop_wheelies);
        contact(b, bike_wheel_front, c.front_depth, c.front_slip, 0, 0);
        contact(b, bike_wheel_rear, c.rear_depth, 0, 0, c.rear_slip);
        b->controls.front_brake = 1;
        b->controls.rear_brake = 1;
        drivetrain_step(b, 1);
        dJointID front = b->joints[bike_joint_front_axle], rear = b->joints[bike_joint_rear_axle];
        EXPECT_EQ(dJointGetHingeParam(front, dParamFMax), c.front) << c.what;
        EXPECT_EQ(dJointGetHingeParam(rear, dParamFMax), c.rear) << c.what;
        EXPECT_EQ(dJointGetHingeParam(front, dParamVel), 0) << c.what;
    }
    bike_state* b = make();
    b->controls.front_brake = 0.5;
    b->controls.rear_brake = NAN;
    drivetrain_step(b, 1);
    EXPECT_EQ(dJointGetHingeParam(b->joints[bike_joint_front_axle], dParamFMax), 125);
    EXPECT_EQ(dJointGetHingeParam(b->joints[bike_joint_rear_axle], dParamFMax), 0);
}

TEST_F(DrivetrainBike, StopWheeliesCutsTheDrive) {
    struct {
        const char* what;
        int stop_wheelies;
        bool front_touches, rear_touches;
        double pitch_rate, throttle;
        bool cut;
    } cases[] = {
        {"wheelie", 3, false, true, 0, 1, true},
        {"wheelie, front coming down", 3, false, true, -1, 1, false},
        {"wheelie, aid for stoppies only", 2, false, true, 0, 1, false},
        {"both wheels down", 1, true, true, 0, 1, false},
        {"jumping", 1, false, false, 0, 1, false},
        {"wheelie, engine braking", 1, false, true, 0, 0, false},
    };
    for (const auto& c : cases) {
        bike_state* b = make();
        drivetrain_set_aids(b, true, false, false, c.stop_wheelies);
        contact(b, bike_wheel_front, c.front_touches ? 0.05 : 0);
        contact(b, bike_wheel_rear, c.rear_touches ? 0.05 : 0);
        dBodySetAngularVel(b->bodies[bike_body_frame], c.pitch_rate, 0, 0);
        b->controls.throttle = c.throttle;
        b->drivetrain.engine_speed = 9000 * rad_s_per_rpm;
        double curve = engine_torque(&b->spec, 9000, c.throttle);
        EXPECT_EQ(drivetrain_engine_torque(b), c.cut ? 0 : curve) << c.what;
    }
}

TEST_F(DrivetrainBike, BrokenStateDoesNotSpread) {
    bike_state* b = make();
    b->drivetrain.engine_speed = NAN;
    b->drivetrain.clutch_windup = INFINITY;
    b->controls.throttle = NAN;
    b->controls.clutch = NAN;
    drivetrain_step(b, 0);
    EXPECT_TRUE(std::isfinite(b->drivetrain.engine_speed));
    EXPECT_TRUE(std::isfinite(b->drivetrain.clutch_windup));
    EXPECT_TRUE(all_finite(b));
}

TEST_F(DrivetrainBike, SettingsAtCreationAndFromTheSetup) {
    bike_state* b = make();  // yz250f(2017): sprockets 13/50
    EXPECT_NEAR(b->drivetrain.final_drive, 50.0 / 13, 1e-12);
    EXPECT_EQ(b->stability.auto_clutch_rpm, 5000);
    EXPECT_EQ(b->stability.front_brake_torque, 250);
    EXPECT_EQ(b->stability.rear_brake_torque, 250);
    EXPECT_EQ(b->options & (bike_option_front_antilock | bike_option_rear_antilock | bike_option_auto_shift),
              bike_option_front_antilock);
    EXPECT_EQ(b->options & bike_option_stop_wheelies_mask, 2 << bike_option_stop_wheelies_shift);

    struct {
        double front, rear, want;
    } sprockets[] = {{0, 0, 50.0 / 13}, {2, -2, 48.0 / 15}, {-5, 9, 52.0 / 11}, {NAN, NAN, 50.0 / 13},
                     {0.5, 1.7, 51.0 / 13}};
    for (const auto& s : sprockets) {
        drivetrain_set_sprockets(b, s.front, s.rear);
        EXPECT_NEAR(b->drivetrain.final_drive, s.want, 1e-12) << s.front << " " << s.rear;
    }

    drivetrain_set_brakes(b, 900, -3);
    EXPECT_EQ(b->stability.front_brake_torque, 500);
    EXPECT_EQ(b->stability.rear_brake_torque, 0);
    drivetrain_set_auto_clutch(b, 7000);
    EXPECT_EQ(b->stability.auto_clutch_rpm, 5000);

    bike_setup setup = g_setup_defaults;
    setup.rear_sprocket_adjustment.value = 2;
    drivetrain_apply_setup(b, &setup);
    EXPECT_EQ(b->stability.front_brake_torque, 500);
    EXPECT_EQ(b->stability.rear_brake_torque, 250);
    EXPECT_NEAR(b->drivetrain.final_drive, 52.0 / 13, 1e-12);
    EXPECT_TRUE(b->options & bike_option_front_antilock);
    EXPECT_FALSE(b->options & bike_option_rear_antilock);
    EXPECT_TRUE(b->options & bike_option_auto_shift);
    EXPECT_TRUE(b->options & bike_option_steer_in_air);  // untouched
    struct {
        const char* choice;
        int bits;
    } wheelies[] = {{"No", 0}, {"Yes", 3}, {"Front Only", 2}};
    for (const auto& w : wheelies) {
        ASSERT_TRUE(choice_set(&setup.stop_wheelies, w.choice));
        drivetrain_apply_setup(b, &setup);
        EXPECT_EQ((b->options & bike_option_stop_wheelies_mask) >> bike_option_stop_wheelies_shift, w.bits)
            << w.choice;
    }
}

// --- dwtool dyno ------------------------------------------------------------------------------

TEST_F(DrivetrainBike, DynoShowsTheCurveAndTheGearing) {
    char name[] = "dyno", bike[] = "yz450f(2017)";
    char* argv[] = {name, bike};
    ::testing::internal::CaptureStdout();
    int rc = cmd_dyno(2, argv);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("peak 32.55 lbf ft at 6500 rpm; falls to 0 at 12000 rpm"), std::string::npos) << out;
    // 12000 rpm / 18.577 overall x 1.08333 ft outer radius, in mph
    EXPECT_NE(out.find("gear 1: ratio 1.9286, overall 18.577, 50.0 mph"), std::string::npos) << out;
    EXPECT_NE(out.find("gear 5: ratio 0.95238, overall 9.1734, 101.2 mph"), std::string::npos) << out;
    EXPECT_EQ(out.find("gear 6:"), std::string::npos) << out;
    EXPECT_NE(out.find("highest engine speed"), std::string::npos);
}

TEST(Dyno, UsageErrors) {
    const char* bad[][4] = {
        {"dyno", nullptr},
        {"dyno", "yz450f(2017)", "--shift", "0"},
        {"dyno", "yz450f(2017)", "--time", "x"},
        {"dyno", "yz450f(2017)", "--loud", nullptr},
        {"dyno", "yz450f(2017)", "kx125", nullptr},
    };
    for (auto& args : bad) {
        int argc = 0;
        char* argv[4];
        while (argc < 4 && args[argc]) {
            argv[argc] = const_cast<char*>(args[argc]);
            argc++;
        }
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(cmd_dyno(argc, argv), 2);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("usage: dwtool dyno BIKE", 0), 0u) << err;
    }
}

}  // namespace
