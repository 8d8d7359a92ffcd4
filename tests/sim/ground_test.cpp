// Tests of the ground deformation: the ramps of the erosion parameters, which
// pushes are sampled, how a sample digs and piles once the bike is far
// enough away, the ring's limits, and a skidding bike leaving a rut on
// "testflat" through the game tick.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ground_fixture.h"
#include "sim/bike.h"
#include "sim/ground.h"
#include "track/terrain.h"

namespace {

using namespace ground_test;

TEST(DeformRamps, SpeedAndDisplacementRampsWithStepsForEqualEnds) {
    tile_erosion e = {1, 50, 150, 2, 4, 0.25f, 10, 15};
    struct Case {
        double value, speed_ramp, displacement;
    } cases[] = {
        {0, 0, 0},       {10, 0, 0},   {12.5, 0.5, 0}, {15, 1, 0},   {50, 1, 0},
        {100, 1, 1},     {150, 1, 2},  {1000, 1, 2},   {-5, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(deform_speed_ramp(&e, c.value), c.speed_ramp) << c.value;
        EXPECT_DOUBLE_EQ(deform_displacement(&e, c.value), c.displacement) << c.value;
    }
    // Equal ends: a step at that value, not a division by zero.
    e.erode_on_speed = e.erode_off_speed = 10;
    e.erode_upper = e.erode_lower = 50;
    EXPECT_EQ(deform_speed_ramp(&e, 9.99), 0);
    EXPECT_EQ(deform_speed_ramp(&e, 10), 1);
    EXPECT_EQ(deform_displacement(&e, 49.9), 0);
    EXPECT_EQ(deform_displacement(&e, 50), 2);
}

// A bike over a small flat field of its own, with its wheel records set by
// hand.
struct Deform : GroundWorld {
    terrain field = {};
    bike_state* b = nullptr;

    void SetUp() override {
        GroundWorld::SetUp();
        make_field(&field, 3, 1.0f);  // 17 x 17 samples, 1 ft apart
        b = make();
        ASSERT_NE(b, nullptr);
        for (bike_wheel& w : b->wheels) w.depth = 0;
        frame_at(100, 100);
    }
    void TearDown() override {
        terrain_free(&field);
        GroundWorld::TearDown();
    }
    tile_erosion& erosion() { return field.tiles.tiles[0].erosion; }
    float height(int i, int j) { return field.heights[i + j * field.size]; }
    void frame_at(double x, double z) { dBodySetPosition(b->bodies[bike_body_frame], x, 1, z); }

    // The wheel touching at (x, z), moving at `speed`, pushed by the ground with `force`.
    void push(int wheel, double x, double z, double speed, v3 force) {
        bike_wheel& w = b->wheels[wheel];
        w.depth = 0.1;
        w.contact_point[0] = x;
        w.contact_point[1] = 0;
        w.contact_point[2] = z;
        dBodySetLinearVel(w.body, 0, 0, -speed);
        w.contact_feedback.f1[0] = force.x;
        w.contact_feedback.f1[1] = force.y;
        w.contact_feedback.f1[2] = force.z;
    }
    // A sample queued by hand.
    void queue(float x, float z, float fx, float fz) {
        b->deform_ring[b->deform_write] = bike_deform_sample{x, z, fx, fz};
        b->deform_write = (b->deform_write + 1) % bike_deform_ring_size;
    }
};

TEST_F(Deform, OnlyHardPushesOfAMovingWheelAreSampled) {
    // Default erosion: lower 50 lbf, wheel speeds 10 to 15 ft/s.
    struct Case {
        const char* name;
        double speed;
        v3 force;
        bool kept;
        float fx, fz;  // the sample's push
    } cases[] = {
        {"fast, 60 lbf", 20, {60, 300, 0}, true, 60, 0},
        {"fast, exactly 50 lbf", 20, {30, 300, 40}, false, 0, 0},
        {"half way up the speed ramp, 120 lbf", 12.5, {0, 300, -120}, true, 0, -60},
        {"half way up the speed ramp, 90 lbf", 12.5, {90, 300, 0}, false, 0, 0},
        {"too slow", 9, {500, 300, 500}, false, 0, 0},
        {"pressed straight down", 20, {0, 5000, 0}, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        b->deform_read = b->deform_write = 0;
        push(bike_wheel_rear, 3, 4, c.speed, c.force);
        deform_record(b, &field);
        ASSERT_EQ(deform_pending(b), c.kept ? 1 : 0);
        if (!c.kept) continue;
        const bike_deform_sample& s = b->deform_ring[0];
        EXPECT_EQ(s.x, 3.0f);
        EXPECT_EQ(s.z, 4.0f);
        EXPECT_FLOAT_EQ(s.force_x, c.fx);
        EXPECT_FLOAT_EQ(s.force_z, c.fz);
    }
    // Without a lower limit a push must still be more than 1/32 lbf.
    erosion().erode_lower = 0;
    b->deform_read = b->deform_write = 0;
    push(bike_wheel_rear, 3, 4, 20, {0.03, 0, 0});
    deform_record(b, &field);
    EXPECT_EQ(deform_pending(b), 0);
    push(bike_wheel_rear, 3, 4, 20, {0.04, 0, 0});
    deform_record(b, &field);
    EXPECT_EQ(deform_pending(b), 1);
}

TEST_F(Deform, NothingHappensWithoutErosion) {
    push(bike_wheel_front, 5, 5, 30, {0, 300, 400});
    queue(8, 8, -100, 0);
    deform_step(b, &field, 0);
    EXPECT_EQ(deform_pending(b), 1);  // neither recorded nor dug
    for (int k = 0; k < field.size * field.size; k++) ASSERT_EQ(field.heights[k], 0.0f);
    EXPECT_EQ(field.change_counter, 1);
}

TEST_F(Deform, SamplesAreDugOnceTheBikeHasMovedOn) {
    // Radius 1 cell: a dig or a pile changes its own grid point only.
    const double a = 100.0 / 2048;  // erosion 100, depth 1
    struct Case {
        const char* name;
        tile_erosion e;
        float pile_height;  // the ground at the pile point before
        double frame_distance;
        float dig, pile;  // height change at the sample and at the pile point
        int taken;
    } cases[] = {
        {"digs here, piles 1 ft on", {1, 50, 150, 2, 1, 0.25f, 10, 15}, 0, 20, (float)-a, (float)a, 1},
        {"bike still within 10 ft", {1, 50, 150, 2, 1, 0.25f, 10, 15}, 0, 9.9, 0, 0, 0},
        {"pile point slightly uphill", {1, 50, 150, 2, 1, 0.25f, 10, 15}, 0.2f, 20, (float)-a, (float)a, 1},
        {"pile point too far uphill", {1, 50, 150, 2, 1, 0.25f, 10, 15}, 0.3f, 20, 0, 0, 1},
        {"equal lower and upper", {1, 100, 100, 1, 1, 0.25f, 10, 15}, 0, 20, (float)-a, (float)a, 1},
        {"twice as deep", {2, 50, 150, 2, 1, 0.25f, 10, 15}, 0, 20, (float)(-2 * a), (float)(2 * a), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int k = 0; k < field.size * field.size; k++) field.heights[k] = 0;
        field.heights[9 + 8 * field.size] = c.pile_height;
        erosion() = c.e;
        b->deform_read = b->deform_write = 0;
        // The ground pushed the wheel towards -x with 100 lbf: the dirt goes
        // towards +x, 1 ft (half way from 50 to 150 lbf of 2 ft).
        queue(8, 8, -100, 0);
        frame_at(8, 8 + c.frame_distance);
        EXPECT_EQ(deform_apply(b, &field, 100), c.taken);
        EXPECT_FLOAT_EQ(height(8, 8), c.dig);
        EXPECT_FLOAT_EQ(height(9, 8), c.pile_height + c.pile);
        EXPECT_EQ(height(7, 8), 0.0f);
        EXPECT_EQ(height(8, 9), 0.0f);
    }
}

TEST_F(Deform, AtMostFourSamplesATickAndAFullRingDropsNewOnes) {
    erosion().erode_radius = 1;
    for (int k = 0; k < 10; k++) queue(1.0f + k, 2, 0, 200);
    frame_at(100, 100);
    EXPECT_EQ(deform_apply(b, &field, 50), 4);
    EXPECT_EQ(deform_pending(b), 6);
    EXPECT_EQ(deform_apply(b, &field, 50), 4);
    EXPECT_EQ(deform_apply(b, &field, 50), 2);
    EXPECT_EQ(deform_pending(b), 0);
    EXPECT_LT(height(1, 2), 0.0f);  // dug, piled 2 ft towards -z
    EXPECT_GT(height(1, 0), 0.0f);

    // 1023 samples fill the ring; the next is dropped.
    b->deform_read = b->deform_write = 0;
    for (int k = 0; k < bike_deform_ring_size - 1; k++) queue(3, 3, 100, 0);
    EXPECT_EQ(deform_pending(b), bike_deform_ring_size - 1);
    push(bike_wheel_front, 5, 5, 30, {300, 300, 0});
    deform_record(b, &field);
    EXPECT_EQ(deform_pending(b), bike_deform_ring_size - 1);
    EXPECT_EQ(b->deform_write, bike_deform_ring_size - 1);
}

// A bike skidding on its locked rear wheel through the game tick: the rear
// tyre pushes hard against the ground, and once the bike has gone on, the
// ground behind it is dug out and piled up further along.
struct Skid : GroundWorld {
    std::vector<float> before;
    bike_state* b = nullptr;

    void skid(double erosion) {
        load("@testflat");
        g_settings.erosion = erosion;
        b = make();
        ASSERT_NE(b, nullptr);
        place(b, &g_terrain, 128, 220);
        run(ticks_per_second / 2);  // settle on the tyres
        before.assign(g_terrain.heights, g_terrain.heights + g_terrain.size * g_terrain.size);
        b->controls.rear_brake = 1;  // the rear brake on hard enough to lock the wheel
        launch(b, {0, 0, -30});
        run(4 * ticks_per_second);
    }
    double change(int i, int j) const { return g_terrain.heights[i + j * g_terrain.size] - before[i + j * g_terrain.size]; }
};

TEST_F(Skid, SkiddingBikeLeavesARutBehindIt) {
    skid(100);
    ASSERT_TRUE(finite_bike(b));
    v3 stop = frame_position(b);
    const dReal* v = dBodyGetLinearVel(b->bodies[bike_body_frame]);
    EXPECT_LT(std::fabs(v[2]), 0.5);  // it has come to a stop
    EXPECT_LT(stop.z, 200);           // well away from where it started
    EXPECT_NEAR(stop.x, 128, 0.01);   // straight on

    // Along the skid, behind the bike: dug in places, piled in others.
    double deepest = 0, highest = 0, total = 0, moved = 0;
    for (int j = (int)stop.z + 10; j <= 222; j++)
        for (int i = 120; i <= 136; i++) {
            double d = change(i, j);
            deepest = std::fmin(deepest, d);
            highest = std::fmax(highest, d);
        }
    for (int k = 0; k < g_terrain.size * g_terrain.size; k++) {
        total += g_terrain.heights[k] - before[k];
        moved += std::fabs(g_terrain.heights[k] - before[k]);
    }
    EXPECT_LT(deepest, -0.02);
    EXPECT_GT(highest, 0.02);
    EXPECT_NEAR(total, 0, 1e-3 * moved);  // dirt is moved, not made or lost
    // Far to the side, and under the bike where it stopped, the ground is as it was.
    for (int j = 0; j < g_terrain.size; j++) EXPECT_EQ(change(110, j), 0) << j;
    for (const bike_wheel& w : b->wheels)
        EXPECT_EQ(change((int)std::lround(w.contact_point[0]), (int)std::lround(w.contact_point[2])), 0);
    EXPECT_GT(deform_pending(b), 0);  // the last samples wait for the bike to move on
    EXPECT_GT(g_terrain.change_counter, 1);
}

TEST_F(Skid, NoRutWithoutErosion) {
    skid(0);
    v3 stop = frame_position(b);
    EXPECT_LT(stop.z, 200);  // the same skid
    for (int k = 0; k < g_terrain.size * g_terrain.size; k++) ASSERT_EQ(g_terrain.heights[k], before[k]) << k;
    EXPECT_EQ(deform_pending(b), 0);
    EXPECT_EQ(g_terrain.change_counter, 1);
}

}  // namespace
