// The SDL2 backend: window and OpenGL context, window messages turned into
// key events, display modes, game controllers and the mouse as input
// devices, message boxes and the desktop's folder opener.
//
// Everything here runs on the main thread: SDL wants its events pumped on
// the thread that made the window, and the GL context lives there too.
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/clock.h"
#include "base/log.h"
#include "base/mem.h"
#include "platform/input.h"
#include "platform/window.h"

extern char** environ;

// The backend's part of the window record.
struct sdl_window {
    SDL_Window* sdl;
    SDL_GLContext gl;
};

namespace {

bool s_video_up = false;
bool s_video_failure_logged = false;

bool video_up() {
    if (!s_video_up) {
        // Without a display server (and no driver asked for by name) there is
        // no video to start; SDL would only complain on standard error.
        if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("SDL_VIDEODRIVER")) {
            if (!s_video_failure_logged) log_text("No display found\n");
            s_video_failure_logged = true;
            return false;
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            if (!s_video_failure_logged) log_printf("Can't start SDL video: %s\n", SDL_GetError());
            s_video_failure_logged = true;
            return false;
        }
        s_video_up = true;
    }
    return true;
}

// SDL scan codes (USB usage numbers) to PC scan code set 1.
int set1_scan(SDL_Scancode s) {
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) {
        static const unsigned char letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                                  0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                                  0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
        return letters[s - SDL_SCANCODE_A];
    }
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_0) return 0x02 + (s - SDL_SCANCODE_1);
    if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F10) return 0x3B + (s - SDL_SCANCODE_F1);
    switch (s) {
    case SDL_SCANCODE_RETURN: return 0x1C;
    case SDL_SCANCODE_ESCAPE: return 0x01;
    case SDL_SCANCODE_BACKSPACE: return 0x0E;
    case SDL_SCANCODE_TAB: return 0x0F;
    case SDL_SCANCODE_SPACE: return 0x39;
    case SDL_SCANCODE_MINUS: return 0x0C;
    case SDL_SCANCODE_EQUALS: return 0x0D;
    case SDL_SCANCODE_LEFTBRACKET: return 0x1A;
    case SDL_SCANCODE_RIGHTBRACKET: return 0x1B;
    case SDL_SCANCODE_BACKSLASH: return 0x2B;
    case SDL_SCANCODE_NONUSHASH: return 0x2B;
    case SDL_SCANCODE_SEMICOLON: return 0x27;
    case SDL_SCANCODE_APOSTROPHE: return 0x28;
    case SDL_SCANCODE_GRAVE: return 0x29;
    case SDL_SCANCODE_COMMA: return 0x33;
    case SDL_SCANCODE_PERIOD: return 0x34;
    case SDL_SCANCODE_SLASH: return 0x35;
    case SDL_SCANCODE_CAPSLOCK: return 0x3A;
    case SDL_SCANCODE_F11: return 0x57;
    case SDL_SCANCODE_F12: return 0x58;
    case SDL_SCANCODE_PRINTSCREEN: return 0x137;
    case SDL_SCANCODE_SCROLLLOCK: return 0x46;
    case SDL_SCANCODE_PAUSE: return 0x45;
    case SDL_SCANCODE_INSERT: return 0x152;
    case SDL_SCANCODE_HOME: return 0x147;
    case SDL_SCANCODE_PAGEUP: return 0x149;
    case SDL_SCANCODE_DELETE: return 0x153;
    case SDL_SCANCODE_END: return 0x14F;
    case SDL_SCANCODE_PAGEDOWN: return 0x151;
    case SDL_SCANCODE_RIGHT: return 0x14D;
    case SDL_SCANCODE_LEFT: return 0x14B;
    case SDL_SCANCODE_DOWN: return 0x150;
    case SDL_SCANCODE_UP: return 0x148;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 0x145;
    case SDL_SCANCODE_KP_DIVIDE: return 0x135;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x37;
    case SDL_SCANCODE_KP_MINUS: return 0x4A;
    case SDL_SCANCODE_KP_PLUS: return 0x4E;
    case SDL_SCANCODE_KP_ENTER: return 0x11C;
    case SDL_SCANCODE_KP_1: return 0x4F;
    case SDL_SCANCODE_KP_2: return 0x50;
    case SDL_SCANCODE_KP_3: return 0x51;
    case SDL_SCANCODE_KP_4: return 0x4B;
    case SDL_SCANCODE_KP_5: return 0x4C;
    case SDL_SCANCODE_KP_6: return 0x4D;
    case SDL_SCANCODE_KP_7: return 0x47;
    case SDL_SCANCODE_KP_8: return 0x48;
    case SDL_SCANCODE_KP_9: return 0x49;
    case SDL_SCANCODE_KP_0: return 0x52;
    case SDL_SCANCODE_KP_PERIOD: return 0x53;
    case SDL_SCANCODE_LCTRL: return 0x1D;
    case SDL_SCANCODE_LSHIFT: return 0x2A;
    case SDL_SCANCODE_LALT: return 0x38;
    case SDL_SCANCODE_LGUI: return 0x15B;
    case SDL_SCANCODE_RCTRL: return 0x11D;
    case SDL_SCANCODE_RSHIFT: return 0x36;
    case SDL_SCANCODE_RALT: return 0x138;
    case SDL_SCANCODE_RGUI: return 0x15C;
    case SDL_SCANCODE_APPLICATION: return 0x15D;
    default: return -1;
    }
}

