// The bike and rider as rigid bodies, and the bike state.
//
// A bike with its rider is seven bodies held together by six joints in the
// one rigid-body world (sim/world.h). This file builds that assembly from a
// bike spec, places, resets, parks, wakes and destroys it, places a replayed
// bike from recorded states, and defines the bike state: the per-rider record
// that the tyres, suspension, steering, engine, rider and collisions read and
// write. The forces that make the bike ride are added elsewhere; here is only
// the mechanism they act on.
//
// Units and axes as in sim/catalogue.h: feet, slugs, seconds, pounds-force,
// radians; y up, a bike at rest faces -z, +x is the rider's right. Every body's
// origin is its centre of mass and its rest position is the bike spec's position
// for it; at rest every body has the identity orientation.
//
// Quaternions are in ODE's order (w, x, y, z).
#pragma once

#include <ode/ode.h>

#include "base/mem.h"
#include "sim/catalogue.h"
#include "sim/shape.h"

// The seven bodies, in the order the bike state keeps them.
enum bike_body_index {
    bike_body_frame,
    bike_body_front_wheel,
    bike_body_rear_wheel,
    bike_body_fork_upper,
    bike_body_fork_lower,
    bike_body_swingarm,
    bike_body_rider,
    bike_body_count
};

// The six joints, in the order the bike state keeps them.
enum bike_joint_index {
    bike_joint_front_axle,   // hinge: fork lower, front wheel; its motor is the front brake
    bike_joint_rear_axle,    // hinge: swing arm, rear wheel; its motor is the rear brake
    bike_joint_steering,     // hinge: fork upper, frame; stops at -pi/4, +pi/4; no motor
    bike_joint_fork,         // slider: fork upper, fork lower; -fork travel..0; its motor is the fork
    bike_joint_swingarm,     // hinge: swing arm, frame; -swing arm travel..0; its motor is the shock
    bike_joint_rider_mount,  // two-axis hinge with suspension: rider, frame
    bike_joint_count
};

enum { bike_wheel_front, bike_wheel_rear, bike_wheel_count };

// Option bits of the stability settings.
enum {
    bike_option_steer_in_air = 1,        // always set: the rider may steer with the front wheel in the air
    bike_option_stop_wheelies_shift = 1, // bits 1-2: 1 cuts drive in a wheelie, 2 frees the front brake in a stoppie
    bike_option_stop_wheelies_mask = 6,
    bike_option_front_antilock = 8,
    bike_option_rear_antilock = 16,
    bike_option_auto_shift = 32,
    bike_option_auto_dab = 64,           // dab when stopped
    bike_option_auto_align = 128,        // realign after fall
};
enum { bike_arcade_physics = 1 };  // bit of bike_state::arcade

enum {
    bike_plate_text_size = 8,          // number plate: up to 7 characters
    bike_velocity_ring_size = 4,       // ticks of rider body velocity kept
    bike_deform_ring_size = 1024,      // ground-deformation samples
};

// Texture choices of a new bike; a null or empty name takes the bike spec's own.
enum bike_texture_index {
    bike_texture_rider,  // rider body
    bike_texture_head,
    bike_texture_bike,
    bike_texture_wheel,
    bike_texture_count
};

// Group 3: one wheel and its ground contact of the last tick.
struct bike_wheel {
    dBodyID body;
    double axle[3];              // in body coordinates: (1, 0, 0)
    double ring_radius;          // ft
    double section_radius;       // ft
    double contact_point[3];     // world
    double contact_velocity[3];  // the wheel's velocity at the contact point: the slip velocity
    double contact_normal[3];    // unit, out of the ground
    double depth;                // penetration, 0 when not touching
    dJointFeedback contact_feedback;  // what the ground contact did at the last step
};

