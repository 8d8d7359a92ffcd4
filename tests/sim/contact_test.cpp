// Tests of the wheel-ground contact: the tyre's softness, the torus and
// sphere tests on hand-made fields (faces, edges, corners, against a brute
// force search of the surface), friction direction and rolling resistance,
// the contact rules of the other bodies, and whole bikes on the generated
// test tracks through the game tick.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "dwtool/commands.h"
#include "files/config.h"
#include "ground_fixture.h"
#include "sim/bike.h"
#include "sim/contact.h"
#include "sim/rider.h"
#include "sim/steering.h"
#include "track/terrain.h"

namespace {

using namespace ground_test;

constexpr double R = 0.8333333;  // ring and section radius of a front tyre
constexpr double r = 0.3333333;

// Distance from p to the core circle (centre c, unit axle a, radius R), and
// the circle point nearest to it.
double circle_distance(v3 p, v3 c, v3 a, double radius, v3* nearest) {
    v3 d = p - c;
    v3 radial = d - a * dot(d, a);
    double rho = len(radial);
    *nearest = c + radial * (radius / rho);
    return len(p - *nearest);
}

v3 unit(v3 a) { return a * (1 / len(a)); }

struct Field : ::testing::Test {
    terrain t = {};
    void TearDown() override { terrain_free(&t); }
    void set(int i, int j, float h) { t.heights[i + j * t.size] = h; }

