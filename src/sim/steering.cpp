// The steering controllers, the steering torque and damping, and the
// steering and stability settings.
#include "sim/steering.h"

#include <cmath>

#include "files/config.h"
#include "frame/game.h"
#include "sim/bike_pose.h"
#include "sim/world.h"
#include "track/terrain.h"

using namespace bike_pose;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double full_lock = pi / 4;
constexpr double degree = pi / 180;

// lo for NaN, otherwise v within lo..hi.
double clamp(double v, double lo, double hi) { return !(v >= lo) ? lo : v > hi ? hi : v; }
// (x - a) / (b - a) within 0..1; a step up at a when the ends meet.
double ramp(double x, double a, double b) {
    double d = b - a;
    if (!(std::fabs(d) > 1e-12)) return x > a ? 1 : 0;
    return clamp((x - a) / d, 0, 1);
}
// v moved towards 0 by `by`, 0 when within it.
double towards_zero(double v, double by) { return v > by ? v - by : v < -by ? v + by : 0; }
double finite_or_zero(double v) { return std::isfinite(v) ? v : 0; }
// A finite setting clamped to lo..hi; `fallback` when not finite.
double setting(double v, double lo, double hi, double fallback) {
    return std::isfinite(v) ? clamp(v, lo, hi) : fallback;
}

// Column c of a body's rotation: its local axis c in the world.
vec body_axis(dBodyID body, int c) {
    const dReal* r = dBodyGetRotation(body);
    return {r[c], r[4 + c], r[8 + c]};
}
vec to_body(dBodyID body, vec v) {
    dVector3 out;
    dBodyVectorFromWorld(body, v.x, v.y, v.z, out);
    return to_vec(out);
}

double ground_height(const terrain* t, double x, double z) {
    if (!t || !t->heights) return 0;
    double h = terrain_height(t, (float)x, (float)z);
    return std::isfinite(h) ? h : 0;
}
double ground_friction(const terrain* t, double x, double z) {
    if (!t || !t->tiles.tiles || t->tiles.tile_count < 1) return 1;
    double mu = terrain_tile(t, (float)x, (float)z)->friction[0].coefficient;
    return std::isfinite(mu) ? mu : 1;
}

bool touches(const bike_wheel& w) { return w.depth > 0; }

void add_torque(dBodyID body, vec t) { dBodyAddTorque(body, t.x, t.y, t.z); }

}  // namespace

// --- What the controllers read ----------------------------------------------------------------------

double steering_lean_angle(const double up[3], const double forward[3]) {
    double den = std::sqrt(forward[0] * forward[0] + forward[2] * forward[2]);
    // Forward straight up or down: no direction to lean towards.
    if (!(den > 1e-9)) return 0;
    double d = (up[0] * -forward[2] + up[2] * forward[0]) / den;
    if (!std::isfinite(d)) return 0;
    return std::acos(clamp(d, -1, 1)) - pi / 2;
}

double steering_lean(const bike_state* b) {
    dBodyID frame = b->bodies[bike_body_frame];
    vec up = body_axis(frame, 1);
    vec forward = body_axis(frame, 2) * -1;
    return steering_lean_angle(&up.x, &forward.x);
}

double steering_roll_rate(const bike_state* b) {
    dBodyID frame = b->bodies[bike_body_frame];
    return finite_or_zero(to_body(frame, to_vec(dBodyGetAngularVel(frame))).z);
}

double steering_slip_angle(const bike_state* b) {
    vec v = to_body(b->bodies[bike_body_fork_upper], to_vec(dBodyGetLinearVel(b->bodies[bike_body_front_wheel])));
    vec a;
    bike_steering_axis(&b->spec, &a.x);
    double p = v.y * -a.z + v.z * a.y;
    if (!(v.x * v.x + p * p > 1)) return 0;
    return -std::atan2(v.x, -p);
}

void steering_axis_world(const bike_state* b, double axis[3]) {
    vec a;
    bike_steering_axis(&b->spec, &a.x);
    dVector3 w;
    dBodyVectorToWorld(b->bodies[bike_body_frame], a.x, a.y, a.z, w);
    axis[0] = w[0];
    axis[1] = w[1];
    axis[2] = w[2];
}

double steering_input(const bike_state* b) {
    double s = b->controls.steer;
    return std::isfinite(s) ? clamp(s, -1, 1) : 0;
}

