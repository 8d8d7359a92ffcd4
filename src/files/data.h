// Game data: the data folders, the file list, archives and data streams.
//
// A game file is named by a data name, a path relative to the data folders
// written with a leading "@" ("@config", "@rabbithill/terrain.hf"). Reading
// tries the home folder first, then the installation's data (DW_HOME, else
// the executable's folder), then ".saf" archive members; each place is tried
// plain, ".gz", ".scram" and ".gz.scram". Writing a data name writes into the
// home folder only.
#pragma once

#include <stdio.h>

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Data folders

// Folder i (0-based, ending in "/"), or null when i is out of range. Folder 0
// is the home folder ($XDG_DATA_HOME/Dirtwake/, default
// ~/.local/share/Dirtwake/) when it can be determined.
const char* data_folder(int i);
int data_folder_count();
// The home folder, or null when it cannot be determined.
const char* data_home_folder();
// True when an installation data folder (not the home folder) exists.
bool data_installation_found();

// Creates every missing folder along the path (each prefix ending at "/").
void data_make_folders(const char* path);

// Creates the home folder and opens it in the desktop's file browser.
bool open_home_folder();

// Renames; an argument beginning with "@" is relative to the home folder.
// The target is replaced atomically: a failed move leaves it as it was.
bool data_rename(const char* from, const char* to);

// ---------------------------------------------------------------------------
// The file list: every file of the data folders and of their ".saf"
// archives, sorted by name (case-insensitively), then by precedence.

struct file_entry {
    char* name;       // relative to the data folder, "/" separated, storage suffixes kept
    char* open_path;  // the file itself, or the archive holding the member
    int64_t offset;   // of the data inside open_path
    int64_t size;
    int source_rank;  // folder index, or folder count + archive ordinal
};

// The unique names, highest precedence first of each run; ends with "".
const char* const* file_list_names();
int file_list_count();
const file_entry* file_list_entry(int i);
// "name -> open path" of record i, cut to fit; false when i is out of range.
bool file_list_describe(int i, char* buffer, size_t size);
// The record a name resolves to (lowest rank), or null.
const file_entry* file_list_find(const char* name);
// Frees the file list and all its strings (shut-down); the next use builds it again.
void file_list_free();

// ---------------------------------------------------------------------------
// ".saf" archives: a text header of member lines "<size> <name>\n" ended by
// the line "-\n", then the members' bytes in header order.

enum { saf_line_size = 1024 };  // a header line, line feed included, is at most 1023 bytes

struct saf_member {
    char* name;  // runs of "/" collapsed
    int64_t offset;
    int64_t size;
};

// Reads one header line into buffer (at most size-1 bytes, stopping after a
// line feed, terminated); returns its length in bytes, 0 at the end.
typedef int (*saf_line_reader)(void* context, char* buffer, int size);

// Parses an archive header. A line without its line feed, with a NUL byte,
// without a number, with a negative or overflowing size, without the single
// space before the name or with an empty name, or a member ending past
// archive_size makes the whole header malformed. Returns the member count
// (the members in *members, freed with saf_free_members), or -1 when the
// header is malformed (then *members is null).
int saf_read_header(saf_line_reader read_line, void* context, int64_t archive_size, saf_member** members);
// The same over a header held in memory (archive_size bounds the members).
int saf_read_header_memory(const void* data, size_t size, int64_t archive_size, saf_member** members);
// The same over an open file positioned at the archive's start.
int saf_read_header_file(FILE* file, int64_t archive_size, saf_member** members);
void saf_free_members(saf_member* members, int count);

// ---------------------------------------------------------------------------
// Scrambled data (".scram"): the magic "DWSC", an 8-byte little-endian
// nonce, then the bytes XORed with a keystream made from the game key and the
// nonce. It keeps casual eyes off the files; it is not encryption.

enum { scramble_header_size = 12 };