    ground_hit torus(v3 c, v3 axle, bool* touched = nullptr) {
        ground_hit hit;
        double centre[3] = {c.x, c.y, c.z}, a[3] = {axle.x, axle.y, axle.z};
        bool got = contact_torus_ground(&t, centre, a, R, r, &hit);
        if (touched) *touched = got;
        EXPECT_EQ(got, hit.depth > 0);
        return hit;
    }
};

// --- Tyre softness ---------------------------------------------------------------------------------------

TEST(TyreSoftness, StiffnessGrowsWithTheCubeOfTheSquash) {
    struct Case {
        double depth, k, c;
    } cases[] = {
        {0.05, 1081, 207.7625},            // q = 0.15
        {r, 25000, 2500},                  // fully squashed
        {1.0, 25000, 2500},                // beyond the section: no stiffer
        {r / 2, 1000 + 24000 / 8.0, 200 + 2300 / 8.0},
        {0, 1000, 200},
        {-0.1, 1000, 200},
        {std::nan(""), 1000, 200},
    };
    for (const Case& c : cases) {
        double k, d;
        contact_tyre_softness(c.depth, r, &k, &d);
        EXPECT_NEAR(k, c.k, 1e-3) << c.depth;
        EXPECT_NEAR(d, c.c, 1e-3) << c.depth;
    }
    // As a spring and damper over one tick.
    double erp, cfm;
    contact_soft_parameters(1081, 207.7625, &erp, &cfm);
    double hk = 1081.0 / 128;
    EXPECT_NEAR(erp, hk / (hk + 207.7625), 1e-12);
    EXPECT_NEAR(cfm, 1 / (hk + 207.7625), 1e-12);
}

// --- Torus against the ground -------------------------------------------------------------------------

TEST_F(Field, TorusOnFlatGroundTouchesBelowItsLowestPoint) {
    make_field(&t, 2, 2.0f, 0.5f);
    struct Case {
        const char* name;
        v3 centre, axle;
    } cases[] = {
        {"upright in a cell", {5.3, 1.2, 6.7}, {1, 0, 0}},
        {"upright over a diagonal", {5, 1.2, 5}, {1, 0, 0}},
        {"upright over a grid point", {4, 1.2, 4}, {0, 0, 1}},
        {"leaned 30 degrees", {7.1, 1.0, 8.2}, {std::cos(pi / 6), std::sin(pi / 6), 0}},
        {"leaned and turned", {9.4, 0.9, 3.3}, unit({0.5, 0.6, -0.7})},
        {"lying flat", {6.2, 0.7, 6.9}, {0, 1, 0}},
        {"beyond the field", {-20, 1.2, 40}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        v3 a = unit(c.axle);
        double low = c.centre.y - R * std::sqrt(1 - a.y * a.y);  // the core circle's lowest point
        bool touched;
        ground_hit hit = torus(c.centre, c.axle, &touched);
        ASSERT_TRUE(touched);
        EXPECT_NEAR(hit.depth, r - (low - 0.5), 1e-9);
        EXPECT_NEAR(hit.point[1], 0.5, 1e-9);
        EXPECT_NEAR(hit.normal[0], 0, 1e-9);
        EXPECT_NEAR(hit.normal[1], 1, 1e-9);
        EXPECT_NEAR(hit.normal[2], 0, 1e-9);
        if (a.y < 0.99) {  // below the lowest point
            v3 below = c.centre + unit(v3{0, -1, 0} - a * (-a.y)) * R;
            EXPECT_NEAR(hit.point[0], below.x, 1e-9);
            EXPECT_NEAR(hit.point[2], below.z, 1e-9);
        }
    }
    // Just clear of the ground, or far above it: nothing.
    bool touched;
    ground_hit hit = torus({5, 0.5 + R + r + 0.001, 5}, {1, 0, 0}, &touched);
    EXPECT_FALSE(touched);
    EXPECT_EQ(hit.depth, 0);
    torus({5, 50, 5}, {1, 0, 0}, &touched);
    EXPECT_FALSE(touched);
}

TEST_F(Field, TorusAgainstARidgeTouchesTheEdge) {
    // A ridge along x at z = 8, 2 ft high, with 45 degree faces either side.
    make_field(&t, 2, 2.0f);
    for (int i = 0; i < t.size; i++) set(i, 4, 2);
    // The wheel rolls along z towards the ridge, its circle in the plane
    // x = 8 (through a grid point of the ridge) or x = 9 (halfway along an
    // edge); its tyre leans on the ridge from the +z side.
    for (double x : {8.0, 9.0}) {
        SCOPED_TRACE(x);
        v3 c{x, 2.9, 8.5};
        bool touched;
        ground_hit hit = torus(c, {1, 0, 0}, &touched);
        ASSERT_TRUE(touched);
        double rho = std::sqrt(0.9 * 0.9 + 0.5 * 0.5);
        EXPECT_NEAR(hit.depth, r - (rho - R), 1e-7);
        EXPECT_NEAR(hit.point[0], x, 1e-5);
        EXPECT_NEAR(hit.point[1], 2, 1e-7);
        EXPECT_NEAR(hit.point[2], 8, 1e-7);
        // From the ridge towards the core circle: up and back, neither face's normal.
        EXPECT_NEAR(hit.normal[0], 0, 1e-5);
        EXPECT_NEAR(hit.normal[1], 0.9 / rho, 1e-6);
        EXPECT_NEAR(hit.normal[2], 0.5 / rho, 1e-6);
    }
}

TEST_F(Field, TorusAgainstAPeakTouchesTheCorner) {
    // One raised grid point, 3 ft over its neighbours 2 ft away.
    make_field(&t, 2, 2.0f);
    set(4, 4, 3);
    v3 peak{8, 3, 8};
    struct Case {
        const char* name;
        v3 centre, axle;
    } cases[] = {
        {"beside the wheel's plane", {8.08, 3.9, 8.15}, {1, 0, 0}},
        {"wheel across", {8.1, 3.9, 8.05}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool touched;
        ground_hit hit = torus(c.centre, c.axle, &touched);
        ASSERT_TRUE(touched);
        v3 q;
        double d = circle_distance(peak, c.centre, unit(c.axle), R, &q);
        EXPECT_NEAR(hit.depth, r - d, 1e-9);
        EXPECT_NEAR(len(of(hit.point) - peak), 0, 1e-9);
        v3 n = unit(q - peak);
        EXPECT_NEAR(hit.normal[0], n.x, 1e-9);
        EXPECT_NEAR(hit.normal[1], n.y, 1e-9);
        EXPECT_NEAR(hit.normal[2], n.z, 1e-9);
    }
}

// The deepest point of a bumpy field under many wheel poses, against a
// search of the surface on a fine grid (the deepest point has the least
// distance from the core circle).
TEST_F(Field, TorusFindsTheDeepestPointOfABumpyField) {
    make_field(&t, 2, 1.5f);
    random_seed(7);
    for (int k = 0; k < t.size * t.size; k++) t.heights[k] = (float)(random_unit() * 1.2);
    int touching = 0;
    for (int pose = 0; pose < 100; pose++) {
        SCOPED_TRACE(pose);
        v3 c{3 + random_unit() * 6, 0, 3 + random_unit() * 6};
        c.y = terrain_height(&t, (float)c.x, (float)c.z) + 0.3 + random_unit() * 0.9;
        v3 a = unit({random_unit() - 0.5, (random_unit() - 0.5) * 0.6, random_unit() - 0.5});
        // Coarse, then fine around the best.
        double best = 1e30, bx = 0, bz = 0;
        auto search = [&](double x0, double z0, double half, double step) {
            for (double x = x0 - half; x <= x0 + half; x += step)
                for (double z = z0 - half; z <= z0 + half; z += step) {
                    v3 p{x, terrain_height(&t, (float)x, (float)z), z}, q;
                    double d = circle_distance(p, c, a, R, &q);
                    if (d < best) best = d, bx = x, bz = z;
                }
        };
        search(c.x, c.z, R + r, 0.01);
        search(bx, bz, 0.02, 0.0005);
        bool touched;
        ground_hit hit = torus(c, a, &touched);
        if (best < 0.02) continue;  // the core circle runs through the ground: depth beyond the tube
        if (best > r + 0.002) {
            EXPECT_FALSE(touched) << hit.depth;
            continue;
        }
        if (best > r - 0.002) continue;  // grazing: either answer is right
        ASSERT_TRUE(touched) << best;
        touching++;
        EXPECT_NEAR(hit.depth, r - best, 0.002);
        // The point lies on the ground, its depth and normal agree with it.
        v3 p = of(hit.point), q;
        EXPECT_NEAR(p.y, terrain_height(&t, (float)p.x, (float)p.z), 1e-4);
        double d = circle_distance(p, c, a, R, &q);
        EXPECT_NEAR(hit.depth, r - d, 1e-9);
        v3 n = unit(q - p);
        EXPECT_NEAR(dot(n, of(hit.normal)), 1, 1e-9);
    }
    EXPECT_GT(touching, 30);  // the poses did test contacts
}

TEST_F(Field, CoreCircleBelowAFaceCountsDeeperThanTheTube) {
    make_field(&t, 2, 2.0f);
    bool touched;
    ground_hit hit = torus({6.5, R - 0.2, 5.5}, {1, 0, 0}, &touched);  // lowest point 0.2 ft under ground
    ASSERT_TRUE(touched);
    EXPECT_NEAR(hit.depth, r + 0.2, 1e-9);
    EXPECT_NEAR(hit.normal[1], 1, 1e-12);
}

TEST_F(Field, UnusableWheelsTouchNothing) {
    make_field(&t, 2, 2.0f);
    const double nan = std::nan(""), inf = INFINITY;
    struct Case {
        v3 centre, axle;
    } cases[] = {
        {{nan, 1, 5}, {1, 0, 0}}, {{5, inf, 5}, {1, 0, 0}}, {{1e30, 0, 5}, {1, 0, 0}},
        {{5, 1, 5}, {0, 0, 0}},   {{5, 1, 5}, {nan, 0, 0}},
    };
    for (const Case& c : cases) {
        bool touched;
        ground_hit hit = torus(c.centre, c.axle, &touched);
        EXPECT_FALSE(touched);
        EXPECT_EQ(hit.depth, 0);
    }
    terrain none = {};
    ground_hit hit;
    const double centre[3] = {5, 1, 5}, axle[3] = {1, 0, 0};
    EXPECT_FALSE(contact_torus_ground(&none, centre, axle, R, r, &hit));
    EXPECT_FALSE(contact_sphere_ground(&none, centre, 1, &hit));
}

TEST_F(Field, FineGridsAreSearchedNearTheWheelOnly) {
    // 1025 samples a side, 0.001 ft apart: the wheel's square would hold
    // millions of cells.
    make_field(&t, 9, 0.001f, 0.25f);
    bool touched;
    ground_hit hit = torus({0.5, 0.25 + R + r - 0.05, 0.5}, {1, 0, 0}, &touched);
    EXPECT_TRUE(touched);
    EXPECT_NEAR(hit.depth, 0.05, 1e-6);
}

// --- Sphere against the ground --------------------------------------------------------------------------

TEST_F(Field, SphereAgainstGround) {
    make_field(&t, 2, 2.0f);
    for (int i = 0; i < t.size; i++) set(i, 4, 2);  // the ridge of the torus test
    struct Case {
        const char* name;
        v3 centre;
        double radius;
        bool touches;
        double depth;
        v3 point, normal;
    } cases[] = {
        {"over flat ground", {3, 0.3, 1}, 0.5, true, 0.2, {3, 0, 1}, {0, 1, 0}},
        {"centre under the ground", {3, -0.1, 1}, 0.5, true, 0.6, {3, 0, 1}, {0, 1, 0}},
        {"clear of it", {3, 0.6, 1}, 0.5, false, 0, {0, 0, 0}, {0, 0, 0}},
        {"over the ridge", {5, 2.3, 8}, 0.5, true, 0.2, {5, 2, 8}, {0, 1, 0}},
        {"on a face of the ridge", {5, 1 + 0.3 / std::sqrt(2), 9 + 0.3 / std::sqrt(2)}, 0.5, true, 0.2, {5, 1, 9},
         {0, 1 / std::sqrt(2), 1 / std::sqrt(2)}},
        {"beside the ridge line", {5, 2.4, 7.7}, 0.6, true, 0.6 - 0.5, {5, 2, 8}, {0, 0.8, -0.6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ground_hit hit;
        const double centre[3] = {c.centre.x, c.centre.y, c.centre.z};
        ASSERT_EQ(contact_sphere_ground(&t, centre, c.radius, &hit), c.touches);
        EXPECT_NEAR(hit.depth, c.depth, 1e-9);
        if (!c.touches) continue;
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(hit.point[k], (&c.point.x)[k], 1e-9) << k;
            EXPECT_NEAR(hit.normal[k], (&c.normal.x)[k], 1e-9) << k;
        }
    }
}

// --- Friction and rolling resistance --------------------------------------------------------------------

TEST(TyreFriction, FirstDirectionRunsAcrossTheSlipOrAlongTheWheel) {
    const double up[3] = {0, 1, 0}, axle[3] = {1, 0, 0};
    struct Case {
        const char* name;
        double slip[3];
        bool directed;
        double direction[3];
    } cases[] = {
        {"sliding forward", {0, 0, -3}, true, {-1, 0, 0}},
        {"sliding sideways", {2, 0, 0}, true, {0, 0, -1}},
        {"pure rolling: along the wheel", {0, 0, 0}, true, {0, 0, -1}},
        {"barely slipping", {0, 0, 0.01}, true, {0, 0, -1}},
        {"slip along the normal only", {0, 5, 0}, true, {0, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double d[3];
        ASSERT_EQ(contact_friction_direction(up, c.slip, axle, d), c.directed);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(d[k], c.direction[k], 1e-12) << k;
    }
    // A wheel whose axle stands along the normal, not slipping: no direction.
    double d[3];
    const double still[3] = {0, 0, 0};
    EXPECT_FALSE(contact_friction_direction(up, still, up, d));
}

TEST(TyreFriction, RollingResistanceFadesBelowOneFootPerSecond) {
    tile surface;
    tile_defaults(&surface);
    surface.roll[0] = {4, 12, 1};  // a = 4, b = 12 lbf
    surface.roll[1] = {6, 20, 11};
    const double up[3] = {0, 1, 0};
    struct Case {
        const char* name;
        double velocity[3];
        double squash;
        double force[3];
    } cases[] = {
        {"standing", {0, 0, 0}, 0.5, {0, 0, 0}},
        {"falling straight down", {0, -3, 0}, 0.5, {0, 0, 0}},
        {"at 1 ft/s, barely touching", {0, 0, -1}, 0, {0, 0, 4}},
        {"at 0.5 ft/s: half of it", {0, 0, -0.5}, 0, {0, 0, 2}},
        {"pressed in halfway", {0.6, 0, 0.8}, 0.5, {-0.6 * 8, 0, -0.8 * 8}},
        {"pressed in fully, 6 ft/s", {0, -2, -6}, 1, {0, 0, 16}},       // a 5, b 16 halfway along the curve
        {"squash beyond the section counts as full", {0, 0, -6}, 3, {0, 0, 16}},
        {"past the curve's end", {-40, 0, 0}, 0, {6, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double f[3];
        contact_rolling_resistance(&surface, c.velocity, up, c.squash, f);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(f[k], c.force[k], 1e-5) << k;
    }
}

TEST_F(GroundWorld, FrictionTakesTheTileCurveAndArcadeLean) {
    load("@testflat");  // packed dirt: 1.2 at 5 ft/s slip, more than 1
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    const tile* surface = terrain_tile(&g_terrain, 10, 10);
    EXPECT_FLOAT_EQ((float)contact_friction(surface, 5, 1), 1.2f);
    EXPECT_FLOAT_EQ((float)contact_friction(surface, 200, 1), 0.8f);
    EXPECT_NEAR(contact_friction(surface, std::sqrt(13.0), 1), 1.1 + 0.1 * 12 / 24, 1e-6);  // in squared speed
    EXPECT_NEAR(contact_friction(surface, 5, 0.5), 0.6, 1e-6);

    struct Case {
        double lean;  // rad, about the frame's forward axis
        bool arcade;
        double scale;
    } cases[] = {
        {0, false, 1},       {pi / 4, false, 1},         {0, true, 1},     {pi / 8, true, 1 - 0.375 * 0.5},
        {-pi / 4, true, 0.625}, {pi / 3, true, 0.625}, {pi / 2, true, 0.625},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lean);
        b->arcade = c.arcade ? bike_arcade_physics : 0;
        dMatrix3 m;
        dRFromAxisAndAngle(m, 0, 0, 1, c.lean);  // positive leans the top to the left
        dBodySetRotation(b->bodies[bike_body_frame], m);
        EXPECT_NEAR(steering_lean(b), c.lean, 1e-9);
        EXPECT_NEAR(contact_friction_scale(b), c.scale, 1e-9);
    }
}

// --- Contact rules of the other bodies -------------------------------------------------------------------

TEST_F(GroundWorld, RiderOnTheGroundUpsideDownAndFastAsksForACrash) {
    load("@testflat");
    struct Case {
        const char* name;
        double speed;
        int crash_timer, hold;
        bool crash;
    } cases[] = {
        {"sliding at 10 ft/s", 10, 0, 0, true},
        {"slower than 5 ft/s", 4, 0, 0, false},
        {"already down", 10, 300, 0, false},
        {"struck by another bike", 10, 0, -100, false},
        {"holding after a hit of its own", 10, 0, 100, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bike_state* b = make();
        ASSERT_NE(b, nullptr);
        // Upside down: turned half round the forward axis, the rider's head
        // 0.05 ft into the ground.
        const double axis[3] = {0, 0, 1}, at[3] = {128, 0, 128};
        bike_place(b, axis, pi, at);
        double lowest = 1e30;
        const shape_instance* s = b->shapes[bike_body_rider];
        ASSERT_NE(s, nullptr);
        shape_instance_place(b->shapes[bike_body_rider], dBodyGetPosition(b->bodies[bike_body_rider]),
                             dBodyGetRotation(b->bodies[bike_body_rider]));
        for (int i = 0; i < s->count; i++) lowest = std::fmin(lowest, s->world[i][1] - s->spheres[i].radius);
        const double down[3] = {0, -lowest - 0.05, 0};
        bike_translate(b, down);
        for (dBodyID body : b->bodies) dBodySetLinearVel(body, c.speed, 0, 0);
        b->crash_timer = c.crash_timer;
        b->collision_hold = c.hold;
        EXPECT_TRUE(contact_ground(b, &g_terrain));
        EXPECT_EQ(b->crash_requested, c.crash);
        EXPECT_EQ(b->crash_mark, 1);  // the rider touched
        dJointGroupEmpty(g_contact_group);
        bike_reset(b);
        EXPECT_FALSE(b->crash_requested);
    }
}

TEST_F(GroundWorld, WheelsOnTheGroundLeaveTheCrashMarkAlone) {
    load("@testflat");
    bike_state* b = make();
    place(b, &g_terrain, 100, 100, 0, -0.05);  // the lower tyre 0.05 ft in
    EXPECT_TRUE(contact_ground(b, &g_terrain));
    for (const bike_wheel& w : b->wheels) {
        const dReal* c = dBodyGetPosition(w.body);
        EXPECT_NEAR(w.depth, w.ring_radius + w.section_radius - c[1], 1e-6);
        EXPECT_GT(w.depth, 0);
        EXPECT_NEAR(w.contact_point[0], c[0], 1e-9);
        EXPECT_NEAR(w.contact_point[2], c[2], 1e-9);
        EXPECT_NEAR(w.contact_normal[1], 1, 1e-12);
    }
    EXPECT_EQ(b->crash_mark, 0);
    EXPECT_FALSE(b->crash_requested);
    dJointGroupEmpty(g_contact_group);
}

TEST_F(GroundWorld, BodiesThatAreNotFiniteMakeNoContact) {
    load("@testflat");
    bike_state* b = make();
    place(b, &g_terrain, 100, 100, 0, -0.05);
    dBodySetPosition(b->wheels[0].body, std::nan(""), 1, 100);
    dBodySetLinearVel(b->bodies[bike_body_rider], INFINITY, 0, 0);
    contact_ground(b, &g_terrain);
    EXPECT_EQ(b->wheels[0].depth, 0);
    EXPECT_GT(b->wheels[1].depth, 0);
    dJointGroupEmpty(g_contact_group);
}

// --- Whole bikes through the game tick -----------------------------------------------------------------

TEST_F(GroundWorld, BikeDroppedOnFlatGroundComesToRestOnBothTyres) {
    load("@testflat");
    bike_state* b = make();
    // Set up for riding, as a race does: the rider's aids hold the bike up
    // once it stands.
    ASSERT_TRUE(mechanic_apply(b, &g_setup_defaults));
    place(b, &g_terrain, 128, 128, 0.7, 0.5);  // half a foot up, at a heading
    run(3 * ticks_per_second);
    double lowest = frame_position(b).y, highest = lowest;
    for (int i = 0; i < ticks_per_second; i++) {
        game_tick();
        lowest = std::fmin(lowest, frame_position(b).y);
        highest = std::fmax(highest, frame_position(b).y);
    }
    EXPECT_LT(highest - lowest, 0.001);
    ASSERT_TRUE(finite_bike(b));
    EXPECT_GT(frame_up(b).y, 0.999);  // still upright
    for (const bike_wheel& w : b->wheels) {
        EXPECT_GT(w.depth, 0.05);
        EXPECT_LT(w.depth, 0.2);
        EXPECT_GT(w.contact_feedback.f1[1], 100);  // each tyre carries a good part of the weight
    }
}

TEST_F(GroundWorld, BikeOnASlopeRollsDownhill) {
    load("@testramp");
    bike_state* b = make();
    // On the slope lane, facing uphill (-z), brakes off.
    place(b, &g_terrain, 64, 150);
    v3 start = frame_position(b);
    run(2 * ticks_per_second);
    v3 end = frame_position(b);
    ASSERT_TRUE(finite_bike(b));
    EXPECT_GT(end.z - start.z, 3);  // backwards, down the slope
    EXPECT_LT(end.y, start.y - 0.5);
    EXPECT_NEAR(end.x, start.x, 0.05);
    const dReal* v = dBodyGetLinearVel(b->bodies[bike_body_frame]);
    EXPECT_GT(v[2], 3);
    for (const bike_wheel& w : b->wheels) EXPECT_GT(w.depth, 0);
}

TEST_F(GroundWorld, ReplayedBikesGetNoGroundContacts) {
    load("@testflat");
    bike_state* b = make(3, control_replayed);
    place(b, &g_terrain, 50, 50, 0, -0.05);
    game_tick();
    // No tyre held it: it fell freely for a tick.
    EXPECT_NEAR(dBodyGetLinearVel(b->bodies[bike_body_frame])[1], -32 * tick_length, 1e-6);
}

// --- dwtool drop ---------------------------------------------------------------------------------------

TEST_F(GroundWorld, DwtoolDropTracesTheLanding) {
    physics_world_destroy();
    char a0[] = "drop", a1[] = "testflat", a2[] = "kx250f(2017)", a3[] = "30", a4[] = "40", a5[] = "64";
    char* argv[] = {a0, a1, a2, a3, a4, a5, nullptr};
    ::testing::internal::CaptureStdout();
    int rc = cmd_drop(6, argv);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(g_world, nullptr);  // its own world, gone again
    EXPECT_EQ(g_terrain.heights, nullptr);
    EXPECT_EQ(out.find("track @testflat, bike kx250f(2017) at 30 40\n"), 0u) << out;
    int lines = 0;
    for (size_t p = out.find('\n'); p != std::string::npos; p = out.find('\n', p + 1)) lines++;
    EXPECT_EQ(lines, 2 + 5) << out;  // heading, column names, ticks 0, 16, 32, 48, 64
    // Resting on both tyres by then: the last line has two depths and forces.
    std::string last = out.substr(out.rfind("\n    64") + 1);
    int tick;
    double y, above, d1, f1, d2, f2;
    ASSERT_EQ(sscanf(last.c_str(), "%d %lf %lf %lf %lf %lf %lf", &tick, &y, &above, &d1, &f1, &d2, &f2), 7) << last;
    EXPECT_EQ(tick, 64);
    EXPECT_GT(d1, 0);
    EXPECT_GT(d2, 0);
    EXPECT_GT(f1 + f2, 150);
    ASSERT_TRUE(physics_world_create());
}

TEST_F(GroundWorld, DwtoolDropRefusesWhatItCannotLoad) {
    struct Case {
        std::vector<std::string> args;
        int rc;
        const char* error;
    } cases[] = {
        {{"drop", "nosuchtrack", "kx250f(2017)", "1", "1"}, 1, "cannot load the terrain of '@nosuchtrack'"},
        {{"drop", "testflat", "nosuchbike", "1", "1"}, 1, "no bike named 'nosuchbike'"},
        {{"drop", "testflat", "kx250f(2017)", "1"}, 2, "usage: dwtool drop TRACK BIKE X Z [TICKS]"},
        {{"drop", "testflat", "kx250f(2017)", "1", "z"}, 2, "usage:"},
        {{"drop", "testflat", "kx250f(2017)", "nan", "1"}, 2, "usage:"},
        {{"drop", "testflat", "kx250f(2017)", "1", "1", "0"}, 2, "usage:"},
        {{"drop", "testflat", "kx250f(2017)", "1", "1", "12x"}, 2, "usage:"},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::testing::internal::CaptureStderr();
        ::testing::internal::CaptureStdout();
        int rc = cmd_drop((int)c.args.size(), argv.data());
        ::testing::internal::GetCapturedStdout();
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(rc, c.rc) << c.args[1] << " " << c.args[3];
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
}

}  // namespace
