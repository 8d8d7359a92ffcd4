// The rider: controls, the per-tick bike step, the riding aids, crashes.
//
// The nine control values of a player or a robot become the bike's controls
// here, once per tick before the bike step. The bike step then runs after the
// world step for every bike: the rider's body is held over the bike by soft
// springs whose targets move with the lean and sit controls; the aids put a
// foot down, hold a stopped bike with the brakes, push it backwards and stand
// it up again; the crash rules throw the rider off when his body is jerked
// away from the bike, after which he holds on to the bars, comes to rest, gets
// up and climbs back on. The suspension, steering and drivetrain models are
// called from here in their place in the step.
//
// Sign conventions as in sim/steering.h: a positive steer turns to the right;
// a positive lean angle leans the bike to its left; the roll rate is the z
// component of the frame's angular velocity in frame coordinates, positive
// when the bike rolls to its left. Times are in ticks of tick_length.
#pragma once

#include "frame/game.h"
#include "sim/bike.h"

struct terrain;
struct bike_setup;

// --- Constants ---------------------------------------------------------------------------

constexpr double rider_crash_speed = 31;        // ft/s: rider body against the frame, times the tolerance
constexpr double rider_crash_acceleration = 1376;  // ft/s^2 of the rider body (gravity removed), times the tolerance
constexpr double rider_moving_speed = 2;        // ft/s: a fallen rider moving faster holds the bars and waits
constexpr double rider_stopped_speed = 5;       // ft/s: the frame counts as stopped below this
constexpr double rider_tether_stiffness = 5000; // lbf/ft
constexpr double rider_tether_damping = 500;    // lbf s/ft
enum {
    rider_crash_ticks = 512,  // a crash keeps the rider off the bike at least this long (4 s)
    rider_getting_up_ticks = 512,  // below this the rider is pulled back onto the bike
    rider_feet_return_ticks = 320, // below this the feet go back to the pegs
    rider_wait_limit = 1280,  // ticks (10 s) a fallen rider waits to stop moving before he gets up anyway
    rider_knockout_entries = 16,
    rider_knockout_max = 460800,  // ticks (an hour)
};

// Set while a race server forbids arcade physics: the mechanic then leaves it off.
extern bool g_arcade_forbidden;

// --- Controls ------------------------------------------------------------------------------

// Applies one control record (steer, throttle, front brake, rear brake,
// shift, clutch lever, sit/dab, back up, lean) to the bike, once per tick
// before its step. The steer is negated with the setup's reversed steering;
// the others are clamped to their ranges (a value that is not a number
// counts as 0). While the rider is down the throttle, dab, back-up and lean
// are 0. With the sticky sit/dab setting the dab toggles each time the
// control rises through 0.5. The clutch engages at most 4 per second (32
// ticks from open to closed) and opens at once. Shift above 0.5 asks for the
// next gear up, below -0.5 the next down, and in between re-arms the shift.
void bike_apply_controls(bike_state* bike, const float controls[control_values]);

// The clutch engagement a lever position asks for: 1 released, 0 from 7/8 pulled.
double rider_clutch_target(double lever);

// --- The bike step ------------------------------------------------------------------------

// One tick of the bike and rider after the world step, in order: a bike
// frozen for replay only moves its foot particles; otherwise the crash mark,
// the collision hold counter, the air time, the crash rules, the fallen
// rider, the dab and parking aids, the rider springs and mount, the fork and
// shock, the steering, the engine and drivetrain with the steering damping
// and the joint feedback compensation, the dab foot and realign, and last
// the foot particles and the rider velocity history. `ground` may be null
// (flat ground at height 0 for the feet; nothing is within reach).
void rider_step(bike_state* bike, const terrain* ground);

// --- Crashes ------------------------------------------------------------------------------

// Throws the rider off now: the rider mount lets go, the foot particles start
// from the feet with the rider body's velocity, the crash timer becomes 512
// ticks plus the knockout entry of this crash, and the crash count grows.
// The throttle, dab, back-up and lean controls drop to 0. Nothing when the
// rider is already down. `ground` (may be null) places a foot put down.
void bike_crash(bike_state* bike, const terrain* ground);
bool rider_down(const bike_state* bike);

