// The configuration file "@config" and the bike setup.
//
// Every setting the menus edit is an option object (number, choice, text or
// control binding). The configuration is read once at start-up and written
// once at shut-down; the bike setup is part of it and can also be saved to
// and read from a setup file of its own.
#pragma once

#include <cstdint>

#include "files/data.h"

struct number_option {
    const char* label;
    double value, step, minimum, maximum;
};

struct choice_option {
    const char* label;
    const char* const* choices;
    int count;
    int index;
};

enum { text_option_size = 128 };
struct text_option {
    const char* label;
    int max_length;  // at most text_option_size - 1
    char text[text_option_size];
};

struct control_binding {
    const char* label;
    const char* default_key;
    const char* key_name;   // shared string, or null
    const char* axis_name;  // shared string, or null for a key binding
    double low, high;       // axis ends (0 and 1 by default)
    int32_t code;           // resolved key code, or -1
    int axis;               // resolved axis handle, or -1
    double value;           // 0..1: key down/up, or the axis position
};

// The control bindings in their file order; the first twelve feed the control
// values, the others are the global keys.
enum {
    bind_throttle, bind_front_brake, bind_rear_brake, bind_left, bind_right, bind_clutch,
    bind_upshift, bind_downshift, bind_dab, bind_back_up, bind_lean_forward, bind_lean_backward,
    bind_pause, bind_step, bind_rewind, bind_skip, bind_prev, bind_next, bind_console, bind_screenshot,
    binding_count
};

enum { lineup_slots = 40, server_history_size = 16 };

struct config_settings {
    int xres, draw_fps, yres, draw_ping, draw_time, draw_speed, spy;
    const char* track;  // shared string
    choice_option record, skill;
    number_option minutes, laps;
    choice_option slots[lineup_slots];
    number_option ghost_fade_distance;
    choice_option time_trial_abort;
    choice_option video_mode;  // choices: the video-mode list, set at start-up
    text_option server_name;
    text_option server_name_hist[server_history_size];
    int server_name_selected;  // history entry chosen in the menu, -1 for none
    number_option ground_detail, ground_texture_detail;
    choice_option ground_texture_dim, ground_mipmaps, texture_compress, render_texture;
    number_option roost_density;
    choice_option use_shader, lens_flare, reflections, hide_rider, rigid_camera;
    number_option fov, first_person_height, model_detail, model_texture_detail, volume, comp_volume,
        first_person_angle, third_person_height, third_person_distance;
    choice_option playback_mode;
    int billboard_optimize_lookahead, demo_backups, message_lines;
    double map_scale;
    control_binding bindings[binding_count];
    choice_option use_fbo;
};

struct bike_setup {
    text_option bike, name, number, rider_texture, head_texture, bike_texture, wheel_texture;
    number_option stability, leveling, roll_damping, roll_limit_angle, roll_limit_factor, steering_damping,
        steering_strength, max_steering_force, direct_steering, slow_damping_speed, slow_damping_factor,
        land_damping_falloff, land_damping_factor, full_lock_speed, restricted_lock_speed, restricted_lock;
    choice_option arcade, front_brake, rear_brake, stop_wheelies, auto_shift, auto_dab, auto_align, sticky_dab,
        reverse_steering, lean_indicator;
    number_option auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed, front_sprocket_adjustment,
        rear_sprocket_adjustment, fork_compression_adjustment, fork_slow_compression_adjustment,
        fork_rebound_adjustment, fork_slow_rebound_adjustment, fork_spring_rate_adjustment,
        fork_preload_adjustment, fork_oil_level_adjustment, shock_compression_adjustment,
        shock_slow_compression_adjustment, shock_rebound_adjustment, shock_slow_rebound_adjustment,
        shock_spring_rate_adjustment, shock_preload_adjustment, rider_yspring, rider_ydamping, rider_zspring,
        rider_zdamping, rider_mass_distribution;
};

extern config_settings g_config;
extern bike_setup g_setup;                // the working setup
extern const bike_setup g_setup_defaults;  // the default setup

// Puts every setting back to its default (the working setup included).
void config_defaults();

// Reads "@config". A missing file leaves the defaults. A file that exists but
// cannot be read is kept (with a backup copy) and will not be overwritten.
void config_read();
// Writes "@config" safely (temporary file, then rename); false on failure or
// when the file was not readable at start-up.
bool config_write();
// Reads one configuration text (for tests and the reader): all its lines.
void config_read_text(const char* text);

// Offers one "key=value" pair to the setup; true when the key is a setup key.
bool setup_read_line(const char* key, const char* value);
// Writes every setup key, one "key=value" line each.
void setup_write(data_stream* s);
// Reads and writes a setup file by path or data name.
bool setup_read_file(const char* path);
bool setup_write_file(const char* path);

// Sets a choice by its exact text; false (and no change) when no choice has it.
bool choice_set(choice_option* option, const char* text);
const char* choice_text(const choice_option* option);
// Sets a number, clamped to the option's range; non-finite values are refused.
bool number_set(number_option* option, double value);
void text_set(text_option* option, const char* text);

// Called when the stability value changes, so the rider aids can take it.
extern void (*g_setup_stability_changed)(double stability);

// True when "@config" existed but could not be read, so it is kept as it is.
bool config_write_blocked();
