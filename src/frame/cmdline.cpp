// The command line: one matcher walks the arguments left to right; each pass
// asks for the options in a fixed order and acts on the first that matches.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "files/config.h"
#include "files/data.h"
#include "frame/game.h"

namespace {

struct arg_cursor {
    int remaining;
    char** current;
    bool end_of_options;
};

// An option without a value: the argument must equal the name.
bool is_flag(arg_cursor* c, const char* name) {
    if (c->remaining <= 0 || c->end_of_options) return false;
    if (strcmp(*c->current, name) != 0) return false;
    c->current++;
    c->remaining--;
    return true;
}

// An option with a value: "--name value" or "--name=value". A lone "--" ends
// the options. *value is null when the option is the last argument.
bool is_option(arg_cursor* c, const char* name, const char** value) {
    if (c->remaining <= 0 || c->end_of_options) return false;
    const char* arg = *c->current;
    if (strcmp(arg, "--") == 0) {
        c->end_of_options = true;
        c->current++;
        c->remaining--;
        return false;
    }
    size_t n = strlen(name);
    if (strcmp(arg, name) == 0) {
        c->current++;
        c->remaining--;
        if (c->remaining > 0) {
            *value = *c->current;
            c->current++;
            c->remaining--;
        } else {
            *value = nullptr;
        }
        return true;
    }
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        *value = arg + n + 1;
        c->current++;
        c->remaining--;
        return true;
    }
    return false;
}

bool read_int(const char* value, int* out) { return value && sscanf(value, "%d", out) == 1; }

// Floats must also be finite: a NaN would slip through every clamp.
bool read_float(const char* value, double* out) {
    float f;
    if (!value || sscanf(value, "%f", &f) != 1 || !std::isfinite(f)) return false;
    *out = f;
    return true;
}

