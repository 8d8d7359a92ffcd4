// Input: key codes and key names, the time-stamped event queue, the input
// devices (game controllers and the mouse) and their axes.
//
// Key codes are 32-bit: 0..255 typed characters, 0x1000 + scan code (PC scan
// code set 1, extended keys at 0x100 + code) for keyboard keys, 0x2000..0x2002
// the pointer buttons, 0xDEAD the window's close request, device id + button
// for device buttons (the id is a multiple of 0x10000).
#pragma once

#include <cstdint>

enum {
    key_keyboard_base = 0x1000,
    key_mouse_left = 0x2000,
    key_mouse_middle = 0x2001,
    key_mouse_right = 0x2002,
    key_close = 0xDEAD,
    key_tab_char = 9,
    key_device_unit = 0x10000,
};

enum { max_device_axes = 100, max_device_buttons = 500 };

// Turns a key name ("x", "right ctrl", "Mouse Left", "0x2d", an alias such
// as "cursor-left", a device button "Gamepad.key[3]" or "Gamepad button 3")
// into its code; false when the name means nothing. Naming a device button
// makes the device post that button's presses.
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
// Pumps the window's messages and takes the oldest event; when there is
// none, collects the devices' input and tries once more.
bool event_take(key_event* event);
// The same, but only an event stamped at or before the given time.
bool event_take_due(double time, key_event* event);
int event_count();
void event_clear();

// Axes by name: "Gamepad.axis[1]", "Gamepad axis 1", the pointer's
// "cursor.axis[0]" and the aliases ("cursor-x", "mouse-y", "joystick-a-x").
// A handle is an index >= 0; -1 means none.
int axis_open(const char* name);
void axis_close(int handle);
// Absolute axes: -32767..32767; a relative device: the motion since the last
// read; the pointer: its position in window pixels.
int axis_read(int handle);

// The names "<device> axis <n>" of every axis of the devices with absolute
// axes, in roll-call order.
const char* const* axis_names(int* count);

// The input devices: found at window open, gone at window close.
void devices_roll_call();
void devices_close();

// The pointer position in the window, kept by the window backend.
void pointer_set(int x, int y);

// Adds an alias; a second alias for the same name is refused with a log line.
void key_alias(const char* name, const char* target);

// ---------------------------------------------------------------------------
// For the backends

// What a backend tells of a device at the roll call.
struct device_caps {
    char instance[256];  // the device's own name
    char product[256];   // what it is
    int axes, buttons;
    bool relative;    // reports motion rather than positions
    bool controller;  // a game controller: "JoystickN" names the N-th
    intptr_t system;  // the backend's handle
};

// The device that a backend handle belongs to, or -1.
int device_find_system(intptr_t system);
// A device's axis: an absolute device stores the value, a relative one adds
// the motion.
void device_axis_value(int device, int axis, int value);
// A button's new state, read with the time it changed (program clock). A
// change posts an event when the device's buttons are bound.
void device_button_change(int device, int button, bool down, double time);
