// The steering: a torque about the steering axis, applied each tick between
// the front wheel and the frame, worked out from the rider's steer input and
// from the bike's lean, roll rate, speed and front-wheel slip.
//
// Two controllers exist: the normal one, whose stability aids (roll damping,
// leveling, the lock that narrows with speed and grip, the slip limits) are
// the steering and stability settings below, and a simpler arcade one that
// leans the frame with a motor and lets the steering follow the slip.
//
// Sign conventions (right-handed, y up, the bike faces -z, +x is its right):
// a positive steering torque turns the front wheel to the left about the
// steering axis, which counter-steers the bike into a lean to its right; so a
// steer input of +1 leans the bike to its right in both controllers. A lean
// to the right is a negative lean angle and a negative roll rate.
#pragma once

#include "sim/bike.h"

struct bike_setup;
struct terrain;

// --- What the controllers read -------------------------------------------------------

// Lean angle of a frame whose local up and forward axes (0, 1, 0) and
// (0, 0, -1) point along `up` and `forward` in the world: negative when it
// leans to its right. 0 when the forward axis points (nearly) straight up or
// down, where the lean has no direction.
double steering_lean_angle(const double up[3], const double forward[3]);
// The frame's lean angle.
double steering_lean(const bike_state* bike);
// The frame's roll rate: z of its angular velocity in frame coordinates.
double steering_roll_rate(const bike_state* bike);
// The front slip angle: the front wheel's sideways velocity against its
// velocity across the steering axis, in the fork upper's coordinates; 0 below
// 1 ft/s.
double steering_slip_angle(const bike_state* bike);
// The steering axis in world coordinates (unit).
void steering_axis_world(const bike_state* bike, double axis[3]);
// The steer control as the controllers use it: clamped to -1..1, 0 when not
// finite, whoever wrote it.
double steering_input(const bike_state* bike);

// Everything the normal controller reads, gathered from the bike.
struct steering_inputs {
    double steer;          // control, -1..1
    double wheel_speed;    // front wheel speed V: outer radius x spin rate, ft/s
    double front_spin;     // front axle angle rate, rad/s
    double lean;           // lean angle, rad
    double roll_rate;      // rad/s
    double slip_angle;     // front slip angle, rad
    double steer_angle;    // steering joint angle, rad (positive turns the wheel left)
    double clearance;      // front tyre clearance above the ground, ft
    double friction;       // first friction value of the tile under the front wheel
    double frame_speed;    // ft/s
    bool front_contact;    // the front wheel touches the ground
    int collision_hold;    // collision hold counter
};
// Gathers the inputs; ground may be null (flat ground at height 0 with
// friction 1).
void steering_gather(const bike_state* bike, const terrain* ground, steering_inputs* in);

// --- The normal controller (pure parts) ----------------------------------------------

// The lock angle (rad) at front wheel speed V on a surface of friction mu0:
// full lock (pi/4) up to the full lock speed, narrowing towards the
// restricted lock (divided by the friction) at the restricted lock speed.
double steering_lock_angle(const bike_stability* settings, double wheel_speed, double friction);

// The front slide factor (0..1) that the dab foot reads: how far the front
// wheel slips or is turned towards the side the bike leans to.
double steering_front_slide(double wheel_speed, double lock, double lean, double slip_angle, double steer_angle);

// The normal controller's torque about the steering axis for the inputs;
// updates the landing damping multiplier and the front slide factor.
double steering_normal_torque(const bike_stability* settings, unsigned char options, const steering_inputs* in,
                              double* landing_damping, double* front_slide);

// --- The arcade controller (pure parts) -----------------------------------------------

// Target roll rate of the lean motor for a lean and a steer input.
double steering_arcade_roll_target(double lean, double steer, double roll_damping);
// The steering torque that lets the front wheel follow the slip.
double steering_arcade_torque(double strength, double slip_angle, double steer, double steer_angle,
                              double steer_rate);

// --- Per tick ----------------------------------------------------------------------------------

// Applies a torque T about the steering axis: T along the axis to the front
// wheel, minus that to the frame.
void steering_apply_torque(bike_state* bike, double torque);
// The normal controller (arcade physics off); while the rider is down it only
// clears the front slide factor.
void steering_normal_step(bike_state* bike, const terrain* ground);
// The arcade controller: in free flight well above the ground only the direct
// steering; otherwise the lean motor (a one-step angular motor in the contact
// joint group), the slip-following steering and the tail drag.
void steering_arcade_step(bike_state* bike, const terrain* ground);
// The steering of the bike step: the normal controller with arcade physics
// off, the arcade one with it on while the rider is not down.
void steering_step(bike_state* bike, const terrain* ground);
// Steering damping (after the engine): damps every turning of the front wheel
// but its spin, against the frame.
void steering_damping_step(bike_state* bike);

// --- Settings ---------------------------------------------------------------------------------

// The steering and stability settings as the setup enters them (the two
// angles in degrees). Each is clamped to its range; a value that is not
// finite takes its value at creation.
struct steering_settings {
    double steering_strength;      // 0..100, at creation 75
    double steering_damping;       // 0..100, 45
    double max_steering_force;     // 0..1000, 400
    double direct_steering;        // 0..1, 1
    double full_lock_speed;        // 1..100 ft/s, 10
    double restricted_lock_speed;  // 1..100 ft/s, 50
    double restricted_lock;        // degrees 0..45, 5
    double leveling;               // 0..100, 20
    double roll_damping;           // 0..100, 60
    double roll_limit_angle;       // degrees 0..180, 45
    double roll_limit_factor;      // 0..64, 10
    double slow_damping_speed;     // 0..100 ft/s, 0
    double slow_damping_factor;    // 1..10, 1
    double land_damping_factor;    // 1..3, 2
    double land_damping_falloff;   // 0..0.5 s, 0.25
};
// The values at creation.
void steering_settings_defaults(steering_settings* settings);
void steering_set_settings(bike_state* bike, const steering_settings* settings);
// The same from the setup's keys.
void steering_apply_setup(bike_state* bike, const bike_setup* setup);
