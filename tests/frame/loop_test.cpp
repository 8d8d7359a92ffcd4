// The main loop on the scripted platform: frame credit, ticks per frame,
// events dealt out by due time, and what stands still behind a menu.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sim/bike.h"
#include "support/scripted_game.h"

namespace {

// A rider without bodies: the loop hands the local player's controls to it,
// and with no physics world the game tick never steps it.
bike_state s_rider;
bike_state* const fake_rider = &s_rider;

// Records the controls the local player's rider gets each tick.
std::vector<std::vector<float>> g_seen;
void record_controls(const float* c) { g_seen.push_back(std::vector<float>(c, c + control_values)); }

struct LoopTest : ::testing::Test {
    void SetUp() override {
        scripted_game_begin(100.0);
        g_seen.clear();
        g_race.track_loaded = true;
    }
    void watch_local_player() {
        g_race.bikes[0] = fake_rider;
        g_race.control_kind[0] = control_local;
        g_race.watched_slot = 0;
        g_race.view_mode = view_rider;
        g_frame_hooks.player_controls = record_controls;
    }
    int run_frame_after(double seconds) {
        int before = g_race.tick;
        scripted_advance(seconds);
        main_loop_frame();
        return g_race.tick - before;
    }
};

TEST_F(LoopTest, StallIsCappedAtSixteenTicks) {
    EXPECT_EQ(run_frame_after(1.0), 16);
    EXPECT_DOUBLE_EQ(g_timing.longest_credit, 0.125);
    EXPECT_EQ(g_timing.histogram[7], 1);
}

TEST_F(LoopTest, ShortFrameSleepsUntilOneTickIsOwed) {
    int ticks = run_frame_after(0.001);
    EXPECT_EQ(ticks, 1);
    EXPECT_NEAR(scripted_slept(), tick_length - 0.001, 1e-9);
}

TEST_F(LoopTest, LockRateCreditsExactlyItsPeriodAndCarriesTheRemainder) {
    g_startup.lock_rate = 30;
    int total = 0;
    for (int frame = 0; frame < 30; frame++) {
        int ticks = run_frame_after(0.0);
        EXPECT_TRUE(ticks == 4 || ticks == 5) << ticks;
        total += ticks;
        EXPECT_DOUBLE_EQ(g_timing.shortest_credit, 1.0 / 30);
        EXPECT_DOUBLE_EQ(g_timing.longest_credit, 1.0 / 30);
    }
    EXPECT_EQ(total, 128);  // 30 frames of 1/30 s owe one second
}

TEST_F(LoopTest, WarpCreditsOneHundredTicksWithoutWaiting) {
    g_startup.warp = true;
    EXPECT_EQ(run_frame_after(0.0), 100);
    EXPECT_EQ(scripted_slept(), 0.0);
}

TEST_F(LoopTest, EventsReachTheTickTheirStampIsDueIn) {
    watch_local_player();
    double start = scripted_now();
    // Both keys go down inside the second tick; the brake is let go in the
    // third. The frame then owes four ticks.
    event_post(test_key("x"), true, start + 1.2 * tick_length);
    event_post(test_key("c"), true, start + 1.7 * tick_length);
    event_post(test_key("c"), false, start + 2.5 * tick_length);
    EXPECT_EQ(run_frame_after(4 * tick_length), 4);
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[0][control_throttle], 0);
    EXPECT_EQ(g_seen[1][control_throttle], 1);
    EXPECT_EQ(g_seen[1][control_front_brake], 1);
    EXPECT_EQ(g_seen[2][control_front_brake], 0);
    EXPECT_EQ(g_seen[3][control_throttle], 1);
}

TEST_F(LoopTest, LastDueTickTakesEveryPendingEvent) {
    watch_local_player();
    // Stamped after the frame's own clock reading: only the last tick takes it.
    event_post(test_key("x"), true, scripted_now() + 10);
    EXPECT_EQ(run_frame_after(2 * tick_length), 2);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0][control_throttle], 0);
    EXPECT_EQ(g_seen[1][control_throttle], 1);
}

TEST_F(LoopTest, OpposedBindingsCancel) {
    watch_local_player();
    event_post(test_key("left"), true, scripted_now());
    event_post(test_key("right"), true, scripted_now());
    event_post(test_key("n"), true, scripted_now());
    run_frame_after(tick_length);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0][control_steer], 0);
    EXPECT_EQ(g_seen[0][control_lean], -1);  // lean forward
}