struct scramble_key {
    uint64_t state[4];
    unsigned char block[8];  // keystream bytes not used yet
    int used;                // of block
};

// Starts the keystream for a nonce.
void scramble_start(scramble_key* key, uint64_t nonce);
// XORs count bytes with the next keystream bytes (scrambles and unscrambles).
void scramble_apply(scramble_key* key, void* buffer, size_t count);
// The header of scrambled data with this nonce.
void scramble_make_header(uint64_t nonce, unsigned char header[scramble_header_size]);
// A fresh nonce (from the system's random source, else the clock).
uint64_t scramble_new_nonce();

// The deciphering stream over an open file positioned at the header (the
// file stays the caller's): at most available bytes of the file are read,
// header included (-1: up to the file's end). Null when the header is
// missing or wrong.
struct scramble_reader;
scramble_reader* scramble_open(FILE* file, int64_t available);
// Reads and deciphers up to count bytes; returns the number delivered.
size_t scramble_read(scramble_reader* r, void* buffer, size_t count);
void scramble_close(scramble_reader* r);

// ---------------------------------------------------------------------------
// Streams

struct data_stream;

// Opens a data name ("@...") or a plain path with a standard mode ("rb",
// "wb", "ab", "r+b", ...). A mode beginning with "~" first keeps a numbered
// backup "<path>.~N~" of an existing file. Returns null on failure (nothing
// is printed: callers report in their own words).
data_stream* data_open(const char* path, const char* mode);
void data_close(data_stream* s);

int data_getc(data_stream* s);   // 0..255, or -1 at the end
int data_peekc(data_stream* s);  // the next byte without consuming it
// Up to size-1 bytes, stopping after a line feed; null at the end.
char* data_gets(data_stream* s, char* buffer, int size);
size_t data_read(data_stream* s, void* buffer, size_t count);
// Formatted read (d i o u x X f e g a s c n [set] %%, *, widths, h hh l ll
// L q j z t). %s and %[ need a field width (without one the call ends there;
// %*s and %*[ need none); %c without a width reads one byte; a conversion
// never writes past its width. A number reads no further than one byte past
// its text: "1e" or "0x" followed by a non-digit consume the "e" or "x" and
// convert "1" or "0" (see scanf.cpp). Returns the number of assignments, or
// -1 when the input ends before the first conversion.
int data_scanf(data_stream* s, const char* format, ...) __attribute__((format(scanf, 2, 3)));

int data_putc(data_stream* s, int c);
int data_puts(data_stream* s, const char* text);
size_t data_write(data_stream* s, const void* buffer, size_t count);
int data_printf(data_stream* s, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool data_seek(data_stream* s, int64_t position);
bool data_flush(data_stream* s);
bool data_is_scrambled(data_stream* s);
// Whether a write, flush or read error has happened on the stream (damaged
// or cut-short compressed data counts as a read error).
bool data_error(data_stream* s);

// Safe replacement of a file the program keeps: data_open_replace writes to a
// temporary file beside the target; data_close_replace checks every write,
// flushes, closes and renames it over the target, returning success. On any
// failure the old file stays as it was and the temporary file is removed.
data_stream* data_open_replace(const char* path);
bool data_close_replace(data_stream* s);

// Whether a data name stays inside the data folders: not empty, not absolute,
// and no ".." part.
bool data_name_is_safe(const char* name);

// The full path a data name is written to (in the home folder); false when the
// name is refused (".." parts, an absolute path, too long) or there is no home.
bool data_write_path(const char* name, char* buffer, size_t size);

// Wraps a file that is already open and positioned at the data (the stream
// then owns it): at most size bytes are read (-1: up to the file's end),
// through the deciphering stream and/or the gzip decompressor. Null (and the
// file closed) when the scrambled or gzip header is bad.
data_stream* data_open_file(FILE* file, int64_t size, bool compressed, bool scrambled);

// For tests: forget the folders and the file list so that they are found
// again from the environment on next use.
void data_reset_for_tests();
