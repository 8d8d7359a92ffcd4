// The window service: display modes, the window with its OpenGL context, the
// frame handed out for drawing, switching between windowed and full-screen,
// message processing, sleeping and the desktop's shell services (message
// box, opening a folder).
//
// Every system call goes through the installed backend: the SDL2 backend for
// the game and the scripted backend for tests (a fake clock, fake display
// modes and devices, no display). What is the same for both (the mode list,
// the full-screen choice, the window record and its frame, the order of
// creation and tear-down with their log lines) lives in window.cpp.
#pragma once

#include <cstdint>

enum { window_fullscreen = 0x100 };  // flag; the low byte of the flags is the colour depth

struct display_mode {
    int width, height, bits;
};

// A mode as the system reports it.
struct display_mode_info {
    int width, height, bits, refresh;  // refresh in Hz, 0 when unknown
};

// One window. Message processing runs on the thread that opened it (the
// main thread), so the fields need no lock; `frame_out` stands for the
// frame lock: held from a frame handed out until it is presented.
struct window {
    char title[128];
    int requested_width, requested_height;  // 0 x 0: the desktop's size
    int width, height;                      // client (drawable) size in pixels
    int colour_bits;                        // asked of the pixel format (32 as 24)
    int alpha_bits, depth_bits, stencil_bits, accum_bits;
    bool fullscreen;  // currently full-screen
    bool threaded;    // the `threaded` switch (logged; processing stays on this thread)
    bool context;     // the GL context exists
    bool ready;       // created with its GL context and able to draw
    bool minimised;   // nothing of it is visible (minimised or hidden)
    bool busy;        // switching mode: no frame is handed out
    bool frame_out;   // a frame is handed out and not yet presented
    // A switch asked for by window_switch, carried out by window_pump.
    bool switch_pending;
    bool switch_fullscreen;
    int switch_width, switch_height;
    bool devices_open;  // the input devices were rolled call at open
    void* system;       // the backend's own data
};

struct device_caps;

// One backend: a table of operations.
struct platform_backend {
    const char* name;
    // Sleeps (or, scripted, advances the fake clock) for the given seconds.
    void (*sleep_for)(double seconds);
    // Once per process, before the first mode list or window.
    void (*display_scaling_off)();
    // The current (desktop) mode; false when it cannot be read.
    bool (*desktop_mode)(display_mode_info* mode);
    // The modes the display driver lists, in its order.
    int (*mode_count)();
    bool (*mode_get)(int index, display_mode_info* mode);

    // Creates the window (no GL context yet) with a client area of
    // width x height; full-screen at that size, changing the display mode
    // only when change_mode is set. Logs its failures.
    bool (*window_create)(window* w, int width, int height, bool fullscreen, bool change_mode);
    // Creates the GL context, makes it current and sets w->ready.
    bool (*context_create)(window* w);
    void (*context_destroy)(window* w);
    // Destroys the window, giving the display back its desktop mode.
    void (*window_destroy)(window* w);
    bool (*window_present)(window* w);
    // Processes pending window messages: key and pointer events, size
    // changes, minimising, the close request.
    void (*window_pump)(window* w);
    // Makes the window full-screen at width x height (a mode change only when
    // change_mode is set); true when the display took it.
    bool (*window_fullscreen)(window* w, int width, int height, bool change_mode);
    // Makes the window a framed one with a client area of width x height.
    void (*window_windowed)(window* w, int width, int height);

    // Input devices (see input.h). devices_start is false when there is no
    // device service; device_open fills the names even when it fails.
    bool (*devices_start)();
    void (*devices_stop)();
    int (*device_count)();
    bool (*device_open)(int index, device_caps* caps);
    void (*device_release)(intptr_t system);
    bool (*device_acquire)(intptr_t system);
    void (*device_unacquire)(intptr_t system);
    // Reads what the devices buffered: button changes and relative motion
    // go to device_button_change and device_axis_value.
    void (*devices_collect)();
    // The current value of an absolute axis.
    int (*device_axis)(intptr_t system, int axis);

