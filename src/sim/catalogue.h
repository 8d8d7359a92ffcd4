// The bike catalogue: the 68 bike specs compiled into the program,
// their lookups by name, the substitute for an unknown name, and the display
// conversions of the bike setup screen.
//
// Units and axes of the whole bike simulation: feet, slugs, seconds, pounds-force,
// pound-force feet, radians; y is up, a bike at rest faces -z and +x is the
// rider's right. Positions in a spec are in the bike's own frame at rest: x
// lateral, y height above the ground plane, z along the bike.
//
// The catalogue is constant data that lives for the whole run: a spec pointer
// handed out here stays valid, and nothing here allocates or needs setting up.
#pragma once

enum {
    bike_catalogue_size = 68,   // bikes in the catalogue
    bike_gear_slots = 6,        // gear ratio slots, gears 1 to 6
    bike_curve_points = 50,     // torque curve entries, at 0, 500 ... 24500 rpm
    bike_curve_step_rpm = 500,  // engine speed between two curve entries
    bike_skeleton_points = 9,   // rider skeleton points P0..P8
    bike_rest_centres = 9,      // points of the shared rest-centre table
};

struct bike_vec3 {
    float x, y, z;
};

// A pair of ends that a setting fraction 0..1 interpolates between.
struct bike_range {
    float least, most;
};

// A wheel: the tyre is a torus of the two radii.
struct bike_wheel_spec {
    bike_vec3 position;    // wheel centre
    float ring_radius;     // radius of the circle through the tyre section centres
    float section_radius;  // radius of the tyre's cross-section (torus)
    float tyre_mass;       // tyre and rim
    float hub_radius;
    float hub_mass;
};

// The shock's linkage curve (see the suspension).
struct bike_linkage_spec {
    float knee_compression;  // shock compression at the knee
    float full_compression;  // shock compression at full swing arm travel
    float swingarm_travel;   // rad
    float knee_fraction;     // knee position, fraction of swing arm travel
    float slope_zero;        // slope at zero travel
    float slope_knee;        // slope at the knee
    float slope_full;        // slope at full travel
};

// The 23 data names of the bike's models, textures and shapes, in this order.
enum bike_data_name {
    bike_data_frame_model,
    bike_data_frame_shape,
    bike_data_bike_texture,
    bike_data_fork_upper_model,
    bike_data_fork_upper_shape,
    bike_data_fork_lower_model,
    bike_data_fork_lower_shape,
    bike_data_swingarm_model,
    bike_data_swingarm_shape,
    bike_data_front_wheel_model,
    bike_data_front_wheel_shape,
    bike_data_rear_wheel_model,
    bike_data_rear_wheel_shape,
    bike_data_wheel_texture,
    bike_data_rider_head_model,
    bike_data_rider_head_texture,
    bike_data_rider_body_model,
    bike_data_rider_body_fp_model,  // first-person rider body
    bike_data_rider_shape,
    bike_data_rider_body_texture,
    bike_data_side_plates_model,
    bike_data_front_plate_model,
    bike_data_rider_plate_model,  // rider number plate
    bike_data_name_count
};

// The rider skeleton reference (rider tethers and rider drawing).
enum bike_skeleton_point {
    bike_skeleton_head,            // P0, rider body coordinates
    bike_skeleton_left_shoulder,   // P1, rider body
    bike_skeleton_right_shoulder,  // P2, rider body
    bike_skeleton_left_hip,        // P3, rider body
    bike_skeleton_right_hip,       // P4, rider body
    bike_skeleton_left_hand,       // P5, fork upper coordinates
    bike_skeleton_right_hand,      // P6, fork upper
    bike_skeleton_left_foot,       // P7, frame coordinates
    bike_skeleton_right_foot,      // P8, frame
};

struct bike_skeleton_spec {
    bike_vec3 points[bike_skeleton_points];  // indexed by bike_skeleton_point
    float upper_arm, forearm, thigh, shin;   // limb lengths
    const bike_vec3* rest_centres;           // shared table of bike_rest_centres points
};

