// The fork and the shock: force models, the linkage curve, the motors, the
// telemetry and the settings.
#include "sim/suspension.h"

#include <cmath>

#include "files/config.h"

namespace {

// Ratio of the fork's air spring: 82.46 lbf per unit of (compression ratio^1.4 - 1).
constexpr double air_spring_scale = 82.4616928100586;
constexpr double air_exponent = 1.4;
// The top-out ramp reaches full force after this fraction of the travel.
constexpr double top_out_ramp = 32;
// A motor pushes towards extension at this speed, with the force as its limit.
constexpr double motor_speed = 100;
// The smallest air column the air spring divides by (ft).
constexpr double min_air_column = 1.0 / 1024;

// lo for NaN, otherwise v within lo..hi.
double clamp(double v, double lo, double hi) { return !(v >= lo) ? lo : v > hi ? hi : v; }
// A finite setting clamped to lo..hi; `neutral` when not finite.
double setting(double v, double lo, double hi, double neutral) {
    return std::isfinite(v) ? clamp(v, lo, hi) : neutral;
}
double lerp(const bike_range& r, double f) { return r.least + ((double)r.most - r.least) * f; }
double finite_or_zero(double v) { return std::isfinite(v) ? v : 0; }

}  // namespace

// --- Force models -----------------------------------------------------------------------------

double suspension_damping(double v, double C, double c, double B, double b) {
    if (v >= 0) {
        double d0 = -v * B;  // rebound: pulls against extension
        double f = d0 - b;
        double lo = 8 * d0, hi = d0 / 8;
        return f < lo ? lo : f > hi ? hi : f;
    }
    double d0 = -v * C;  // compression: pushes against it
    double f = d0 + c;
    double lo = d0 / 8, hi = 8 * d0;
    return f < lo ? lo : f > hi ? hi : f;
}

double fork_air_spring(double travel, double air_gap, double q) {
    if (!(travel > 0)) return 0;
    double g = travel + air_gap;
    double column = g - clamp(q, 0, travel);
    if (column < min_air_column) column = min_air_column;
    return air_spring_scale * (std::pow(g / column, air_exponent) - 1);
}

double fork_force(const bike_spec* spec, const bike_fork_settings* fork, double x, double v) {
    double travel = spec->fork_travel;
    if (!(travel > 0)) return 0;
    double air = fork_air_spring(travel, fork->air_gap, -x);
    double ramp = clamp(top_out_ramp * -x / travel, 0, 1);
    double spring = (fork->preload - x) * fork->spring_rate;
    double damping =
        suspension_damping(v, fork->compression, fork->slow_compression, fork->rebound, fork->slow_rebound);
    return (air + spring + damping) * ramp;
}

void shock_linkage(const bike_linkage_spec* l, double f, double* x, double* slope) {
    constexpr double tiny = 1e-9;
    f = clamp(f, 0, 1);
    double k = l->knee_fraction;
    double L, t, p0, p1, m0, m1;
    if ((f <= k && k > tiny) || !(1 - k > tiny)) {
        L = k > tiny ? k : tiny;
        t = f / L;
        p0 = 0;
        p1 = l->knee_compression;
        m0 = l->slope_zero * L;
        m1 = l->slope_knee * L;
    } else {
        L = 1 - k;
        t = (f - k) / L;
        p0 = l->knee_compression;
        p1 = l->full_compression;
        m0 = l->slope_knee * L;
        m1 = l->slope_full * L;
    }
    double c2 = 3 * (p1 - p0) - 2 * m0 - m1;
    double c3 = 2 * (p0 - p1) + m0 + m1;
    *x = p0 + t * (m0 + t * (c2 + t * c3));
    *slope = (m0 + t * (2 * c2 + t * 3 * c3)) / L;
}

double shock_torque(const bike_spec* spec, const bike_shock_settings* shock, double angle, double rate,
                    double* speed) {
    double travel = spec->linkage.swingarm_travel;
    if (speed) *speed = 0;
    if (!(travel > 0)) return 0;
    double f = clamp(-angle / travel, 0, 1);
    double x, g;
    shock_linkage(&spec->linkage, f, &x, &g);
    double u = rate * g;  // shaft speed
    if (speed) *speed = u;
    double damping =
        suspension_damping(u, shock->compression, shock->slow_compression, shock->rebound, shock->slow_rebound);
    double torque = ((x + shock->preload) * shock->spring_rate + damping) * g;
    return torque * clamp(top_out_ramp * -angle / travel, 0, 1);
}

// --- Per tick ------------------------------------------------------------------------------------

void suspension_step(bike_state* b) {
    dJointID fork = b->joints[bike_joint_fork];
    double x = dJointGetSliderPosition(fork);
    double v = dJointGetSliderPositionRate(fork);
    double force = std::isfinite(x) && std::isfinite(v) ? finite_or_zero(fork_force(&b->spec, &b->fork, x, v)) : 0;
    dJointSetSliderParam(fork, dParamVel, force >= 0 ? motor_speed : 0);
    dJointSetSliderParam(fork, dParamFMax, std::fabs(force));

    dJointID pivot = b->joints[bike_joint_swingarm];
    double angle = dJointGetHingeAngle(pivot);
    double rate = dJointGetHingeAngleRate(pivot);
    double torque = std::isfinite(angle) && std::isfinite(rate)
                        ? finite_or_zero(shock_torque(&b->spec, &b->shock, angle, rate, nullptr))
                        : 0;
    dJointSetHingeParam(pivot, dParamVel, torque >= 0 ? motor_speed : 0);
    dJointSetHingeParam(pivot, dParamFMax, std::fabs(torque));
}

