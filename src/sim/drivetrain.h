// The engine and the drivetrain.
//
// The engine is not a rigid body but one rotating inertia with its own
// angular speed, integrated here once per tick. It drives the rear wheel
// through the gearbox, the primary and final drives and a clutch modelled as
// a torsional spring and damper: the spring's wind-up is limited by the
// clutch engagement, so a slipping clutch passes at most its wind-up limit's
// torque. The brakes are the motors of the two axle joints. Also here: the
// gear changes (manual and automatic; gears whose ratio is not positive do
// not exist), the automatic clutch, antilock, the stop-wheelies aids, and the
// figures the engine sound and the HUD read.
//
// Units: radians, rad/s, pound-force feet; engine speeds in rpm where named.
// A wheel rolling forward turns its axle joint at a positive rate.
#pragma once

#include "sim/bike.h"

struct bike_setup;

constexpr double drivetrain_rpm_per_rad_s = 9.549296;  // 30 / pi

// --- The engine (pure) ------------------------------------------------------------------------

// Engine torque (lbf ft) at an engine speed and throttle (0..1): the closed-
// and full-throttle curves read at rpm / 500 (clamped to the table; a speed
// that is not finite reads the first entry) and blended by the throttle.
double engine_torque(const bike_spec* spec, double rpm, double throttle);

// Engagement of the automatic clutch at an engine speed: 0 up to the auto
// clutch speed, rising to 1 over the next 2000 rpm, never above the clutch
// control; from there on the clutch control alone.
double drivetrain_auto_clutch(double rpm, double auto_clutch_rpm, double clutch);

// --- The bike's engine -------------------------------------------------------------------------

// Engine speed in rpm (tachometer and engine sound).
double drivetrain_rpm(const bike_state* bike);
// Engine torque at the current engine speed and throttle, with the
// stop-wheelies cut (a positive torque becomes 0 while the bike wheelies).
double drivetrain_engine_torque(const bike_state* bike);
// Overall drive ratio of the current gear: gear ratio x primary x final
// drive; 0 when the gear does not exist.
double drivetrain_ratio(const bike_state* bike);

// --- Gears -----------------------------------------------------------------------------------

// g clamped to 0..5, then lowered while its ratio is not positive.
int drivetrain_valid_gear(const bike_spec* spec, int gear);
// A shift request (-1, 0, +1) from the controls: ignored while the rider is
// down, when it repeats the last request or is outside -1..1; 0 re-arms.
void drivetrain_shift(bike_state* bike, int request);
// The gear automatic shifting picks for a rear axle rate (rad/s): one down
// below the downshift speed, one up above the upshift speed, else the same.
int drivetrain_auto_gear(const bike_state* bike, double rear_rate);

// --- Per tick ---------------------------------------------------------------------------------

// One tick of engine and drivetrain, in order: automatic shifting (when on,
// at ticks that are multiples of 32, with the rear suspension loaded and the
// rear wheel not spinning on the ground), engine torque, clutch engagement,
// clutch torque and slip, the torque on the rear wheel and its reaction on
// the frame, engine speed, clutch wind-up, and the two brakes with antilock
// and the stoppie aid. `tick` is the race's tick counter.
void drivetrain_step(bike_state* bike, int tick);

// --- Settings ---------------------------------------------------------------------------------

// Sprocket offsets (each clamped to -2..2, not finite counts as 0) from the
// spec's tooth counts; the final drive becomes rear teeth / front teeth.
void drivetrain_set_sprockets(bike_state* bike, double front_offset, double rear_offset);
// Automatic clutch speed, rpm, 0..5000.
void drivetrain_set_auto_clutch(bike_state* bike, double rpm);
// Brake torques, lbf ft, each 0..500.
void drivetrain_set_brakes(bike_state* bike, double front, double rear);
// The aids: antilock front and rear, automatic shifting, and stop wheelies
// (0..3: 1 cuts the drive in a wheelie, 2 frees the front brake in a stoppie).
void drivetrain_set_aids(bike_state* bike, bool front_antilock, bool rear_antilock, bool auto_shift,
                         int stop_wheelies);
// All of the above from the setup's keys (stop wheelies "No" 0, "Yes" 3,
// "Front Only" 2).
void drivetrain_apply_setup(bike_state* bike, const bike_setup* setup);
