// The window service: display modes, the window with its OpenGL context, the
// frame handed out for drawing, message processing, sleeping and the
// desktop's shell services (message box, opening a folder).
//
// Every operation goes through the installed backend: the SDL2 backend for
// the game and the scripted backend for tests (a fake clock, no display).
#pragma once

struct window;

enum { window_fullscreen = 0x100 };  // flag; the low byte of the flags is the colour depth

struct display_mode {
    int width, height, bits;
};

// One backend: a table of operations.
struct platform_backend {
    const char* name;
    // Sleeps (or, scripted, advances the fake clock) for the given seconds.
    void (*sleep_for)(double seconds);
    window* (*window_open)(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                           int stencil_bits, int accum_bits);
    void (*window_close)(window* w);
    // True when the window has been created and can hand out frames.
    bool (*window_ready)(window* w);
    bool (*window_frame)(window* w, int* width, int* height);
    bool (*window_present)(window* w);
    void (*window_pump)(window* w);
    // Fills at most max modes; returns the count.
    int (*display_modes)(display_mode* modes, int max);
    bool (*desktop_size)(int* width, int* height);
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

window* window_open(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                    int stencil_bits, int accum_bits);
void window_close(window* w);
bool window_ready(window* w);
// Hands out the frame: true with the drawable size, false when nothing may be
// drawn now (not ready, minimised).
bool window_frame(window* w, int* width, int* height);
bool window_present(window* w);
void window_pump(window* w);

int display_modes(display_mode* modes, int max);
bool desktop_size(int* width, int* height);

// Sleeps for the given seconds on the installed clock.
void sleep_for(double seconds);

bool platform_message_box(const char* title, const char* text);
bool platform_open_folder(const char* path);

// ---------------------------------------------------------------------------
// The scripted backend, for tests: the clock stands still until a test or a
// sleep moves it; windows are always ready and present always succeeds
// unless told otherwise.

void scripted_reset(double start_time);
void scripted_advance(double seconds);
double scripted_now();
// Total seconds slept through sleep_for since the last reset.
double scripted_slept();
// Makes window_frame hand out no frame (minimised) or window_present fail.
void scripted_set_frame_available(bool available);
void scripted_set_present_fails(bool fails);
// Makes window_ready answer false (a window that never becomes ready).
void scripted_set_never_ready(bool never);
// Seconds added to the clock by each window_present (the time a frame takes).
void scripted_set_frame_cost(double seconds);
int scripted_frames_presented();
