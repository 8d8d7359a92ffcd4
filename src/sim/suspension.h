// The fork and the shock.
//
// Neither is a spring of the rigid-body library: every tick the bike step
// works out each one's force from its position, speed and setup and hands it
// to the joint's motor, the fork slider's directly and the swing arm pivot's
// through the linkage curve. A motor only pushes one way (towards extension)
// with a limited force, so a negative force merely brakes the motion.
//
// Units: feet, pounds-force, pound-force feet, radians, seconds. The fork
// position is 0 fully extended and falls to minus the fork travel; the swing
// arm angle is 0 at rest and falls to minus the swing arm travel; speeds are
// positive when extending.
#pragma once

#include "sim/bike.h"

struct bike_setup;

// --- Force models (pure) ---------------------------------------------------------------

// Damping force of a damper moving at speed v (positive when extending) with
// the high-speed coefficients C (compression), B (rebound) and the low-speed
// offsets c, b. The offset changes the force by at most a factor of 8 either
// way, and there is no force at zero speed.
double suspension_damping(double v, double C, double c, double B, double b);

// Fork force (lbf, positive extends) at slider position x and speed v: air
// spring, steel spring with preload and damping, faded in over the first
// 1/32 of the travel so that a fully extended fork pushes nothing.
double fork_force(const bike_spec* spec, const bike_fork_settings* fork, double x, double v);

// The air spring alone: the trapped air above the oil at compression q (ft).
double fork_air_spring(double travel, double air_gap, double q);

// The linkage curve: shock compression x (ft) at swing arm travel fraction f
// (0..1, clamped) and its slope dx/df, a two-piece cubic Hermite curve through
// 0, the knee and full travel.
void shock_linkage(const bike_linkage_spec* linkage, double f, double* x, double* slope);

// Shock torque (lbf ft, positive extends) at the swing arm pivot angle and
// angle rate; *speed, when not null, receives the shock shaft speed.
double shock_torque(const bike_spec* spec, const bike_shock_settings* shock, double angle, double rate,
                    double* speed);

// --- Per tick -----------------------------------------------------------------------------

// Works out the fork force and the shock torque from the joints and hands
// them to the fork slider's and the swing arm pivot's motors.
void suspension_step(bike_state* bike);

// --- Telemetry (the on-screen suspension graph) -----------------------------------

struct suspension_telemetry {
    double fork_position;  // compression / fork travel, 0..1
    double fork_speed;     // ft/s, positive extending
    double fork_share;     // low-speed share of the fork's damping, from the bike spec's base values
    double shock_position; // swing arm travel fraction, 0..1
    double shock_speed;    // shock shaft speed, ft/s
    double shock_share;    // low-speed share of the shock's damping, from the shock settings
};
void suspension_read(const bike_state* bike, suspension_telemetry* out);

// Low-speed share of a damper: low / (|speed| x high + low), 0 when the
// denominator vanishes, and kept within -1..1 (a negative low-speed offset
// can make it pass through a pole).
double suspension_low_speed_share(double speed, double high, double low);

// --- Settings ------------------------------------------------------------------------------

// Fork from seven values: compression factor (0.25..4) x the bike spec's
// compression base; low-speed compression (-1..1) x its range; rebound factor
// (0.25..4) x the rebound base; low-speed rebound (-1..1) x its range; spring,
// preload and oil-level fractions (0..1) between the ends of the bike spec's
// ranges. Values outside are clamped; a value that is not finite counts as
// the neutral one (factor 1, low-speed 0, fraction 0.5).
void suspension_set_fork(bike_state* bike, double compression, double slow_compression, double rebound,
                         double slow_rebound, double spring, double preload, double oil_level);
// Shock from the first six of those, with the shock's spec values.
void suspension_set_shock(bike_state* bike, double compression, double slow_compression, double rebound,
                          double slow_rebound, double spring, double preload);

// The damping factor a setup value 0..100 means: 2^(value x 0.04 - 2), 1 at 50.
double suspension_setup_factor(double value);
// The low-speed value a setup value 0..100 means: value x 0.02 - 1, 0 at 50.
double suspension_setup_offset(double value);

// Fork and shock from the setup's clickers (the fork_* and shock_* keys).
void suspension_apply_setup(bike_state* bike, const bike_setup* setup);