void steering_gather(const bike_state* b, const terrain* ground, steering_inputs* in) {
    const bike_wheel& front = b->wheels[bike_wheel_front];
    double outer = front.ring_radius + front.section_radius;
    dJointID steering = b->joints[bike_joint_steering];
    vec centre = to_vec(dBodyGetPosition(front.body));
    in->steer = steering_input(b);
    in->front_spin = finite_or_zero(dJointGetHingeAngleRate(b->joints[bike_joint_front_axle]));
    in->wheel_speed = outer * in->front_spin;
    in->lean = steering_lean(b);
    in->roll_rate = steering_roll_rate(b);
    in->slip_angle = finite_or_zero(steering_slip_angle(b));
    in->steer_angle = finite_or_zero(dJointGetHingeAngle(steering));
    in->clearance = finite_or_zero(centre.y - ground_height(ground, centre.x, centre.z) - outer);
    in->friction = ground_friction(ground, centre.x, centre.z);
    in->frame_speed = finite_or_zero(length(to_vec(dBodyGetLinearVel(b->bodies[bike_body_frame]))));
    in->front_contact = touches(front);
    in->collision_hold = b->collision_hold;
}

// --- The normal controller -------------------------------------------------------------------------------

double steering_lock_angle(const bike_stability* st, double wheel_speed, double friction) {
    double v = wheel_speed > 1 ? wheel_speed : 1;
    double full = st->full_lock_speed;
    double restricted_speed = full + 1 > st->restricted_lock_speed ? full + 1 : st->restricted_lock_speed;
    // 1 up to the full lock speed, falling to 0 at the restricted lock speed.
    double g = ramp(1 / v, 1 / restricted_speed, 1 / full);
    double mu = friction >= 0.125 ? friction : 0.125;
    double restricted = st->restricted_lock / mu;
    if (!(restricted < full_lock)) restricted = full_lock;
    return restricted + (full_lock - restricted) * g;
}

double steering_front_slide(double wheel_speed, double lock, double lean, double slip, double angle) {
    double q = clamp((wheel_speed - 5) / 10, 0, 1);
    double a = 0.25 * q * lock;
    double b = (0.625 * q + 0.125) * lock;
    double i1, i2;
    if (lean >= 0) {
        i1 = ramp(-slip, a, b);
        i2 = clamp((angle - pi / 12) * 12 / pi, 0, 1);
    } else {
        i1 = ramp(slip, a, b);
        i2 = clamp(-(angle + pi / 12) * 12 / pi, 0, 1);
    }
    return i1 > i2 ? i1 : i2;
}

double steering_normal_torque(const bike_stability* st, unsigned char options, const steering_inputs* in,
                              double* landing_damping, double* front_slide) {
    double steer = std::isfinite(in->steer) ? clamp(in->steer, -1, 1) : 0;
    double t_max = st->max_steering_force, t_min = -t_max;
    double direct = st->steering_strength * steer * st->direct_steering;
    if (!in->front_contact && !(options & bike_option_steer_in_air)) direct = 0;

    double lock = steering_lock_angle(st, in->wheel_speed, in->friction);
    double phi = in->slip_angle;

    // Slip limits: past the lock the torque towards more slip fades out and,
    // beyond s, turns round and pushes the steering back.
    double e = in->clearance;
    if (in->wheel_speed > 1 && e < 0.5) {
        double l = lock + (full_lock - lock) * clamp(2 * e, 0, 1);
        double s = 1.125 * l + 0.015;
        if (phi > l)
            t_min *= 1.25 * ramp(phi, s, l) - 0.25;
        else if (phi < -l)
            t_max *= 1.25 * ramp(phi, -s, -l) - 0.25;
    }

    double m = *landing_damping;
    double aid;
    if (!in->front_contact || in->front_spin <= pi / 4) {
        // In the air or stopped: the landing damping is armed and the
        // steering is centred.
        m = st->land_damping_factor;
        aid = -50 * in->steer_angle;
    } else {
        double lean = in->lean, roll = in->roll_rate;
        double damping = roll * st->roll_damping * m;
        if (m > 1) {
            // Back to 1 over the falloff time (at once when it is 0).
            double falloff = st->land_damping_falloff;
            m = falloff > 0 ? m - (st->land_damping_factor - 1) * tick_length / falloff : 1;
            if (m < 1) m = 1;
        }
        double leveling = lean * st->leveling;
        if (in->frame_speed < st->slow_damping_speed) {
            double k = st->slow_damping_factor +
                       (1 - st->slow_damping_factor) * ramp(in->frame_speed, 0, st->slow_damping_speed);
            damping *= k;
            leveling *= k;
        }
        bool growing = (roll < 0 && lean < 0) || (roll >= 0 && lean >= 0);
        double over = std::fabs(lean) - st->roll_limit_angle;
        if (growing && over > 0) damping *= over * st->roll_limit_factor + 1;
        aid = damping + leveling;

        if (st->direct_steering < 1) {
            // Lean-target steering: steer towards a roll rate that leans the
            // bike to the lean the input asks for; faster back to upright.
            double r0 = (-steer * st->roll_limit_angle - lean) * 2.5;
            bool upright = (r0 < 0 && lean >= 0) || (r0 >= 0 && lean < 0);
            double limit = upright ? 25 * pi / 8 : 5 * pi / 4;
            r0 = clamp(r0, -limit, limit);
            double er = clamp(r0 - roll, -0.125, 0.125);
            double lean_torque = st->steering_strength * clamp(4 * (roll - r0 + er), -1, 1);
            direct = (direct - lean_torque) * st->direct_steering + lean_torque;
        }
    }
    *landing_damping = std::isfinite(m) ? m : 1;

    // A bike just struck by another gets little or no help.
    if (in->collision_hold > 0) {
        double limit = 200 * clamp((192.0 - in->collision_hold) / 192.0, 0, 1);
        aid = aid < -limit ? -limit : aid > limit ? limit : aid;
    }

    double torque = 1.5 * (aid + direct);
    torque = torque < t_min ? t_min : torque > t_max ? t_max : torque;
    double slide = steering_front_slide(in->wheel_speed, lock, in->lean, phi, in->steer_angle);
    *front_slide = std::isfinite(slide) ? slide : 0;
    return finite_or_zero(torque);
}