// Group 4: the controls as the bike step uses them.
struct bike_controls {
    double throttle;      // 0..1
    double clutch;        // engagement, 1 = engaged
    double front_brake;   // 0..1
    double rear_brake;    // 0..1
    double steer;         // -1..1, positive to the right
    double dab;           // 0..1
    double dab_progress;  // 0..1, for the rider animation
    double back_up;       // 0..1
    double lean;          // -1..1
    int gear;             // 0 = first .. 5 = sixth
    int last_shift;       // -1, 0 or +1
    float dab_input;      // the sit/dab control as last applied: a sticky dab toggles on its rising edge
    bool dab_latched;     // the sticky dab's state
};

// Group 5.
struct bike_drivetrain {
    double clutch_windup;   // rad, -pi..pi
    double engine_speed;    // rad/s
    double engine_inertia;  // slug ft^2, from the bike spec
    double final_drive;     // rear teeth / front teeth
    // What the last drivetrain step did, for the engine sound and the HUD.
    double engine_torque;      // lbf ft the engine made (after the wheelie cut)
    double clutch_torque;      // lbf ft the clutch passed to the rear wheel
    double clutch_engagement;  // 0..1, with the automatic clutch
};

// Group 6: suspension and rider springs.
struct bike_fork_settings {
    double compression, slow_compression;  // coefficient and low-speed offset
    double rebound, slow_rebound;
    double spring_rate;  // lbf/ft
    double preload;      // ft
    double air_gap;      // oil level as air gap, ft
};
struct bike_shock_settings {
    double compression, slow_compression;
    double rebound, slow_rebound;
    double spring_rate;
    double preload;
};
struct bike_rider_settings {
    double vertical_spring, vertical_damping;  // rider_yspring, rider_ydamping: 0..1
    double forward_spring, forward_damping;    // rider_zspring, rider_zdamping: 0..1
    double mass_distribution;                  // share of the rider's mass in the rider body, 0.33..0.5
};

// Group 7: lap counting.
struct bike_race {
    int progress;            // next checkpoint index
    dw_vector<int> passages; // tick each checkpoint index was passed, -1 not recorded
    bool finished;
};

// Group 8: steering and stability settings.
struct bike_stability {
    double roll_damping, leveling, roll_limit_factor, roll_limit_angle;
    double steering_damping, steering_strength, max_steering_force, direct_steering;
    double slow_damping_speed, slow_damping_factor;
    double land_damping_falloff, land_damping_factor;
    double auto_clutch_rpm;
    double front_brake_torque, rear_brake_torque;  // lbf ft
    double max_dab_speed;                          // ft/s
    double full_lock_speed, restricted_lock_speed; // ft/s
    double restricted_lock;                        // rad
};

struct bike_foot_particle {
    double position[3];
    double velocity[3];
};

struct bike_deform_sample {
    float x, z;              // contact point
    float force_x, force_z;  // horizontal push
};

// The bike state: one per occupied rider slot. Create with bike_create; the
// record must not be copied or moved (the rigid-body library keeps pointers
// to its feedback records).
struct bike_state {
    // 1: the bike spec, copied at creation
    bike_spec spec;

    // 2: bodies and joints
    dBodyID bodies[bike_body_count];
    dJointID joints[bike_joint_count];
    dJointFeedback feedback[bike_joint_count];

    // 3
    bike_wheel wheels[bike_wheel_count];

    // 4, 5, 6
    bike_controls controls;
    bike_drivetrain drivetrain;
    bike_fork_settings fork;
    bike_shock_settings shock;
    bike_rider_settings rider;

    // 7
    bike_race race;

    // 8
    bike_stability stability;
    unsigned char options;  // bike_option_* bits
    unsigned char arcade;   // bike_arcade_physics

    // 9: collision shape instances by body; any may be null
    shape_instance* shapes[bike_body_count];

    // 10
    char plate_text[bike_plate_text_size];
    unsigned plate_texture;                   // 0 until the plate is drawn
    char* texture_names[bike_texture_count];  // the chosen data names
    int slot;

