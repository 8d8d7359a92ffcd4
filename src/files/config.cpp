// The configuration file and the bike setup: defaults, reading and writing.
#include "files/config.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/strpool.h"

void (*g_setup_stability_changed)(double stability) = nullptr;

namespace {

const char* const no_yes[] = {"No", "Yes"};
const char* const skills[] = {"Novice", "Amateur", "Expert"};
const char* const lineup_kinds[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
const char* const texture_dims[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
const char* const compress_kinds[] = {"No", "Yes", "Always"};
const char* const render_kinds[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy", "Shaders/Direct"};
const char* const playback_kinds[] = {"Playback Only", "Race Against"};
const char* const brake_kinds[] = {"Normal", "Antilock"};
const char* const wheelie_kinds[] = {"No", "Yes", "Front Only"};
// Until the display is asked, the video-mode choice knows its two fixed entries.
const char* const fixed_video_modes[] = {"Default Fullscreen", "Windowed"};

#define CHOICE(label, list, index) \
    choice_option { label, list, (int)(sizeof list / sizeof list[0]), index }
#define NUMBER(label, value, step, lo, hi) \
    number_option { label, value, step, lo, hi }
#define TEXT(label) \
    text_option { label, text_option_size - 1, "" }

bike_setup make_setup_defaults() {
    bike_setup s = {
        TEXT("Bike"), TEXT("Name"), TEXT("Number"), TEXT("Rider Texture"), TEXT("Head Texture"), TEXT("Bike Texture"),
        TEXT("Wheel Texture"),
        NUMBER("Stability", 100, 1, 0, 100),
        NUMBER("Leveling", 20, 1, 0, 100),
        NUMBER("Roll Damping", 60, 1, 0, 100),
        NUMBER("Roll Limit Angle", 45, 1, 0, 180),
        NUMBER("Roll Limit Factor", 10, 1, 0, 64),
        NUMBER("Steering Damping", 45, 1, 0, 100),
        NUMBER("Steering Strength", 75, 1, 0, 100),
        NUMBER("Max Steering Force", 400, 5, 0, 1000),
        NUMBER("Direct Steering", 1, 0.125, 0, 1),
        NUMBER("Slow Damping Speed", 40, 1, 0, 100),
        NUMBER("Slow Damping Factor", 2, 0.25, 1, 10),
        NUMBER("Landing Damping Falloff", 0.25, 0.0625, 0, 0.5),
        NUMBER("Landing Damping Factor", 2, 0.25, 1, 3),
        NUMBER("Full Lock Speed", 10, 1, 1, 100),
        NUMBER("Restricted Lock Speed", 50, 1, 1, 100),
        NUMBER("Restricted Lock Angle", 7.5, 0.125, 0, 45),
        CHOICE("Arcade Physics", no_yes, 1),
        CHOICE("Front Brake", brake_kinds, 1),
        CHOICE("Rear Brake", brake_kinds, 0),
        CHOICE("Stop Wheelies", wheelie_kinds, 1),
        CHOICE("Automatic Shifting", no_yes, 1),
        CHOICE("Dab When Stopped", no_yes, 1),
        CHOICE("Realign After Fall", no_yes, 1),
        CHOICE("Sticky Sit/Dab", no_yes, 0),
        CHOICE("Reversed Steering", no_yes, 1),
        CHOICE("Lean Indicator", no_yes, 1),
        NUMBER("Auto Clutch RPMs", 5000, 100, 0, 5000),
        NUMBER("Braking Torque (Front)", 500, 10, 0, 500),
        NUMBER("Braking Torque (Rear)", 250, 10, 0, 500),
        NUMBER("Max Dab Speed (MPH)", 60, 1, 5, 60),
        NUMBER("Countershaft Sprocket", 0, 1, -2, 2),
        NUMBER("Rear Sprocket", 0, 1, -2, 2),
        NUMBER("Fork High Speed Compression Damping", 50, 1, 0, 100),
        NUMBER("Fork Low Speed Compression Damping", 50, 1, 0, 100),
        NUMBER("Fork High Speed Rebound Damping", 50, 1, 0, 100),
        NUMBER("Fork Low Speed Rebound Damping", 50, 1, 0, 100),
        NUMBER("Fork Spring Rate", 50, 1, 0, 100),
        NUMBER("Fork Preload", 50, 1, 0, 100),
        NUMBER("Fork Oil Level", 50, 1, 0, 100),
        NUMBER("Shock High Speed Compression Damping", 75, 1, 0, 100),
        NUMBER("Shock Low Speed Compression Damping", 50, 1, 0, 100),
        NUMBER("Shock High Speed Rebound Damping", 75, 1, 0, 100),
        NUMBER("Shock Low Speed Rebound Damping", 50, 1, 0, 100),
        NUMBER("Shock Spring Rate", 50, 1, 0, 100),
        NUMBER("Shock Preload", 50, 1, 0, 100),
        NUMBER("Rider Vertical Spring", 50, 1, 0, 100),
        NUMBER("Rider Vertical Damping", 50, 1, 0, 100),
        NUMBER("Rider Forward Spring", 50, 1, 0, 100),
        NUMBER("Rider Forward Damping", 50, 1, 0, 100),
        NUMBER("Rider Mass Distribution", 0.33, 0.01, 0.33, 0.5),
    };
    snprintf(s.bike.text, sizeof s.bike.text, "%s", "yz250f(2017)");
    return s;
}

enum key_kind { kind_int, kind_number, kind_choice, kind_text, kind_track, kind_map_scale, kind_binding };

struct config_key {
    const char* key;
    key_kind kind;
    void* target;
};

struct binding_default {
    const char* key;
    const char* label;
    const char* default_key;
};
const binding_default binding_defaults[binding_count] = {
    {"throttle_key", "Throttle", "x"},         {"front_brake_key", "Front Brake", "c"},
    {"rear_brake_key", "Rear Brake", "v"},     {"left_key", "Left", "left"},
    {"right_key", "Right", "right"},           {"clutch_key", "Clutch", "z"},
    {"upshift_key", "Upshift", "up"},          {"downshift_key", "Downshift", "down"},
    {"dab_key", "Sit/Dab", "right ctrl"},      {"back_up_key", "Back up", "b"},
    {"lean_forward_key", "Lean Forward", "n"}, {"lean_backward_key", "Lean Backward", "m"},
    {"pause_key", "Pause", "pause"},           {"step_key", "Step", "."},
    {"rewind_key", "Rewind", "\\"},            {"skip_key", "Skip", "/"},
    {"prev_key", "Previous Bike", "["},        {"next_key", "Next Bike", "]"},
    {"console_key", "Chat", "t"},              {"screenshot_key", "Screenshot", "s"},
};

// Setup keys in file order.
struct setup_key {
    const char* key;
    key_kind kind;
    size_t offset;
};
#define SETUP(name, kind) \
    setup_key { #name, kind, offsetof(bike_setup, name) }
const setup_key setup_keys[] = {
    SETUP(bike, kind_text),
    SETUP(name, kind_text),
    SETUP(number, kind_text),
    SETUP(rider_texture, kind_text),
    SETUP(head_texture, kind_text),
    SETUP(bike_texture, kind_text),
    SETUP(wheel_texture, kind_text),
    SETUP(stability, kind_number),
    SETUP(leveling, kind_number),
    SETUP(roll_damping, kind_number),
    SETUP(roll_limit_angle, kind_number),
    SETUP(roll_limit_factor, kind_number),
    SETUP(steering_damping, kind_number),
    SETUP(steering_strength, kind_number),
    SETUP(max_steering_force, kind_number),
    SETUP(direct_steering, kind_number),
    SETUP(slow_damping_speed, kind_number),
    SETUP(slow_damping_factor, kind_number),
    SETUP(land_damping_falloff, kind_number),
    SETUP(land_damping_factor, kind_number),
    SETUP(full_lock_speed, kind_number),
    SETUP(restricted_lock_speed, kind_number),
    SETUP(restricted_lock, kind_number),
    SETUP(arcade, kind_choice),
    SETUP(front_brake, kind_choice),
    SETUP(rear_brake, kind_choice),
    SETUP(stop_wheelies, kind_choice),
    SETUP(auto_shift, kind_choice),
    SETUP(auto_dab, kind_choice),
    SETUP(auto_align, kind_choice),
    SETUP(sticky_dab, kind_choice),
    SETUP(reverse_steering, kind_choice),
    SETUP(lean_indicator, kind_choice),
    SETUP(auto_clutch_rpms, kind_number),
    SETUP(brake_torque, kind_number),
    SETUP(rear_brake_torque, kind_number),
    SETUP(max_dab_speed, kind_number),
    SETUP(front_sprocket_adjustment, kind_number),
    SETUP(rear_sprocket_adjustment, kind_number),
    SETUP(fork_compression_adjustment, kind_number),
    SETUP(fork_slow_compression_adjustment, kind_number),
    SETUP(fork_rebound_adjustment, kind_number),
    SETUP(fork_slow_rebound_adjustment, kind_number),
    SETUP(fork_spring_rate_adjustment, kind_number),
    SETUP(fork_preload_adjustment, kind_number),
    SETUP(fork_oil_level_adjustment, kind_number),
    SETUP(shock_compression_adjustment, kind_number),
    SETUP(shock_slow_compression_adjustment, kind_number),
    SETUP(shock_rebound_adjustment, kind_number),
    SETUP(shock_slow_rebound_adjustment, kind_number),
    SETUP(shock_spring_rate_adjustment, kind_number),
    SETUP(shock_preload_adjustment, kind_number),
    SETUP(rider_yspring, kind_number),
    SETUP(rider_ydamping, kind_number),
    SETUP(rider_zspring, kind_number),
    SETUP(rider_zdamping, kind_number),
    SETUP(rider_mass_distribution, kind_number),
};
#undef SETUP

// Configuration keys in write order, split where the setup keys go.
enum { max_config_keys = 160 };
config_key s_before_setup[max_config_keys], s_after_setup[max_config_keys];
int s_before_count = 0, s_after_count = 0;
char s_slot_keys[lineup_slots][8];
char s_history_keys[server_history_size][24];
bool s_blocked = false;

void add_key(config_key* list, int* count, const char* key, key_kind kind, void* target) {
    list[(*count)++] = {key, kind, target};
}

void build_key_tables() {
    if (s_before_count) return;
    config_settings& c = g_config;
    config_key* b = s_before_setup;
    int* n = &s_before_count;
    add_key(b, n, "xres", kind_int, &c.xres);
    add_key(b, n, "draw_fps", kind_int, &c.draw_fps);
    add_key(b, n, "yres", kind_int, &c.yres);
    add_key(b, n, "draw_ping", kind_int, &c.draw_ping);
    add_key(b, n, "draw_time", kind_int, &c.draw_time);
    add_key(b, n, "draw_speed", kind_int, &c.draw_speed);
    add_key(b, n, "spy", kind_int, &c.spy);
    add_key(b, n, "track", kind_track, &c.track);
    add_key(b, n, "record", kind_choice, &c.record);
    add_key(b, n, "skill", kind_choice, &c.skill);
    add_key(b, n, "minutes", kind_number, &c.minutes);
    add_key(b, n, "laps", kind_number, &c.laps);
    for (int i = 0; i < lineup_slots; i++) {
        snprintf(s_slot_keys[i], sizeof s_slot_keys[i], "slot%02d", i);
        add_key(b, n, s_slot_keys[i], kind_choice, &c.slots[i]);
    }
    add_key(b, n, "ghost_fade_distance", kind_number, &c.ghost_fade_distance);
    add_key(b, n, "time_trial_abort", kind_choice, &c.time_trial_abort);

    config_key* a = s_after_setup;
    n = &s_after_count;
    add_key(a, n, "video_mode", kind_choice, &c.video_mode);
    add_key(a, n, "server_name", kind_text, &c.server_name);
    for (int i = 0; i < server_history_size; i++) {
        snprintf(s_history_keys[i], sizeof s_history_keys[i], "server_name_hist%02d", i);
        add_key(a, n, s_history_keys[i], kind_text, &c.server_name_hist[i]);
    }
    add_key(a, n, "ground_detail", kind_number, &c.ground_detail);
    add_key(a, n, "ground_texture_detail", kind_number, &c.ground_texture_detail);
    add_key(a, n, "ground_texture_dim", kind_choice, &c.ground_texture_dim);
    add_key(a, n, "ground_mipmaps", kind_choice, &c.ground_mipmaps);
    add_key(a, n, "texture_compress", kind_choice, &c.texture_compress);
    add_key(a, n, "render_texture", kind_choice, &c.render_texture);
    add_key(a, n, "roost_density", kind_number, &c.roost_density);
    add_key(a, n, "use_shader", kind_choice, &c.use_shader);
    add_key(a, n, "lens_flare", kind_choice, &c.lens_flare);
    add_key(a, n, "reflections", kind_choice, &c.reflections);
    add_key(a, n, "hide_rider", kind_choice, &c.hide_rider);
    add_key(a, n, "rigid_camera", kind_choice, &c.rigid_camera);
    add_key(a, n, "fov", kind_number, &c.fov);
    add_key(a, n, "first_person_height", kind_number, &c.first_person_height);
    add_key(a, n, "model_detail", kind_number, &c.model_detail);
    add_key(a, n, "model_texture_detail", kind_number, &c.model_texture_detail);
    add_key(a, n, "volume", kind_number, &c.volume);
    add_key(a, n, "comp_volume", kind_number, &c.comp_volume);
    add_key(a, n, "first_person_angle", kind_number, &c.first_person_angle);
    add_key(a, n, "third_person_height", kind_number, &c.third_person_height);
    add_key(a, n, "third_person_distance", kind_number, &c.third_person_distance);
    add_key(a, n, "playback_mode", kind_choice, &c.playback_mode);
    add_key(a, n, "billboard_optimize_lookahead", kind_int, &c.billboard_optimize_lookahead);
    add_key(a, n, "demo_backups", kind_int, &c.demo_backups);
    add_key(a, n, "message_lines", kind_int, &c.message_lines);
    add_key(a, n, "map_scale", kind_map_scale, &c.map_scale);
    // Read before the bindings so a hand-set value survives the next write.
    add_key(a, n, "use_fbo", kind_choice, &c.use_fbo);
    for (int i = 0; i < binding_count; i++) add_key(a, n, binding_defaults[i].key, kind_binding, &c.bindings[i]);
}

bool parse_double(const char* value, double* out) {
    float f;
    if (sscanf(value, "%f", &f) != 1 || !std::isfinite(f)) return false;
    *out = f;
    return true;
}

void set_binding(control_binding* b, const char* value) {
    while (*value == ' ' || *value == '\t') value++;
    b->key_name = nullptr;
    b->axis_name = nullptr;
    b->low = 0;
    b->high = 1;
    b->code = -1;
    b->axis = -1;
    b->value = 0;
    float low, high;
    const char* close = strchr(value, ')');
    if (value[0] == '(' && close && sscanf(value, "(%f,%f)", &low, &high) == 2) {
        b->axis_name = string_shared(close + 1);
        // Equal or non-finite ends would make the control value undefined.
        if (std::isfinite(low) && std::isfinite(high) && low != high) {
            b->low = low;
            b->high = high;
        }
        return;
    }
    if (strncmp(value, "(k)", 3) == 0) value += 3;
    b->key_name = string_shared(value);
}

// Applies one value; returns false when the key is not known.
bool apply(const config_key& k, const char* value) {
    switch (k.kind) {
    case kind_int: {
        int v;
        if (sscanf(value, "%d", &v) == 1) *(int*)k.target = v;
        break;
    }
    case kind_number: {
        double v;
        if (parse_double(value, &v)) number_set((number_option*)k.target, v);
        break;
    }
    case kind_choice: choice_set((choice_option*)k.target, value); break;
    case kind_text: text_set((text_option*)k.target, value); break;
    case kind_track: *(const char**)k.target = string_shared(value); break;
    case kind_map_scale: {
        double v;
        if (parse_double(value, &v)) *(double*)k.target = v < 0.125 ? 0.125 : (v > 8 ? 8 : v);
        break;
    }
    case kind_binding: set_binding((control_binding*)k.target, value); break;
    }
    return true;
}

void write_key(data_stream* s, const char* key, key_kind kind, const void* target) {
    switch (kind) {
    case kind_int: data_printf(s, "%s=%d\n", key, *(const int*)target); break;
    case kind_number: data_printf(s, "%s=%f\n", key, ((const number_option*)target)->value); break;
    case kind_choice: data_printf(s, "%s=%s\n", key, choice_text((const choice_option*)target)); break;
    case kind_text: data_printf(s, "%s=%s\n", key, ((const text_option*)target)->text); break;
    case kind_track: data_printf(s, "%s=%s\n", key, *(const char* const*)target ? *(const char* const*)target : ""); break;
    case kind_map_scale: data_printf(s, "%s=%f\n", key, *(const double*)target); break;
    case kind_binding: {
        const control_binding* b = (const control_binding*)target;
        if (b->axis_name)
            data_printf(s, "%s=(%f,%f)%s\n", key, b->low, b->high, b->axis_name);
        else
            data_printf(s, "%s=(k)%s\n", key, b->key_name ? b->key_name : "");
        break;
    }
    }
}

void read_line(char* line) {
    char* eq = strchr(line, '=');
    if (!eq) return;
    *eq = 0;
    char* value = eq + 1;
    size_t n = strlen(value);
    while (n > 0 && (value[n - 1] == '\r' || value[n - 1] == '\n')) value[--n] = 0;
    if (setup_read_line(line, value)) return;
    build_key_tables();
    for (int i = 0; i < s_before_count; i++)
        if (strcmp(s_before_setup[i].key, line) == 0) {
            apply(s_before_setup[i], value);
            return;
        }
    for (int i = 0; i < s_after_count; i++)
        if (strcmp(s_after_setup[i].key, line) == 0) {
            apply(s_after_setup[i], value);
            break;
        }
    g_config.message_lines = g_config.message_lines < 0 ? 0
                             : g_config.message_lines > message_ring_lines ? message_ring_lines
                                                                            : g_config.message_lines;
}

// Reads a whole configuration stream; false when it is not a text file we can
// trust (a read error, a zero byte or an overlong line).
bool read_stream(data_stream* s) {
    char line[1024];
    bool ok = true;
    while (true) {
        int n = 0;
        int c = 0;
        while (n < (int)sizeof line - 1 && (c = data_getc(s)) >= 0) {
            if (c == 0) ok = false;
            line[n++] = (char)c;
            if (c == '\n') break;
        }
        line[n] = 0;
        if (n == 0) break;
        if (n == (int)sizeof line - 1 && line[n - 1] != '\n') {
            // Overlong line: skip the rest of it.
            ok = false;
            while ((c = data_getc(s)) >= 0 && c != '\n') {
            }
            continue;
        }
        read_line(line);
    }
    if (data_error(s)) ok = false;
    return ok;
}

}  // namespace

config_settings g_config;
bike_setup g_setup;
const bike_setup g_setup_defaults = make_setup_defaults();

bool choice_set(choice_option* option, const char* text) {
    for (int i = 0; i < option->count; i++) {
        if (strcmp(option->choices[i], text) == 0) {
            option->index = i;
            return true;
        }
    }
    return false;
}

const char* choice_text(const choice_option* option) {
    if (option->index < 0 || option->index >= option->count) return "";
    return option->choices[option->index];
}

bool number_set(number_option* option, double value) {
    if (!std::isfinite(value)) return false;
    if (value < option->minimum) value = option->minimum;
    if (value > option->maximum) value = option->maximum;
    option->value = value;
    return true;
}

void text_set(text_option* option, const char* text) {
    int max = option->max_length < text_option_size - 1 ? option->max_length : text_option_size - 1;
    snprintf(option->text, (size_t)max + 1, "%s", text);
}

void config_defaults() {
    config_settings& c = g_config;
    c.xres = 640;
    c.draw_fps = 0;
    c.yres = 480;
    c.draw_ping = 1;
    c.draw_time = 0;
    c.draw_speed = 0;
    c.spy = 0;
    c.track = string_shared("rabbithill");
    c.record = CHOICE("Record", no_yes, 0);
    c.skill = CHOICE("Skill", skills, 0);
    c.minutes = NUMBER("Minutes", 0, 1, 0, 60);
    c.laps = NUMBER("Laps", 5, 1, 0, 50);
    for (int i = 0; i < lineup_slots; i++) {
        int kind = 0;
        if (i == 19) kind = 1;
        if (i == 17 || i == 18 || i == 20 || i == 21 || i == 22) kind = 2;
        c.slots[i] = CHOICE("Gate", lineup_kinds, kind);
    }
    c.ghost_fade_distance = NUMBER("Ghost Fade Distance", 10, 1, 0, 40);
    c.time_trial_abort = CHOICE("Time Trial Abort", no_yes, 1);
    c.video_mode = CHOICE("Video Mode", fixed_video_modes, 0);
    c.server_name = TEXT("Server");
    text_set(&c.server_name, "localhost");
    for (int i = 0; i < server_history_size; i++) c.server_name_hist[i] = TEXT("Server");
    c.server_name_selected = -1;
    c.ground_detail = NUMBER("Ground Detail", 50, 1, 0, 100);
    c.ground_texture_detail = NUMBER("Ground Texture Detail", 9, 1, 0, 10);
    c.ground_texture_dim = CHOICE("Ground Texture Size", texture_dims, 2);
    c.ground_mipmaps = CHOICE("Ground Mipmaps", no_yes, 1);
    c.texture_compress = CHOICE("Texture Compression", compress_kinds, 1);
    c.render_texture = CHOICE("Render Ground Textures", render_kinds, 2);
    c.roost_density = NUMBER("Roost Density", 250, 10, 0, 1000);
    c.use_shader = CHOICE("Use Shaders", no_yes, 1);
    c.lens_flare = CHOICE("Lens Flare", no_yes, 1);
    c.reflections = CHOICE("Reflections", no_yes, 1);
    c.hide_rider = CHOICE("Hide Rider", no_yes, 0);
    c.rigid_camera = CHOICE("Rigid Camera", no_yes, 0);
    c.fov = NUMBER("Field of View", 110, 1, 10, 170);
    c.first_person_height = NUMBER("First Person Height", 0, 0.03125, 0, 1);
    c.model_detail = NUMBER("Model Detail", 50, 1, 0, 100);
    c.model_texture_detail = NUMBER("Model Texture Detail", 9, 1, 0, 10);
    c.volume = NUMBER("Volume", 10, 1, 0, 10);
    c.comp_volume = NUMBER("Opponent Volume", 8, 1, 0, 10);
    c.first_person_angle = NUMBER("First Person Angle", 0, 1, 0, 40);
    c.third_person_height = NUMBER("Third Person Height", 5, 1, 0, 20);
    c.third_person_distance = NUMBER("Third Person Distance", 10, 1, 5, 40);
    c.playback_mode = CHOICE("Playback Mode", playback_kinds, 0);
    c.billboard_optimize_lookahead = 8;
    c.demo_backups = 0;
    c.message_lines = 5;
    c.map_scale = 1;
    for (int i = 0; i < binding_count; i++) {
        control_binding& b = c.bindings[i];
        b.label = binding_defaults[i].label;
        b.default_key = binding_defaults[i].default_key;
        b.key_name = string_shared(binding_defaults[i].default_key);
        b.axis_name = nullptr;
        b.low = 0;
        b.high = 1;
        b.code = -1;
        b.axis = -1;
        b.value = 0;
    }
    c.use_fbo = CHOICE("Use FBO", no_yes, 1);
    g_setup = g_setup_defaults;
}

bool setup_read_line(const char* key, const char* value) {
    for (const setup_key& k : setup_keys) {
        if (strcmp(k.key, key) != 0) continue;
        void* target = (char*)&g_setup + k.offset;
        if (k.kind == kind_number) {
            double v;
            if (parse_double(value, &v)) {
                number_set((number_option*)target, v);
                if (target == &g_setup.stability && g_setup_stability_changed)
                    g_setup_stability_changed(g_setup.stability.value);
            }
        } else if (k.kind == kind_choice) {
            choice_set((choice_option*)target, value);
        } else {
            text_set((text_option*)target, value);
        }
        return true;
    }
    return false;
}

void setup_write(data_stream* s) {
    for (const setup_key& k : setup_keys) write_key(s, k.key, k.kind, (const char*)&g_setup + k.offset);
}

bool setup_read_file(const char* path) {
    data_stream* s = data_open(path, "rb");
    if (!s) return false;
    char line[1024];
    while (data_gets(s, line, sizeof line)) {
        char* eq = strchr(line, '=');
        if (!eq) continue;
        *eq = 0;
        char* value = eq + 1;
        size_t n = strlen(value);
        while (n > 0 && (value[n - 1] == '\r' || value[n - 1] == '\n')) value[--n] = 0;
        setup_read_line(line, value);
    }
    bool ok = !data_error(s);
    data_close(s);
    return ok;
}

bool setup_write_file(const char* path) {
    data_stream* s = data_open_replace(path);
    if (!s) return false;
    setup_write(s);
    return data_close_replace(s);
}

void config_read_text(const char* text) {
    char line[1024];
    const char* p = text;
    while (*p) {
        size_t n = strcspn(p, "\n");
        size_t take = n < sizeof line - 1 ? n : sizeof line - 1;
        memcpy(line, p, take);
        line[take] = 0;
        read_line(line);
        p += n;
        if (*p == '\n') p++;
    }
}

void config_read() {
    s_blocked = false;
    data_stream* s = data_open("@config", "rb");
    if (!s) return;
    bool ok = read_stream(s);
    data_close(s);
    if (!ok) {
        // Keep the user's file as it is, with a numbered backup beside it, and
        // never write defaults over it.
        s_blocked = true;
        log_text("Can't read the configuration file: keeping it and not writing over it\n");
        data_stream* copy = data_open("@config", "~ab");
        data_close(copy);
    }
}

bool config_write() {
    if (s_blocked) {
        log_text("Configuration not written: the file could not be read at start-up\n");
        return false;
    }
    build_key_tables();
    data_stream* s = data_open_replace("@config");
    if (!s) return false;
    for (int i = 0; i < s_before_count; i++) write_key(s, s_before_setup[i].key, s_before_setup[i].kind, s_before_setup[i].target);
    setup_write(s);
    for (int i = 0; i < s_after_count; i++) write_key(s, s_after_setup[i].key, s_after_setup[i].kind, s_after_setup[i].target);
    return data_close_replace(s);
}

bool config_write_blocked() { return s_blocked; }