int whole_int(const char* value) { return value ? (int)strtol(value, nullptr, 10) : 0; }

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
double clamp_double(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool bad_arg(const char* option) {
    fprintf(stderr, "Bad arg for %s\n", option);
    return false;
}

bool cpu_has_mmx() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

void connect_to(const char* value) {
    const char prefix[] = "dirtwake:";
    if (strncmp(value, prefix, sizeof prefix - 1) == 0) value += sizeof prefix - 1;
    text_set(&g_config.server_name, value);
    const char* name = g_config.server_name.text;
    if (name[0] && strcmp(name, g_config.server_name_hist[0].text) != 0) {
        for (int i = server_history_size - 1; i > 0; i--) g_config.server_name_hist[i] = g_config.server_name_hist[i - 1];
        text_set(&g_config.server_name_hist[0], name);
        g_config.server_name_selected = -1;
    }
    snprintf(g_settings.auto_connect, sizeof g_settings.auto_connect, "%s", name);
}

// One pass: acts on the first option that matches. Returns false on an error
// (already reported), and sets *done for --open-home.
bool parse_one(arg_cursor* c, bool* done) {
    game_settings& g = g_settings;
    startup_settings& s = g_startup;
    const char* v = nullptr;
    int i;
    double d;

    if (is_flag(c, "--fugly")) { g.flat_shading = true; return true; }
    if (is_flag(c, "--nosound")) { s.no_sound = true; return true; }
    if (is_flag(c, "--novertexarrays")) { g.no_vertex_arrays = true; return true; }
    if (is_flag(c, "--learn")) { g.learn_lines = true; return true; }
    if (is_flag(c, "--nolearn")) { g.learn_lines = false; return true; }
    if (is_flag(c, "--nommx")) {
        if (g.mmx) log_text("Ignoring MMX\n");
        g.mmx = false;
        return true;
    }
    if (is_flag(c, "--debug")) { g.debug_level = 1; return true; }
    if (is_flag(c, "--super-debug")) { g.debug_level = 2; return true; }
    if (is_flag(c, "--practice")) { g.practice = true; return true; }
    if (is_flag(c, "--warp")) { s.warp = true; return true; }
    if (is_option(c, "--texture-detail", &v)) {
        if (!read_int(v, &i)) return bad_arg("--texture-detail");
        g.texture_detail = g.ground_texture_detail = clamp_int(i, 0, 4);
        return true;
    }
    if (is_option(c, "--ground-texture-detail", &v)) {
        if (!read_int(v, &i)) return bad_arg("--ground-texture-detail");
        g.ground_texture_detail = clamp_int(i, 0, 4);
        return true;
    }
    if (is_option(c, "--roostfrequency", &v)) {
        if (!read_int(v, &i)) return bad_arg("--roostfrequency");
        g.roost_frequency = clamp_int(i, 0, 1000);
        return true;
    }
    if (is_option(c, "--erode", &v)) {
        if (!read_float(v, &d)) return bad_arg("--erode");
        g.erosion = clamp_double(d, 0, 100);
        return true;
    }
    if (is_option(c, "--detail", &v)) {
        if (!read_float(v, &d)) return bad_arg("--detail");
        g.ground_detail = d;
        return true;
    }
    if (is_option(c, "--max-detail-distance", &v)) {
        if (!read_float(v, &d)) return bad_arg("--max-detail-distance");
        g.max_detail_distance = d;
        g.detail_fade_distance = d + 5;
        return true;
    }
    if (is_option(c, "--lod-scale", &v)) {
        if (!read_float(v, &d)) return bad_arg("--lod-scale");
        g.lod_scale = clamp_double(d, 0.000001, 1000000);
        return true;
    }
    if (is_option(c, "--lod-bias", &v)) {
        if (!read_float(v, &d)) return bad_arg("--lod-bias");
        g.lod_bias = d;
        return true;
    }
    if (is_option(c, "--lock-fps", &v)) {
        // 0 turns the lock off; other rates are kept between 1 and 1000 frames
        // per second so the loop can neither stall nor starve its input.
        if (!read_float(v, &d) || d < 0) return bad_arg("--lock-fps");
        s.lock_rate = d == 0 ? 0 : clamp_double(d, 1, 1000);
        return true;
    }
    if (is_option(c, "--fake-lag", &v)) {
        if (!read_float(v, &d)) return bad_arg("--fake-lag");
        g.fake_lag = clamp_double(d * 0.001, 0, 1);
        return true;
    }
    if (is_option(c, "--fake-loss", &v)) {
        if (!read_int(v, &i)) return bad_arg("--fake-loss");
        g.fake_loss = clamp_int(i, 0, 100);
        return true;
    }
    if (is_option(c, "--record-audio", &v)) {
        if (v) snprintf(s.record_audio, sizeof s.record_audio, "%s", v);
        return true;
    }
    if (is_flag(c, "--record-video")) { s.record_video = true; return true; }
    if (is_option(c, "--rotate-lineup", &v)) { g.rotate_lineup = whole_int(v); return true; }
    if (is_flag(c, "--editor")) { g.editor_allowed = true; return true; }
    if (is_flag(c, "--hidden-pause")) { s.show_paused = false; return true; }
    if (is_flag(c, "--hidden-hud")) { s.show_hud = false; return true; }
    if (is_option(c, "--bikes", &v)) {
        fputs("--bikes doesn't do anything anymore\n", stderr);
        return true;
    }
    if (is_option(c, "--width", &v)) { if (v) g_config.xres = whole_int(v); return true; }
    if (is_option(c, "--height", &v)) { if (v) g_config.yres = whole_int(v); return true; }
    if (is_option(c, "--depth", &v)) { if (v) s.colour_depth = whole_int(v); return true; }
    if (is_option(c, "--zdepth", &v)) { if (v) s.depth_bits = whole_int(v); return true; }
    if (is_option(c, "--draw-fps", &v)) { if (v) g_config.draw_fps = whole_int(v); return true; }
    if (is_option(c, "--draw-time", &v)) { if (v) g_config.draw_time = whole_int(v); return true; }
    if (is_option(c, "--draw-ping", &v)) { if (v) g_config.draw_ping = whole_int(v); return true; }
    if (is_option(c, "--draw-speed", &v)) { if (v) g_config.draw_speed = whole_int(v); return true; }
    if (is_option(c, "--draw-render-stats", &v)) { if (v) g.draw_render_stats = whole_int(v); return true; }
    if (is_flag(c, "--accurate-skip")) { g.accurate_skip = true; return true; }
    if (is_option(c, "--track", &v)) {
        if (v) snprintf(g.initial_track, sizeof g.initial_track, "%s", v);
        return true;
    }
    if (is_option(c, "--connect", &v)) {
        if (v) connect_to(v);
        return true;
    }
    if (is_option(c, "--password", &v)) {
        if (v) snprintf(g.password, sizeof g.password, "%s", v);
        return true;
    }
    if (is_option(c, "--chase-center", &v)) {
        float x, y, z;
        if (!v || sscanf(v, "%f,%f,%f", &x, &y, &z) != 3 || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
            return bad_arg("--chase-center");
        s.chase_center[0] = x;
        s.chase_center[1] = y;
        s.chase_center[2] = z;
        return true;
    }
    if (is_flag(c, "--open-home")) {
        open_home_folder();
        *done = true;
        return true;
    }
    if (is_flag(c, "--glfinish")) { s.glfinish = true; return true; }
    if (is_flag(c, "--print-orientation")) { g.print_orientation = true; return true; }

    // No option: a file argument, or a bad option.
    if (c->remaining <= 0) return true;  // a trailing "--" was consumed
    const char* arg = *c->current;
    if (arg[0] == '-' && !c->end_of_options) {
        fprintf(stderr, "bad option '%s'\n", arg);
        return false;
    }
    if (s.file_argument[0]) {
        fputs("Too many files!\n", stderr);
        return false;
    }
    snprintf(s.file_argument, sizeof s.file_argument, "%s", arg);
    c->current++;
    c->remaining--;
    return true;
}

}  // namespace

startup_settings g_startup;
game_settings g_settings;

void startup_settings_defaults() {
    startup_settings& s = g_startup;
    memset(&s, 0, sizeof s);
    s.colour_depth = 16;
    s.depth_bits = 16;
    s.show_paused = true;
    s.show_hud = true;
    s.chase_center[0] = 0;
    s.chase_center[1] = 2.52f;
    s.chase_center[2] = 0.52f;
    s.chase_distance = 10.0;
    s.chase_height = 5.0;
    s.chase_heading = 0;
    s.audio_samples_per_tick = (int)(tick_length * 88320);

    game_settings& g = g_settings;
    memset(&g, 0, sizeof g);
    g.mmx = cpu_has_mmx();
    g.texture_detail = 4;
    g.ground_texture_detail = 4;
    g.max_detail_distance = 70;
    g.detail_fade_distance = 75;
    g.lod_scale = 1;
}

void game_settings_from_config() {
    game_settings& g = g_settings;
    // The configuration's 0..10 detail scales map onto the 0..4 steps of
    // texture reduction the loaders know.
    int detail = (int)lround(g_config.model_texture_detail.value);
    g.texture_detail = clamp_int(detail * 4 / 9, 0, 4);
    detail = (int)lround(g_config.ground_texture_detail.value);
    g.ground_texture_detail = clamp_int(detail * 4 / 9, 0, 4);
    g.roost_frequency = clamp_int((int)lround(g_config.roost_density.value), 0, 1000);
    g.ground_detail = g_config.ground_detail.value;
    snprintf(g.initial_track, sizeof g.initial_track, "%s", "");
}

int command_line_parse(int argc, char** argv) {
    arg_cursor c = {argc > 0 ? argc - 1 : 0, argv + 1, false};
    bool done = false;
    while (c.remaining > 0) {
        if (!parse_one(&c, &done)) return parse_error;
        if (done) return parse_exit_ok;
    }
    return parse_ok;
}
