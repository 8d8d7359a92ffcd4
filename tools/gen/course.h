// A course: the centre line of a closed track, given as the control points of
// a smooth closed curve, with its width, banking and the features along it
// (starting pad, jumps, whoops, rollers, berms, off-camber turns, sand), and
// the natural ground it is built on.
//
// The course is defined once, as data (course_def). The generator builds the
// height field and the tile map from it; other tools derive timing gates,
// starting-gate spots, the map picture and robot lines from the same data
// through the queries below, so that everything agrees with the ground.
//
// Coordinates are world feet: x and z along the ground, y up (the height field
// covers [0, world size] on x and z). The distance along the course, s, starts
// at control point 0, runs in the order of the points and wraps at the
// course length. "Right" means the right of a rider riding along the course;
// lateral offsets are positive to the right. A rider facing along the tangent
// (tx, tz) has the heading atan2(-tx, -tz) of the game's heading convention.
#pragma once

#include <cstdint>

#include "base/mem.h"

struct course_point {
    float x, z;
};

// A round hump of the natural ground: height * exp(-d^2 / (2 radius^2)).
struct course_hill {
    float x, z, height, radius;
};

enum course_feature_kind {
    // The starting pad: the gate line stands at the feature's start; the
    // course is level from `top` ft behind the gate to `length` ft after it.
    course_start,
    // Take-off face (face_deg) up to `height`, a flat top `top` ft long, then
    // the landing down at land_deg.
    course_tabletop,
    // Take-off face up to `height`, its back down at back_deg; the landing's
    // crest at `land_height` stands `gap` ft after the take-off lip, its face
    // at back_deg, a short flat `top`, then down at land_deg.
    course_double,
    // As a double whose landing is a plateau `top` ft long at `land_height`
    // (higher than the take-off), down at land_deg at its end.
    course_step_up,
    // `count` tightly spaced bumps of `height`, `gap` ft from crest to crest.
    course_whoops,
    // A rhythm section: `count` rollers of `height`, `gap` ft apart, each
    // `top` ft long at its base.
    course_rollers,
    // A banked turn: over `length` ft the outside of the turn is raised,
    // the surface tilted by face_deg.
    course_berm,
    // An off-camber turn: the outside of the turn is lowered by face_deg.
    course_off_camber,
    // Loose sand over `length` ft (surface only).
    course_sand,
    course_feature_kind_count
};

// Names of the kinds ("start", "tabletop", "double", "step_up", "whoops",
// "rollers", "berm", "off_camber", "sand").
const char* course_feature_name(course_feature_kind kind);
bool course_feature_is_jump(course_feature_kind kind);

struct course_feature {
    course_feature_kind kind;
    int anchor;         // control point the feature is placed from
    float offset;       // ft along the course from that point to the feature's start
    float length;       // ft along the course (start, berm, off_camber, sand; jumps,
                        // whoops and rollers derive theirs from the shape)
    float height;       // take-off lip or bump height, ft
    float face_deg;     // take-off face; bank angle of berms and off-camber turns
    float gap;          // jumps: take-off lip to landing crest; whoops, rollers: crest to crest
    float land_height;  // double, step-up: landing crest height
    float top;          // table, landing top or plateau length; rollers: base length;
                        // start: depth of the pad behind the gate
    float land_deg;     // landing down slope
    float back_deg;     // back of the take-off and face of the landing
    int count;          // whoops, rollers
};

// Track width at a point of the course, interpolated smoothly between knots.
struct course_width_knot {
    int anchor;
    float offset;
    float width;
};

// Surface kinds, in the order of the track's tile table.
enum course_surface {
    surface_grass,     // off the track
    surface_hardpack,  // the main riding surface
    surface_loose,     // loose dirt: track edges, shoulders, berms
    surface_sand,
    course_surface_count
};

