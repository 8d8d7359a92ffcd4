// The scripted backend for tests: a fake clock that moves only when a test
// advances it or the program sleeps, a window that is always there, display
// modes and input devices that the test lists.
#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/mem.h"
#include "platform/input.h"
#include "platform/window.h"

namespace {

struct scripted_state {
    double now;
    double slept;
    double frame_cost;
    bool present_fails;
    bool never_ready;
    int frames;
};
scripted_state s_state = {0, 0, 0, false, false, 0};

// The display.
enum { max_scripted_modes = 64 };
bool s_desktop_known = true;
display_mode_info s_desktop = {1024, 768, 32, 60};
display_mode_info s_modes[max_scripted_modes] = {{1024, 768, 32, 60}, {800, 600, 32, 60}, {640, 480, 32, 60}};
int s_mode_count = 3;
int s_display_width = 1024, s_display_height = 768;
bool s_mode_changed = false;

// The devices.
enum { max_scripted_devices = 8, max_scripted_changes = 64 };
struct scripted_device {
    char instance[64];
    int axes, buttons;
    bool relative;
    bool acquire_fails;
    int values[max_device_axes];
};
struct scripted_change {
    int device, button;
    bool down;
    double time;
};
scripted_device s_devices[max_scripted_devices];
int s_device_count = 0;
scripted_change s_changes[max_scripted_changes];
int s_change_count = 0;
// Motion of the relative devices not yet collected.
int s_motion[max_scripted_devices][max_device_axes];

void restore_display() {
    s_display_width = s_desktop.width;
    s_display_height = s_desktop.height;
    s_mode_changed = false;
}

double scripted_clock() { return s_state.now; }

void sleep_scripted(double seconds) {
    s_state.now += seconds;
    s_state.slept += seconds;
}

void scaling_off_scripted() {}

bool desktop_scripted(display_mode_info* mode) {
    if (!s_desktop_known) return false;
    *mode = s_desktop;
    return true;
}

int mode_count_scripted() { return s_mode_count; }

bool mode_get_scripted(int index, display_mode_info* mode) {
    if (index < 0 || index >= s_mode_count) return false;
    *mode = s_modes[index];
    return true;
}

bool fullscreen_scripted(window* w, int width, int height, bool change_mode) {
    if (change_mode) {
        s_display_width = width;
        s_display_height = height;
        s_mode_changed = true;
    } else {
        restore_display();
    }
    w->width = width;
    w->height = height;
    return true;
}

void windowed_scripted(window* w, int width, int height) {
    restore_display();
    w->width = width;
    w->height = height;
}

bool create_scripted(window* w, int width, int height, bool fullscreen, bool change_mode) {
    if (fullscreen) return fullscreen_scripted(w, width, height, change_mode);
    windowed_scripted(w, width, height);
    return true;
}

bool context_create_scripted(window* w) {
    w->ready = !s_state.never_ready;
    return true;
}

void context_destroy_scripted(window*) {}
void destroy_scripted(window* w) {
    if (w->fullscreen) restore_display();
}

bool present_scripted(window*) {
    if (s_state.present_fails) return false;
    s_state.now += s_state.frame_cost;
    s_state.frames++;
    return true;
}

void pump_scripted(window*) {}

bool devices_start_scripted() { return true; }
void devices_stop_scripted() {}
int device_count_scripted() { return s_device_count; }

bool device_open_scripted(int index, device_caps* caps) {
    if (index < 0 || index >= s_device_count) return false;
    const scripted_device& d = s_devices[index];
    snprintf(caps->instance, sizeof caps->instance, "%s", d.instance);
    snprintf(caps->product, sizeof caps->product, "scripted device %d", index);
    caps->axes = d.axes;
    caps->buttons = d.buttons;
    caps->relative = d.relative;
    caps->controller = !d.relative;
    caps->system = index;
    return true;
}

void device_release_scripted(intptr_t) {}

bool device_acquire_scripted(intptr_t system) {
    return system < 0 || system >= s_device_count || !s_devices[system].acquire_fails;
}

void device_unacquire_scripted(intptr_t) {}

void devices_collect_scripted() {
    for (int i = 0; i < s_device_count; i++) {
        if (!s_devices[i].relative) continue;
        int device = device_find_system(i);
        for (int a = 0; a < max_device_axes; a++) {
            if (s_motion[i][a]) device_axis_value(device, a, s_motion[i][a]);
            s_motion[i][a] = 0;
        }
    }
    for (int i = 0; i < s_change_count; i++) {
        const scripted_change& c = s_changes[i];
        device_button_change(device_find_system(c.device), c.button, c.down, c.time);
    }
    s_change_count = 0;
}

int device_axis_scripted(intptr_t system, int axis) {
    if (system < 0 || system >= s_device_count || axis < 0 || axis >= max_device_axes) return 0;
    return s_devices[system].values[axis];
}

bool message_box_scripted(const char* title, const char* text) {
    fprintf(stderr, "%s: %s\n", title, text);
    return true;
}

bool open_folder_scripted(const char*) { return true; }

}  // namespace