TEST_F(LoopTest, SinglePlayerStandsStillBehindAMenuButARobotRaceRuns) {
    watch_local_player();
    g_race.menu = 0;
    EXPECT_EQ(run_frame_after(0.05), 0);
    g_race.control_kind[0] = control_robot;  // watching a robot
    EXPECT_GT(run_frame_after(0.05), 0);
}

TEST_F(LoopTest, PauseStopsTicksAndStepRunsExactlyOne) {
    watch_local_player();
    event_post(test_key("pause"), true, scripted_now());
    run_frame_after(tick_length);
    EXPECT_TRUE(g_race.paused);
    int tick = g_race.tick;
    EXPECT_EQ(run_frame_after(0.1), 0);
    event_post(test_key("."), true, scripted_now() + 0.01);
    run_frame_after(0.1);
    EXPECT_EQ(g_race.tick, tick + 1);
}

TEST_F(LoopTest, PauseKeyDoesNothingOnAServerAndStepNeedsAPause) {
    watch_local_player();
    g_race.on_server = true;
    g_timing.newest_server_tick = 1000000;
    event_post(test_key("pause"), true, scripted_now());
    run_frame_after(tick_length);
    EXPECT_FALSE(g_race.paused);
    g_race.on_server = false;
    int tick = g_race.tick;
    event_post(test_key("."), true, scripted_now());
    int ran = run_frame_after(tick_length);
    EXPECT_EQ(g_race.tick - tick, ran);  // no extra tick from the step key
}

TEST_F(LoopTest, TabCyclesTheViewMode) {
    struct step {
        bool editor;
        int from, to;
    } cases[] = {
        {false, view_rider, view_chase}, {true, view_rider, view_editor}, {false, view_chase, view_track_camera},
        {false, view_track_camera, view_rider}, {false, view_editor, view_chase},
    };
    for (const step& c : cases) {
        scripted_game_begin(100.0);
        g_race.track_loaded = true;
        g_race.bikes[0] = fake_rider;
        g_race.control_kind[0] = control_robot;
        g_settings.editor_allowed = c.editor;
        g_race.view_mode = c.from;
        event_post(key_tab_char, true, scripted_now());
        scripted_advance(tick_length);
        main_loop_frame();
        EXPECT_EQ(g_race.view_mode, c.to) << "from " << c.from << " editor " << c.editor;
    }
}

TEST_F(LoopTest, CloseKeyEndsTheLoop) {
    event_post(key_close, true, scripted_now());
    scripted_advance(tick_length);
    EXPECT_FALSE(main_loop_frame());
}

TEST_F(LoopTest, FailedPresentEndsTheLoop) {
    scripted_set_present_fails(true);
    EXPECT_FALSE(main_loop_frame());
    scripted_set_present_fails(false);
}

TEST_F(LoopTest, ServerStretchesTheCreditToStayInStep) {
    g_race.on_server = true;
    g_race.tick = 1000;
    g_race.gate_drop_tick = 5000;  // before the start
    struct stretch {
        int server_ahead_ticks;
        double factor;
    } cases[] = {
        {1 - 128, 0.5},  // we are a second ahead of the server
        {1 + 128, 4.0},  // a second behind before the start
        {1, 1.0},        // in step
    };
    for (const stretch& c : cases) {
        g_timing.newest_server_tick = g_race.tick + c.server_ahead_ticks;
        g_timing.previous = scripted_now();
        scripted_advance(0.05);
        EXPECT_NEAR(frame_credit(), 0.05 * c.factor, 1e-12) << c.server_ahead_ticks;
    }
    // After the start a second behind runs an eighth faster.
    g_race.gate_drop_tick = 0;
    g_timing.newest_server_tick = g_race.tick + 1 + 128;
    g_timing.previous = scripted_now();
    scripted_advance(0.05);
    EXPECT_NEAR(frame_credit(), 0.05 * 1.125, 1e-12);
}

TEST_F(LoopTest, ChaseCameraFollowsTheControlsWhenWatchingARobot) {
    g_race.bikes[0] = fake_rider;
    g_race.control_kind[0] = control_robot;
    g_race.view_mode = view_chase;
    event_post(test_key("left"), true, scripted_now());
    event_post(test_key("x"), true, scripted_now());
    double distance = g_startup.chase_distance;
    int ticks = run_frame_after(4 * tick_length);
    EXPECT_NEAR(g_startup.chase_heading, ticks * M_PI / 512, 1e-9);
    EXPECT_NEAR(g_startup.chase_distance, distance - ticks / 64.0, 1e-9);
}

}  // namespace
