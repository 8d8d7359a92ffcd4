// The window service over the installed backend: the mode list, the
// full-screen choice, opening and closing in order, the frame and switching.
#include "platform/window.h"

#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "base/options.h"
#include "platform/input.h"

window* g_window = nullptr;

namespace {

const platform_backend* s_backend = &platform_sdl;

void fatal_close_window() {
    if (g_window) window_close(g_window);
}

bool fatal_message_box(const char* title, const char* text) { return s_backend->message_box(title, text); }

// The mode list, built once per process.
display_mode* s_modes = nullptr;
int s_mode_count = 0;
bool s_modes_built = false;
const display_mode s_no_modes[1] = {{0, 0, 0}};

bool s_scaling_off = false;
bool s_options_read = false;
bool s_threaded = false;

void display_scaling_off_once() {
    if (s_scaling_off) return;
    s_scaling_off = true;
    s_backend->display_scaling_off();
}

bool depth_accepted(const display_mode_info& m) {
    if (m.width <= 0 || m.height <= 0) return false;
    return m.bits == 8 || m.bits == 15 || m.bits == 16 || m.bits == 24 || m.bits == 32;
}

// Adds a mode unless it is listed already; the list keeps room for the end.
void add_mode(const display_mode_info& m, int capacity) {
    for (int i = 0; i < s_mode_count; i++)
        if (s_modes[i].width == m.width && s_modes[i].height == m.height && s_modes[i].bits == m.bits) return;
    if (s_mode_count + 1 >= capacity) return;
    s_modes[s_mode_count++] = {m.width, m.height, m.bits};
}

void build_modes() {
    s_modes_built = true;
    display_scaling_off_once();
    int driver = s_backend->mode_count();
    if (driver < 0) driver = 0;
    int capacity = driver + 2;  // the desktop mode and the end
    s_modes = (display_mode*)mem_calloc_or_die((size_t)capacity, sizeof(display_mode));
    s_mode_count = 0;

    display_mode_info desktop;
    if (s_backend->desktop_mode(&desktop)) {
        bool ok = depth_accepted(desktop);
        log_printf("Desktop mode is %dx%dx%d@%dhz%s\n", desktop.width, desktop.height, desktop.bits, desktop.refresh,
                   ok ? "" : " (ignored)");
        if (ok) add_mode(desktop, capacity);
    }
    for (int i = 0; i < driver; i++) {
        display_mode_info m;
        if (!s_backend->mode_get(i, &m)) continue;
        bool ok = depth_accepted(m);
        log_printf("Found mode %dx%dx%d@%dhz%s\n", m.width, m.height, m.bits, m.refresh, ok ? "" : " (ignored)");
        if (ok) add_mode(m, capacity);
    }
    s_modes[s_mode_count] = {0, 0, 0};
}

// The switches read at the first window open. Window messages are always
// processed on the thread that opened the window: SDL wants its events
// pumped on the thread that made the window, so `threaded` is read and
// logged but moves nothing to another thread. `fullscreen` changes nothing:
// the caller's flag decides.
void read_options_once() {
    if (s_options_read) return;
    s_options_read = true;
    s_threaded = option_bool("threaded", false);
    option_bool("fullscreen", false);
    log_text("Options:\n");
    log_printf("%10s [%s]\n", "threaded:", s_threaded ? "on" : "off");
}

// The client size of a framed window: the desktop's size when the width or
// height is 0 (or less), and no side longer than the largest surface a GL
// driver is sure to make.
void desktop_or(int* width, int* height) {
    enum { largest = 16384 };
    if (*width <= 0 || *height <= 0) desktop_size(width, height);
    if (*width > largest) *width = largest;
    if (*height > largest) *height = largest;
}

// Tear-down: the GL context first, then the input devices, then the window
// (which gives the display back its desktop mode).
void tear_down(window* w) {
    if (w->context) {
        log_text("Deleting OpenGL context\n");
        s_backend->context_destroy(w);
        w->context = false;
        w->ready = false;
    }
    if (w->devices_open) {
        log_text("Closing input devices\n");
        devices_close();
        w->devices_open = false;
    }
    log_text("Destroying window\n");
    s_backend->window_destroy(w);
    mem_free(w);
    log_text("Window shutdown complete\n");
}

void go_fullscreen(window* w, int width, int height) {
    w->busy = true;
    int cw, ch;
    bool change = fullscreen_choose(width, height, &cw, &ch);
    log_printf("Switching to full-screen %dx%d\n", cw, ch);
    s_backend->window_fullscreen(w, cw, ch, change);
    w->requested_width = width;
    w->requested_height = height;
    w->fullscreen = true;
    w->busy = false;
}

void go_windowed(window* w, int width, int height) {
    w->busy = true;
    w->fullscreen = false;
    w->requested_width = width;
    w->requested_height = height;
    desktop_or(&width, &height);
    log_printf("Switching to a window of %dx%d\n", width, height);
    s_backend->window_windowed(w, width, height);
    w->busy = false;
}

}  // namespace