const platform_backend platform_scripted = {
    "scripted",
    sleep_scripted,
    scaling_off_scripted,
    desktop_scripted,
    mode_count_scripted,
    mode_get_scripted,
    create_scripted,
    context_create_scripted,
    context_destroy_scripted,
    destroy_scripted,
    present_scripted,
    pump_scripted,
    fullscreen_scripted,
    windowed_scripted,
    devices_start_scripted,
    devices_stop_scripted,
    device_count_scripted,
    device_open_scripted,
    device_release_scripted,
    device_acquire_scripted,
    device_unacquire_scripted,
    devices_collect_scripted,
    device_axis_scripted,
    message_box_scripted,
    open_folder_scripted,
};

void scripted_reset(double start_time) {
    s_state = {start_time, 0, 0, false, false, 0};
    clock_install(scripted_clock);
    if (g_window) g_window->minimised = false;
}

void scripted_advance(double seconds) { s_state.now += seconds; }
double scripted_now() { return s_state.now; }
double scripted_slept() { return s_state.slept; }
void scripted_set_frame_available(bool available) {
    if (g_window) g_window->minimised = !available;
}
void scripted_set_present_fails(bool fails) { s_state.present_fails = fails; }
void scripted_set_never_ready(bool never) {
    s_state.never_ready = never;
    if (g_window) g_window->ready = !never;
}
void scripted_set_frame_cost(double seconds) { s_state.frame_cost = seconds; }
int scripted_frames_presented() { return s_state.frames; }

void scripted_set_modes(const display_mode_info* desktop, const display_mode_info* modes, int count) {
    s_desktop_known = desktop != nullptr;
    s_desktop = desktop ? *desktop : display_mode_info{0, 0, 0, 0};
    if (count > max_scripted_modes) count = max_scripted_modes;
    s_mode_count = count > 0 ? count : 0;
    for (int i = 0; i < s_mode_count; i++) s_modes[i] = modes[i];
    restore_display();
    display_modes_reset_for_tests();
}

void scripted_display(int* width, int* height, bool* mode_changed) {
    *width = s_display_width;
    *height = s_display_height;
    *mode_changed = s_mode_changed;
}

int scripted_add_device(const char* instance, int axes, int buttons, bool relative) {
    if (s_device_count >= max_scripted_devices) return -1;
    scripted_device& d = s_devices[s_device_count];
    memset(&d, 0, sizeof d);
    snprintf(d.instance, sizeof d.instance, "%s", instance);
    d.axes = axes;
    d.buttons = buttons;
    d.relative = relative;
    memset(s_motion[s_device_count], 0, sizeof s_motion[s_device_count]);
    return s_device_count++;
}

void scripted_clear_devices() {
    s_device_count = 0;
    s_change_count = 0;
}

void scripted_set_acquire_fails(int device, bool fails) {
    if (device >= 0 && device < s_device_count) s_devices[device].acquire_fails = fails;
}

void scripted_device_axis(int device, int axis, int value) {
    if (device < 0 || device >= s_device_count || axis < 0 || axis >= max_device_axes) return;
    if (s_devices[device].relative)
        s_motion[device][axis] += value;
    else
        s_devices[device].values[axis] = value;
}

void scripted_device_button(int device, int button, bool down, double time) {
    if (s_change_count < max_scripted_changes) s_changes[s_change_count++] = {device, button, down, time};
}

