// Tests of the roost: particles per tick for a frequency, counts per roost
// kind, where tyre roost leaves the wheel and where spray goes, the pool's
// limit, the particle motion, and the game tick's round of the bikes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ground_fixture.h"
#include "sim/bike.h"
#include "sim/roost.h"
#include "track/terrain.h"

namespace {

using namespace ground_test;

TEST(RoostFrequency, ParticlesPerTickFollowTheFrequency) {
    random_seed(3);
    struct Case {
        int frequency, low, high;
        double share_high;  // how often the higher count comes
    } cases[] = {
        {1000, 10, 10, 1}, {0, 0, 0, 1},   {150, 1, 2, 0.5}, {250, 2, 3, 0.5},
        {1, 0, 1, 0.01},   {-5, 0, 0, 1},  {5000, 10, 10, 1}, {399, 3, 4, 0.99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frequency);
        int high = 0;
        const int draws = 4000;
        for (int k = 0; k < draws; k++) {
            int n = roost_per_tick(c.frequency);
            ASSERT_TRUE(n == c.low || n == c.high) << n;
            high += n == c.high;
        }
        EXPECT_NEAR((double)high / draws, c.share_high, 0.03);
    }
}

// A bike standing on a small field whose one tile throws roost.
struct Roost : GroundWorld {
    terrain field = {};
    bike_state* b = nullptr;

