// Key names, the event queue and the pointer axes.
#include "platform/input.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/clock.h"
#include "base/log.h"
#include "base/mem.h"
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

// Aliases: fixed ones first, then any added at run time.
struct alias {
    const char* name;
    const char* target;
};
const alias fixed_aliases[] = {
    {"cursor-left", "Mouse Left"},      {"cursor-middle", "Mouse Middle"}, {"cursor-right", "Mouse Right"},
    {"cursor-x", "cursor.axis[0]"},     {"cursor-y", "cursor.axis[1]"},
};
enum { max_added_aliases = 64 };
alias s_added[max_added_aliases];
int s_added_count = 0;

const char* resolve_alias(const char* name) {
    for (const alias& a : fixed_aliases)
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
    // The platform offers no key names of its own here: the table names keys.
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

// The pointer device: two axes read from the pointer position.
int s_pointer_x = 0, s_pointer_y = 0;
enum { max_axis_handles = 32 };
struct axis_handle {
    bool used;
    int axis;
};
axis_handle s_axes[max_axis_handles];

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
    // Controller buttons ("Joystick1.key[3]") come with the input devices.
    return false;
}

const char* key_name(int32_t code) {
    for (const special_name& s : special_names)
        if (s.code == code) return s.name;
    if (code < key_keyboard_base || code > key_keyboard_base + 0x1FF) return nullptr;
    int scan = code - key_keyboard_base;
    for (int i = 0; i < key_name_count; i++)
        if (key_names[i].scan == scan) return key_names[i].name;
    static char buffer[16];
    snprintf(buffer, sizeof buffer, "0x%x", scan);
    return buffer;
}

void key_alias(const char* name, const char* target) {
    if (resolve_alias(name) != name) {
        log_printf("Second alias for '%s' ('%s') ignored\n", name, target);
        return;
    }
    if (s_added_count >= max_added_aliases) {
        log_printf("Can't alias %s to %s -- out of memory\n", name, target);
        return;
    }
    s_added[s_added_count].name = mem_strdup(name);
    s_added[s_added_count].target = mem_strdup(target);
    s_added_count++;
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

bool event_take(key_event* event) {
    if (g_window) window_pump(g_window);
    return take(false, 0, event);
}

bool event_take_due(double time, key_event* event) {
    if (g_window) window_pump(g_window);
    return take(true, time, event);
}

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

int axis_open(const char* name) {
    if (!name) return -1;
    name = resolve_alias(name);
    char device[64];
    int index = -1;
    if (sscanf(name, "%63[^.].axis[%d]", device, &index) != 2 && sscanf(name, "%63s axis %d", device, &index) != 2)
        return -1;
    // Only the pointer device exists until controllers are enumerated.
    if (strcmp(device, "cursor") != 0 || index < 0 || index > 1) return -1;
    for (int i = 0; i < max_axis_handles; i++) {
        if (!s_axes[i].used) {
            s_axes[i] = {true, index};
            return i;
        }
    }
    return -1;
}

void axis_close(int handle) {
    if (handle >= 0 && handle < max_axis_handles) s_axes[handle].used = false;
}

int axis_read(int handle) {
    if (handle < 0 || handle >= max_axis_handles || !s_axes[handle].used) return 0;
    return s_axes[handle].axis == 0 ? s_pointer_x : s_pointer_y;
}
