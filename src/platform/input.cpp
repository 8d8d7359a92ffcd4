// Key names, the event queue, the input devices and their axes.
#include "platform/input.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/clock.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/options.h"
#include "platform/window.h"

namespace {

struct key_name_entry {
    int scan;
    const char* name;
};

// Scan code set 1; extended keys at 0x100 + code.
const key_name_entry key_names[] = {
    {0x01, "Esc"},        {0x02, "1"},          {0x03, "2"},          {0x04, "3"},         {0x05, "4"},
    {0x06, "5"},          {0x07, "6"},          {0x08, "7"},          {0x09, "8"},         {0x0A, "9"},
    {0x0B, "0"},          {0x0C, "-"},          {0x0D, "="},          {0x0E, "Backspace"}, {0x0F, "Tab"},
    {0x10, "Q"},          {0x11, "W"},          {0x12, "E"},          {0x13, "R"},         {0x14, "T"},
    {0x15, "Y"},          {0x16, "U"},          {0x17, "I"},          {0x18, "O"},         {0x19, "P"},
    {0x1A, "["},          {0x1B, "]"},          {0x1C, "Enter"},      {0x1D, "Left Ctrl"}, {0x1E, "A"},
    {0x1F, "S"},          {0x20, "D"},          {0x21, "F"},          {0x22, "G"},         {0x23, "H"},
    {0x24, "J"},          {0x25, "K"},          {0x26, "L"},          {0x27, ";"},         {0x28, "'"},
    {0x29, "`"},          {0x2A, "Left Shift"}, {0x2B, "\\"},         {0x2C, "Z"},         {0x2D, "X"},
    {0x2E, "C"},          {0x2F, "V"},          {0x30, "B"},          {0x31, "N"},         {0x32, "M"},
    {0x33, ","},          {0x34, "."},          {0x35, "/"},          {0x36, "Right Shift"},
    {0x37, "Keypad *"},   {0x39, "Space"},      {0x39, " "},          {0x3A, "Caps Lock"}, {0x3B, "F1"},
    {0x3C, "F2"},         {0x3D, "F3"},         {0x3E, "F4"},         {0x3F, "F5"},        {0x40, "F6"},
    {0x41, "F7"},         {0x42, "F8"},         {0x43, "F9"},         {0x44, "F10"},       {0x45, "Pause"},
    {0x47, "Keypad 7"},   {0x48, "Keypad 8"},   {0x49, "Keypad 9"},   {0x4A, "Keypad -"},  {0x4B, "Keypad 4"},
    {0x4C, "Keypad 5"},   {0x4D, "Keypad 6"},   {0x4E, "Keypad +"},   {0x4F, "Keypad 1"},  {0x50, "Keypad 2"},
    {0x51, "Keypad 3"},   {0x52, "Keypad 0"},   {0x53, "Keypad ."},   {0x57, "F11"},       {0x58, "F12"},
    {0x11C, "Keypad Enter"}, {0x11D, "Right Ctrl"}, {0x135, "Keypad /"}, {0x145, "Num Lock"},
    {0x147, "Home"},      {0x148, "Up"},        {0x149, "Page Up"},   {0x14B, "Left"},     {0x14D, "Right"},
    {0x14F, "End"},       {0x150, "Down"},      {0x151, "Page Down"}, {0x152, "Insert"},   {0x153, "Delete"},
};
const int key_name_count = sizeof key_names / sizeof key_names[0];
static_assert(sizeof key_names / sizeof key_names[0] == 98, "the key name table has 98 entries");

struct special_name {
    int32_t code;
    const char* name;
};
const special_name special_names[] = {
    {key_close, "Close"},
    {key_mouse_left, "Mouse Left"},
    {key_mouse_middle, "Mouse Middle"},
    {key_mouse_right, "Mouse Right"},
};

// Aliases: the fixed ones, those of the devices (in force after the first
// roll call), then any added at run time.
struct alias {
    const char* name;
    const char* target;
};
const alias fixed_aliases[] = {
    {"cursor-left", "Mouse Left"},      {"cursor-middle", "Mouse Middle"}, {"cursor-right", "Mouse Right"},
    {"cursor-x", "cursor.axis[0]"},     {"cursor-y", "cursor.axis[1]"},
};
const alias device_aliases[] = {
    {"mouse-x", "Mouse.axis[0]"},         {"mouse-y", "Mouse.axis[1]"},         {"mouse-left", "Mouse.key[0]"},
    {"mouse-right", "Mouse.key[1]"},      {"mouse-middle", "Mouse.key[2]"},     {"joystick-a-x", "Joystick1.axis[0]"},
    {"joystick-a-y", "Joystick1.axis[1]"}, {"joystick-a-1", "Joystick1.key[0]"}, {"joystick-a-2", "Joystick1.key[1]"},
    {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"}, {"joystick-b-1", "Joystick2.key[0]"},
    {"joystick-b-2", "Joystick2.key[1]"},
};
bool s_device_aliases = false;
alias* s_added = nullptr;
int s_added_count = 0, s_added_capacity = 0;

const char* resolve_alias(const char* name) {
    for (const alias& a : fixed_aliases)
        if (strcmp(a.name, name) == 0) return a.target;
    if (s_device_aliases)
        for (const alias& a : device_aliases)
            if (strcmp(a.name, name) == 0) return a.target;
    for (int i = 0; i < s_added_count; i++)
        if (strcmp(s_added[i].name, name) == 0) return s_added[i].target;
    return name;
}

// Compares ignoring case, with white space and "_" counting as a blank.
bool loose_equal(const char* a, const char* b) {
    auto fold = [](unsigned char c) -> int {
        if (c == '_' || isspace(c)) return ' ';
        return tolower(c);
    };
    while (*a && *b) {
        if (fold(*a) != fold(*b)) return false;
        a++;
        b++;
    }
    return *a == 0 && *b == 0;
}

bool match_name(const char* name, bool loose, int32_t* code) {
    for (const special_name& s : special_names) {
        if (loose ? loose_equal(s.name, name) : strcmp(s.name, name) == 0) {
            *code = s.code;
            return true;
        }
    }
    // No key names of the system's own: the table names the keys.
    for (int i = 0; i < key_name_count; i++) {
        if (loose ? loose_equal(key_names[i].name, name) : strcmp(key_names[i].name, name) == 0) {
            *code = key_keyboard_base + key_names[i].scan;
            return true;
        }
    }
    return false;
}

// The event queue.
enum { queue_size = 256 };
std::mutex s_queue_lock;
key_event s_queue[queue_size];
int s_head = 0;
int s_count = 0;

// ---------------------------------------------------------------------------
// Devices

enum { device_name_size = 64, device_base_length = 57 };  // room for "#" and five digits

struct input_device {
    char name[device_name_size];
    int32_t id;
    int axes, buttons;
    bool relative;
    bool controller;
    int axis_values[max_device_axes];
    unsigned char button_states[max_device_buttons];
    int open_count;         // axis handles open on it
    bool polled;            // its button presses are posted
    bool acquired;
    double time_adjustment; // seconds taken off the device's time stamps
    intptr_t system;
};

input_device* s_devices = nullptr;
int s_device_count = 0, s_device_capacity = 0;
bool s_devices_open = false;
bool s_sticks_only_logged = false;

// The pointer: a device of its own with two axes, always there.
const char pointer_name[] = "cursor";
int s_pointer_x = 0, s_pointer_y = 0;

char** s_axis_names = nullptr;
int s_axis_name_count = 0, s_axis_name_capacity = 0;

// Axis handles: the device (-1 the pointer, -2 gone with the devices) and
// the axis.
enum { handle_pointer = -1, handle_gone = -2 };
struct axis_handle {
    bool used;
    int device;
    int axis;
};
axis_handle* s_handles = nullptr;
int s_handle_capacity = 0;

bool name_taken(const char* name) {
    if (strcmp(name, pointer_name) == 0) return true;
    for (int i = 0; i < s_device_count; i++)
        if (strcmp(s_devices[i].name, name) == 0) return true;
    return false;
}

// The id from the name's characters: the sum of those at even positions
// (16 bits) and of those at odd positions (8 bits).
int32_t id_from_name(const char* name) {
    uint16_t even = 0;
    uint8_t odd = 0;
    for (size_t i = 0; name[i]; i++) {
        if (i % 2 == 0)
            even = (uint16_t)(even + (unsigned char)name[i]);
        else
            odd = (uint8_t)(odd + (unsigned char)name[i]);
    }
    return (int32_t)(((unsigned)even + 256u * odd) % 32768u);
}

bool id_taken(int32_t id) {
    if (id == id_from_name(pointer_name) * key_device_unit) return true;
    for (int i = 0; i < s_device_count; i++)
        if (s_devices[i].id == id) return true;
    return false;
}

int32_t unique_id(const char* name) {
    int32_t unit = id_from_name(name);
    for (int tries = 0; tries < 32768; tries++) {
        int32_t id = unit * key_device_unit;
        if (id != 0 && !id_taken(id)) return id;
        unit = (unit + 1) % 32768;
    }
    return 0;
}

// The instance name without blanks and dots, made unique with "#2", "#3"...
void unique_name(const char* instance, char out[device_name_size]) {
    char base[device_name_size];
    int n = 0;
    for (const unsigned char* p = (const unsigned char*)instance; *p && n < device_base_length; p++)
        if (!isspace(*p) && *p != '.') base[n++] = (char)*p;
    base[n] = 0;
    if (n == 0) snprintf(base, sizeof base, "Device");
    snprintf(out, device_name_size, "%s", base);
    for (int k = 2; name_taken(out) && k < 100000; k++) snprintf(out, device_name_size, "%s#%d", base, k);
}

// The device named so; "JoystickN" with no device of that name is the N-th
// game controller of the roll call.
int device_find(const char* name) {
    for (int i = 0; i < s_device_count; i++)
        if (strcmp(s_devices[i].name, name) == 0) return i;
    int n;
    char tail;
    if (sscanf(name, "Joystick%d%c", &n, &tail) == 1 && n >= 1) {
        for (int i = 0; i < s_device_count; i++)
            if (s_devices[i].controller && --n == 0) return i;
    }
    return -1;
}

bool device_acquire(input_device& d) {
    if (d.acquired) return true;
    d.acquired = platform_current()->device_acquire(d.system);
    return d.acquired;
}

void device_unacquire(input_device& d) {
    if (!d.acquired) return;
    platform_current()->device_unacquire(d.system);
    d.acquired = false;
}

bool any_polled() {
    for (int i = 0; i < s_device_count; i++)
        if (s_devices[i].polled) return true;
    return false;
}

void devices_collect() {
    if (s_devices_open) platform_current()->devices_collect();
}

bool add_axis_name(const char* name) {
    if (s_axis_name_count == s_axis_name_capacity) {
        int capacity = s_axis_name_capacity ? s_axis_name_capacity * 2 : 16;
        char** grown = (char**)mem_realloc(s_axis_names, (size_t)capacity * sizeof(char*));
        if (!grown) return false;
        s_axis_names = grown;
        s_axis_name_capacity = capacity;
    }
    size_t n = strlen(name) + 1;
    char* copy = (char*)mem_alloc(n);
    if (!copy) return false;
    memcpy(copy, name, n);
    s_axis_names[s_axis_name_count++] = copy;
    return true;
}

void roll_call_one(int index) {
    const platform_backend* b = platform_current();
    device_caps caps;
    memset(&caps, 0, sizeof caps);
    bool opened = b->device_open(index, &caps);
    caps.instance[sizeof caps.instance - 1] = 0;
    caps.product[sizeof caps.product - 1] = 0;
    log_printf("%s (%s)\n", caps.instance, caps.product);

    char name[device_name_size];
    unique_name(caps.instance, name);
    int32_t id = unique_id(name);
    if (!opened || id == 0) {  // no id is left only when 32767 devices are there
        log_printf("Can't create \"%s\"\n", name);
        if (opened) b->device_release(caps.system);
        return;
    }
    int axes = caps.axes > 0 ? caps.axes : 0;
    int buttons = caps.buttons > 0 ? caps.buttons : 0;
    if (axes == 0 && buttons == 0) {
        log_text("Ignoring Dunsel device\n");
        b->device_release(caps.system);
        return;
    }
    log_printf("%d axes, %d keys\n", axes, buttons);
    if (axes > max_device_axes) {
        log_printf("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"Axis %d\"\n",
                   max_device_axes);
        axes = max_device_axes;
    }
    if (buttons > max_device_buttons) {
        log_printf("Wow! This thing has a lot of buttons!\nThe first ignored button is called \"Button %d\"\n",
                   max_device_buttons);
        buttons = max_device_buttons;
    }
    for (int a = 0; a < axes; a++) log_printf("axis %d is %s\n", a, caps.relative ? "relative" : "absolute");

    if (s_device_count == s_device_capacity) {
        int capacity = s_device_capacity ? s_device_capacity * 2 : 4;
        input_device* grown = (input_device*)mem_realloc(s_devices, (size_t)capacity * sizeof(input_device));
        if (!grown) {
            log_text("Out of memory\n");
            b->device_release(caps.system);
            return;
        }
        s_devices = grown;
        s_device_capacity = capacity;
    }
    input_device& d = s_devices[s_device_count++];
    memset(&d, 0, sizeof d);
    memcpy(d.name, name, sizeof d.name);
    d.id = id;
    d.axes = axes;
    d.buttons = buttons;
    d.relative = caps.relative;
    d.controller = caps.controller;
    d.system = caps.system;

    if (!d.relative) {
        for (int a = 0; a < axes; a++) {
            char axis[256];
            snprintf(axis, sizeof axis, "%.200s axis %d", d.name, a);
            log_printf("Adding axis \"%s\"\n", axis);
            if (!add_axis_name(axis)) {
                log_text("Out of memory\n");
                break;
            }
        }
    }
}

int new_handle(int device, int axis) {
    for (int i = 0; i < s_handle_capacity; i++) {
        if (!s_handles[i].used) {
            s_handles[i] = {true, device, axis};
            return i;
        }
    }
    int capacity = s_handle_capacity ? s_handle_capacity * 2 : 32;
    axis_handle* grown = (axis_handle*)mem_realloc(s_handles, (size_t)capacity * sizeof(axis_handle));
    if (!grown) return -1;
    memset(grown + s_handle_capacity, 0, (size_t)(capacity - s_handle_capacity) * sizeof(axis_handle));
    s_handles = grown;
    int at = s_handle_capacity;
    s_handle_capacity = capacity;
    s_handles[at] = {true, device, axis};
    return at;
}

axis_handle* handle_at(int handle) {
    if (handle < 0 || handle >= s_handle_capacity || !s_handles[handle].used) return nullptr;
    return &s_handles[handle];
}

}  // namespace

bool key_code(const char* name, int32_t* code) {
    if (!name) return false;
    name = resolve_alias(name);
    if (match_name(name, false, code) || match_name(name, true, code)) return true;
    if (name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        unsigned value;
        char tail;
        if (sscanf(name, "0x%x%c", &value, &tail) == 1 || sscanf(name, "0X%x%c", &value, &tail) == 1) {
            if (value <= 511) {
                *code = key_keyboard_base + (int32_t)value;
                return true;
            }
        }
    }
    // A device button.
    char device[64];
    int index = -1;
    if (sscanf(name, "%63[^.].key[%d]", device, &index) != 2 && sscanf(name, "%63s button %d", device, &index) != 2)
        return false;
    if (index < 0 || index > 255) return false;
    int d = device_find(device);
    if (d < 0 || index >= s_devices[d].buttons) return false;
    input_device& dev = s_devices[d];
    dev.polled = true;
    device_acquire(dev);
    *code = dev.id + index;
    return true;
}

const char* key_name(int32_t code) {
    for (const special_name& s : special_names)
        if (s.code == code) return s.name;
    static char buffer[1100];
    if (code < key_keyboard_base || code > key_keyboard_base + 0x1FF) {
        if (code < key_device_unit) return nullptr;
        int32_t id = code & ~(int32_t)(key_device_unit - 1);
        for (int i = 0; i < s_device_count; i++) {
            if (s_devices[i].id == id) {
                snprintf(buffer, sizeof buffer, "%.1000s button %d", s_devices[i].name, (int)(code - id));
                return buffer;
            }
        }
        return nullptr;
    }
    int scan = code - key_keyboard_base;
    for (int i = 0; i < key_name_count; i++)
        if (key_names[i].scan == scan) return key_names[i].name;
    snprintf(buffer, sizeof buffer, "0x%x", scan);
    return buffer;
}

void key_alias(const char* name, const char* target) {
    if (!name || !target) return;
    if (resolve_alias(name) != name) {
        log_printf("Second alias for '%s' ('%s') ignored\n", name, target);
        return;
    }
    if (s_added_count == s_added_capacity) {
        int capacity = s_added_capacity ? s_added_capacity * 2 : 8;
        alias* grown = (alias*)mem_realloc(s_added, (size_t)capacity * sizeof(alias));
        if (!grown) {
            log_printf("Can't alias %s to %s -- out of memory\n", name, target);
            return;
        }
        s_added = grown;
        s_added_capacity = capacity;
    }
    size_t n = strlen(name) + 1, t = strlen(target) + 1;
    char* copy = (char*)mem_alloc(n + t);
    if (!copy) {
        log_printf("Can't alias %s to %s -- out of memory\n", name, target);
        return;
    }
    memcpy(copy, name, n);
    memcpy(copy + n, target, t);
    s_added[s_added_count++] = {copy, copy + n};
}

void event_post(int32_t code, bool down, double time) {
    std::lock_guard<std::mutex> hold(s_queue_lock);
    if (s_count >= queue_size) return;
    s_queue[(s_head + s_count) % queue_size] = {code, down, time};
    s_count++;
}

void event_post_now(int32_t code, bool down) { event_post(code, down, clock_seconds()); }

static bool take(bool due_only, double due, key_event* event) {
    std::lock_guard<std::mutex> hold(s_queue_lock);
    if (s_count == 0) return false;
    if (due_only && s_queue[s_head].time > due) return false;
    *event = s_queue[s_head];
    s_head = (s_head + 1) % queue_size;
    s_count--;
    return true;
}

static bool take_or_collect(bool due_only, double due, key_event* event) {
    if (g_window) window_pump(g_window);
    if (take(due_only, due, event)) return true;
    if (event_count() > 0 || !any_polled()) return false;
    devices_collect();
    return take(due_only, due, event);
}

bool event_take(key_event* event) { return take_or_collect(false, 0, event); }

bool event_take_due(double time, key_event* event) { return take_or_collect(true, time, event); }

int event_count() {
    std::lock_guard<std::mutex> hold(s_queue_lock);
    return s_count;
}

void event_clear() {
    std::lock_guard<std::mutex> hold(s_queue_lock);
    s_head = 0;
    s_count = 0;
}

void pointer_set(int x, int y) {
    s_pointer_x = x;
    s_pointer_y = y;
}

// ---------------------------------------------------------------------------
// Devices

void devices_roll_call() {
    if (s_devices_open) devices_close();
    if (!option_bool("dinput", true)) {
        log_text("Controllers disabled\n");
        return;
    }
    if (!s_sticks_only_logged) {
        // SDL offers no list of every input device: the roll call finds the
        // game controllers and the mouse whatever the switch says.
        s_sticks_only_logged = true;
        log_printf("dinputsticksonly [%s] has no effect: controllers and the mouse are listed\n",
                   option_bool("dinputsticksonly", true) ? "on" : "off");
    }
    const platform_backend* b = platform_current();
    if (!b->devices_start()) return;
    s_devices_open = true;
    log_text("Input roll call...\n");
    int n = b->device_count();
    for (int i = 0; i < n; i++) roll_call_one(i);
    log_text("End of input roll call\n");
    s_device_aliases = true;
}

void devices_close() {
    if (!s_devices_open) return;
    const platform_backend* b = platform_current();
    for (int i = 0; i < s_device_count; i++) {
        input_device& d = s_devices[i];
        device_unacquire(d);
        log_printf("Killing %s\n", d.name);
        if (d.time_adjustment > 0) log_printf("Timestamp adjustment was %d\n", (int)(d.time_adjustment * 1000 + 0.5));
        b->device_release(d.system);
    }
    mem_free(s_devices);
    s_devices = nullptr;
    s_device_count = s_device_capacity = 0;
    for (int i = 0; i < s_axis_name_count; i++) mem_free(s_axis_names[i]);
    mem_free(s_axis_names);
    s_axis_names = nullptr;
    s_axis_name_count = s_axis_name_capacity = 0;
    for (int i = 0; i < s_handle_capacity; i++)
        if (s_handles[i].used && s_handles[i].device >= 0) s_handles[i].device = handle_gone;
    s_devices_open = false;
    b->devices_stop();
}

int device_find_system(intptr_t system) {
    for (int i = 0; i < s_device_count; i++)
        if (s_devices[i].system == system) return i;
    return -1;
}

void device_axis_value(int device, int axis, int value) {
    if (device < 0 || device >= s_device_count) return;
    input_device& d = s_devices[device];
    if (axis < 0 || axis >= d.axes) return;
    if (d.relative) {
        long long sum = (long long)d.axis_values[axis] + value;
        d.axis_values[axis] = (int)(sum > INT_MAX ? INT_MAX : (sum < INT_MIN ? INT_MIN : sum));
    } else {
        d.axis_values[axis] = value < -32767 ? -32767 : (value > 32767 ? 32767 : value);
    }
}

void device_button_change(int device, int button, bool down, double time) {
    if (device < 0 || device >= s_device_count) return;
    input_device& d = s_devices[device];
    if (button < 0 || button >= d.buttons) return;
    if ((d.button_states[button] != 0) == down) return;
    d.button_states[button] = down;
    if (!d.polled || button > 255) return;
    // A stamp never lies ahead of the clock: a device whose clock runs ahead
    // has the difference taken off from then on.
    double now = clock_seconds();
    double stamp = time - d.time_adjustment;
    if (stamp > now) {
        d.time_adjustment = time - now;
        stamp = now;
    }
    event_post(d.id + button, down, stamp);
}

const char* const* axis_names(int* count) {
    *count = s_axis_name_count;
    return s_axis_names;
}

int axis_open(const char* name) {
    if (!name) return -1;
    name = resolve_alias(name);
    char device[64];
    int index = -1;
    if (sscanf(name, "%63[^.].axis[%d]", device, &index) != 2 && sscanf(name, "%63s axis %d", device, &index) != 2)
        return -1;
    if (index < 0) return -1;
    if (strcmp(device, pointer_name) == 0) return index < 2 ? new_handle(handle_pointer, index) : -1;
    int d = device_find(device);
    if (d < 0 || index >= s_devices[d].axes) return -1;
    input_device& dev = s_devices[d];
    if (dev.open_count == 0 && !device_acquire(dev)) return -1;
    int h = new_handle(d, index);
    if (h >= 0) dev.open_count++;
    return h;
}

void axis_close(int handle) {
    axis_handle* h = handle_at(handle);
    if (!h) return;
    h->used = false;
    if (h->device < 0 || h->device >= s_device_count) return;
    input_device& d = s_devices[h->device];
    if (d.open_count > 0 && --d.open_count == 0 && !d.polled) device_unacquire(d);
}

int axis_read(int handle) {
    axis_handle* h = handle_at(handle);
    if (!h || h->device == handle_gone) return 0;
    if (h->device == handle_pointer) return h->axis == 0 ? s_pointer_x : s_pointer_y;
    devices_collect();
    input_device& d = s_devices[h->device];
    if (d.relative) {
        int motion = d.axis_values[h->axis];
        d.axis_values[h->axis] = 0;
        return motion;
    }
    int v = platform_current()->device_axis(d.system, h->axis);
    device_axis_value(h->device, h->axis, v);
    return d.axis_values[h->axis];
}