// The program-clock time of an SDL event stamped in SDL's milliseconds.
double event_time(Uint32 stamp) {
    double now = clock_seconds();
    Uint32 ticks = SDL_GetTicks();
    double age = stamp <= ticks ? (ticks - stamp) * 0.001 : 0.0;
    return now - age;
}

// Sleeps the whole milliseconds but the last, then yields until the clock
// has passed the target. Linux timers already wake to the millisecond:
// there is no timer resolution to raise while the window is open.
void sleep_sdl(double seconds) {
    double target = clock_seconds() + seconds;
    long ms = (long)(seconds * 1000.0);
    if (ms > 1) ms -= 1;
    if (ms > 0) {
        timespec ts;
        ts.tv_sec = ms / 1000;
        ts.tv_nsec = (ms % 1000) * 1000000L;
        nanosleep(&ts, nullptr);
    }
    while (clock_seconds() < target) sched_yield();
}

// The game draws in real pixels: with high-DPI support on, SDL makes the
// drawable as large as the window's pixels on a scaled desktop (Wayland,
// macOS); X11 never scales. The client size is always the drawable size.
// The hint is forced so that the environment cannot turn that off.
void scaling_off_sdl() {
    SDL_SetHintWithPriority(SDL_HINT_VIDEO_HIGHDPI_DISABLED, "0", SDL_HINT_OVERRIDE);
    // Leaving a full-screen window gives the desktop back its mode and
    // minimises the window; coming back sets the full-screen mode again.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "1");
    log_text("Display scaling disabled via SDL_WINDOW_ALLOW_HIGHDPI\n");
}

int bits_of(Uint32 format) { return (int)SDL_BITSPERPIXEL(format); }

bool desktop_mode_sdl(display_mode_info* mode) {
    SDL_DisplayMode m;
    if (!video_up() || SDL_GetDesktopDisplayMode(0, &m) != 0) return false;
    *mode = {m.w, m.h, bits_of(m.format), m.refresh_rate};
    return true;
}

int mode_count_sdl() {
    if (!video_up()) return 0;
    int n = SDL_GetNumDisplayModes(0);
    return n > 0 ? n : 0;
}

bool mode_get_sdl(int index, display_mode_info* mode) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(0, index, &m) != 0) return false;
    *mode = {m.w, m.h, bits_of(m.format), m.refresh_rate};
    return true;
}

sdl_window* data(window* w) { return (sdl_window*)w->system; }

void update_size(window* w) {
    SDL_GL_GetDrawableSize(data(w)->sdl, &w->width, &w->height);
}

bool fullscreen_sdl(window* w, int width, int height, bool change_mode) {
    SDL_Window* sdl = data(w)->sdl;
    int rc;
    if (change_mode) {
        // Only the size is asked for: SDL takes the closest mode of that size
        // at the desktop's depth and rate.
        SDL_DisplayMode m = {0, width, height, 0, nullptr};
        SDL_SetWindowSize(sdl, width, height);
        rc = SDL_SetWindowDisplayMode(sdl, &m);
        if (rc == 0) rc = SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN);
    } else {
        // The desktop's own size: a borderless window over the whole
        // desktop, no mode change.
        rc = SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    if (rc != 0) log_printf("Can't set display mode %dx%d (%s)\n", width, height, SDL_GetError());
    update_size(w);
    return rc == 0;
}

