// Tests of the collisions: sphere pairs in their three modes (direction of
// the push, coinciding centres, the penalty force's clamp), the bounding
// rejections, tyres as proxy spheres and their wheel records, track objects
// and the rider's crash, bike against bike with its mode choice and hold
// counters, two bikes colliding in the world, and the pair helper.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/data.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/collide.h"
#include "sim/shape.h"
#include "sim/world.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr const char* test_bike = "kx250f(2017)";

struct v3 {
    double x, y, z;
};
v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
v3 operator*(v3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double len(v3 a) { return std::sqrt(dot(a, a)); }
v3 of(const double* v) { return {v[0], v[1], v[2]}; }

void write_file(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// Small shapes for the bike: a sphere or two per body, sized like the parts.
const char k_frame[] = "2\n0 0 0 0.6 0.5 20000 1500\n0 0.3 -1.2 0.4 0.5 20000 1500\n";
const char k_fork_upper[] = "1\n0 0 0 0.3 0.5 15000 1200\n";
const char k_fork_lower[] = "1\n0 0 0 0.25 0.5 15000 1200\n";
const char k_swingarm[] = "1\n0 0 0 0.3 0.4 20000 1500\n";
const char k_rider[] = "1\n0 0 0 0.8 0.7 8000 800\n";
const char k_wheel[] = "1\n0 0 0 1.1 1 25000 2500\n";  // the wheels collide as tyres, not with this

const dMatrix3 identity_rotation = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

bool all_finite(const bike_state* b) {
    for (dBodyID body : b->bodies) {
        const dReal* arrays[3] = {dBodyGetPosition(body), dBodyGetLinearVel(body), dBodyGetAngularVel(body)};
        for (const dReal* a : arrays)
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(a[k])) return false;
    }
    return true;
}

// A physics world, the race state and a data folder with the shapes above.
struct CollideWorld : ::testing::Test {
    std::string root;
    std::vector<bike_state*> bikes;
    std::vector<dBodyID> free_bodies;
    std::vector<shape_instance*> instances;

    void SetUp() override {
        root = ::testing::TempDir() + "collide_test_data";
        mkdir(root.c_str(), 0755);
        mkdir((root + "/home").c_str(), 0755);
        mkdir((root + "/data").c_str(), 0755);
        write_file(root + "/data/generic_frame.shp", k_frame);
        write_file(root + "/data/generic_fork_upper.shp", k_fork_upper);
        write_file(root + "/data/generic_fork_lower.shp", k_fork_lower);
        write_file(root + "/data/generic_swingarm.shp", k_swingarm);
        write_file(root + "/data/generic_rider.shp", k_rider);
        write_file(root + "/data/front_wheel.shp", k_wheel);
        write_file(root + "/data/rear_wheel.shp", k_wheel);
        setenv("DW_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/home").c_str(), 1);
        data_reset_for_tests();
        shape_cache_free();
        game_reset_for_tests();
        collide_counters_clear();
        ASSERT_TRUE(physics_world_create());
    }
    void TearDown() override {
        for (int i = 0; i < max_riders; i++) g_race.bikes[i] = nullptr;
        for (bike_state* b : bikes) bike_destroy(b);
        for (dBodyID b : free_bodies) dBodyDestroy(b);
        for (shape_instance* s : instances) shape_instance_destroy(s);
        physics_world_destroy();
        shape_cache_free();
        game_reset_for_tests();
        unsetenv("DW_HOME");
        unsetenv("XDG_DATA_HOME");
        data_reset_for_tests();
    }

    // A simulated bike in a slot, turned to a heading about y (0 faces -z)
    // and then moved by an offset.
    bike_state* make(int slot, double heading = 0, v3 offset = {0, 0, 0}) {
        bike_state* b = bike_create(test_bike, slot, "1", nullptr);
        EXPECT_NE(b, nullptr);
        if (!b) return nullptr;
        bikes.push_back(b);
        g_race.bikes[slot] = b;
        g_race.control_kind[slot] = control_robot;
        const double axis[3] = {0, 1, 0}, move[3] = {offset.x, offset.y, offset.z};
        bike_place(b, axis, heading, move);
        return b;
    }
    // Every body of the bike moving at one velocity.
    static void set_velocity(bike_state* b, v3 v) {
        for (dBodyID body : b->bodies) {
            dBodySetLinearVel(body, v.x, v.y, v.z);
            dBodySetAngularVel(body, 0, 0, 0);
        }
    }
    dBodyID body_at(v3 p, double mass = 1) {
        dBodyID b = dBodyCreate(g_world);
        dMass m;
        dMassSetSphereTotal(&m, mass, 0.5);
        dBodySetMass(b, &m);
        dBodySetPosition(b, p.x, p.y, p.z);
        free_bodies.push_back(b);
        return b;
    }
    shape_instance* shape_from(const std::string& name, const std::string& text) {
        std::string path = root + "/data/" + name;
        write_file(path, text);
        shape_instance* s = shape_instance_create(shape_get(path.c_str()));
        EXPECT_NE(s, nullptr) << name;
        if (s) instances.push_back(s);
        return s;
    }
    static int joints_on(const bike_state* b) {
        int n = 0;
        for (dBodyID body : b->bodies) n += dBodyGetNumJoints(body);
        return n;
    }
};

