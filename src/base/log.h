// The log file, the on-screen message list and the last error.
//
// The log is opened by its first entry (see log.cpp for the announcement and
// the KWIL_LOGFILE variables); every entry is prefixed with a time stamp and
// flushed. Callers end their texts with "\n": the log adds no line feed.
// Entries may come from any thread.
#pragma once

#include <cstdarg>

// Writes one formatted entry. Never pass text from a file, the network or the
// player as the format: use log_text or "%s".
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_vprintf(const char* format, va_list args);

// Writes the text as it is (one entry).
void log_text(const char* text);

// Closes the log file; later entries are dropped. The log is never reopened.
void log_close();

// Logs "Error: <text>\n" and keeps the text as the last error.
void log_error(const char* text);
const char* log_last_error();

// The on-screen message list: a ring of 1000 lines of 127 characters.
enum { message_ring_lines = 1000, message_line_size = 128 };

struct message_list {
    char lines[message_ring_lines][message_line_size];
    int next;       // line written next
    int visible;    // newest lines shown on screen
    int limit;      // at most this many visible (configuration "message_lines")
    double expiry;  // game-clock time at which the oldest visible line goes
    double clock;   // the game clock as last handed in by message_expire
};
extern message_list g_messages;

// Shows a line to the player and logs it.
void message_add(const char* text);
void message_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Called once per frame with the game clock: drops the oldest visible line
// when the expiry time has passed.
void message_expire(double game_clock);

// Clears the ring (start-up).
void message_clear();

// For tests: forget that the log was set up so the next entry opens it again.
void log_reset_for_tests();
