// Start-up: brings the subsystems up in a fixed order, runs the main loop and
// shuts down.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/digest.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/strpool.h"
#include "files/config.h"
#include "files/data.h"
#include "frame/catalogues.h"
#include "frame/game.h"
#include "frame/hooks.h"
#include "frame/startup.h"
#include "platform/input.h"
#include "platform/window.h"
#include "sim/world.h"

bool g_fixed_files_match = false;

namespace {

// Digests of the generic collision shapes the game ships with.
const char* const accepted_shape_digests[] = {
    "e4509d1d1604d40a357161bb4c38f62fb2739b0a",
};

const char* const generic_shapes[] = {
    "@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp", "@generic_swingarm.shp",
    "@front_wheel.shp",   "@rear_wheel.shp",         "@generic_rider.shp",
};

// The video-mode list: "Default Fullscreen" (0 x 0, the desktop's size),
// "Windowed", then "%dx%d" for every display mode of the first mode's depth.
const char** s_video_names = nullptr;
int (*s_video_sizes)[2] = nullptr;
int s_video_count = 0;

int s_pointer_axes[2] = {-1, -1};

void build_video_modes() {
    const display_mode* modes = display_modes();
    int n = 0;
    while (modes[n].width || modes[n].height || modes[n].bits) n++;
    s_video_names = (const char**)mem_calloc_or_die((size_t)n + 2, sizeof(const char*));
    s_video_sizes = (int(*)[2])mem_calloc_or_die((size_t)n + 2, sizeof(int[2]));
    s_video_count = 0;
    s_video_names[s_video_count++] = "Default Fullscreen";
    s_video_names[s_video_count++] = "Windowed";
    for (int i = 0; i < n; i++) {
        if (modes[i].bits != modes[0].bits) continue;
        char name[32];
        snprintf(name, sizeof name, "%dx%d", modes[i].width, modes[i].height);
        s_video_names[s_video_count] = mem_strdup(name);
        s_video_sizes[s_video_count][0] = modes[i].width;
        s_video_sizes[s_video_count][1] = modes[i].height;
        s_video_count++;
    }
    g_config.video_mode.choices = s_video_names;
    g_config.video_mode.count = s_video_count;
}

void free_video_modes() {
    for (int i = 2; i < s_video_count; i++) mem_free((void*)s_video_names[i]);
    mem_free(s_video_names);
    mem_free(s_video_sizes);
    s_video_names = nullptr;
    s_video_sizes = nullptr;
    s_video_count = 0;
    // The setting keeps the two entries that need no display.
    static const char* const fixed[] = {"Default Fullscreen", "Windowed"};
    g_config.video_mode.choices = fixed;
    g_config.video_mode.count = 2;
    if (g_config.video_mode.index >= 2) g_config.video_mode.index = 0;
}

// Binds the pointer axes, every configured binding (a key by its name, an
// analog binding by its axis name) and, in the main loop, the fixed keys.
// Naming a device button here makes the device post its presses.
void resolve_bindings() {
    s_pointer_axes[0] = axis_open("cursor-x");
    s_pointer_axes[1] = axis_open("cursor-y");
    for (control_binding& b : g_config.bindings) {
        b.code = -1;
        b.axis = -1;
        if (b.axis_name) {
            b.axis = axis_open(b.axis_name);
        } else {
            int32_t code;
            if (b.key_name && key_code(b.key_name, &code)) b.code = code;
        }
    }
}

// Until the scene renderer draws, a frame is the menu backdrop colour.
void draw_backdrop(int width, int height) {
    glViewport(0, 0, width, height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void gl_finish() { glFinish(); }

// --record-video: the colour buffer as a binary PPM on standard output, top
// row first.
void record_frame(int width, int height) {
    if (width <= 0 || height <= 0) return;
    size_t row = (size_t)width * 3;
    unsigned char* pixels = (unsigned char*)mem_alloc_or_die(row * (size_t)height);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    printf("P6\n%d %d\n255\n", width, height);
    for (int y = height - 1; y >= 0; y--) fwrite(pixels + row * (size_t)y, 1, row, stdout);
    fflush(stdout);
    mem_free(pixels);
}

void log_gl_strings() {
    const char* vendor = (const char*)glGetString(GL_VENDOR);
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    const char* version = (const char*)glGetString(GL_VERSION);
    const char* extensions = (const char*)glGetString(GL_EXTENSIONS);
    log_printf("GL_VENDOR: %s\n", vendor ? vendor : "");
    log_printf("GL_RENDERER: %s\n", renderer ? renderer : "");
    log_printf("GL_VERSION: %s\n", version ? version : "");
    log_printf("GL_EXTENSIONS: %s\n", extensions ? extensions : "");
}

bool open_window() {
    int width, height, flags = g_startup.colour_depth & 0xFF;
    int mode = g_config.video_mode.index;
    if (mode == 1) {
        width = g_config.xres;
        height = g_config.yres;
    } else {
        if (mode < 0 || mode >= s_video_count) mode = 0;
        width = s_video_sizes[mode][0];
        height = s_video_sizes[mode][1];
        flags |= window_fullscreen;
    }
    return window_open("Dirtwake", width, height, flags, 0, g_startup.depth_bits, 0, 0) != nullptr;
}

int fail_start(const char* text) {
    if (!platform_message_box("Problem starting Dirtwake", text)) fputs(text, stderr);
    return 1;
}

}  // namespace

int game_main(int argc, char** argv) {
    // --open-home alone needs no data, no log and no window.
    if (argc == 2 && strcmp(argv[1], "--open-home") == 0) {
        open_home_folder();
        return 0;
    }

    config_defaults();
    startup_settings_defaults();
    message_clear();

    // Folders and the log.
    const char* home = data_home_folder();
    if (home) {
        data_make_folders(home);
        log_printf("KWIL_LOGFILE=%slastlog.txt", home);
    }
    if (!data_installation_found()) {
        // Not a success: a launcher must see that the game did not start.
        log_text("Can't find game data\n");
        return fail_start("Can't find game data\n");
    }
    log_printf("Dirtwake version %s\n", game_version);

    g_fixed_files_match = fixed_files_check(nullptr);
    for (text_option& t : g_config.server_name_hist) t.text[0] = 0;

    build_video_modes();
    if (!g_settings.mmx) log_text("This CPU does not have MMX!\n");

    // The default bike and setup.
    g_setup = g_setup_defaults;
    if (g_setup_stability_changed) g_setup_stability_changed(g_setup.stability.value);

    config_read();
    g_messages.limit = g_config.message_lines;
    game_settings_from_config();
    int parsed = command_line_parse(argc, argv);
    if (parsed == parse_error) return 1;
    if (parsed == parse_exit_ok) return 0;

    if (g_settings.auto_connect[0]) g_settings.initial_track[0] = 0;

    track_list_build();
    if (g_track_count == 0) {
        fputs("No tracks found\n", stderr);
        log_text("No tracks found\n");
        return 1;
    }
    demo_list_build();

    if (!g_settings.auto_connect[0]) {
        const char* track = g_settings.initial_track[0] ? g_settings.initial_track : g_config.track;
        int t = track ? track_find(track) : -1;
        if (t >= 0) {
            snprintf(g_settings.initial_track, sizeof g_settings.initial_track, "%s", g_tracks[t].folder);
            log_printf("Track %s (%s)\n", g_tracks[t].folder, g_tracks[t].display);
        } else {
            g_settings.initial_track[0] = 0;
        }
    }

    if (!open_window()) return 1;

    int polls = 0;
    while (!window_ready(g_window) && polls < 161) {
        window_pump(g_window);
        sleep_for(1.0 / 16);
        polls++;
    }
    if (!window_ready(g_window)) {
        log_text("The window never became ready\n");
        game_shutdown();
        return 1;
    }

    if (platform_current() != &platform_scripted) {
        log_gl_strings();
        glClearColor(50 / 255.0f, 0.6f, 0.8f, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_CULL_FACE);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        if (g_settings.flat_shading) glShadeModel(GL_FLAT);
        g_frame_hooks.draw = draw_backdrop;
        g_frame_hooks.finish = gl_finish;
        g_frame_hooks.record_frame = record_frame;
    }

    resolve_bindings();

    if (!physics_world_create()) {
        fputs("The rigid-body library must be built for double precision\n", stderr);
        game_shutdown();
        return 1;
    }

    race_state& r = g_race;
    for (int i = 0; i < max_riders; i++) {
        r.bikes[i] = nullptr;
        r.control_kind[i] = control_replayed;
        r.lineup[i] = 0;
    }
    r.running_count = 0;
    if (!g_startup.file_argument[0]) r.lineup[0] = 2;
    r.watched_slot = 0;
    r.local_slot = no_slot;
    r.menu = g_settings.auto_connect[0] ? -1 : 0;
    r.view_mode = view_no_track;

    main_loop_run();
    return game_shutdown();
}

bool fixed_files_check(char hex_out[41]) {
    sha1_context c;
    sha1_begin(&c);
    for (const char* name : generic_shapes) {
        data_stream* s = data_open(name, "rb");
        if (!s) continue;
        unsigned char block[4096];
        size_t n;
        while ((n = data_read(s, block, sizeof block)) > 0) sha1_add(&c, block, n);
        data_close(s);
    }
    uint8_t digest[20];
    char hex[41];
    sha1_end(&c, digest);
    sha1_hex(digest, hex);
    if (hex_out) memcpy(hex_out, hex, sizeof hex);
    for (const char* accepted : accepted_shape_digests)
        if (accepted && strcmp(accepted, hex) == 0) return true;
    return false;
}

void bindings_close() {
    for (int& a : s_pointer_axes) {
        axis_close(a);
        a = -1;
    }
    for (control_binding& b : g_config.bindings) {
        axis_close(b.axis);
        b.axis = -1;
    }
}

// Frees the start-up catalogues; called from the shut-down sequence.
void startup_free_catalogues() {
    track_list_free();
    demo_list_free();
    free_video_modes();
}