    // Shows a message box; false when there is no display to show it on.
    bool (*message_box)(const char* title, const char* text);
    // Opens a folder in the desktop's file browser; false when that failed.
    bool (*open_folder)(const char* path);
};

extern const platform_backend platform_sdl;
extern const platform_backend platform_scripted;

// Installs a backend (the SDL one unless a test chose another). Also wires
// the fatal-error path to the backend's message box and window.
void platform_use(const platform_backend* backend);
const platform_backend* platform_current();

// The open window, or null. The game has at most one.
extern window* g_window;

// Opens the window with its GL context and rolls call of the input devices;
// null when anything fails (logged). The flags carry the colour depth in
// their low byte and window_fullscreen.
window* window_open(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                    int stencil_bits, int accum_bits);
void window_close(window* w);
bool window_ready(window* w);
// Hands out the frame: true with the client size, false when nothing may be
// drawn now (not ready, minimised or hidden, switching).
bool window_frame(window* w, int* width, int* height);
// Swaps the buffers and gives the frame back; false without a GL context.
bool window_present(window* w);
// Processes pending window messages and carries out a requested switch.
void window_pump(window* w);
// Asks for a switch to full-screen at the size (0 x 0: the desktop's) or to
// a window with that client size; carried out by the next window_pump once
// the frame handed out is presented. Always succeeds.
bool window_switch(window* w, int width, int height, bool fullscreen);

// The mode list: the desktop mode first (when its depth is accepted), then
// every mode the driver lists, exact duplicates skipped; accepted depths are
// 8, 15, 16, 24 and 32 bits. Ends with an all-zero entry. Built once.
const display_mode* display_modes();
// Width and height of the desktop mode; 640 x 480 and false when unknown.
bool desktop_size(int* width, int* height);
// The size a full-screen window gets for a requested size: the listed mode
// with the smallest excess over it (first listed on a tie), else the
// desktop's size; 0 x 0 asks for the desktop's size. Returns whether the
// display mode must change for it (it differs from the desktop, or the
// desktop size is unknown).
bool fullscreen_choose(int width, int height, int* chosen_width, int* chosen_height);

// Sleeps for the given seconds on the installed clock.
void sleep_for(double seconds);

bool platform_message_box(const char* title, const char* text);
bool platform_open_folder(const char* path);

// For tests: build the mode list again on the next call.
void display_modes_reset_for_tests();

// ---------------------------------------------------------------------------
// The scripted backend, for tests: the clock stands still until a test or a
// sleep moves it; windows are always ready and present always succeeds
// unless told otherwise.

void scripted_reset(double start_time);
void scripted_advance(double seconds);
double scripted_now();
// Total seconds slept through sleep_for since the last reset.
double scripted_slept();
// Makes the open window hand out no frame (minimised) or window_present fail.
void scripted_set_frame_available(bool available);
void scripted_set_present_fails(bool fails);
// Makes window_ready answer false (a window that never becomes ready).
void scripted_set_never_ready(bool never);
// Seconds added to the clock by each window_present (the time a frame takes).
void scripted_set_frame_cost(double seconds);
int scripted_frames_presented();

// The display: the desktop mode (null: it cannot be read) and the modes the
// driver lists. The default is 1024x768x32 with 1024x768, 800x600 and
// 640x480 at 32 bits.
void scripted_set_modes(const display_mode_info* desktop, const display_mode_info* modes, int count);
// What the display shows now: its size and whether a full-screen mode
// change is in force.
void scripted_display(int* width, int* height, bool* mode_changed);

// Input devices the roll call finds, in order. Returns the device's number.
int scripted_add_device(const char* instance, int axes, int buttons, bool relative);
void scripted_clear_devices();
// Makes acquiring the device fail.
void scripted_set_acquire_fails(int device, bool fails);
// An absolute axis's position, or motion of a relative device.
void scripted_device_axis(int device, int axis, int value);
// A button change the next collection reads, stamped with the given time.
void scripted_device_button(int device, int button, bool down, double time);