// --- Telemetry --------------------------------------------------------------------------------------

double suspension_low_speed_share(double speed, double high, double low) {
    double d = std::fabs(speed) * high + low;
    if (!(std::fabs(d) > 1e-9)) return 0;
    return clamp(low / d, -1, 1);
}

void suspension_read(const bike_state* b, suspension_telemetry* out) {
    const bike_spec& s = b->spec;
    dJointID fork = b->joints[bike_joint_fork];
    double x = finite_or_zero(dJointGetSliderPosition(fork));
    double v = finite_or_zero(dJointGetSliderPositionRate(fork));
    out->fork_position = s.fork_travel > 0 ? clamp(-x / s.fork_travel, 0, 1) : 0;
    out->fork_speed = v;
    out->fork_share = v < 0 ? suspension_low_speed_share(v, s.fork_compression_base, s.fork_slow_compression_range)
                            : suspension_low_speed_share(v, s.fork_rebound_base, s.fork_slow_rebound_range);

    dJointID pivot = b->joints[bike_joint_swingarm];
    double angle = finite_or_zero(dJointGetHingeAngle(pivot));
    double rate = finite_or_zero(dJointGetHingeAngleRate(pivot));
    double travel = s.linkage.swingarm_travel;
    double f = travel > 0 ? clamp(-angle / travel, 0, 1) : 0;
    double x_shock, slope;
    shock_linkage(&s.linkage, f, &x_shock, &slope);
    double u = rate * slope;
    out->shock_position = f;
    out->shock_speed = u;
    const bike_shock_settings& k = b->shock;
    out->shock_share = u < 0 ? suspension_low_speed_share(u, k.compression, k.slow_compression)
                             : suspension_low_speed_share(u, k.rebound, k.slow_rebound);
}

// --- Settings ------------------------------------------------------------------------------------------

void suspension_set_fork(bike_state* b, double compression, double slow_compression, double rebound,
                         double slow_rebound, double spring, double preload, double oil_level) {
    const bike_spec& s = b->spec;
    bike_fork_settings& f = b->fork;
    f.compression = setting(compression, 0.25, 4, 1) * s.fork_compression_base;
    f.slow_compression = setting(slow_compression, -1, 1, 0) * s.fork_slow_compression_range;
    f.rebound = setting(rebound, 0.25, 4, 1) * s.fork_rebound_base;
    f.slow_rebound = setting(slow_rebound, -1, 1, 0) * s.fork_slow_rebound_range;
    f.spring_rate = lerp(s.fork_spring_rate, setting(spring, 0, 1, 0.5));
    f.preload = lerp(s.fork_preload, setting(preload, 0, 1, 0.5));
    f.air_gap = lerp(s.fork_oil_air_gap, setting(oil_level, 0, 1, 0.5));
}

void suspension_set_shock(bike_state* b, double compression, double slow_compression, double rebound,
                          double slow_rebound, double spring, double preload) {
    const bike_spec& s = b->spec;
    bike_shock_settings& k = b->shock;
    k.compression = setting(compression, 0.25, 4, 1) * s.shock_compression_base;
    k.slow_compression = setting(slow_compression, -1, 1, 0) * s.shock_slow_compression_range;
    k.rebound = setting(rebound, 0.25, 4, 1) * s.shock_rebound_base;
    k.slow_rebound = setting(slow_rebound, -1, 1, 0) * s.shock_slow_rebound_range;
    k.spring_rate = lerp(s.shock_spring_rate, setting(spring, 0, 1, 0.5));
    k.preload = lerp(s.shock_preload, setting(preload, 0, 1, 0.5));
}

double suspension_setup_factor(double value) { return std::exp2(value * 0.04 - 2); }
double suspension_setup_offset(double value) { return value * 0.02 - 1; }

void suspension_apply_setup(bike_state* b, const bike_setup* s) {
    suspension_set_fork(b, suspension_setup_factor(s->fork_compression_adjustment.value),
                        suspension_setup_offset(s->fork_slow_compression_adjustment.value),
                        suspension_setup_factor(s->fork_rebound_adjustment.value),
                        suspension_setup_offset(s->fork_slow_rebound_adjustment.value),
                        s->fork_spring_rate_adjustment.value * 0.01, s->fork_preload_adjustment.value * 0.01,
                        s->fork_oil_level_adjustment.value * 0.01);
    suspension_set_shock(b, suspension_setup_factor(s->shock_compression_adjustment.value),
                         suspension_setup_offset(s->shock_slow_compression_adjustment.value),
                         suspension_setup_factor(s->shock_rebound_adjustment.value),
                         suspension_setup_offset(s->shock_slow_rebound_adjustment.value),
                         s->shock_spring_rate_adjustment.value * 0.01, s->shock_preload_adjustment.value * 0.01);
}
