// The program frame: start-up settings, the working settings, the shared race
// state, the main loop and the game tick.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Constants shared by every subsystem

constexpr double tick_length = 1.0 / 128.0;  // seconds
constexpr int ticks_per_second = 128;
enum { max_riders = 160, no_slot = 160 };
enum { control_local = 0, control_replayed = 1, control_robot = 2 };
enum { control_values = 9 };
enum {
    control_steer, control_throttle, control_front_brake, control_rear_brake, control_shift,
    control_clutch, control_dab, control_back_up, control_lean,
};
constexpr char game_version[] = "2017-04-19-1346 snapshot";

// ---------------------------------------------------------------------------
// Settings that only the command line sets

struct startup_settings {
    double lock_rate;  // frames per second; 0 = off
    bool warp;
    bool no_sound;
    char record_audio[1024];  // audio recording file, "" for none
    bool record_video;
    int colour_depth;
    int depth_bits;
    bool show_paused;
    bool show_hud;
    bool glfinish;
    float chase_center[3];
    double chase_distance;
    double chase_height;
    double chase_heading;
    int audio_samples_per_tick;
    char file_argument[1024];  // "" for none
    bool open_home;            // --open-home was given
};

// Working settings: derived from the configuration at start-up, then
// overridden by the command line.
struct game_settings {
    int debug_level;
    bool practice;
    bool learn_lines;
    bool mmx;
    bool flat_shading;
    bool no_vertex_arrays;
    int texture_detail;         // 0..4
    int ground_texture_detail;  // 0..4
    int roost_frequency;        // 0..1000
    double erosion;             // 0..100
    double ground_detail;
    double max_detail_distance;
    double detail_fade_distance;
    double lod_scale;
    double lod_bias;
    double fake_lag;   // seconds, 0..1
    int fake_loss;     // percent, 0..100
    int rotate_lineup;
    bool editor_allowed;
    int draw_render_stats;
    bool accurate_skip;
    char initial_track[256];  // "" for none
    char auto_connect[128];   // "" for none
    char password[128];
    bool print_orientation;
};

extern startup_settings g_startup;
extern game_settings g_settings;

void startup_settings_defaults();
// Derives the working settings from the configuration.
void game_settings_from_config();

// ---------------------------------------------------------------------------
// Command line

enum { parse_ok = 0, parse_exit_ok = 1, parse_error = 2 };
// Parses the arguments after the program name into g_startup and g_settings
// (and the configuration's overridden keys). Errors are written to standard
// error. Returns parse_ok, parse_exit_ok (--open-home handled) or parse_error.
int command_line_parse(int argc, char** argv);

// ---------------------------------------------------------------------------
// The shared race state

enum {
    view_rider = 0, view_spectator = 1, view_editor = 2, view_chase = 3, view_track_camera = 4, view_no_track = 5,
};

struct bike_state;  // the per-slot bike and rider (sim/bike.h)

struct running_entry {
    int slot, gates, extra;
};

struct race_state {
    bike_state* bikes[max_riders];  // the bike and rider of each slot; null when the slot is empty
    int control_kind[max_riders];
    int lineup[max_riders];
    int tick;           // ticks since the race reset
    int gate_drop_tick;
    double game_clock;  // sum of the frame credits, seconds
    int watched_slot;
    int local_slot;
    running_entry running_order[max_riders];
    int running_count;
    int view_mode;
    int menu;  // open menu page, -1 for none
    bool paused;
    bool quit;
    bool track_loaded;
    bool on_server;
    bool time_trial;
    bool menu_changed;
    bool mouse_button;
    bool watching_pots;  // the controls menu's axis check is running
    float controls[control_values];  // this tick's control accumulators
};
extern race_state g_race;

// Frame timing statistics.
struct frame_timing {
    double previous;  // clock time of the previous frame
    double owed;      // seconds of simulation owed since the loop began
    double simulated; // seconds of simulation run
    long long ticks_run;
    int histogram[8];
    double shortest_credit, longest_credit;
    int newest_server_tick;
};
extern frame_timing g_timing;

// ---------------------------------------------------------------------------
// Main loop, game tick, shut-down

// Resets the loop's timing so the next frame measures from now.
void main_loop_begin();
// Runs one pass: draw, present, measure, run the owed ticks. Returns false
// when the loop must end (quit, or the window can no longer present).
bool main_loop_frame();
// Runs passes until the loop ends.
void main_loop_run();

// The frame credit for this pass, in seconds (sleeps as needed).
double frame_credit();

// Advances the simulation by one tick.
void game_tick();

// The cost of the game tick's parts, for the benchmarks: while `on`, every
// game_tick adds the real-clock seconds of each part to its total. Off, it
// costs a test of the flag per part.
enum {
    tick_part_ground,       // ground contacts of the simulated bikes
    tick_part_pairs,        // rider against rider
    tick_part_roost_emit,   // roost from the wheels
    tick_part_world_step,   // the rigid-body world step (physics_world_step)
    tick_part_deform,       // the wheels digging into the ground
    tick_part_bike_steps,   // the bike steps
    tick_part_roost_update, // the thrown dirt moving
    tick_part_count
};
struct tick_timing {
    bool on;
    double seconds[tick_part_count];
};
extern tick_timing g_tick_timing;

// Shuts the program down in order; returns the exit code.
int game_shutdown();

// Start-up: returns the process exit code.
int game_main(int argc, char** argv);

// Puts all frame state back to its initial values (tests).
void game_reset_for_tests();
