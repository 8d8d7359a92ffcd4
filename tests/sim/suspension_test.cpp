// Tests of the fork and the shock: the damper, the springs against hand
// computation, the linkage curve's knee and ends, the motors the step sets,
// the telemetry and the settings with their setup mapping.
#include <gtest/gtest.h>

#include <cmath>

#include "files/config.h"
#include "drive_fixture.h"
#include "sim/suspension.h"

using namespace drive_test;

namespace {

TEST(SuspensionDamping, OffsetsAreBoundedByAFactorOfEight) {
    struct {
        double v, C, c, B, b, want;
    } cases[] = {
        {2, 60, 60, 30, 30, -90},         // rebound: d0 = -60, offset -30
        {1, 60, 60, 10, 1000, -80},       // rebound offset held at 8 x d0
        {1, 60, 60, 10, -1000, -1.25},    // ... and at d0 / 8
        {-2, 60, 60, 30, 30, 180},        // compression: d0 = 120, offset +60
        {-0.1, 60, 1000, 30, 30, 48},     // compression offset held at 8 x d0
        {-1, 60, -1000, 30, 30, 7.5},     // ... and at d0 / 8
        {0, 60, 60, 30, 30, 0},           // no force at zero speed
        {0, 60, -60, 30, -30, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(suspension_damping(c.v, c.C, c.c, c.B, c.b), c.want, 1e-9) << "v " << c.v << " b " << c.b;
}

TEST(SuspensionFork, AirSpringAtFullCompression) {
    // 82.46 x ((1.25 / 0.25)^1.4 - 1)
    EXPECT_NEAR(fork_air_spring(1, 0.25, 1), 702.43, 0.01);
    EXPECT_EQ(fork_air_spring(1, 0.25, 0), 0);
    // Compression past the travel counts as the travel; no air gap still gives a finite force.
    EXPECT_EQ(fork_air_spring(1, 0.25, 3), fork_air_spring(1, 0.25, 1));
    EXPECT_TRUE(std::isfinite(fork_air_spring(1, 0, 1)));
}

TEST(SuspensionFork, ForceAgainstHandComputation) {
    const bike_spec* spec = bike_find("yz250f(2017)");
    ASSERT_NE(spec, nullptr);
    // The settings at creation: base damping, springs in the middle, oil at adjustment 0.
    bike_fork_settings f{60, 0, 30, 0, (335.9845 + 873.5597) / 2, 0.0833333 / 2, 0.416667};
    struct {
        double x, v, want;
    } cases[] = {
        {0, 0, 0},             // fully extended: the top-out ramp is 0
        {0, -5, 0},
        {-1.0 / 64, 0, 17.969},  // half way up the ramp
        {-0.5, -1, 456.804},     // air + (P + 0.5) K + 60 x 1
    };
    for (const auto& c : cases) EXPECT_NEAR(fork_force(spec, &f, c.x, c.v), c.want, 0.01) << c.x << " " << c.v;
    // At full compression with a 0.25 ft air gap the air spring is the figure above.
    f.air_gap = 0.25;
    EXPECT_NEAR(fork_force(spec, &f, -1, 0), 702.43 + (f.preload + 1) * f.spring_rate, 0.01);
}

TEST(SuspensionLinkage, KneeAndEndsHaveTheirValuesAndSlopes) {
    const bike_linkage_spec& l = bike_find("yz450f(2017)")->linkage;
    double x, g;
    struct {
        double f, x, slope;
    } points[] = {
        {0, 0, l.slope_zero},
        {l.knee_fraction, l.knee_compression, l.slope_knee},
        {1, l.full_compression, l.slope_full},
        {-0.5, 0, l.slope_zero},  // clamped
        {1.5, l.full_compression, l.slope_full},
    };
    for (const auto& p : points) {
        shock_linkage(&l, p.f, &x, &g);
        EXPECT_NEAR(x, p.x, 1e-6) << p.f;
        EXPECT_NEAR(g, p.slope, 1e-6) << p.f;
    }
    // Just past the knee the second piece starts where the first ended.
    shock_linkage(&l, l.knee_fraction + 1e-9, &x, &g);
    EXPECT_NEAR(x, l.knee_compression, 1e-6);
    EXPECT_NEAR(g, l.slope_knee, 1e-5);
    // The slope is the curve's derivative, and the curve rises all the way.
    double last = -1;
    for (double f = 0.005; f < 1; f += 0.01) {
        double x0, x1, xm, unused;
        shock_linkage(&l, f - 1e-6, &x0, &unused);
        shock_linkage(&l, f + 1e-6, &x1, &unused);
        shock_linkage(&l, f, &xm, &g);
        EXPECT_NEAR((x1 - x0) / 2e-6, g, 1e-4) << f;
        EXPECT_GT(xm, last);
        last = xm;
    }
}

TEST(SuspensionShock, TorqueFromTheLinkage) {
    const bike_spec* spec = bike_find("yz450f(2017)");
    bike_shock_settings k{1600, 0, 1300, 150, 3830, 0.1666665};
    double travel = spec->linkage.swingarm_travel;
    double speed = 1;
    EXPECT_EQ(shock_torque(spec, &k, 0, 0, &speed), 0);  // at rest: the ramp is 0
    EXPECT_EQ(speed, 0);
    // Full travel at rest: spring force at full compression through the end slope.
    double want = (spec->linkage.full_compression + k.preload) * k.spring_rate * spec->linkage.slope_full;
    EXPECT_NEAR(shock_torque(spec, &k, -travel, 0, &speed), want, 1e-6);
    // Extending at 2 rad/s the shaft moves at 2 x slope and the rebound damping pulls back.
    double slow = shock_torque(spec, &k, -travel, 2, &speed);
    EXPECT_NEAR(speed, 2 * spec->linkage.slope_full, 1e-9);
    double d = suspension_damping(speed, k.compression, k.slow_compression, k.rebound, k.slow_rebound);
    EXPECT_LT(d, 0);
    EXPECT_NEAR(slow, want + d * spec->linkage.slope_full, 1e-6);
}

class SuspensionBike : public DriveWorld {};

TEST_F(SuspensionBike, StepHandsTheForcesToTheMotors) {
    bike_state* b = make();
    pose(b, -0.5, -0.2);
    dJointID fork = b->joints[bike_joint_fork], pivot = b->joints[bike_joint_swingarm];
    ASSERT_NEAR(dJointGetSliderPosition(fork), -0.5, 1e-9);
    ASSERT_NEAR(dJointGetHingeAngle(pivot), -0.2, 1e-9);
    suspension_step(b);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), fork_force(&b->spec, &b->fork, -0.5, 0), 1e-6);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 100);
    EXPECT_NEAR(dJointGetHingeParam(pivot, dParamFMax), shock_torque(&b->spec, &b->shock, -0.2, 0, nullptr), 1e-6);
    EXPECT_EQ(dJointGetHingeParam(pivot, dParamVel), 100);

