// The log file and the message list.
//
// The first entry of the process sets the log up: KWIL_LOGFILE names the file
// (">" truncates, ">>" appends) and KWIL_LOGFILE_FLAGS, when set, replaces the
// open mode. An announcement "KWIL_LOGFILE=<path>" as the very first entry
// names the file when KWIL_LOGFILE is not set, and is not written itself.
#include "base/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/clock.h"

namespace {

struct log_state {
    bool opened;
    FILE* file;
    char last_error[512];
};

log_state s_log = {false, nullptr, "Unknown"};
std::mutex s_log_lock;

const char announcement[] = "KWIL_LOGFILE=";

void write_stamp_and_text(const char* text) {
    if (!s_log.file) return;
    double t = clock_seconds();
    if (t < 0) t = 0;
    long long hundredths = (long long)(t * 100.0);
    long long seconds = hundredths / 100;
    fprintf(s_log.file, "[%lld:%02lld:%02lld.%02lld] ", seconds / 3600, (seconds / 60) % 60, seconds % 60,
            hundredths % 100);
    fputs(text, s_log.file);
    fflush(s_log.file);
}

// Opens the file on the first entry. Returns true when the entry was the
// announcement and must not be written. Called with the lock held.
bool set_up(const char* first_text) {
    s_log.opened = true;
    const char* path = getenv("KWIL_LOGFILE");
    const char* flags = getenv("KWIL_LOGFILE_FLAGS");
    bool announced = first_text && strncmp(first_text, announcement, sizeof announcement - 1) == 0;
    char announced_path[1024];
    if (announced && !path) {
        snprintf(announced_path, sizeof announced_path, "%s", first_text + sizeof announcement - 1);
        // An announcement is one line; drop its line feed if the caller gave one.
        size_t n = strlen(announced_path);
        while (n > 0 && (announced_path[n - 1] == '\n' || announced_path[n - 1] == '\r')) announced_path[--n] = 0;
        path = announced_path;
    }
    if (path) {
        const char* mode = "w";
        if (path[0] == '>') {
            path++;
            if (path[0] == '>') {
                path++;
                mode = "a";
            }
        }
        if (flags) mode = flags;
        s_log.file = fopen(path, mode);
        if (s_log.file) {
            char line[1200];
            snprintf(line, sizeof line, "Logfile \"%s\" opened\n", path);
            write_stamp_and_text(line);
            write_stamp_and_text("KWIL 0.31\n");
        }
    }
    return announced;
}

void entry(const char* text) {
    std::lock_guard<std::mutex> hold(s_log_lock);
    if (!s_log.opened) {
        if (set_up(text)) return;
    }
    if ((unsigned char)text[0] == 19) return;
    write_stamp_and_text(text);
}

}  // namespace

void log_vprintf(const char* format, va_list args) {
    char small[1024];
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return;
    if ((size_t)n < sizeof small) {
        entry(small);
        return;
    }
    // A long entry: format into a block of its own (plain malloc: the log must
    // work while the allocator is reporting trouble).
    char* big = (char*)malloc((size_t)n + 1);
    if (!big) {
        entry(small);
        return;
    }
    vsnprintf(big, (size_t)n + 1, format, args);
    entry(big);
    free(big);
}

void log_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprintf(format, args);
    va_end(args);
}

void log_text(const char* text) {
    if (text) entry(text);
}

void log_close() {
    std::lock_guard<std::mutex> hold(s_log_lock);
    s_log.opened = true;
    if (s_log.file) fclose(s_log.file);
    s_log.file = nullptr;
}

void log_error(const char* text) {
    log_printf("Error: %s\n", text);
    std::lock_guard<std::mutex> hold(s_log_lock);
    snprintf(s_log.last_error, sizeof s_log.last_error, "%s", text);
}

const char* log_last_error() { return s_log.last_error; }

void log_reset_for_tests() {
    std::lock_guard<std::mutex> hold(s_log_lock);
    if (s_log.file) fclose(s_log.file);
    s_log.file = nullptr;
    s_log.opened = false;
    snprintf(s_log.last_error, sizeof s_log.last_error, "Unknown");
}

// ---------------------------------------------------------------------------
// Message list

message_list g_messages = {{}, 0, 0, 5, 0.0, 0.0};

void message_add(const char* text) {
    size_t n = strlen(text);
    bool ends_line = n > 0 && text[n - 1] == '\n';
    const char* reset = strchr(text, 27) ? "\x1b[0m" : "";
    log_printf(ends_line ? "%s%s" : "%s%s\n", text, reset);

    message_list& m = g_messages;
    snprintf(m.lines[m.next], message_line_size, "%s", text);
    m.next = (m.next + 1) % message_ring_lines;
    int limit = m.limit < 0 ? 0 : (m.limit > message_ring_lines ? message_ring_lines : m.limit);
    if (m.visible < limit) m.visible++;
    m.expiry = m.clock + 2.0;
}

void message_printf(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    message_add(text);
}

void message_expire(double game_clock) {
    message_list& m = g_messages;
    m.clock = game_clock;
    if (m.visible >= 1 && game_clock > m.expiry) {
        m.visible--;
        m.expiry = game_clock + 5.0;
    }
}

void message_clear() {
    int limit = g_messages.limit;
    memset(&g_messages, 0, sizeof g_messages);
    g_messages.limit = limit;
}