collide_sphere sphere(v3 c, double radius, double k = 25000, double damping = 2500, double mu = 1) {
    return {{c.x, c.y, c.z}, radius, mu, k, damping};
}

// --- Sphere pairs --------------------------------------------------------------------------------------

// Two free bodies whose spheres overlap along +x: whatever the mode, the
// contact record is the same; a joint or a penalty force drives them apart
// (b along the normal, a against it) and a test leaves them alone.
TEST_F(CollideWorld, SpherePairPushesTheBodiesApartAlongTheNormal) {
    struct Case {
        int mode;
        bool moves;
    } cases[] = {{collide_mode_joint, true}, {collide_mode_force, true}, {collide_mode_test, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        dBodyID a = body_at({0, 0, 0}), b = body_at({1.5, 0, 0});
        dBodySetLinearVel(a, 0, 2, 0);  // a's velocity shows in the record
        collide_sphere sa = sphere({0, 0, 0}, 1), sb = sphere({1.5, 0, 0}, 1);
        collide_contact rec;
        memset(&rec, 0x7f, sizeof rec);
        ASSERT_TRUE(collide_sphere_pair(a, &sa, b, &sb, c.mode, &rec));
        EXPECT_NEAR(rec.depth, 0.5, 1e-12);
        EXPECT_NEAR(rec.normal[0], 1, 1e-12);
        EXPECT_NEAR(rec.point[0], 0.75, 1e-12);  // halfway into the overlap
        EXPECT_NEAR(rec.velocity[1], 2, 1e-12);
        EXPECT_EQ(rec.feedback.f1[0], 0);
        EXPECT_EQ(dBodyGetNumJoints(b), c.mode == collide_mode_joint ? 1 : 0);
        physics_world_step(tick_length);
        double vb = dBodyGetLinearVel(b)[0], va = dBodyGetLinearVel(a)[0];
        if (c.moves) {
            EXPECT_GT(vb, 0.1);
            EXPECT_LT(va, -0.1);
        } else {
            EXPECT_EQ(vb, 0);
            EXPECT_EQ(va, 0);
        }
    }
}

// Centres that coincide have no direction of their own: the bodies' positions
// give it, or straight up when they coincide too; never a NaN.
TEST_F(CollideWorld, CoincidingCentresTakeTheDirectionBetweenTheBodies) {
    struct Case {
        const char* name;
        v3 body_a, body_b, centre;
        bool static_b;
        v3 normal;
    } cases[] = {
        {"bodies apart", {0, 0, 0}, {0, 0, 2}, {0, 0, 1}, false, {0, 0, 1}},
        {"bodies together", {0, 5, 0}, {0, 5, 0}, {0, 5, 0}, false, {0, 1, 0}},
        {"static world", {0, 5, 0}, {0, 5, 0}, {0, 5, 0}, true, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dBodyID a = body_at(c.body_a);
        dBodyID b = c.static_b ? nullptr : body_at(c.body_b);
        collide_sphere sa = sphere(c.centre, 0.5), sb = sphere(c.centre, 0.25);
        collide_contact rec;
        ASSERT_TRUE(collide_sphere_pair(a, &sa, b, &sb, collide_mode_joint, &rec));
        EXPECT_NEAR(rec.depth, 0.75, 1e-12);
        EXPECT_NEAR(dot(of(rec.normal), c.normal), 1, 1e-12);
        EXPECT_NEAR(len(of(rec.point) - (c.centre + c.normal * 0.125)), 0, 1e-12);
        physics_world_step(tick_length);
        // a is pushed against the normal, b along it.
        EXPECT_LT(dot(of(dBodyGetLinearVel(a)), c.normal), -0.1);
        if (b) {
            EXPECT_GT(dot(of(dBodyGetLinearVel(b)), c.normal), 0.1);
        }
        EXPECT_TRUE(std::isfinite(dBodyGetPosition(a)[1]));
    }
}

// The penalty force is approach speed x damping + depth x stiffness with the
// smaller of each, clamped to 1000 lbf either way; bodies that are missing or
// disabled get nothing.
TEST_F(CollideWorld, PenaltyForceIsClamped) {
    struct Case {
        double gap;          // centre distance
        double approach;     // a's speed towards b
        double k_b, c_b;     // b's sphere; a's is 25000, 2500
        double force;        // on b along +x
    } cases[] = {
        {1.99, 0, 25000, 2500, 250},   // 0.01 ft x 25000
        {1.99, 0.1, 5000, 1000, 150},  // smaller of each: 0.01 x 5000 + 0.1 x 1000
        {1.5, 0, 25000, 2500, 1000},   // 12500 clamped
        {1.99, -2, 25000, 2500, -1000},  // separating fast: the damping pulls, clamped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.force);
        dBodyID a = body_at({0, 0, 0}), b = body_at({c.gap, 0, 0});
        dBodySetLinearVel(a, c.approach, 0, 0);
        collide_sphere sa = sphere({0, 0, 0}, 1), sb = sphere({c.gap, 0, 0}, 1, c.k_b, c.c_b);
        collide_counters_clear();
        ASSERT_TRUE(collide_sphere_pair(a, &sa, b, &sb, collide_mode_force, nullptr));
        EXPECT_NEAR(dBodyGetForce(b)[0], c.force, 1e-9);
        EXPECT_NEAR(dBodyGetForce(a)[0], -c.force, 1e-9);
        EXPECT_LE(g_collide_counters.largest_force, collide_max_force);
        EXPECT_EQ(dBodyGetNumJoints(a), 0);
        dBodySetForce(a, 0, 0, 0);
        dBodySetForce(b, 0, 0, 0);
    }
    // A disabled body and the static world feel nothing; the other still does.
    dBodyID a = body_at({0, 0, 0}), b = body_at({1.9, 0, 0});
    dBodyDisable(b);
    collide_sphere sa = sphere({0, 0, 0}, 1), sb = sphere({1.9, 0, 0}, 1);
    ASSERT_TRUE(collide_sphere_pair(a, &sa, b, &sb, collide_mode_force, nullptr));
    EXPECT_EQ(dBodyGetForce(b)[0], 0);
    EXPECT_NEAR(dBodyGetForce(a)[0], -1000, 1e-9);
    ASSERT_TRUE(collide_sphere_pair(nullptr, &sa, a, &sb, collide_mode_force, nullptr));
    EXPECT_NEAR(dBodyGetForce(a)[0], 0, 1e-9);  // the static world pushed it back
}

// --- Bounding rejections -----------------------------------------------------------------------

// Two shapes of bounding radius 3 ft are rejected without measuring a single
// sphere pair once their bodies are 6 ft or more apart; two bikes 10 ft apart
// cost no sphere either.
TEST_F(CollideWorld, FarShapesAndBikesAreRejectedWithoutTestingSpheres) {
    shape_instance* s = shape_from("three.shp", "2\n2 0 0 1 1 25000 2500\n-2 0 0 1 1 25000 2500\n");
    ASSERT_NE(s, nullptr);
    ASSERT_DOUBLE_EQ(s->shape->bounding_radius, 3);
    shape_instance* t = shape_from("three_b.shp", "2\n2 0 0 1 1 25000 2500\n-2 0 0 1 1 25000 2500\n");
    struct Case {
        double distance;
        bool measured, touched;
    } cases[] = {{10, false, false}, {6, false, false}, {5.9, true, false}, {1.5, true, true}};
    const double at_a[3] = {0, 0, 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.distance);
        const double at_b[3] = {0, 0, c.distance};
        collide_counters_clear();
        EXPECT_EQ(collide_shape_shape(s, nullptr, at_a, identity_rotation, t, nullptr, at_b, identity_rotation,
                                      collide_mode_test),
                  c.touched);
        EXPECT_EQ(g_collide_counters.sphere_pairs > 0, c.measured);
    }

    bike_state* a = make(0);
    bike_state* b = make(1, 0, {10, 0, 0});
    ASSERT_TRUE(a && b);
    int slots[] = {0, 1};
    collide_counters_clear();
    EXPECT_EQ(collide_pairs(slots, 2), 0);
    EXPECT_EQ(g_collide_counters.sphere_pairs, 0);
    EXPECT_EQ(collide_bike_bike(a, b, false), 0);
    EXPECT_EQ(g_collide_counters.sphere_pairs, 0);
    EXPECT_EQ(a->last_contact_tick, -1);
}

// --- Tyres ------------------------------------------------------------------------------------------

// A tyre meets a sphere through its proxy on the ring point nearest to the
// sphere; a sphere centred on the axle line uses the fixed ring points.
// Its contact goes into the wheel record only when the wheel has no contact
// of its own, and never in test mode.
TEST_F(CollideWorld, TyreProxyFillsAnEmptyWheelRecord) {
    bike_state* bike = make(0);
    ASSERT_NE(bike, nullptr);
    bike_wheel& w = bike->wheels[bike_wheel_front];
    v3 c = of(dBodyGetPosition(w.body));  // axle along x
    double R = w.ring_radius, r = w.section_radius;
    struct Case {
        const char* name;
        v3 centre;
        double radius;
        double ground_depth;  // the wheel's own contact, 0 none
        int mode;
        double depth;         // expected in the record
        v3 normal;            // expected in the record, towards the wheel
    } cases[] = {
        {"under the tyre", c + v3{0, -R - r - 0.4, 0}, 0.5, 0, collide_mode_joint, 0.1, {0, 1, 0}},
        {"on the axle line", c + v3{1.0, 0, 0}, 1.1, 0, collide_mode_joint, 0, {0, 0, 0}},
        {"wheel on the ground", c + v3{0, -R - r - 0.4, 0}, 0.5, 0.05, collide_mode_joint, 0.05, {0, 1, 0}},
        {"test only", c + v3{0, -R - r - 0.4, 0}, 0.5, 0, collide_mode_test, 0, {0, 0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        w.depth = k.ground_depth;
        w.contact_normal[0] = 0, w.contact_normal[1] = 1, w.contact_normal[2] = 0;
        w.contact_feedback.f1[1] = 7;
        char text[128];
        snprintf(text, sizeof text, "1\n0 0 0 %g 0.5 20000 1500\n", k.radius);
        shape_instance* s = shape_from(std::string("ball_") + std::to_string(&k - cases) + ".shp", text);
        double at[3] = {k.centre.x, k.centre.y, k.centre.z};
        collide_part object = collide_solid(s, nullptr, at, identity_rotation);
        collide_part wheel;
        ASSERT_TRUE(collide_bike_part(bike, bike_body_front_wheel, &wheel));
        collide_contact deepest;
        ASSERT_TRUE(collide_parts(&object, &wheel, k.mode, &deepest));
        EXPECT_TRUE(std::isfinite(deepest.depth) && std::isfinite(deepest.normal[0]));
        EXPECT_GT(deepest.depth, 0);
        if (k.normal.y != 0) {
            EXPECT_NEAR(w.depth, k.depth, 1e-9);
            EXPECT_NEAR(len(of(w.contact_normal) - k.normal), 0, 1e-9);
        }
        bool replaced = k.ground_depth == 0 && k.mode != collide_mode_test;
        EXPECT_EQ(w.contact_feedback.f1[1], replaced ? 0 : 7);
        if (k.ground_depth == 0 && k.mode == collide_mode_test) {
            EXPECT_EQ(w.depth, 0);
        }
        if (replaced && k.normal.y == 0) {
            // On the axle line: the record is the deepest of the fixed ring points.
            EXPECT_NEAR(w.depth, 1.1 + r - std::sqrt(R * R + 1.0), 1e-9);
            EXPECT_NEAR(w.contact_normal[0], -1.0 / std::sqrt(R * R + 1.0), 1e-9);
        }
    }
}

// --- Track objects ---------------------------------------------------------------------------------

// A rider thrown against a statue crashes above 20 ft/s of speed relative to
// the statue's body, unless already down or marked as struck by another bike.
TEST_F(CollideWorld, RiderHittingAnObjectFastCrashes) {
    struct Case {
        const char* name;
        double rider_speed;   // towards the statue (-z)
        bool moving_statue;   // a body moving at 20 ft/s the same way
        int hold, crash_timer;
        bool crash;
    } cases[] = {
        {"25 ft/s", 25, false, 0, 0, true},
        {"15 ft/s", 15, false, 0, 0, false},
        {"25 ft/s with the statue", 25, true, 0, 0, false},
        {"struck", 25, false, -1, 0, false},
        {"already down", 25, false, 0, 100, false},
        {"held as the cause", 25, false, 100, 0, true},
    };
    bike_state* bike = make(0);
    ASSERT_NE(bike, nullptr);
    v3 rider = of(dBodyGetPosition(bike->bodies[bike_body_rider]));
    shape_instance* statue = shape_from("statue.shp", "1\n0 0 0 1 0.5 25000 2500\n");
    double at[3] = {rider.x, rider.y, rider.z - 1.7};  // 0.1 ft into the rider's sphere
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bike->crash_requested = false;
        bike->collision_hold = c.hold;
        bike->crash_timer = c.crash_timer;
        dBodySetLinearVel(bike->bodies[bike_body_rider], 0, 0, -c.rider_speed);
        dBodyID body = nullptr;
        if (c.moving_statue) {
            body = body_at({at[0], at[1], at[2]}, 100);
            dBodySetLinearVel(body, 0, 0, -20);
        }
        int joints = dBodyGetNumJoints(bike->bodies[bike_body_rider]);
        EXPECT_EQ(collide_bike_object(bike, statue, body, at, identity_rotation), collide_part_rider);
        EXPECT_GT(dBodyGetNumJoints(bike->bodies[bike_body_rider]), joints);
        EXPECT_EQ(bike->crash_requested, c.crash);
    }
}

// --- Bike against bike ---------------------------------------------------------------------------------

// A rams B's frame with its front wheel, both at 15 ft/s: A is the cause and
// holds 256 ticks, B is marked as struck, whichever of them is tested as the
// first. Front wheel against front wheel gives both 192.
TEST_F(CollideWorld, HoldCountersNameTheBikeThatRammed) {
    struct Case {
        const char* name;
        double b_heading;
        v3 b_offset;
        v3 b_velocity;
        bool b_first;
        int a_parts, b_parts;  // each bike's parts the other touched
        int a_hold, b_hold;
    } cases[] = {
        // B across A's path, its frame just ahead of A's front tyre.
        {"A rams B", pi / 2, {-3.6, 0, -0.3}, {-15, 0, 0}, false, collide_part_front_wheel, collide_part_frame,
         collision_hold_ram, collision_hold_struck},
        {"A rams B, B tested first", pi / 2, {-3.6, 0, -0.3}, {-15, 0, 0}, true, collide_part_front_wheel,
         collide_part_frame, collision_hold_ram, collision_hold_struck},
        // Head on, the two front tyres 0.1 ft into each other.
        {"front against front", pi, {0, 0, -0.017}, {0, 0, 15}, false, collide_part_front_wheel,
         collide_part_front_wheel, collision_hold_head_on, collision_hold_head_on},
        // B stands: ramming a standing bike names nobody.
        {"B stands", pi / 2, {-3.6, 0, -0.3}, {0, 0, 0}, false, collide_part_front_wheel, collide_part_frame, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_race.tick = 40;
        bike_state* a = make(0);
        bike_state* b = make(1, c.b_heading, c.b_offset);
        ASSERT_TRUE(a && b);
        set_velocity(a, {0, 0, -15});
        set_velocity(b, c.b_velocity);
        b->first_contact_tick = 7;  // an earlier collision is kept
        int parts = c.b_first ? collide_bike_bike(b, a, false) : collide_bike_bike(a, b, false);
        EXPECT_EQ(parts, c.b_first ? c.a_parts : c.b_parts);
        EXPECT_EQ(a->collision_hold, c.a_hold);
        EXPECT_EQ(b->collision_hold, c.b_hold);
        EXPECT_EQ(a->last_contact_tick, 40);
        EXPECT_EQ(b->last_contact_tick, 40);
        EXPECT_EQ(a->first_contact_tick, 40);
        EXPECT_EQ(b->first_contact_tick, 7);

        // A bike already named as the cause is not marked as struck by a
        // later hit; a struck one is lowered to the mark again.
        if (c.b_hold == collision_hold_struck) {
            g_race.tick++;
            b->collision_hold = -100;
            a->collision_hold = 0;
            collide_bike_bike(a, b, false);
            EXPECT_EQ(b->collision_hold, collision_hold_struck);
            g_race.tick++;
            b->collision_hold = 20;
            collide_bike_bike(a, b, false);
            EXPECT_EQ(b->collision_hold, 20);
        }
        for (int slot : {0, 1}) g_race.bikes[slot] = nullptr;
        bike_destroy(a);
        bike_destroy(b);
        bikes.clear();
    }
}

// A bike touching a bike that already had a contact this tick gets penalty
// forces, at most 1000 lbf per sphere pair, and no contact joints; on a
// server the local rider's rear parts only test.
TEST_F(CollideWorld, SecondContactInATickUsesClampedPenaltyForces) {
    bike_state* a = make(0, 0, {-1.5, 0, 0});  // riders 0.1 ft into each other
    bike_state* b = make(1);
    bike_state* c = make(2, 0, {1.25, 0, 0});  // riders 0.35 ft into each other: 2800 lbf unclamped
    ASSERT_TRUE(a && b && c);
    int b_joints = joints_on(b);
    EXPECT_EQ(collide_bike_bike(a, b, false), collide_part_rider);
    EXPECT_EQ(joints_on(b), b_joints + 1);  // the first contact is a joint
    EXPECT_EQ(b->last_contact_tick, g_race.tick);

    int c_joints = joints_on(c);
    collide_counters_clear();
    EXPECT_EQ(collide_bike_bike(c, b, false), collide_part_rider);
    EXPECT_EQ(joints_on(c), c_joints);
    EXPECT_EQ(g_collide_counters.forces, 1);
    EXPECT_DOUBLE_EQ(g_collide_counters.largest_force, collide_max_force);
    EXPECT_NEAR(len(of(dBodyGetForce(c->bodies[bike_body_rider]))), collide_max_force, 1e-6);
    EXPECT_GT(dBodyGetForce(c->bodies[bike_body_rider])[0], 0);  // away from b
    EXPECT_LT(dBodyGetForce(b->bodies[bike_body_rider])[0], 0);

    // Online, at a fresh tick: c's rider only tests, so nothing pushes.
    g_race.tick++;
    dBodySetForce(c->bodies[bike_body_rider], 0, 0, 0);
    collide_counters_clear();
    EXPECT_EQ(collide_bike_bike(c, b, true), collide_part_rider);
    EXPECT_EQ(g_collide_counters.forces + g_collide_counters.joints, 0);
    EXPECT_EQ(joints_on(c), c_joints);
    EXPECT_EQ(c->last_contact_tick, g_race.tick);
}

// A fallen bike lies under another bike's front wheel, which does not touch
// the ground: the wheel's record reports the contact, with its normal up.
TEST_F(CollideWorld, WheelRestingOnAFallenBikeReportsContact) {
    dWorldSetGravity(g_world, 0, 0, 0);
    bike_state* a = make(0);
    bike_state* b = make(1);
    ASSERT_TRUE(a && b);
    // b on its side: turned a quarter about z, its frame sphere's top 0.05 ft
    // into the bottom of a's front tyre.
    const double roll[3] = {0, 0, 1}, none[3] = {0, 0, 0};
    bike_place(b, roll, pi / 2, none);
    bike_wheel& w = a->wheels[bike_wheel_front];
    v3 wheel = of(dBodyGetPosition(w.body));
    double bottom = wheel.y - w.ring_radius - w.section_radius;
    v3 frame = of(dBodyGetPosition(b->bodies[bike_body_frame]));
    v3 target{wheel.x, bottom - 0.6 + 0.05, wheel.z};
    const double move[3] = {target.x - frame.x, target.y - frame.y, target.z - frame.z};
    bike_translate(b, move);
    ASSERT_EQ(w.depth, 0);

    EXPECT_EQ(collide_bike_bike(a, b, false), collide_part_frame);
    EXPECT_NEAR(w.depth, 0.05, 1e-9);
    EXPECT_NEAR(w.contact_normal[1], 1, 1e-9);
    EXPECT_NEAR(w.contact_point[1], bottom + 0.025, 1e-9);
    EXPECT_EQ(a->wheels[bike_wheel_rear].depth, 0);
    // Neither is moving: nobody is the cause.
    EXPECT_EQ(a->collision_hold, 0);
    EXPECT_EQ(b->collision_hold, 0);

    // After one step the contact joint has lifted the wheel.
    physics_world_step(tick_length);
    EXPECT_GT(dBodyGetLinearVel(w.body)[1], 0);
}

// ODE's messages during a test (a failed constraint solve is one).
int g_ode_messages = 0;
void count_ode_message(int, const char*, va_list) { g_ode_messages++; }

// Two bikes driven into each other side by side, without gravity, bounce
// apart: they neither stick together nor fly off, with joints (the first
// contact of a tick) and with penalty forces (a later one). As on a bike in
// the air, fork and shock hold the fork and swing arm on their top stops.
TEST_F(CollideWorld, CollidingBikesSeparate) {
    dMessageFunction* saved = dGetMessageHandler();
    dSetMessageHandler(count_ode_message);
    for (bool force : {false, true}) {
        SCOPED_TRACE(force ? "penalty forces" : "joints");
        dWorldSetGravity(g_world, 0, 0, 0);
        g_race.tick = 0;
        g_ode_messages = 0;
        bike_state* a = make(0);
        bike_state* b = make(1, 0.05, {1.7, 0.1, 0.3});
        ASSERT_TRUE(a && b);
        set_velocity(a, {4, 0, 0});
        set_velocity(b, {-4, 0, 0});
        int slots[] = {0, 1};
        int contact_ticks = 0;
        double closest = 1e9;
        collide_counters_clear();
        for (int t = 0; t < 384; t++) {
            for (bike_state* x : {a, b}) {
                dJointAddSliderForce(x->joints[bike_joint_fork], 50);
                dJointAddHingeTorque(x->joints[bike_joint_swingarm], 50);
            }
            if (force) a->last_contact_tick = g_race.tick;  // as if it met another bike first
            contact_ticks += collide_pairs(slots, 2);
            physics_world_step(tick_length);
            g_race.tick++;
            ASSERT_TRUE(all_finite(a) && all_finite(b)) << "tick " << t;
            double apart = len(of(dBodyGetPosition(b->bodies[bike_body_rider])) -
                               of(dBodyGetPosition(a->bodies[bike_body_rider])));
            if (apart < closest) closest = apart;
            for (bike_state* x : {a, b})
                for (dBodyID body : x->bodies) ASSERT_LT(len(of(dBodyGetLinearVel(body))), 12) << "tick " << t;
        }
        EXPECT_EQ(g_ode_messages, 0);
        EXPECT_GT(contact_ticks, 0);
        EXPECT_EQ(force ? g_collide_counters.joints : g_collide_counters.forces, 0);
        double gap = dBodyGetPosition(b->bodies[bike_body_frame])[0] - dBodyGetPosition(a->bodies[bike_body_frame])[0];
        double opening =
            dBodyGetLinearVel(b->bodies[bike_body_frame])[0] - dBodyGetLinearVel(a->bodies[bike_body_frame])[0];
        EXPECT_GT(closest, 1.2);  // the riders' spheres (1.6 ft together) never sank far into each other
        EXPECT_GT(opening, 0.5);  // moving apart
        EXPECT_GT(gap, 1.7);
        EXPECT_EQ(collide_bike_bike(a, b, false), 0);  // apart at last
        for (int slot : {0, 1}) g_race.bikes[slot] = nullptr;
        bike_destroy(a);
        bike_destroy(b);
        bikes.clear();
    }
    dSetMessageHandler(saved);
}

// --- The pair helper ---------------------------------------------------------------------------------

TEST_F(CollideWorld, PairsAreTakenFastestFirst) {
    const double speeds[] = {3, 12, 0, 7.5, 12.5, -20};  // the last one backwards
    for (int i = 0; i < 6; i++) {
        bike_state* b = make(i, 0, {20.0 * i, 0, 0});
        ASSERT_NE(b, nullptr);
        set_velocity(b, {0, 0, -speeds[i]});
    }
    int slots[] = {0, 7, 1, 2, 3, 4, 5};  // slot 7 holds no bike
    collide_sort_by_speed(slots, 7);
    const int want[] = {5, 4, 1, 3, 0, 2, 7};
    for (int i = 0; i < 7; i++) EXPECT_EQ(slots[i], want[i]) << i;

    // The helper sorts too, and far bikes touch nothing.
    int again[] = {2, 0, 4};
    EXPECT_EQ(collide_pairs(again, 3), 0);
    EXPECT_EQ(again[0], 4);
    EXPECT_EQ(again[2], 2);
}

}  // namespace
