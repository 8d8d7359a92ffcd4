// Timing gates: the track's "timing_gates" file with the starting-gate spots,
// the checkpoints and the lap sequence, and the course position of a
// sequence index.
//
// A rider on a spot faces (-sin h, 0, -cos h); rows behind the spot extend
// along (sin h, 0, cos h). A checkpoint counts within its radius (horizontal)
// of its point once the rider is on the far side along its direction.
#pragma once

enum {
    max_gate_spots = 160,
    max_checkpoints = 256,
    max_lap_entries = 256,
    lap_entry_no_segment = 100000,  // added to an entry that does not end a robot-line segment
};

struct gate_spot {
    float position[3];
    float heading;       // radians, -pi..pi
    const char* model;   // shared strings; the defaults "@startgate.jm",
    const char* texture; // "@startgate.ppm" and "@startgate.shp"
    const char* shape;
    int gate_object;     // the gate bar in the track's objects, -1 until placed
    float gate_angle;    // raised fraction of the bar, 1 = up
    float gate_speed;
};

struct checkpoint {
    float point[3];
    float direction[3];  // only the sign of the x and z parts matters
    float radius;        // ft, horizontal
};

struct timing_gates {
    gate_spot spots[max_gate_spots];
    int spot_count;
    checkpoint checkpoints[max_checkpoints];
    int checkpoint_count;
    int first_lap[max_lap_entries];   // checkpoint indices, + lap_entry_no_segment for no segment end
    int first_count;                  // F
    int normal_lap[max_lap_entries];
    int normal_count;                 // N
    int first_segments, normal_segments;  // entries that end a segment: S1, S2
    bool timed;  // checkpoints and both lists are usable
};

extern timing_gates g_gates;  // the current track's

// Empties the tables (no spots, no checkpoints, not timed).
void gates_clear(timing_gates* g);

// Reads a "timing_gates" file by data name or path. A missing file leaves
// the tables empty and returns false; a malformed part ends its list, and
// timing data that fails the acceptance test is dropped (the spots stay).
bool gates_read(timing_gates* g, const char* path);

// Writes the tables in the file's format (through a safe replacement);
// false, with the message "Can't open 'timing_gates'", when it cannot.
bool gates_write(const timing_gates* g, const char* path);

// The checkpoint index at sequence index p (0 = the first checkpoint after
// the start), or -1 without timing.
int gates_course_checkpoint(const timing_gates* g, int p);
// The raw lap-sequence entry at p (flag included), or -1 without timing.
int gates_course_entry(const timing_gates* g, int p);
// True when sequence index p ends a lap.
bool gates_is_lap_line(const timing_gates* g, int p);

// Wraps a heading into -pi..pi.
float gates_wrap_heading(float h);
