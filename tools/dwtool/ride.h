// Headless rides: control scripts, and bikes on a track driven by them
// through the real game tick (dwtool ride, and the tests that ride).
//
// A control script is text, one control line per line:
//
//   DURATION [steer [throttle [front brake [rear brake [shift [clutch [sit/dab [back up [lean]]]]]]]]]
//
// DURATION is a whole number of ticks (128 to the second) or a number of
// seconds ending in "s" ("1.5s"); the values are the control record of those
// ticks, in that order, each within its range (steer, shift and lean -1..1,
// the others 0..1); values left out are 0. "#" starts a comment; blank lines
// are skipped. The steer value is the one the input layer forms: positive
// for the "Left" binding, turned into a right turn only with reversed
// steering off.
#pragma once

#include <cstdio>

#include "frame/game.h"

struct bike_state;

enum {
    ride_script_max_ticks = 128 * 3600,  // an hour of riding
    ride_script_max_line = 1024,         // characters in a line
    ride_max_riders = 16,  // riders of dwtool ride; a ride itself takes up to max_riders
};

struct ride_segment {
    int ticks;
    float controls[control_values];
};

struct ride_script {
    ride_segment* segments;  // tracked allocation; null when empty
    int count, capacity;
    int ticks;  // all segments together
};

// Parses a script's text; `name` names it in messages. On an error the
// script is left empty and `error` holds "NAME:LINE: what is wrong".
bool ride_script_parse(const char* text, const char* name, ride_script* script, char* error, int error_size);
// Reads and parses a script file; a file that cannot be read is an error too.
bool ride_script_read(const char* path, ride_script* script, char* error, int error_size);
void ride_script_free(ride_script* script);
// Where a walk through the script stands: the segment and its first tick.
struct ride_cursor {
    int segment, start;
};
// The control record of a tick from the start of the script (all 0 after
// its end). The cursor (start it at {0, 0}) makes walking forwards tick by
// tick cheap; any tick may be asked for.
void ride_script_controls(const ride_script* script, int tick, ride_cursor* cursor, float controls[control_values]);

struct ride_options {
    int riders;         // 1..max_riders
    bool at;            // start at (x, z, heading) rather than on the track's starting spots
    double x, z;        // ft
    double heading;     // radians; 0 faces -z, positive turns to the left
    int every;          // a trace row every this many ticks
    int ticks;          // ticks to ride; 0: the script's length
    const char* setup;  // a bike setup file ("key=value" lines) over the default setup; null for none
    double row_spacing; // ft between the rows behind the starting spots; 0: 10
};
void ride_options_defaults(ride_options* options);

// Sets up a ride: the track's terrain, tiles and starting spots, a fresh
// physics world, an empty race at tick 0 with the gate dropping at once, the
// race's random numbers seeded, and the riders created as robots in slots 0
// up, placed at the start, with the default setup (and the setup file's
// keys over it) applied by the mechanic. False with a message in `error`
// when the bike or the setup cannot be had; a track that cannot be loaded
// is reported on standard error, leaving `error` empty.
bool ride_begin(const char* track, const char* bike, const ride_options* options, char* error, int error_size);
// The same with the setup already in g_setup (the configuration is left alone).
bool ride_begin_with_setup(const char* track, const char* bike, const ride_options* options, char* error,
                           int error_size);
// One tick: every rider gets the script's controls for the tick, then the
// game tick runs.
void ride_tick(const ride_script* script, ride_cursor* cursor);
// The bike of rider n of the ride.
bike_state* ride_bike(int rider);
// Puts rider n back at rest at a start: facing `heading` with the bike's own
// origin (the ground under it at rest, just behind the front tyre) over
// (x, z), the tyres just touching the ground.
void ride_place(int rider, double x, double z, double heading);
// Ends the ride: bikes, world, track, race state.
void ride_end();

// The first body of a bike whose position, orientation or velocities are
// not finite, as its name ("frame", "front wheel", ...); null when all are.
const char* ride_bad_body(const bike_state* bike);

// The trace: a header, then rows of tick, x, y, z, heading (deg), speed
// (mph), engine rpm, gear (1..6), pitch (deg, nose up), roll (deg, the lean:
// positive to the left), crashed (0/1); with more than one rider a rider
// column follows the tick.
void ride_trace_header(FILE* out, int riders);
void ride_trace_row(FILE* out, int riders, int rider, const bike_state* bike);

// A whole ride with its trace: returns the exit code (0, 1 when the track or
// bike cannot be had or the simulation stops being finite, with a message
// on `err`).
int ride_run(const char* track, const char* bike, const ride_script* script, const ride_options* options, FILE* out,
             FILE* err);
