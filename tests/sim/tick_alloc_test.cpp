// The game tick allocates nothing once a race runs: several riders on
// testflat, two of them leaning into each other, one of them down, with
// roost and erosion on, ride through the real game tick while the count of
// allocations stands still.
#include <algorithm>
#include <cmath>

#include "base/mem.h"
#include "ride_fixture.h"
#include "sim/collide.h"
#include "sim/roost.h"

namespace ride_test {
namespace {

TEST(MemCount, CountsEveryAllocationAndReallocation) {
    long long before = mem_allocation_count();
    void* block = mem_alloc(16);
    block = mem_realloc(block, 4096);
    mem_free(block);
    char* text = mem_strdup("roost");
    mem_free(text);
    EXPECT_EQ(mem_allocation_count() - before, 3);
}

TEST_F(RideTest, GameTickAllocatesNothingOnceTheRaceRuns) {
    constexpr int riders = 6;
    begin("testflat", {}, riders);
    g_settings.roost_frequency = 1000;
    g_settings.erosion = 100;
    double middle = g_terrain.world_size / 2;
    // Riders 0 and 1 side by side 2.5 ft apart, steering into each other;
    // the others spread out, weaving.
    for (int n = 0; n < riders; n++) ride_place(n, middle + (n < 2 ? 2.5 * n : 6.0 * n), middle, 0);

    float controls[control_values];
    auto tick = [&](int t) {
        for (int n = 0; n < riders; n++) {
            for (float& c : controls) c = 0;
            controls[control_throttle] = 0.5f;
            controls[control_steer] = n == 0 ? -0.6f : n == 1 ? 0.6f : 0.4f * (float)std::sin(t * 0.03 + n);
            bike_apply_controls(bike(n), controls);
        }
        game_tick();
    };

    // The first ticks may allocate (whatever is had on first use).
    int t = 0;
    for (; t < 64; t++) tick(t);
    bike_crash(bike(riders - 1), &g_terrain);

    collide_counters_clear();
    int change_counter = g_terrain.change_counter;
    int most_roost = 0;
    long long before = mem_allocation_count();
    for (; t < 64 + 384; t++) {
        tick(t);
        most_roost = std::max(most_roost, roost_live_count());
    }
    EXPECT_EQ(mem_allocation_count() - before, 0) << "the game tick allocated";

    // The ticks counted did all the tick's work.
    EXPECT_GT(g_collide_counters.joints + g_collide_counters.forces, 0) << "no bike met another";
    EXPECT_GT(most_roost, 0) << "no roost";
    EXPECT_GT(g_terrain.change_counter, change_counter) << "the ground did not deform";
    EXPECT_GT(bike(riders - 1)->crash_timer, 0) << "the fallen rider is up again";
    for (int n = 0; n < riders; n++) EXPECT_EQ(ride_bad_body(bike(n)), nullptr) << n;
}

}  // namespace
}  // namespace ride_test