// The crash tolerance at `tick`, 1 to 1.5: 1.5 normally; after a landing
// that ended a fall of 0.685 s or more it is 1 for the first 0.25 s and
// back to 1.5 by 0.375 s (shorter falls lower it less, none up to 0.559 s).
// The crash thresholds are 31 ft/s and 1376 ft/s^2 times this.
double rider_crash_tolerance(int fall_tick, int landing_tick, int tick);

// The extra ticks a rider stays down after his n-th crash (n from 0; 15
// and beyond use the last entry). All 0 unless a race server sets them.
int rider_knockout(int crash);
// Sets entry `index` (0..15) to `ticks`, clamped to 0..460800; false for an
// index out of range.
bool rider_set_knockout(int index, int ticks);
void rider_knockout_clear();

// --- Helpers shared with the rest of the simulation ------------------------------------------

// A frictionless soft contact between two bodies for the coming step (in
// the contact joint group): it pushes `first` along `normal` and `second`
// (null: the static world) against it at `point`, like a spring of
// `stiffness` (lbf/ft) and a damper of `damping` (lbf s/ft) compressed by
// `depth`. Nothing for values that are not finite or without stiffness and
// damping.
void rider_soft_contact(dBodyID first, dBodyID second, const double point[3], const double normal[3], double depth,
                        double stiffness, double damping);

// A tether between a point of body a and a point of body b (world points):
// when they are further apart than `slack`, a soft contact (5000 lbf/ft,
// 500 lbf s/ft) pulls them together along the line between them by the
// excess, acting halfway between the two points. Whether it pulled.
bool rider_tether(dBodyID a, const double point_a[3], dBodyID b, const double point_b[3], double slack);

// Pushes a body horizontally towards the velocity `target`, with at most
// `limit` lbf: nothing within 0.25 ft/s of it, the full force from 1.5 ft/s
// off (the difference is measured in all three directions; the force is
// always horizontal).
void rider_velocity_match(dBodyID body, const double target[3], double limit);

// The lean (rad) beyond which the dab foot pushes at frame speed v: up to
// 15 ft/s the roll limit angle times 1 - (1 - v^2/D^2)^32 (0 at a
// standstill), then from the roll limit angle towards 2 pi as v^2 goes from
// 225 to D^2, D being the max dab speed; 2 pi from D on.
double rider_lean_limit(double roll_limit_angle, double v, double max_dab_speed);

// The max dab speed the aids use: the setting, at least 75 ft/s while the
// bike was struck hard (collision hold -512 or below).
double rider_dab_speed(const bike_state* bike);

// Where the realign after a fall turns the bike: the point that
// g_realign_target gives, else a point 20 ft ahead of the frame along its
// own heading.
void rider_realign_target(const bike_state* bike, double target[3]);
// A better realign target than the bike's own heading (a robot's path, the
// track's riding lines): true with the point filled in. Null for none.
extern bool (*g_realign_target)(const bike_state* bike, double target[3]);

// --- Feet -----------------------------------------------------------------------------------

// The rider's feet in the world (left, right) and how much each is planted
// (0 on the pegs .. 1 on the ground or off with the rider): the pegs, a
// foot put down towards the side the bike leans to while dabbing, and the
// foot particles while the rider is down. For the foot particles and the
// rider drawing.
void rider_foot_positions(const bike_state* bike, const terrain* ground, double feet[2][3], double weights[2]);

// Puts the foot particles at the feet with the rider body's velocity there.
void rider_feet_start(bike_state* bike, const terrain* ground);

// One tick of the foot particles (once per bike step): the dab progress
// falls; riding, the particles follow the feet; down, each falls under
// gravity, stops on the ground, and is kept within a leg's length of its hip
// and at least 1 ft below the hips.
void rider_feet_step(bike_state* bike, const terrain* ground);

// --- Mechanic ----------------------------------------------------------------------------

// Applies a bike setup to a bike standing still (frame at most 0.125 ft/s):
// steering and stability settings, arcade physics (off while forbidden),
// brakes and antilock, stop wheelies, automatic shifting, dab when stopped,
// realign after fall, max dab speed, automatic clutch, sprockets, fork and
// shock, rider springs and mass distribution. A rolling bike is left alone;
// a second refusal within 10 s of game clock shows "Settings not applied.
// Mechanic can't keep up error.". Whether the setup was applied.
bool mechanic_apply(bike_state* bike, const bike_setup* setup);
