// The scripted backend for tests: a fake clock that moves only when a test
// advances it or the program sleeps, and a window that is always there.
#include <cstdio>

#include "base/clock.h"
#include "base/mem.h"
#include "platform/input.h"
#include "platform/window.h"

struct window {
    int width, height;
};

namespace {

struct scripted_state {
    double now;
    double slept;
    double frame_cost;
    bool frame_available;
    bool present_fails;
    bool never_ready;
    int frames;
};
scripted_state s_state = {0, 0, 0, true, false, false, 0};

double scripted_clock() { return s_state.now; }

void sleep_scripted(double seconds) {
    s_state.now += seconds;
    s_state.slept += seconds;
}

window* open_scripted(const char*, int width, int height, int, int, int, int, int) {
    window* w = (window*)mem_alloc_or_die(sizeof(window));
    w->width = width ? width : 640;
    w->height = height ? height : 480;
    return w;
}

void close_scripted(window* w) { mem_free(w); }
bool ready_scripted(window*) { return !s_state.never_ready; }

bool frame_scripted(window* w, int* width, int* height) {
    if (!s_state.frame_available) return false;
    *width = w->width;
    *height = w->height;
    return true;
}

bool present_scripted(window*) {
    if (s_state.present_fails) return false;
    s_state.now += s_state.frame_cost;
    s_state.frames++;
    return true;
}

void pump_scripted(window*) {}

int modes_scripted(display_mode* modes, int max) {
    static const display_mode list[] = {{1024, 768, 32}, {800, 600, 32}, {640, 480, 32}};
    int n = 0;
    for (const display_mode& m : list)
        if (n < max) modes[n++] = m;
    return n;
}

bool desktop_scripted(int* width, int* height) {
    *width = 1024;
    *height = 768;
    return true;
}

bool message_box_scripted(const char* title, const char* text) {
    fprintf(stderr, "%s: %s\n", title, text);
    return true;
}

bool open_folder_scripted(const char*) { return true; }

}  // namespace

const platform_backend platform_scripted = {
    "scripted",      sleep_scripted, open_scripted,  close_scripted,       ready_scripted,       frame_scripted,
    present_scripted, pump_scripted, modes_scripted, desktop_scripted, message_box_scripted, open_folder_scripted,
};

void scripted_reset(double start_time) {
    s_state = {start_time, 0, 0, true, false, false, 0};
    clock_install(scripted_clock);
}

void scripted_advance(double seconds) { s_state.now += seconds; }
double scripted_now() { return s_state.now; }
double scripted_slept() { return s_state.slept; }
void scripted_set_frame_available(bool available) { s_state.frame_available = available; }
void scripted_set_present_fails(bool fails) { s_state.present_fails = fails; }
void scripted_set_never_ready(bool never) { s_state.never_ready = never; }
void scripted_set_frame_cost(double seconds) { s_state.frame_cost = seconds; }
int scripted_frames_presented() { return s_state.frames; }