// The bike spec: its fields in catalogue-record order. Numbers are 32-bit
// floats; texts point at constant strings that live for the whole run, so the
// record may be copied whole (a new bike copies it into its bike state).
struct bike_spec {
    const char* name;          // 1: catalogue name, e.g. "yz250f(2017)"
    const char* engine_class;  // 2: "450f", "250f", "250", "125" or "50"
    bike_wheel_spec front_wheel;  // 3
    bike_wheel_spec rear_wheel;   // 4
    bike_vec3 frame_position;     // 5: centre of the frame body
    float frame_mass;             // 6: without the rider
    bike_vec3 frame_box;          // 7: inertia box sides; x is also the frame width
    bike_vec3 fork_upper_position;  // 8: steering head, anchor of the steering joint
    bike_vec3 swingarm_position;    // 9: centre of the swing arm body
    bike_vec3 swingarm_pivot;       // 10
    bike_vec3 fork_lower_position;  // 11: centre of the fork's lower body
    float fork_tube_spacing;        // 12
    float fork_tube_length_factor;  // 13: each tube is 2/3 of this long
    float fork_body_mass;           // 14: each of the upper and lower fork body
    bike_range fork_spring_rate;    // 15: lbf/ft, both legs; softest, stiffest
    bike_range fork_preload;        // 16: ft
    bike_range fork_oil_air_gap;    // 17: ft, at adjustment 0 and at adjustment 1
    float fork_compression_base;    // 18
    float fork_slow_compression_range;
    float fork_rebound_base;
    float fork_slow_rebound_range;
    float fork_travel;              // 19: ft
    float swingarm_mass;            // 20: each of its two side members
    bike_range shock_spring_rate;   // 21: lbf/ft
    bike_range shock_preload;       // 22: ft
    float shock_compression_base;   // 23
    float shock_slow_compression_range;
    float shock_rebound_base;
    float shock_slow_rebound_range;
    bike_linkage_spec linkage;      // 24
    float primary_ratio;            // 25
    float front_teeth, rear_teeth;  // 26: countershaft and rear sprocket (whole numbers)
    float gear_ratio[bike_gear_slots];  // 27: gears 1..6; <= 0 means no such gear
    float engine_inertia;           // 28: slug ft^2 at the crankshaft
    float clutch_stiffness;         // 29
    float clutch_damping;
    float closed_torque[bike_curve_points];  // 30: lbf ft at 500 * i rpm
    float full_torque[bike_curve_points];    // 31: lbf ft at 500 * i rpm
    float shift_down_rpm, shift_up_rpm;      // 32: automatic shifting
    bike_vec3 rider_slide_direction;  // 33: packed state format 4 only
    bike_vec3 rider_position;         // 34: centre of the rider's upper body at rest
    bike_range rider_slide;           // 35: ft along the slide direction (format 4 only)
    float rider_mass;                 // 36
    const char* data_names[bike_data_name_count];  // 37: indexed by bike_data_name
    bike_skeleton_spec skeleton;      // 38
};

// --- Lookups ---------------------------------------------------------------

// The bike spec at a catalogue position 0..bike_catalogue_size-1, in catalogue
// order; null outside that range.
const bike_spec* bike_catalogue_entry(int index);

// The catalogue name at a position (the bike list of the menus and the setup
// screen); null outside 0..bike_catalogue_size-1.
const char* bike_catalogue_name(int index);

// Catalogue position of a name (exact, case-sensitive), or -1.
int bike_catalogue_index(const char* name);

// Finds a spec by exact, case-sensitive name; null when no bike has that name
// (or name is null).
const bike_spec* bike_find(const char* name);

// The substitute for a name not in the catalogue, without logging: the first
// bike whose name contains "125" if the requested name contains "125",
// otherwise the first whose name contains "250f" (kx250f(2017)); the first
// bike of the catalogue if none does. A null name counts as "". Never null.
const bike_spec* bike_substitute(const char* name);

// The bike spec for a new bike: as bike_find, and when that fails the substitute,
// logging "bike info for '%.20s' not found using '%.20s' instead\n". A null
// name counts as "". Never fails, never null.
const bike_spec* bike_find_for_new_bike(const char* name);

// --- Derived figures ---------------------------------------------------------

// Number of gears that exist (ratios above zero): 5 or 6.
int bike_gear_count(const bike_spec* spec);

// Highest value of the full-throttle curve; *rpm (when not null) receives the
// engine speed of its first occurrence.
float bike_peak_torque(const bike_spec* spec, int* rpm);

// --- Display conversions of the bike setup screen ----------------
// Each takes a setting fraction f, clamped to 0..1 (NaN counts as 0), and
// interpolates between the two ends of the bike spec's range.

float bike_fork_spring_kgf_per_mm(const bike_spec* spec, float f);  // per leg
float bike_fork_preload_mm(const bike_spec* spec, float f);
float bike_fork_oil_level_mm(const bike_spec* spec, float f);  // the air gap
float bike_shock_spring_kgf_per_mm(const bike_spec* spec, float f);
float bike_shock_preload_mm(const bike_spec* spec, float f);

// Sprocket tooth counts for the setup screen: the bike spec's count with the
// setup offset applied as the drivetrain does (offset clamped to -2..2, floor, at
// least 3). An offset of 0 gives the bike spec's own count.
float bike_front_sprocket_teeth(const bike_spec* spec, float offset);
float bike_rear_sprocket_teeth(const bike_spec* spec, float offset);
