// Input: key codes and key names, the time-stamped event queue, and axes.
//
// Key codes are 32-bit: 0..255 typed characters, 0x1000 + scan code (PC scan
// code set 1, extended keys at 0x100 + code) for keyboard keys, 0x2000..0x2002
// the pointer buttons, 0xDEAD the window's close request, device id + button
// for controller buttons.
#pragma once

#include <cstdint>

enum {
    key_keyboard_base = 0x1000,
    key_mouse_left = 0x2000,
    key_mouse_middle = 0x2001,
    key_mouse_right = 0x2002,
    key_close = 0xDEAD,
    key_tab_char = 9,
};

// Turns a key name ("x", "right ctrl", "Mouse Left", "0x2d", an alias such
// as "cursor-left") into its code; false when the name means nothing.
bool key_code(const char* name, int32_t* code);

// Names a code for display; null when it has no name. The text is a static
// buffer for codes without a fixed name: copy it before the next call.
const char* key_name(int32_t code);

// The event queue: a ring of 256 events, oldest first; a full queue drops
// new events. Safe to post from another thread.
struct key_event {
    int32_t code;
    bool down;
    double time;  // seconds on the program clock
};

void event_post(int32_t code, bool down, double time);
void event_post_now(int32_t code, bool down);
// Pumps the window's messages and takes the oldest event; false when none.
bool event_take(key_event* event);
// The same, but only an event stamped at or before the given time.
bool event_take_due(double time, key_event* event);
int event_count();
void event_clear();

// Axes by name ("cursor-x", "cursor.axis[0]"). A handle is an index >= 0;
// -1 means none.
int axis_open(const char* name);
void axis_close(int handle);
// Absolute axes: -32767..32767; the pointer: its position in window pixels.
int axis_read(int handle);

// The pointer position in the window, kept by the window backend.
void pointer_set(int x, int y);

// Adds an alias; a second alias for the same name is refused with a log line.
void key_alias(const char* name, const char* target);