    void SetUp() override {
        GroundWorld::SetUp();
        make_field(&field, 3, 1.0f);  // 16 ft square
        b = make();
        ASSERT_NE(b, nullptr);
        place(b, &field, 8, 8, 0, -0.06);  // both tyres in the ground
    }
    void TearDown() override {
        terrain_free(&field);
        GroundWorld::TearDown();
    }
    roost_type* kinds() { return field.tiles.tiles[0].roost; }
    // A roost kind with no spread and unit speed scale.
    static roost_type kind(int k, float count) {
        roost_type r;
        roost_defaults(&r, 0);
        r.kind = k;
        r.count = count;
        r.slip_threshold = 0;
        r.randomize = 0;
        r.vscale = 1;
        return r;
    }
    static std::vector<roost_particle> live() {
        std::vector<roost_particle> out;
        for (const roost_particle& p : g_roost.particles)
            if (p.live) out.push_back(p);
        return out;
    }
    void set_velocity(v3 v) {
        for (dBodyID body : b->bodies) dBodySetLinearVel(body, v.x, v.y, v.z);
    }
    int emit(int tick, int frequency = 1000) { return roost_emit(b, &field, false, tick, frequency); }
};

TEST_F(Roost, CountsPerKindAreCappedByTheFrequency) {
    struct Case {
        const char* name;
        float counts[4];  // kinds 1, 1, 0 (ends the list), 1
        int frequency;
        int expected;  // both wheels
    } cases[] = {
        {"full frequency", {4, 3, 0, 5}, 1000, 2 * 7},
        {"two per kind", {4, 3, 0, 5}, 200, 2 * 4},
        {"off", {4, 3, 0, 5}, 0, 0},
        {"no count", {0, -2, 0, 5}, 1000, 0},
        {"count not a number", {NAN, 1, 0, 5}, 1000, 2 * 1},
        {"more than the frequency allows", {40, 12, 0, 5}, 1000, 2 * 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roost_clear();
        for (int k = 0; k < 4; k++) kinds()[k] = kind(k == 2 ? roost_none : roost_dirt, c.counts[k]);
        EXPECT_EQ(emit(0, c.frequency), c.expected);
        EXPECT_EQ(roost_live_count(), c.expected);
    }
    // A wheel in the air throws nothing.
    roost_clear();
    kinds()[0] = kind(roost_dirt, 4);
    kinds()[1] = kind(roost_dirt, 3);
    kinds()[2] = kind(roost_none, 0);
    b->wheels[bike_wheel_front].depth = 0;
    EXPECT_EQ(roost_emit(b, &field, true, 0, 1000), 7);
}

TEST_F(Roost, FrequencyOf150GivesOneOrTwoPerKind) {
    kinds()[0] = kind(roost_dirt, 10);
    int twos = 0;
    const int ticks = 400;
    for (int t = 0; t < ticks; t++) {
        roost_clear();
        int n = emit(t, 150);
        ASSERT_TRUE(n == 2 || n == 4) << n;  // one or two per wheel
        twos += n == 4;
    }
    EXPECT_NEAR((double)twos / ticks, 0.5, 0.08);
}

TEST_F(Roost, FractionalCountsComeOutOnAverage) {
    kinds()[0] = kind(roost_dirt, 2.25f);
    int total = 0;
    const int ticks = 1000;
    for (int t = 0; t < ticks; t++) {
        roost_clear();
        total += emit(t);
    }
    EXPECT_NEAR(total / (2.0 * ticks), 2.25, 0.05);
}

TEST_F(Roost, SprayAlternatesSidesFromTickToTick) {
    kinds()[0] = kind(roost_splash, 1);
    set_velocity({0, 0, -10});
    for (int t = 0; t < 6; t++) {
        SCOPED_TRACE(t);
        roost_clear();
        ASSERT_EQ(emit(t), 2);
        for (const roost_particle& p : live()) {
            // Up and to one side at 45 degrees: the left (-x) on even ticks.
            const float* v = p.velocity;
            EXPECT_GT(v[1], 0);
            EXPECT_NEAR(std::fabs(v[0]), v[1], 1e-4);
            EXPECT_NEAR(v[2], 0, 1e-4);
            EXPECT_EQ(v[0] < 0, t % 2 == 0);
            EXPECT_LE(std::hypot(v[0], v[1]), 10.001);  // at most the wheel's speed
        }
    }
    // Two particles in one tick go to both sides.
    kinds()[0].count = 2;
    roost_clear();
    ASSERT_EQ(emit(0), 4);
    int left = 0;
    for (const roost_particle& p : live()) left += p.velocity[0] < 0;
    EXPECT_EQ(left, 2);
}

TEST_F(Roost, NoSprayFromAWheelThatBarelyMoves) {
    kinds()[0] = kind(roost_splash, 5);
    for (double speed : {0.0, 0.01, 0.049}) {
        roost_clear();
        set_velocity({0, -3, speed});  // sinking, not rolling
        EXPECT_EQ(emit(0), 0) << speed;
    }
    set_velocity({0, 0, 0.06});
    EXPECT_EQ(emit(0), 10);
    for (const roost_particle& p : live()) EXPECT_TRUE(std::isfinite(p.velocity[0]));
}

TEST_F(Roost, SpinningTyreThrowsDirtUpAndBackFromBehindThePatch) {
    roost_type k = kind(roost_dirt, 1);
    k.slip_threshold = 4;
    kinds()[0] = k;
    // Rolling forward (-z) at 2 ft/s with the rear wheel spinning at 60 rad/s.
    set_velocity({0, 0, -2});
    dBodySetAngularVel(b->wheels[bike_wheel_front].body, -2 / 1.17, 0, 0);  // rolling: slips too little
    dBodySetAngularVel(b->wheels[bike_wheel_rear].body, -60, 0, 0);
    const double arc = pi / 2 + (pi / 16 - pi / 2) * (3600.0 / 4096);  // slow to fast angle by spin squared
    double widest = 0;
    for (int t = 0; t < 50; t++) {
        roost_clear();
        ASSERT_EQ(emit(t), 1);  // the rear wheel only
        const bike_wheel& w = b->wheels[bike_wheel_rear];
        const dReal* c = dBodyGetPosition(w.body);
        for (const roost_particle& p : live()) {
            // One particle a tick leaves at the turned point itself.
            double dy = p.position[1] - c[1], dz = p.position[2] - c[2];
            double angle = std::atan2(dz, -dy);  // 0 at the bottom, growing towards the back
            EXPECT_GE(angle, -1e-6);
            EXPECT_LE(angle, arc + 1e-6);
            widest = std::fmax(widest, angle);
            EXPECT_GE(p.position[2], w.contact_point[2] - 1e-6);  // behind the patch
            EXPECT_GT(p.velocity[2], 0);                           // flying back
            EXPECT_GE(p.velocity[1], -1e-4);                       // and up
        }
    }
    EXPECT_GT(widest, arc * 0.8);  // the arc is used
    // Equal ends of the spin range: a step there from the slow arc to the fast one.
    for (float limit : {60.0f, 61.0f}) {
        SCOPED_TRACE(limit);
        kinds()[0].slow_speed = kinds()[0].fast_speed = limit;
        double widest_here = 0;
        for (int t = 0; t < 50; t++) {
            roost_clear();
            ASSERT_EQ(emit(t), 1);
            const dReal* c = dBodyGetPosition(b->wheels[bike_wheel_rear].body);
            for (const roost_particle& p : live())
                widest_here = std::fmax(widest_here, std::atan2(p.position[2] - c[2], -(p.position[1] - c[1])));
        }
        if (limit == 60.0f)
            EXPECT_LE(widest_here, pi / 16 + 1e-6);
        else
            EXPECT_GT(widest_here, pi / 4);
    }
    // Skidding (the tread slides the way the wheel goes): a narrow arc.
    dBodySetAngularVel(b->wheels[bike_wheel_rear].body, 0, 0, 0);
    set_velocity({0, 0, -10});
    for (int t = 0; t < 20; t++) {
        roost_clear();
        ASSERT_EQ(emit(t), 2);
        for (const roost_particle& p : live()) {
            const dReal* c = dBodyGetPosition(b->wheels[bike_wheel_rear].body);
            const dReal* f = dBodyGetPosition(b->wheels[bike_wheel_front].body);
            const dReal* centre = std::fabs(p.position[2] - c[2]) < 1.5 ? c : f;
            double angle = std::atan2(p.position[2] - centre[2], -(p.position[1] - centre[1]));
            EXPECT_LE(std::fabs(angle), pi / 64 + 1e-6);
        }
    }
    // Below the slip threshold: nothing.
    kinds()[0].slip_threshold = 100;
    roost_clear();
    EXPECT_EQ(emit(0), 0);
}

TEST_F(Roost, SimulatedBikesUseTheirWheelRecordsAndReplayedOnesAreQueried) {
    kinds()[0] = kind(roost_dirt, 3);
    for (bike_wheel& w : b->wheels) w.depth = 0;
    EXPECT_EQ(roost_emit(b, &field, true, 0, 1000), 0);  // the records say: in the air
    EXPECT_EQ(roost_emit(b, &field, false, 0, 1000), 6);  // the query finds the ground
    for (const bike_wheel& w : b->wheels) EXPECT_GT(w.depth, 0);
}

TEST_F(Roost, AnEmptyPoolEmitsNothing) {
    kinds()[0] = kind(roost_dirt, 10);
    kinds()[1] = kind(roost_dirt, 10);
    int total = 0;
    for (int t = 0; t < 60; t++) total += emit(t);
    EXPECT_EQ(total, roost_pool_size);
    EXPECT_EQ(roost_live_count(), roost_pool_size);
    EXPECT_EQ(emit(60), 0);
    // They all come down again.
    for (int t = 0; t < 10 * ticks_per_second && roost_live_count() > 0; t++) roost_update(&field);
    EXPECT_EQ(roost_live_count(), 0);
    EXPECT_EQ(emit(61), 40);
}

// One particle set by hand.
roost_particle& particle(v3 position, v3 velocity, roost_type kind) {
    int index = g_roost.free_list[--g_roost.free_count];
    roost_particle& p = g_roost.particles[index];
    p.position[0] = (float)position.x, p.position[1] = (float)position.y, p.position[2] = (float)position.z;
    p.velocity[0] = (float)velocity.x, p.velocity[1] = (float)velocity.y, p.velocity[2] = (float)velocity.z;
    p.size = kind.size;
    p.colour[0] = kind.r, p.colour[1] = kind.g, p.colour[2] = kind.b, p.colour[3] = kind.a;
    p.kind = kind;
    p.live = true;
    return p;
}

TEST_F(Roost, ParticlesFlySlowDownGrowFadeAndLand) {
    const float h = (float)tick_length;
    roost_type k = kind(roost_dirt, 1);
    k.drag = 2;
    k.grow = 4;
    k.size = 0.25f;
    k.r = 1;
    k.a = 254;
    k.fade_r = -3;  // clamps at 0
    k.fade_a = 5;   // clamps at 255
    roost_particle& p = particle({3, 5, 4}, {1, 10, -2}, k);
    roost_update(&field);
    float keep = std::exp(-h * 2);
    EXPECT_FLOAT_EQ(p.position[0], 3 + h);
    EXPECT_FLOAT_EQ(p.position[1], 5 + 10 * h);
    EXPECT_FLOAT_EQ(p.velocity[0], keep);
    EXPECT_FLOAT_EQ(p.velocity[1], 10 * keep - 32 * h);
    EXPECT_FLOAT_EQ(p.velocity[2], -2 * keep);
    EXPECT_FLOAT_EQ(p.size, 0.25f + 4 * h);
    EXPECT_EQ(p.colour[0], 0);
    EXPECT_EQ(p.colour[3], 255);
    EXPECT_TRUE(p.live);

    roost_clear();
    struct Case {
        const char* name;
        float drag;
        v3 position, velocity;
        bool stays;
    } cases[] = {
        {"huge drag stops it dead", 1e30f, {3, 5, 4}, {300, 0, 300}, true},
        {"negative drag does not speed it up", -500, {3, 5, 4}, {300, 0, 0}, true},
        {"below the ground, falling", 0, {3, -0.001, 4}, {0, -1, 0}, false},
        {"below the ground, rising", 0, {3, -0.2, 4}, {0, 5, 0}, true},
        {"not a number", 0, {3, NAN, 4}, {0, 1, 0}, false},
        {"infinitely fast", 0, {3, 5, 4}, {INFINITY, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roost_clear();
        roost_type q = kind(roost_dirt, 1);
        q.drag = c.drag;
        roost_particle& s = particle(c.position, c.velocity, q);
        float speed = std::hypot(c.velocity.x, c.velocity.z);
        roost_update(&field);
        EXPECT_EQ(s.live, c.stays);
        EXPECT_EQ(roost_live_count(), c.stays ? 1 : 0);
        if (c.stays) {
            EXPECT_LE(std::hypot(s.velocity[0], s.velocity[2]), speed);
        }
    }
    // Without a ground every particle goes back.
    particle({3, 5, 4}, {0, 0, 0}, k);
    roost_update(nullptr);
    EXPECT_EQ(roost_live_count(), 0);
}

// The game tick serves the bikes' roost in a round that starts at another
// bike every tick, so that when the pool runs low no slot always wins.
TEST_F(Roost, GameTickStartsTheRoundAtADifferentBikeEachTick) {
    terrain_free(&g_terrain);
    make_field(&g_terrain, 4, 1.0f);  // 32 ft square, a dirt tile
    g_terrain.tiles.tiles[0].roost[0] = kind(roost_dirt, 4);
    g_race.bikes[0] = nullptr;
    bike_state* left = make(2);
    bike_state* right = make(5);
    place(left, &g_terrain, 8, 16, 0, -0.06);
    place(right, &g_terrain, 24, 16, 0, -0.06);
    for (int tick = 0; tick < 4; tick++) {
        SCOPED_TRACE(tick);
        // Standing still, so that the dirt stays where it leaves the tyres.
        for (bike_state* bike : {left, right})
            for (dBodyID body : bike->bodies) {
                dBodySetLinearVel(body, 0, 0, 0);
                dBodySetAngularVel(body, 0, 0, 0);
            }
        // All but three particles hang high in the air.
        roost_clear();
        while (g_roost.free_count > 3) particle({16, 1000, 16}, {0, 0, 0}, kind(roost_dirt, 1));
        g_race.tick = tick;
        game_tick();
        int near_left = 0, near_right = 0;
        for (const roost_particle& p : g_roost.particles) {
            if (!p.live || p.position[1] > 100) continue;
            near_left += p.position[0] < 16;
            near_right += p.position[0] >= 16;
        }
        EXPECT_EQ(near_left, tick % 2 == 0 ? 3 : 0);
        EXPECT_EQ(near_right, tick % 2 == 0 ? 0 : 3);
    }
}

}  // namespace
