// Dispatch of the window operations to the installed backend.
#include "platform/window.h"

#include <cstdio>

#include "base/mem.h"

window* g_window = nullptr;

namespace {

const platform_backend* s_backend = &platform_sdl;

void fatal_close_window() {
    if (g_window) {
        window* w = g_window;
        g_window = nullptr;
        s_backend->window_close(w);
    }
}

bool fatal_message_box(const char* title, const char* text) { return s_backend->message_box(title, text); }

}  // namespace

void platform_use(const platform_backend* backend) {
    s_backend = backend;
    g_fatal_hooks.close_window = fatal_close_window;
    g_fatal_hooks.message_box = fatal_message_box;
}

const platform_backend* platform_current() { return s_backend; }

window* window_open(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                    int stencil_bits, int accum_bits) {
    if (!g_fatal_hooks.close_window) platform_use(s_backend);
    window* w = s_backend->window_open(title, width, height, flags, alpha_bits, depth_bits, stencil_bits, accum_bits);
    if (w) g_window = w;
    return w;
}

void window_close(window* w) {
    if (!w) return;
    if (g_window == w) g_window = nullptr;
    s_backend->window_close(w);
}

bool window_ready(window* w) { return w && s_backend->window_ready(w); }
bool window_frame(window* w, int* width, int* height) { return w && s_backend->window_frame(w, width, height); }
bool window_present(window* w) { return w && s_backend->window_present(w); }
void window_pump(window* w) {
    if (w) s_backend->window_pump(w);
}
int display_modes(display_mode* modes, int max) { return s_backend->display_modes(modes, max); }
bool desktop_size(int* width, int* height) { return s_backend->desktop_size(width, height); }
void sleep_for(double seconds) {
    if (seconds > 0) s_backend->sleep_for(seconds);
}
bool platform_message_box(const char* title, const char* text) { return s_backend->message_box(title, text); }
bool platform_open_folder(const char* path) { return s_backend->open_folder(path); }