// --- The arcade controller ------------------------------------------------------------------------------

double steering_arcade_roll_target(double lean, double steer, double roll_damping) {
    double e = lean + pi / 4 * steer;  // against the target lean -(pi/4) steer
    double k = 1.5 - 0.5 * clamp((roll_damping - 40) * 0.025, 0, 1);
    double size = std::fabs(e) < 0.0625 ? std::fabs(e) : 0.0625;
    double sign = e > 0 ? 1 : e < 0 ? -1 : 0;
    return -sign * 16 * k * size;
}

double steering_arcade_torque(double strength, double slip, double steer, double angle, double rate) {
    double p = towards_zero(clamp(slip - 0.5 * steer - angle, -0.25, 0.25), 1.0 / 32);
    double y = towards_zero(8 * p - rate, 1.0 / 2400);
    return strength * clamp(0.5 * y, -2.0 / 3, 2.0 / 3);
}

// --- Per tick ------------------------------------------------------------------------------------------------

void steering_apply_torque(bike_state* b, double torque) {
    if (!std::isfinite(torque) || torque == 0) return;
    vec a;
    steering_axis_world(b, &a.x);
    if (!finite(a)) return;
    add_torque(b->bodies[bike_body_front_wheel], a * torque);
    add_torque(b->bodies[bike_body_frame], a * -torque);
}

void steering_normal_step(bike_state* b, const terrain* ground) {
    if (b->crash_timer > 0) {
        b->front_slide = 0;
        return;
    }
    steering_inputs in;
    steering_gather(b, ground, &in);
    if (!std::isfinite(b->landing_damping)) b->landing_damping = 1;
    double torque = steering_normal_torque(&b->stability, b->options, &in, &b->landing_damping, &b->front_slide);
    steering_apply_torque(b, torque);
}

