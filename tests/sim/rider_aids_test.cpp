// The rider's controls, the crash rules and the aids one step at a time:
// the clutch rate, sticky dab, reversed steering, the mechanic, the landing
// tolerance, knockouts, the fallen rider's wait, the feet and the realign.
#include <cstring>

#include "ride_fixture.h"
#include "sim/contact.h"

namespace ride_test {
namespace {

using RiderControls = RideTest;

void apply(bike_state* b, const controls& c) {
    float record[control_values] = {};
    for (size_t i = 0; i < c.size(); i++) record[i] = c[i];
    bike_apply_controls(b, record);
}

TEST_F(RiderControls, ClutchEngagesOverThirtyTwoTicksAndOpensAtOnce) {
    begin("testflat");
    bike_state* b = bike();
    apply(b, {0, 0, 0, 0, 0, 1});
    EXPECT_EQ(b->controls.clutch, 0) << "pulled in: open at once";
    for (int t = 1; t <= 32; t++) {
        apply(b, {});
        if (t < 32) {
            ASSERT_LT(b->controls.clutch, 1) << t;
        }
        EXPECT_NEAR(b->controls.clutch, t / 32.0, 1e-12) << t;
    }
    EXPECT_EQ(b->controls.clutch, 1);
    // Half way in drops straight to what the lever asks for; 7/8 and more is fully open.
    apply(b, {0, 0, 0, 0, 0, 0.5f});
    EXPECT_NEAR(b->controls.clutch, 1 - 0.5 * 8 / 7, 1e-7);
    EXPECT_EQ(rider_clutch_target(0.875), 0);
    EXPECT_EQ(rider_clutch_target(NAN), 1);
}

TEST_F(RiderControls, StickyDabTogglesOnEachPress) {
    const float presses[] = {0, 1, 1, 1, 0, 0, 1, 0.4f, 0.6f, 0};
    const double sticky[] = {0, 1, 1, 1, 1, 1, 0, 0, 1, 1};
    for (const char* setting : {"No", "Yes"}) {
        SCOPED_TRACE(setting);
        begin("testflat", {{"sticky_dab", setting}});
        bike_state* b = bike();
        for (size_t i = 0; i < sizeof presses / sizeof presses[0]; i++) {
            apply(b, {0, 0, 0, 0, 0, 0, presses[i]});
            double expected = strcmp(setting, "Yes") == 0 ? sticky[i] : presses[i];
            EXPECT_NEAR(b->controls.dab, expected, 1e-7) << "press " << i;
        }
    }
}

TEST_F(RiderControls, RecordIsClampedReversedAndCutWhileDown) {
    begin("testflat");
    bike_state* b = bike();
    apply(b, {0.5f, 2, -1, NAN, 0, 0, 0, INFINITY, -3});
    EXPECT_EQ(b->controls.steer, -0.5) << "reversed steering";
    EXPECT_EQ(b->controls.throttle, 1);
    EXPECT_EQ(b->controls.front_brake, 0);
    EXPECT_EQ(b->controls.rear_brake, 0) << "not a number counts as 0";
    EXPECT_EQ(b->controls.back_up, 0);
    EXPECT_EQ(b->controls.lean, -1);
    apply(b, {0, 0, 0, 0, 1});
    EXPECT_EQ(b->controls.gear, 1) << "shifted up";
    apply(b, {0, 0, 0, 0, 1});
    EXPECT_EQ(b->controls.gear, 1) << "holding the lever shifts once";

    bike_crash(b, &g_terrain);
    apply(b, {0.5f, 1, 1, 1, -1, 0, 1, 1, 1});
    EXPECT_EQ(b->controls.throttle, 0);
    EXPECT_EQ(b->controls.dab, 0);
    EXPECT_EQ(b->controls.back_up, 0);
    EXPECT_EQ(b->controls.lean, 0);
    EXPECT_EQ(b->controls.front_brake, 1) << "the brakes still work";
    EXPECT_EQ(b->controls.gear, 1) << "no shifting while down";
}

TEST_F(RiderControls, MechanicRefusesARollingBikeAndSaysSoTheSecondTime) {
    begin("testflat");
    bike_state* b = bike();
    double frame_mass = b->total_mass;
    EXPECT_EQ(b->arcade, bike_arcade_physics) << "the default setup was applied at the start";
    EXPECT_NEAR(b->stability.max_dab_speed, 60 * 1.4666667, 1e-9);

    ASSERT_TRUE(setup_read_line("arcade", "No"));
    ASSERT_TRUE(setup_read_line("max_dab_speed", "20"));
    ASSERT_TRUE(setup_read_line("rider_yspring", "80"));
    ASSERT_TRUE(setup_read_line("rider_mass_distribution", "0.5"));
    dBodySetLinearVel(b->bodies[bike_body_frame], 0, 0, -1);  // rolling at 1 ft/s

    int lines = g_messages.next;
    g_race.game_clock = 100;
    EXPECT_FALSE(mechanic_apply(b, &g_setup));
    EXPECT_EQ(g_messages.next, lines) << "the first refusal is silent";
    g_race.game_clock = 105;
    EXPECT_FALSE(mechanic_apply(b, &g_setup));
    ASSERT_EQ(g_messages.next, lines + 1);
    EXPECT_STREQ(g_messages.lines[lines], "Settings not applied.  Mechanic can't keep up error.\n");
    g_race.game_clock = 116;
    EXPECT_FALSE(mechanic_apply(b, &g_setup));
    EXPECT_EQ(g_messages.next, lines + 1) << "11 s after the last refusal";
    EXPECT_EQ(b->arcade, bike_arcade_physics) << "nothing was applied";
    EXPECT_EQ(b->total_mass, frame_mass);

    dBodySetLinearVel(b->bodies[bike_body_frame], 0, 0, -0.1);
    EXPECT_TRUE(mechanic_apply(b, &g_setup));
    EXPECT_EQ(b->arcade, 0);
    EXPECT_NEAR(b->stability.max_dab_speed, 20 * 1.4666667, 1e-9);
    EXPECT_NEAR(b->rider.vertical_spring, 0.8, 1e-12);
    EXPECT_NEAR(b->rider.mass_distribution, 0.5, 1e-12);
    dMass rider;
    dBodyGetMass(b->bodies[bike_body_rider], &rider);
    EXPECT_NEAR(rider.mass, 0.5 * b->spec.rider_mass, 1e-6);

    // A race server that forbids arcade physics keeps it off.
    ASSERT_TRUE(setup_read_line("arcade", "Yes"));
    g_arcade_forbidden = true;
    EXPECT_TRUE(mechanic_apply(b, &g_setup));
    EXPECT_EQ(b->arcade, 0);
}

TEST(RiderCrashRules, LandingToleranceAfterALongFall) {
    // The thresholds are lowered (tolerance 1) for 0.25 s after landing a
    // fall of 0.685 s or more and are back (1.5) by 0.375 s.
    struct when {
        double fall, since;  // seconds
        double tolerance;
    } cases[] = {
        {0.7, 0, 1},      {0.7, 0.25, 1},   {0.7, 0.3125, 1.25}, {0.7, 0.375, 1.5}, {0.7, 2, 1.5},
        {0.5, 0, 1.5},    {0.625, 0, 1.238}, {3, 0.1, 1},
    };
    for (const when& c : cases) {
        int fall = 1000, landing = fall + (int)std::lround(c.fall * ticks_per_second);
        int now = landing + (int)std::lround(c.since * ticks_per_second);
        EXPECT_NEAR(rider_crash_tolerance(fall, landing, now), c.tolerance, 0.01) << c.fall << " s fall, " << c.since
                                                                                   << " s after";
    }
    // Still in the air: the last landing is older than the fall.
    EXPECT_EQ(rider_crash_tolerance(2000, 1000, 2100), 1.5);
}

TEST_F(RiderControls, KnockoutAddsToTheTimeDownAndIsClamped) {
    begin("testflat");
    bike_state* b = bike();
    EXPECT_TRUE(rider_set_knockout(0, 100));
    EXPECT_TRUE(rider_set_knockout(1, -5));
    EXPECT_TRUE(rider_set_knockout(15, 1000000000));
    EXPECT_FALSE(rider_set_knockout(16, 1));
    EXPECT_FALSE(rider_set_knockout(-1, 1));
    EXPECT_EQ(rider_knockout(1), 0);
    EXPECT_EQ(rider_knockout(40), rider_knockout_max) << "beyond the 16th crash the last entry";

    bike_crash(b, &g_terrain);
    EXPECT_EQ(b->crash_timer, rider_crash_ticks + 100);
    EXPECT_EQ(b->crash_count, 1);
    int timer = b->crash_timer;
    bike_crash(b, &g_terrain);
    EXPECT_EQ(b->crash_timer, timer) << "a rider who is down cannot crash again";
    EXPECT_EQ(b->crash_count, 1);
}

TEST_F(RiderControls, ContactRulesCrashTheRiderThroughTheStep) {
    begin("testflat");
    bike_state* b = bike();
    b->crash_requested = true;
    hold({}, 1);
    EXPECT_EQ(b->crash_count, 1);
    EXPECT_FALSE(b->crash_requested);
    EXPECT_FALSE(bike_rider_attached(b));
}

// The fallen rider waits while his body moves against the bike, not over
// the ground, and gives up waiting after 10 s.
TEST_F(RiderControls, FallenRiderWaitsForHisBodyToRestAgainstTheBike) {
    begin("testflat");
    bike_state* b = bike();
    bike_crash(b, &g_terrain);
    dBodyID frame = b->bodies[bike_body_frame], rider = b->bodies[bike_body_rider];
    auto step = [&](double rider_against_bike) {
        // The whole bike slides along at 20 ft/s; the rider's body moves
        // across it as asked.
        for (dBodyID body : b->bodies) dBodySetLinearVel(body, 0, 0, -20);
        for (dBodyID body : b->bodies) dBodySetAngularVel(body, 0, 0, 0);
        dBodySetLinearVel(rider, rider_against_bike, 0, -20);
        rider_step(b, &g_terrain);
        dJointGroupEmpty(g_contact_group);
    };
    int timer = b->crash_timer;
    step(0);
    EXPECT_EQ(b->crash_timer, timer - 1) << "sliding with the bike counts as lying still";
    timer = b->crash_timer;
    for (int t = 0; t < rider_wait_limit; t++) step(3);
    EXPECT_EQ(b->crash_timer, timer) << "moving against the bike: the timer waits";
    step(3);
    EXPECT_EQ(b->crash_timer, timer - 1) << "after 10 s he gets up anyway";
    (void)frame;
}

TEST_F(RiderControls, FootParticlesMoveOncePerStep) {
    begin("testflat", simulation);
    bike_state* b = bike();
    hold({0, 1}, ticks_per_second);  // rolling with the throttle open: no dab
    b->controls.dab_progress = 0.5;
    hold({0, 1}, 1);
    EXPECT_NEAR(b->controls.dab_progress, 0.5 - 4 * tick_length, 1e-12);
    // Riding, the particles sit on the feet.
    double feet[2][3], weights[2];
    rider_foot_positions(b, &g_terrain, feet, weights);
    for (int i = 0; i < 2; i++)
        for (int k = 0; k < 3; k++) EXPECT_NEAR(b->feet[i].position[k], feet[i][k], 1e-9);
}

TEST_F(RiderControls, FeetGoDownOnTheSideTheBikeLeansTo) {
    begin("testflat", simulation);
    bike_state* b = bike();
    hold({}, ticks_per_second / 2);
    b->controls.dab_progress = 1;
    struct side {
        double lean;  // rad, positive to the left
        bool left_down, right_down;
    } cases[] = {{0, true, true}, {0.4, true, false}, {-0.4, false, true}};
    const dReal* p = position(b);
    for (const side& c : cases) {
        SCOPED_TRACE(c.lean);
        const double z_axis[3] = {0, 0, 1}, none[3] = {0, 0, 0};
        // Lean the bike about its frame (a roll about +z leans it left).
        const double to_origin[3] = {-p[0], -p[1], -p[2]};
        double back[3] = {p[0], p[1], p[2]};
        bike_translate(b, to_origin);
        bike_place(b, z_axis, c.lean, none);
        bike_translate(b, back);
        double feet[2][3], weights[2];
        rider_foot_positions(b, &g_terrain, feet, weights);
        EXPECT_EQ(weights[0] > 0, c.left_down);
        EXPECT_EQ(weights[1] > 0, c.right_down);
        for (int i = 0; i < 2; i++)
            if (weights[i] > 0) {
                EXPECT_NEAR(feet[i][1], 0.125, 1e-6) << "on the ground";
            }
        EXPECT_LT(feet[0][0], feet[1][0]) << "the left foot is on the left";
        bike_translate(b, to_origin);
        bike_place(b, z_axis, -c.lean, none);
        bike_translate(b, back);
    }
}

// A bike lying on its side is turned towards its realign target; while the
// target is behind it, its weight is taken off the wheels on the ground,
// shared between them.
bool target_behind_to_the_right(const bike_state* b, double target[3]) {
    const dReal* p = dBodyGetPosition(b->bodies[bike_body_frame]);
    target[0] = p[0] + 10;
    target[1] = p[1];
    target[2] = p[2] + 20;
    return true;
}

TEST_F(RiderControls, RealignLiftsTheBikeByItsWeightSharedByItsWheels) {
    begin("testflat", simulation);
    bike_state* b = bike();
    g_realign_target = target_behind_to_the_right;
    // Laid down 45 degrees to the right onto both tyres.
    const dReal* p = position(b);
    double back[3] = {p[0], 0, p[2]};
    const double to_origin[3] = {-p[0], 0, -p[2]}, z_axis[3] = {0, 0, 1}, none[3] = {0, 0, 0};
    bike_translate(b, to_origin);
    bike_place(b, z_axis, -pi / 4, none);
    bike_translate(b, back);
    for (int round = 0; round < 2000; round++) {
        bool front = contact_wheel_query(b, bike_wheel_front, &g_terrain);
        bool rear = contact_wheel_query(b, bike_wheel_rear, &g_terrain);
        if (front && rear) break;
        const double down[3] = {0, -1.0 / 256, 0};
        bike_translate(b, down);
    }
    ASSERT_GT(b->wheels[0].depth, 0);
    ASSERT_GT(b->wheels[1].depth, 0);
    ASSERT_NEAR(lean(b), -pi / 4, 1e-6);

    struct touching {
        bool front, rear;
    } cases[] = {{true, true}, {true, false}};
    for (const touching& c : cases) {
        if (!c.rear) b->wheels[bike_wheel_rear].depth = 0;
        for (dBodyID body : b->bodies) dBodySetForce(body, 0, 0, 0);
        rider_step(b, &g_terrain);
        int on_ground = c.front + c.rear;
        const dReal* ff = dBodyGetForce(b->wheels[bike_wheel_front].body);
        const dReal* fr = dBodyGetForce(b->wheels[bike_wheel_rear].body);
        EXPECT_NEAR(ff[1], 32 * b->total_mass / on_ground, 1e-6);
        EXPECT_NEAR(fr[1], c.rear ? 32 * b->total_mass / on_ground : 0, 1e-6);
        // The bike turns to the right, towards the target.
        physics_world_step(tick_length);
        EXPECT_LT(dBodyGetAngularVel(b->bodies[bike_body_frame])[1], 0);
    }
}

}  // namespace
}  // namespace ride_test