struct course_def {
    const char* folder;  // track folder name
    const char* name;    // display name (first line of "desc")
    // The height field: 2^(field_exponent+1)+1 samples per side, spacing ft apart.
    int field_exponent;
    float spacing;
    // The centre line: a closed centripetal Catmull-Rom curve through these
    // points, in riding order.
    const course_point* points;
    int point_count;
    float width;  // track width where no knot says otherwise
    const course_width_knot* widths;
    int width_count;
    const course_feature* features;
    int feature_count;
    // The natural ground off the track.
    float ground_height;  // base height
    const course_hill* hills;
    int hill_count;
    float roughness;  // ft, amplitude of the ground's small bumps
    uint32_t seed;    // of those bumps
    float shoulder;   // ft beyond the track edge over which the track blends into the ground
    // The course's base height follows the ground along the centre line,
    // averaged over +- this many feet.
    float elevation_window;
    // The starting gate: spots side by side on the gate line, gate_pitch apart.
    int gate_spots;
    float gate_pitch;
    // The sun, towards it (also written to the track's "lighting").
    float sun[3];
};

// The course built from its definition: tables along s, one entry every
// course_step ft, and a bucket grid for finding the nearest course point.
constexpr float course_step = 0.25f;

struct course {
    const course_def* def;
    float length;                  // ft
    int count;                     // table entries
    dw_vector<float> x, z;         // centre line
    dw_vector<float> tx, tz;       // unit tangent
    dw_vector<float> curvature;    // 1/ft, positive turning right
    dw_vector<float> width;        // ft
    dw_vector<float> bank;         // rad, positive raises the right side
    dw_vector<float> elevation;    // base height of the centre line
    dw_vector<float> feature;      // height of the features above the base
    dw_vector<float> point_s;      // s of each control point
    dw_vector<float> feature_s;    // start s of each feature
    dw_vector<float> feature_len;  // length of each feature
    // Nearest-point search: every course_bucket_stride-th entry, sorted into
    // square buckets.
    float bucket_x0, bucket_z0, bucket_size;
    int bucket_nx, bucket_nz;
    dw_vector<int> bucket_first;  // bucket_nx * bucket_nz + 1 offsets into bucket_items
    dw_vector<int> bucket_items;
};

// Builds the tables. Returns false (with a message in error) when the
// definition is unusable: fewer than 4 points, an anchor out of range.
bool course_build(course* c, const course_def* def, char* error, int error_size);

// Everything about the course at distance s (wrapped into 0..length).
struct course_sample {
    float s;
    float x, z;       // centre
    float y;          // centre height: elevation + feature
    float tx, tz;     // unit tangent, the direction of riding
    float rx, rz;     // unit right
    float curvature;  // 1/ft, positive turning right
    float width;      // ft
    float bank;       // rad, positive raises the right side
    float elevation;  // base height
    float feature;    // feature height above the base
};
course_sample course_at(const course* c, float s);

// Wraps s into 0..length.
float course_wrap(const course* c, float s);

// Height of the track surface at lateral offset l (ft, positive right) from
// the centre at s: the centre height plus l * tan(bank).
float course_surface_height(const course* c, float s, float lateral);

// Where a point is relative to the course: the nearest centre-line point.
struct course_place {
    float s;
    float lateral;   // signed offset, positive right
    float distance;  // to the centre line
};
course_place course_locate(const course* c, float x, float z);

// The natural ground (before the track is cut into it).
float course_natural_height(const course_def* def, float x, float z);

// The designed ground height at a point that lies at (s, lateral) from the
// course, given the natural height there: the track surface on the track, a
// smooth blend across the shoulder, the natural ground beyond.
float course_blend_height(const course* c, float s, float lateral, float natural);

// The designed ground at a world point (locate, then blend).
float course_ground_height(const course* c, float x, float z);

// Surface kind at (s, lateral).
course_surface course_surface_at(const course* c, float s, float lateral);

// Start distance, length and kind of feature i.
float course_feature_start(const course* c, int i);
float course_feature_length(const course* c, int i);
// Index of the first feature of a kind whose range holds s, or -1.
int course_feature_holding(const course* c, float s, course_feature_kind kind);

// The starting gate: the distance of the gate line, and spot i of the gate
// (0 at the left, gate_spots of them, centred on the course): the position a
// rider lines up at, 3 ft behind the gate line (where the game puts the gate
// bar), on the ground, and the heading that faces along the course.
float course_gate_s(const course* c);
void course_gate_spot(const course* c, int i, float* x, float* y, float* z, float* heading);

// The size of the height field the course is built on.
int course_field_samples(const course_def* def);  // per side
float course_world_size(const course_def* def);

// The default course.
extern const course_def rabbithill_course;