    // A fork extending fast near the top: the rebound damping outweighs the
    // springs, and the motor only brakes the motion.
    pose(b, -1.0 / 32, 0);
    double axis[3];
    bike_steering_axis(&b->spec, axis);
    dBodySetLinearVel(b->bodies[bike_body_fork_lower], -5 * axis[0], -5 * axis[1], -5 * axis[2]);
    ASSERT_NEAR(dJointGetSliderPositionRate(fork), 5, 1e-9);
    double f = fork_force(&b->spec, &b->fork, -1.0 / 32, 5);
    ASSERT_LT(f, 0);
    suspension_step(b);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 0);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), -f, 1e-6);

    // Stepping the world under those motors leaves nothing broken.
    step(16);
    EXPECT_TRUE(all_finite(b));
}

TEST_F(SuspensionBike, TelemetryAndZeroDamping) {
    bike_state* b = make();
    suspension_telemetry t;
    suspension_read(b, &t);
    EXPECT_EQ(t.fork_position, 0);
    EXPECT_EQ(t.fork_speed, 0);
    EXPECT_EQ(t.fork_share, 1);  // all low-speed damping at rest
    EXPECT_EQ(t.shock_position, 0);
    EXPECT_EQ(t.shock_share, 1);

    pose(b, -0.25, -b->spec.linkage.swingarm_travel / 2);
    suspension_read(b, &t);
    EXPECT_NEAR(t.fork_position, 0.25, 1e-9);
    EXPECT_NEAR(t.shock_position, 0.5, 1e-9);

    // A shock without any damping shows a share of 0, not 0/0.
    b->shock.compression = b->shock.slow_compression = b->shock.rebound = b->shock.slow_rebound = 0;
    suspension_read(b, &t);
    EXPECT_EQ(t.shock_share, 0);
    // A negative low-speed offset passes through a pole; the share stays within -1..1.
    EXPECT_EQ(suspension_low_speed_share(0.125, 1200, -150), 0);
    EXPECT_EQ(suspension_low_speed_share(0.1, 1200, -150), 1);  // -150 / -30
    EXPECT_EQ(suspension_low_speed_share(0.2, 1200, -150), -1);  // -150 / 90
    EXPECT_NEAR(suspension_low_speed_share(-1, 1200, 150), 150.0 / 1350, 1e-12);
}