void windowed_sdl(window* w, int width, int height) {
    SDL_Window* sdl = data(w)->sdl;
    SDL_HideWindow(sdl);
    SDL_SetWindowFullscreen(sdl, 0);  // the desktop mode comes back
    SDL_SetWindowBordered(sdl, SDL_TRUE);
    SDL_SetWindowResizable(sdl, SDL_TRUE);
    SDL_SetWindowSize(sdl, width, height);
    SDL_SetWindowPosition(sdl, 0, 0);
    SDL_ShowWindow(sdl);
    update_size(w);
}

void set_gl_attributes(window* w, bool low_colour_fallback) {
    int colour = w->colour_bits == 32 ? 24 : w->colour_bits;
    int red = colour >= 24 ? 8 : 5, green = colour >= 24 ? 8 : 6, blue = red;
    if (low_colour_fallback) red = green = blue = 0;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, w->alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, w->depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, w->stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, w->accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, w->accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, w->accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, w->accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

bool create_sdl(window* w, int width, int height, bool fullscreen, bool change_mode) {
    if (!video_up()) return false;
    // The pixel format goes with the window under X11: it is chosen here.
    log_text("Choosing pixel format\n");
    set_gl_attributes(w, false);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    log_text("Creating window\n");
    SDL_Window* sdl =
        SDL_CreateWindow(w->title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, flags);
    if (!sdl && w->colour_bits < 24) {
        // Some drivers offer no 16-bit visuals: take what they have.
        set_gl_attributes(w, true);
        sdl = SDL_CreateWindow(w->title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, flags);
    }
    if (!sdl) {
        log_text("Can't create window!\n");
        log_printf("SDL_CreateWindow: %s\n", SDL_GetError());
        return false;
    }
    // SDL keeps the screen saver and monitor power saving off while the
    // window is open (SDL_HINT_VIDEO_ALLOW_SCREENSAVER is off by default).
    sdl_window* d = (sdl_window*)mem_calloc_or_die(1, sizeof(sdl_window));
    d->sdl = sdl;
    w->system = d;
    if (fullscreen) fullscreen_sdl(w, width, height, change_mode);
    SDL_ShowWindow(sdl);
    SDL_RaiseWindow(sdl);
    update_size(w);
    return true;
}

bool context_create_sdl(window* w) {
    sdl_window* d = data(w);
    log_text("Creating OpenGL context\n");
    d->gl = SDL_GL_CreateContext(d->sdl);
    if (!d->gl) {
        log_text("Couldn't create OpenGL context\n");
        log_printf("SDL_GL_CreateContext: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_MakeCurrent(d->sdl, d->gl);
    int r = 0, g = 0, b = 0, a = 0, depth = 0, stencil = 0;
    SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &r);
    SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &g);
    SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &b);
    SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &a);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
    log_printf("Pixel format has %d colour, %d alpha, %d depth and %d stencil bits\n", r + g + b, a, depth, stencil);
    SDL_StartTextInput();
    update_size(w);
    w->ready = true;
    return true;
}

void context_destroy_sdl(window* w) {
    sdl_window* d = data(w);
    if (d && d->gl) {
        SDL_GL_MakeCurrent(d->sdl, nullptr);
        SDL_GL_DeleteContext(d->gl);
        d->gl = nullptr;
    }
}

// Destroying a full-screen window gives the display its desktop mode back.
void destroy_sdl(window* w) {
    sdl_window* d = data(w);
    if (!d) return;
    SDL_DestroyWindow(d->sdl);
    mem_free(d);
    w->system = nullptr;
}

bool present_sdl(window* w) {
    sdl_window* d = data(w);
    if (!d || !d->gl) return false;
    SDL_GL_SwapWindow(d->sdl);
    return true;
}

void post_character(int32_t c, Uint32 stamp) { event_post(c, true, event_time(stamp)); }

// ---------------------------------------------------------------------------
// Input devices: the mouse first, then every joystick SDL knows. A
// joystick's hats follow its buttons as four buttons each (up, right, down,
// left). Devices are found at window open only.

constexpr intptr_t mouse_system = -1;
enum { mouse_axes = 3, mouse_buttons = 5 };

