// The SDL2 backend: window and OpenGL context, window messages turned into
// key events, display modes, message boxes and the desktop's folder opener.
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

struct window {
    SDL_Window* sdl;
    SDL_GLContext gl;
    int width, height;
    bool minimised;
    bool fullscreen;
};

namespace {

bool s_video_up = false;

bool video_up() {
    if (!s_video_up) {
        // Without a display server (and no driver asked for by name) there is
        // no video to start; SDL would only complain on standard error.
        if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("SDL_VIDEODRIVER")) {
            log_text("No display found\n");
            return false;
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            log_printf("Can't start SDL video: %s\n", SDL_GetError());
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

void sleep_sdl(double seconds) {
    double target = clock_seconds() + seconds;
    double whole = seconds - 0.001;
    if (whole > 0) {
        timespec ts;
        ts.tv_sec = (time_t)whole;
        ts.tv_nsec = (long)((whole - (double)ts.tv_sec) * 1e9);
        nanosleep(&ts, nullptr);
    }
    while (clock_seconds() < target) sched_yield();
}

window* open_sdl(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits, int stencil_bits,
                 int accum_bits) {
    if (!video_up()) return nullptr;
    int colour = flags & 0xFF;
    if (colour == 32) colour = 24;
    int channel = colour >= 24 ? 8 : 5;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour >= 24 ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    bool full = (flags & window_fullscreen) != 0;
    int w = width, h = height;
    Uint32 sdl_flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    if (full) {
        sdl_flags |= (w == 0 || h == 0) ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
    }
    if (w <= 0 || h <= 0) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            w = mode.w;
            h = mode.h;
        } else {
            w = 640;
            h = 480;
        }
    }
    log_text("Creating window\n");
    SDL_Window* sdl = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, sdl_flags);
    if (!sdl && colour < 24) {
        // Some drivers offer no 16-bit visuals: take what they have.
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 0);
        sdl = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, sdl_flags);
    }
    if (!sdl) {
        log_printf("Can't create window! (%s)\n", SDL_GetError());
        return nullptr;
    }
    log_text("Creating OpenGL context\n");
    SDL_GLContext gl = SDL_GL_CreateContext(sdl);
    if (!gl) {
        log_printf("Couldn't create OpenGL context (%s)\n", SDL_GetError());
        SDL_DestroyWindow(sdl);
        return nullptr;
    }
    SDL_GL_MakeCurrent(sdl, gl);
    SDL_StartTextInput();
    window* win = (window*)mem_alloc_or_die(sizeof(window));
    win->sdl = sdl;
    win->gl = gl;
    SDL_GL_GetDrawableSize(sdl, &win->width, &win->height);
    win->minimised = false;
    win->fullscreen = full;
    return win;
}

void close_sdl(window* w) {
    if (w->gl) {
        log_text("Deleting OpenGL context\n");
        SDL_GL_DeleteContext(w->gl);
    }
    log_text("Destroying window\n");
    SDL_DestroyWindow(w->sdl);
    mem_free(w);
    log_text("Window shutdown complete\n");
}

bool ready_sdl(window* w) { return w->sdl != nullptr && w->gl != nullptr; }

bool frame_sdl(window* w, int* width, int* height) {
    if (!w->gl || w->minimised) return false;
    *width = w->width;
    *height = w->height;
    return true;
}

bool present_sdl(window* w) {
    if (!w->gl) return false;
    SDL_GL_SwapWindow(w->sdl);
    return true;
}

void post_character(int32_t c, Uint32 stamp) { event_post(c, true, event_time(stamp)); }

void pump_sdl(window* w) {
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
            int32_t code = e.button.button == SDL_BUTTON_LEFT     ? key_mouse_left
                           : e.button.button == SDL_BUTTON_MIDDLE ? key_mouse_middle
                           : e.button.button == SDL_BUTTON_RIGHT  ? key_mouse_right
                                                                  : 0;
            if (code) event_post(code, e.type == SDL_MOUSEBUTTONDOWN, event_time(e.button.timestamp));
            break;
        }
        case SDL_MOUSEMOTION: pointer_set(e.motion.x, e.motion.y); break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                SDL_GL_GetDrawableSize(w->sdl, &w->width, &w->height);
                log_printf("WM_SIZE message %dx%d\n", w->width, w->height);
                break;
            case SDL_WINDOWEVENT_MINIMIZED: w->minimised = true; break;
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_EXPOSED: w->minimised = false; break;
            case SDL_WINDOWEVENT_CLOSE: event_post(key_close, true, event_time(e.window.timestamp)); break;
            default: break;
            }
            break;
        default: break;
        }
    }
}

int modes_sdl(display_mode* modes, int max) {
    if (!video_up()) return 0;
    int n = 0;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && n < max; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        display_mode d = {m.w, m.h, (int)SDL_BITSPERPIXEL(m.format)};
        bool seen = false;
        for (int j = 0; j < n; j++)
            if (modes[j].width == d.width && modes[j].height == d.height && modes[j].bits == d.bits) seen = true;
        if (!seen) modes[n++] = d;
    }
    return n;
}

bool desktop_sdl(int* width, int* height) {
    SDL_DisplayMode m;
    if (video_up() && SDL_GetDesktopDisplayMode(0, &m) == 0) {
        *width = m.w;
        *height = m.h;
        return true;
    }
    *width = 640;
    *height = 480;
    return false;
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
    "sdl",      sleep_sdl, open_sdl,  close_sdl,   ready_sdl,       frame_sdl,
    present_sdl, pump_sdl, modes_sdl, desktop_sdl, message_box_sdl, open_folder_sdl,
};