TEST_F(SuspensionBike, SettingsClampAndMapFromTheSetup) {
    bike_state* b = make();
    const bike_spec& s = b->spec;
    const bike_fork_settings created = b->fork;
    const bike_shock_settings created_shock = b->shock;
    // The values at creation are the neutral fork settings with the oil at 0...
    suspension_set_fork(b, 1, 0, 1, 0, 0.5, 0.5, 0);
    EXPECT_NEAR(b->fork.compression, created.compression, 1e-9);
    EXPECT_NEAR(b->fork.rebound, created.rebound, 1e-9);
    EXPECT_NEAR(b->fork.spring_rate, created.spring_rate, 1e-3);
    EXPECT_NEAR(b->fork.preload, created.preload, 1e-9);
    EXPECT_NEAR(b->fork.air_gap, created.air_gap, 1e-9);
    // ... and a doubled shock with the full low-speed rebound.
    EXPECT_NEAR(created_shock.compression, 2 * s.shock_compression_base, 1e-9);
    EXPECT_NEAR(created_shock.rebound, 2 * s.shock_rebound_base, 1e-9);
    EXPECT_NEAR(created_shock.slow_rebound, s.shock_slow_rebound_range, 1e-9);
    EXPECT_EQ(created_shock.slow_compression, 0);

    // Clamps, and NaN as the neutral value.
    suspension_set_fork(b, 8, -3, 0.1, NAN, 2, -1, 1);
    EXPECT_NEAR(b->fork.compression, 4 * s.fork_compression_base, 1e-9);
    EXPECT_NEAR(b->fork.slow_compression, -s.fork_slow_compression_range, 1e-9);
    EXPECT_NEAR(b->fork.rebound, 0.25 * s.fork_rebound_base, 1e-9);
    EXPECT_EQ(b->fork.slow_rebound, 0);
    EXPECT_NEAR(b->fork.spring_rate, s.fork_spring_rate.most, 1e-3);
    EXPECT_NEAR(b->fork.preload, s.fork_preload.least, 1e-9);
    EXPECT_NEAR(b->fork.air_gap, 0.25, 1e-6);  // oil level full: the smallest air gap

    // The setup: 50 is the middle of every range and the base damping; the
    // shock's default 75 doubles its damping.
    bike_setup setup = g_setup_defaults;
    suspension_apply_setup(b, &setup);
    EXPECT_NEAR(b->fork.compression, s.fork_compression_base, 1e-9);
    EXPECT_NEAR(b->fork.slow_compression, 0, 1e-9);
    EXPECT_NEAR(b->fork.air_gap, (0.416667 + 0.25) / 2, 1e-6);
    EXPECT_NEAR(b->shock.compression, 2 * s.shock_compression_base, 1e-9);
    EXPECT_NEAR(b->shock.rebound, 2 * s.shock_rebound_base, 1e-9);
    EXPECT_NEAR(b->shock.spring_rate, ((double)s.shock_spring_rate.least + s.shock_spring_rate.most) / 2, 1e-3);
    setup.fork_compression_adjustment.value = 100;
    setup.fork_rebound_adjustment.value = 0;
    setup.shock_slow_rebound_adjustment.value = 0;
    setup.shock_preload_adjustment.value = 100;
    suspension_apply_setup(b, &setup);
    EXPECT_NEAR(b->fork.compression, 4 * s.fork_compression_base, 1e-9);
    EXPECT_NEAR(b->fork.rebound, 0.25 * s.fork_rebound_base, 1e-9);
    EXPECT_NEAR(b->shock.slow_rebound, -s.shock_slow_rebound_range, 1e-9);
    EXPECT_NEAR(b->shock.preload, s.shock_preload.most, 1e-9);
}

}  // namespace