// The joystick behind a device, or null (the mouse).
SDL_Joystick* joystick_of(intptr_t system) {
    return system >= 0 ? SDL_JoystickFromInstanceID((SDL_JoystickID)system) : nullptr;
}

// A joystick event, from the device collection or from the window's pump.
void joystick_event(const SDL_Event& e) {
    switch (e.type) {
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        device_button_change(device_find_system(e.jbutton.which), e.jbutton.button, e.type == SDL_JOYBUTTONDOWN,
                             event_time(e.jbutton.timestamp));
        break;
    case SDL_JOYHATMOTION: {
        SDL_Joystick* js = joystick_of(e.jhat.which);
        if (!js) break;
        int device = device_find_system(e.jhat.which);
        int first = SDL_JoystickNumButtons(js) + 4 * e.jhat.hat;
        static const Uint8 directions[4] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT};
        for (int i = 0; i < 4; i++)
            device_button_change(device, first + i, (e.jhat.value & directions[i]) != 0, event_time(e.jhat.timestamp));
        break;
    }
    default: break;  // axes are read as they stand
    }
}

int mouse_button_index(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return -1;
    }
}

bool devices_start_sdl() {
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        log_printf("Can't start SDL joysticks (%s)\n", SDL_GetError());
        return false;
    }
    SDL_JoystickEventState(SDL_ENABLE);
    return true;
}

void devices_stop_sdl() { SDL_QuitSubSystem(SDL_INIT_JOYSTICK); }

int device_count_sdl() {
    int n = SDL_NumJoysticks();
    return 1 + (n > 0 ? n : 0);
}

bool device_open_sdl(int index, device_caps* caps) {
    if (index == 0) {
        snprintf(caps->instance, sizeof caps->instance, "Mouse");
        snprintf(caps->product, sizeof caps->product, "SDL mouse");
        caps->axes = mouse_axes;  // x, y and the wheel
        caps->buttons = mouse_buttons;
        caps->relative = true;
        caps->system = mouse_system;
        return true;
    }
    int j = index - 1;
    const char* name = SDL_JoystickNameForIndex(j);
    snprintf(caps->instance, sizeof caps->instance, "%s", name ? name : "Joystick");
    const char* path = SDL_JoystickPathForIndex(j);
    if (path) {
        snprintf(caps->product, sizeof caps->product, "%s", path);
    } else {
        char guid[33];
        SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(j), guid, sizeof guid);
        snprintf(caps->product, sizeof caps->product, "%s", guid);
    }
    SDL_Joystick* js = SDL_JoystickOpen(j);
    if (!js) {
        log_printf("SDL_JoystickOpen: %s\n", SDL_GetError());
        return false;
    }
    int axes = SDL_JoystickNumAxes(js), buttons = SDL_JoystickNumButtons(js), hats = SDL_JoystickNumHats(js);
    caps->axes = axes > 0 ? axes : 0;
    caps->buttons = (buttons > 0 ? buttons : 0) + 4 * (hats > 0 ? hats : 0);
    caps->relative = false;
    caps->controller = true;
    caps->system = SDL_JoystickInstanceID(js);
    return true;
}

void device_release_sdl(intptr_t system) {
    if (SDL_Joystick* js = joystick_of(system)) SDL_JoystickClose(js);
}

// SDL hands out joystick input while the game has the focus, so there is
// nothing to take hold of.
bool device_acquire_sdl(intptr_t) { return true; }
void device_unacquire_sdl(intptr_t) {}

// Reads the joysticks and takes their buffered events; keyboard and window
// events stay queued for the window's pump. The mouse's motion and buttons
// come with the window's events.
void devices_collect_sdl() {
    SDL_JoystickUpdate();
    SDL_Event events[32];
    int n;
    do {
        n = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_JOYAXISMOTION, SDL_JOYBUTTONUP);
        for (int i = 0; i < n; i++) joystick_event(events[i]);
    } while (n == 32);
}

int device_axis_sdl(intptr_t system, int axis) {
    SDL_Joystick* js = joystick_of(system);
    return js ? SDL_JoystickGetAxis(js, axis) : 0;
}

// ---------------------------------------------------------------------------

// Window coordinates to drawable pixels.
void pointer_to_pixels(window* w, int* x, int* y) {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(data(w)->sdl, &ww, &wh);
    if (ww > 0 && wh > 0 && (ww != w->width || wh != w->height)) {
        *x = (int)((long long)*x * w->width / ww);
        *y = (int)((long long)*y * w->height / wh);
    }
}