    // 11: run-time state
    double total_mass;              // slugs, sum of the seven bodies
    int last_contact_tick;          // with another bike, -1 none
    int first_contact_tick;         // -1 none
    int crash_mark;                 // 0, 1, 2
    double landing_damping;         // landing damping multiplier
    int fall_tick;                  // the airborne bike last began to fall
    int landing_tick;               // it last landed
    int crash_timer;                // ticks, 0 = riding
    int crash_count;
    int crash_wait;                 // ticks the fallen rider has waited to come to rest against the bike
    bool crash_requested;           // a contact rule (ground, objects) asks for a crash; the rider step carries it out
    bike_foot_particle feet[2];     // left, right
    double rider_velocity[bike_velocity_ring_size][3];  // slot = tick mod 4
    int collision_hold;             // ticks
    double front_slide;             // front slide factor
    double activity;                // 1 simulated .. 0.25 frozen .. 0 parked
    bike_deform_sample deform_ring[bike_deform_ring_size];
    int deform_read, deform_write;  // empty when equal
    double mechanic_refused = -1e30;  // game clock of the mechanic's last refusal (not reset with the bike)
};

// --- Life cycle ---------------------------------------------------------------

// Builds a bike in the world (physics_world_create must have run): the bike spec
// by name (an unknown name takes the catalogue's substitute, logged), the
// seven bodies at their rest positions, their masses, the six joints with
// their feedback records, the collision shapes, the number plate text (the
// first 7 characters of `number`; null counts as ""), the texture choices
// (null array or entries take the bike spec's own), the default settings, the
// total mass; then resets it. Null, with a log line, when there is no world.
bike_state* bike_create(const char* name, int slot, const char* number,
                        const char* const textures[bike_texture_count]);

// Destroys the joints and bodies, frees the lap records, the shape instances
// and the state. Null is fine.
void bike_destroy(bike_state* bike);

// Back to rest: every body at its rest position with the identity
// orientation, no velocity and no accumulated force; the rider mount attached
// again; feedback records zeroed; controls, drivetrain and run-time state at
// their start values (activity 1, bodies enabled); joint motors off; the
// rider velocity history zeroed and the fall and landing ticks set to the
// current tick, so the reset bike never sees a jump in velocity or a landing.
void bike_reset(bike_state* bike);

// Moves the whole assembly rigidly: rotates every body (position, orientation
// and velocities) and the foot particles about the world origin by `angle`
// about `axis` (need not be unit), then translates them by `offset`. After a
// reset this is the start placement. Refused, with a log line, when an
// argument is not finite.
void bike_place(bike_state* bike, const double axis[3], double angle, const double offset[3]);
// The translation alone.
void bike_translate(bike_state* bike, const double offset[3]);

// --- Masses ---------------------------------------------------------------------

// The mass models, about each body's origin (exposed for the tests and dwtool).
void bike_wheel_mass(const bike_wheel_spec* wheel, dMass* mass);
void bike_fork_mass(const bike_spec* spec, dMass* mass);      // each of the fork upper and lower
void bike_swingarm_mass(const bike_spec* spec, dMass* mass);
// Frame and rider for a mass distribution d (the rider body's share).
void bike_frame_mass(const bike_spec* spec, double d, dMass* mass);
void bike_rider_mass(const bike_spec* spec, double d, dMass* mass);

// Sets the rider's share of the rider mass (clamped to 0.33..0.5; NaN counts
// as 1/3), re-sets the frame and rider body masses and the total mass.
void bike_set_mass_distribution(bike_state* bike, double d);

// Sum of the seven body masses, slugs.
double bike_total_mass(const bike_state* bike);

// --- Rider mount ---------------------------------------------------------------

// Detaches the rider mount from both bodies (the rider falls off).
void bike_rider_detach(bike_state* bike);
// Attaches it again between the rider body and the frame, with its anchor and
// axes at their rest places relative to the frame as it stands now. The
// rider body should be at its rest pose relative to the frame.
void bike_rider_attach(bike_state* bike);
bool bike_rider_attached(const bike_state* bike);
// Puts the rider body at its rest pose relative to the frame (position and
// orientation); its velocity becomes the frame's velocity at that point.
void bike_rider_to_rest(bike_state* bike);