void steering_arcade_step(bike_state* b, const terrain* ground) {
    const bike_stability& st = b->stability;
    dBodyID frame = b->bodies[bike_body_frame];
    double steer = steering_input(b);
    dJointID steering = b->joints[bike_joint_steering];
    double angle = finite_or_zero(dJointGetHingeAngle(steering));
    double rate = finite_or_zero(dJointGetHingeAngleRate(steering));

    if (!touches(b->wheels[bike_wheel_front])) {
        // Where free flight puts the frame a second from now.
        vec p = to_vec(dBodyGetPosition(frame)) + to_vec(dBodyGetLinearVel(frame)) + vec{0, -16, 0};
        if (finite(p) && p.y - ground_height(ground, p.x, p.z) >= b->spec.frame_position.y) {
            steering_apply_torque(b, 1.5 * (st.steering_strength * steer * st.direct_steering - 50 * angle));
            return;
        }
    }

    // The lean motor: rolls the frame towards the lean the input asks for.
    double omega = steering_arcade_roll_target(steering_lean(b), steer, st.roll_damping);
    vec z = body_axis(frame, 2);
    if (g_world && g_contact_group && finite(z) && std::isfinite(omega)) {
        dJointID motor = dJointCreateAMotor(g_world, g_contact_group);
        dJointAttach(motor, frame, nullptr);
        dJointSetAMotorMode(motor, dAMotorUser);
        dJointSetAMotorNumAxes(motor, 1);
        dJointSetAMotorAxis(motor, 0, 0, z.x, z.y, z.z);
        dJointSetAMotorParam(motor, dParamVel, omega);
        dJointSetAMotorParam(motor, dParamFMax, 1000);
    }

    steering_apply_torque(b, steering_arcade_torque(st.steering_strength, finite_or_zero(steering_slip_angle(b)), steer,
                                                    angle, rate));

    // Tail drag, 20 ft behind the frame: keeps the bike running straight.
    dVector3 v;
    dBodyGetRelPointVel(frame, 0, 0, 20, v);
    vec drag = to_vec(v) * -0.25;
    if (finite(drag)) dBodyAddForceAtRelPos(frame, drag.x, drag.y, drag.z, 0, 0, 20);
}

void steering_step(bike_state* b, const terrain* ground) {
    if (!(b->arcade & bike_arcade_physics))
        steering_normal_step(b, ground);
    else if (b->crash_timer <= 0)
        steering_arcade_step(b, ground);
}

void steering_damping_step(bike_state* b) {
    dBodyID wheel = b->bodies[bike_body_front_wheel];
    vec a = body_axis(wheel, 0);
    vec w = to_vec(dBodyGetAngularVel(wheel));
    vec t = (a * dot(a, w) - w) * b->stability.steering_damping;
    if (!finite(t)) return;
    add_torque(wheel, t);
    add_torque(b->bodies[bike_body_frame], t * -1);
}

// --- Settings ---------------------------------------------------------------------------------------------------

void steering_settings_defaults(steering_settings* s) {
    *s = steering_settings{75, 45, 400, 1, 10, 50, 5, 20, 60, 45, 10, 0, 1, 2, 0.25};
}

void steering_set_settings(bike_state* b, const steering_settings* in) {
    steering_settings d;
    steering_settings_defaults(&d);
    bike_stability& st = b->stability;
    st.steering_strength = setting(in->steering_strength, 0, 100, d.steering_strength);
    st.steering_damping = setting(in->steering_damping, 0, 100, d.steering_damping);
    st.max_steering_force = setting(in->max_steering_force, 0, 1000, d.max_steering_force);
    st.direct_steering = setting(in->direct_steering, 0, 1, d.direct_steering);
    st.full_lock_speed = setting(in->full_lock_speed, 1, 100, d.full_lock_speed);
    st.restricted_lock_speed = setting(in->restricted_lock_speed, 1, 100, d.restricted_lock_speed);
    st.restricted_lock = setting(in->restricted_lock, 0, 45, d.restricted_lock) * degree;
    st.leveling = setting(in->leveling, 0, 100, d.leveling);
    st.roll_damping = setting(in->roll_damping, 0, 100, d.roll_damping);
    st.roll_limit_angle = setting(in->roll_limit_angle, 0, 180, d.roll_limit_angle) * degree;
    st.roll_limit_factor = setting(in->roll_limit_factor, 0, 64, d.roll_limit_factor);
    st.slow_damping_speed = setting(in->slow_damping_speed, 0, 100, d.slow_damping_speed);
    st.slow_damping_factor = setting(in->slow_damping_factor, 1, 10, d.slow_damping_factor);
    st.land_damping_factor = setting(in->land_damping_factor, 1, 3, d.land_damping_factor);
    st.land_damping_falloff = setting(in->land_damping_falloff, 0, 0.5, d.land_damping_falloff);
}

void steering_apply_setup(bike_state* b, const bike_setup* s) {
    steering_settings in{
        s->steering_strength.value,  s->steering_damping.value,      s->max_steering_force.value,
        s->direct_steering.value,    s->full_lock_speed.value,       s->restricted_lock_speed.value,
        s->restricted_lock.value,    s->leveling.value,              s->roll_damping.value,
        s->roll_limit_angle.value,   s->roll_limit_factor.value,     s->slow_damping_speed.value,
        s->slow_damping_factor.value, s->land_damping_factor.value,  s->land_damping_falloff.value,
    };
    steering_set_settings(b, &in);
}