void pump_sdl(window* w) {
    int mouse = device_find_system(mouse_system);
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: event_post(key_close, true, event_time(e.quit.timestamp)); break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            bool down = e.type == SDL_KEYDOWN;
            if (down && e.key.repeat) {
                // Held keys repeat only as typed characters, as for text entry.
                SDL_Keycode k = e.key.keysym.sym;
                if (k == SDLK_BACKSPACE || k == SDLK_RETURN || k == SDLK_TAB) post_character((int32_t)k, e.key.timestamp);
                break;
            }
            int scan = set1_scan(e.key.keysym.scancode);
            if (scan >= 0) event_post(key_keyboard_base + scan, down, event_time(e.key.timestamp));
            // Keys that type control characters also send them.
            if (down) {
                switch (e.key.keysym.sym) {
                case SDLK_TAB: post_character(9, e.key.timestamp); break;
                case SDLK_RETURN:
                case SDLK_KP_ENTER: post_character(13, e.key.timestamp); break;
                case SDLK_BACKSPACE: post_character(8, e.key.timestamp); break;
                case SDLK_ESCAPE: post_character(27, e.key.timestamp); break;
                default: break;
                }
            }
            break;
        }
        case SDL_TEXTINPUT: {
            // UTF-8 to Latin-1 characters; others are dropped.
            const unsigned char* t = (const unsigned char*)e.text.text;
            while (*t) {
                if (t[0] < 0x80) {
                    post_character(t[0], e.text.timestamp);
                    t++;
                } else if ((t[0] & 0xE0) == 0xC0 && (t[1] & 0xC0) == 0x80) {
                    int c = ((t[0] & 0x1F) << 6) | (t[1] & 0x3F);
                    if (c < 256) post_character(c, e.text.timestamp);
                    t += 2;
                } else {
                    t++;
                    while ((*t & 0xC0) == 0x80) t++;
                }
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            int32_t code = e.button.button == SDL_BUTTON_LEFT     ? key_mouse_left
                           : e.button.button == SDL_BUTTON_MIDDLE ? key_mouse_middle
                           : e.button.button == SDL_BUTTON_RIGHT  ? key_mouse_right
                                                                  : 0;
            if (code) event_post(code, down, event_time(e.button.timestamp));
            device_button_change(mouse, mouse_button_index(e.button.button), down, event_time(e.button.timestamp));
            break;
        }
        case SDL_MOUSEMOTION: {
            int x = e.motion.x, y = e.motion.y;
            pointer_to_pixels(w, &x, &y);
            pointer_set(x, y);
            device_axis_value(mouse, 0, e.motion.xrel);
            device_axis_value(mouse, 1, e.motion.yrel);
            break;
        }
        case SDL_MOUSEWHEEL: device_axis_value(mouse, 2, e.wheel.y); break;
        case SDL_JOYHATMOTION:
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP: joystick_event(e); break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                update_size(w);
                log_printf("WM_SIZE message %dx%d\n", w->width, w->height);
                break;
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_HIDDEN: w->minimised = true; break;
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_MAXIMIZED:
            case SDL_WINDOWEVENT_SHOWN: w->minimised = false; break;
            case SDL_WINDOWEVENT_CLOSE: event_post(key_close, true, event_time(e.window.timestamp)); break;
            default: break;
            }
            break;
        default: break;
        }
    }
}

bool message_box_sdl(const char* title, const char* text) {
    // Without a display server there is nothing to show the box on.
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) return false;
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0;
}

bool open_folder_sdl(const char* path) {
    char* argv[] = {(char*)"xdg-open", (char*)path, nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

const platform_backend platform_sdl = {
    "sdl",
    sleep_sdl,
    scaling_off_sdl,
    desktop_mode_sdl,
    mode_count_sdl,
    mode_get_sdl,
    create_sdl,
    context_create_sdl,
    context_destroy_sdl,
    destroy_sdl,
    present_sdl,
    pump_sdl,
    fullscreen_sdl,
    windowed_sdl,
    devices_start_sdl,
    devices_stop_sdl,
    device_count_sdl,
    device_open_sdl,
    device_release_sdl,
    device_acquire_sdl,
    device_unacquire_sdl,
    devices_collect_sdl,
    device_axis_sdl,
    message_box_sdl,
    open_folder_sdl,
};