// --- Activity (bikes replayed rather than simulated) ------------------------------

// Wake: bodies enabled at activity 1. A frozen bike (0.25 or less) first has
// its forces zeroed and its rider velocity history, fall and landing ticks
// set from its current state.
void bike_wake(bike_state* bike);
// Park: bodies disabled at activity 0.
void bike_park(bike_state* bike);
// Another bike hit this one: a parked bike wakes; an active one (above 0.25)
// is left alone; a frozen one becomes 0.25 with its bodies disabled.
void bike_touch(bike_state* bike);
// Once per tick: an active level falls by one tick length (clamped to 0..1);
// at 0.25 or less the bodies are disabled, above it enabled.
void bike_decay_activity(bike_state* bike);
// Whether other parts of the simulation treat the bike as active (above 0.25).
bool bike_active(const bike_state* bike);

// --- Replayed bikes ------------------------------------------------------------------

// The fields of a packed rider state that place a bike, already decoded to
// world units. Format 5 uses the rider offset and orientation; format 4 the
// rider slide position.
struct bike_packed_fields {
    double frame_position[3];
    double frame_orientation[4];  // quaternion, normalised when applied
    double steering_angle;        // rad
    double swingarm_angle;        // rad, 0 or negative
    double fork_position;         // ft, 0 or negative
    double rider_offset[3];       // rider body position minus frame position (format 5)
    double rider_orientation[4];  // quaternion (format 5)
    double rider_slide;           // ft along the bike spec's slide direction (format 4)
    double front_axle_angle;      // rad
    double rear_axle_angle;       // rad
    int status;                   // the status byte
    double engine_rpm;
};

// Status byte: rider down when its bits 0-2 are all set; then bits 4-7 are the
// crash timer code c. Otherwise bits 0-2 the gear index, bit 3 dab, bits 4-7
// the throttle code t.
bool bike_status_rider_down(int status);

// The terrain height under a world point (x, z), for the ground test of a
// frozen bike; null when there is no ground.
typedef double (*bike_ground_height_fn)(double x, double z);

// Places a replayed bike from record R, with its neighbours E (earlier) and L
// (later) n ticks apart (n below 1 counts as 1), of format 4 or 5.
//
// A frozen bike (activity 0.25 or less) has its bodies set directly: posed
// from R, with velocities that carry each body from its pose in E to its pose
// in L over n ticks; raised when the point one rear ring radius below the
// rear wheel centre lies under the ground. A simulated bike is pulled towards
// R by a force and torque on the frame that grow as its activity decays, and
// its controls are set from R. Both take the rider status (down, back on,
// gear, throttle) and the engine speed from R.
//
// A quaternion that is not finite or far from unit length leaves its body (the
// frame or the rider) where it was; other non-finite values fall back to rest
// values, so no NaN reaches a body.
void bike_apply_packed(bike_state* bike, const bike_packed_fields* r, const bike_packed_fields* e,
                       const bike_packed_fields* l, double n, int format, bike_ground_height_fn ground);

// Poses the seven bodies from one record (no velocities, no status): the
// placement that bike_apply_packed builds on.
void bike_pose_from_packed(bike_state* bike, const bike_packed_fields* record, int format);

// --- Per tick ---------------------------------------------------------------------

// Cancels what the joints did to the assembly as a whole at the last step:
// applies to the frame minus the sum of the joint forces on all their bodies
// and minus the sum of their moments about the frame's position. Nothing
// when a joint has lost a body (the rider mount after a crash).
void bike_joint_feedback_compensation(bike_state* bike);

// --- Geometry -------------------------------------------------------------------------

// The steering axis in the frame's coordinates: unit vector from the fork
// lower rest position to the fork upper rest position.
void bike_steering_axis(const bike_spec* spec, double axis[3]);
// The rest position of a body from the bike spec.
void bike_rest_position(const bike_spec* spec, int body, double position[3]);