void platform_use(const platform_backend* backend) {
    s_backend = backend;
    g_fatal_hooks.close_window = fatal_close_window;
    g_fatal_hooks.message_box = fatal_message_box;
}

const platform_backend* platform_current() { return s_backend; }

const display_mode* display_modes() {
    if (!s_modes_built) build_modes();
    return s_modes ? s_modes : s_no_modes;
}

void display_modes_reset_for_tests() {
    mem_free(s_modes);
    s_modes = nullptr;
    s_mode_count = 0;
    s_modes_built = false;
}

bool desktop_size(int* width, int* height) {
    display_mode_info m;
    if (s_backend->desktop_mode(&m) && m.width > 0 && m.height > 0) {
        *width = m.width;
        *height = m.height;
        return true;
    }
    *width = 640;
    *height = 480;
    return false;
}

bool fullscreen_choose(int width, int height, int* chosen_width, int* chosen_height) {
    int dw, dh;
    bool known = desktop_size(&dw, &dh);
    int cw = dw, ch = dh;
    if (width > 0 && height > 0) {
        long best = -1;
        for (const display_mode* m = display_modes(); m->width || m->height || m->bits; m++) {
            if (m->width < width || m->height < height) continue;
            long excess = (long)m->width + m->height - width - height;
            if (best < 0 || excess < best) {
                best = excess;
                cw = m->width;
                ch = m->height;
            }
        }
    }
    *chosen_width = cw;
    *chosen_height = ch;
    return !known || cw != dw || ch != dh;
}

window* window_open(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                    int stencil_bits, int accum_bits) {
    if (!g_fatal_hooks.close_window) platform_use(s_backend);
    display_scaling_off_once();
    display_modes();
    read_options_once();

    window* w = (window*)mem_calloc_or_die(1, sizeof(window));
    snprintf(w->title, sizeof w->title, "%s", title ? title : "");
    w->requested_width = width;
    w->requested_height = height;
    w->colour_bits = flags & 0xFF;
    w->alpha_bits = alpha_bits;
    w->depth_bits = depth_bits;
    w->stencil_bits = stencil_bits;
    w->accum_bits = accum_bits;
    w->threaded = s_threaded;

    bool full = (flags & window_fullscreen) != 0;
    int cw = width, ch = height;
    bool change = false;
    if (full)
        change = fullscreen_choose(width, height, &cw, &ch);
    else
        desktop_or(&cw, &ch);
    if (!s_backend->window_create(w, cw, ch, full, change)) {
        mem_free(w);
        return nullptr;
    }
    w->fullscreen = full;

    devices_roll_call();
    w->devices_open = true;

    if (!s_backend->context_create(w)) {
        tear_down(w);
        return nullptr;
    }
    w->context = true;
    g_window = w;
    return w;
}

void window_close(window* w) {
    if (!w) return;
    if (g_window == w) g_window = nullptr;
    tear_down(w);
}

bool window_ready(window* w) { return w && w->ready; }

bool window_frame(window* w, int* width, int* height) {
    if (!w || !w->ready || w->minimised || w->busy) return false;
    w->frame_out = true;
    *width = w->width;
    *height = w->height;
    return true;
}

bool window_present(window* w) {
    if (!w || !w->ready) return false;
    bool ok = s_backend->window_present(w);
    w->frame_out = false;
    return ok;
}

void window_pump(window* w) {
    if (!w) return;
    s_backend->window_pump(w);
    // A switch waits until the frame handed out is presented.
    if (w->switch_pending && !w->frame_out) {
        w->switch_pending = false;
        if (w->switch_fullscreen)
            go_fullscreen(w, w->switch_width, w->switch_height);
        else
            go_windowed(w, w->switch_width, w->switch_height);
    }
}

bool window_switch(window* w, int width, int height, bool fullscreen) {
    if (!w) return true;
    w->switch_pending = true;
    w->switch_fullscreen = fullscreen;
    w->switch_width = width;
    w->switch_height = height;
    return true;
}

void sleep_for(double seconds) {
    if (seconds > 0) s_backend->sleep_for(seconds);
}
bool platform_message_box(const char* title, const char* text) { return s_backend->message_box(title, text); }
bool platform_open_folder(const char* path) { return s_backend->open_folder(path); }
