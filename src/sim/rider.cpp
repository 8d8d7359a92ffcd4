// The bike step: the rider's springs and aids, crashes, the fallen rider and
// the feet. The mechanic is in mechanic.cpp.
#include "sim/rider.h"

#include <cmath>
#include <cstring>

#include "files/config.h"
#include "sim/bike_pose.h"
#include "sim/collide.h"
#include "sim/contact.h"
#include "sim/drivetrain.h"
#include "sim/steering.h"
#include "sim/suspension.h"
#include "sim/world.h"
#include "track/terrain.h"

using namespace bike_pose;

bool g_arcade_forbidden = false;
bool (*g_realign_target)(const bike_state* bike, double target[3]) = nullptr;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double gravity = 32;  // ft/s^2
// The rider springs scale with the rider's mass: rider mass / 4.6875.
constexpr double rider_mass_ratio = 0.21333334;
// Fore-aft and vertical reach of the rider springs before they turn stiff.
constexpr double spring_reach = 0.75;
constexpr double stiff_spring = 2500;  // lbf/ft and lbf s/ft, times the mass ratio
// The clutch lever disengages fully from 7/8 of its travel.
constexpr double clutch_lever_scale = 8.0 / 7;
constexpr double clutch_rate = 4;  // engagement per second
// Speeds of the aids, ft/s.
constexpr double dab_walk_speed = 15;
constexpr double struck_dab_speed = 75;
constexpr int struck_hard = -512;
constexpr double realign_reach = 20;  // ft ahead of the frame

int s_knockout[rider_knockout_entries];

// lo for NaN, otherwise v within lo..hi.
double clamp(double v, double lo, double hi) { return !(v >= lo) ? lo : v > hi ? hi : v; }
double finite_or_zero(double v) { return std::isfinite(v) ? v : 0; }
// A control value within lo..hi; 0 when it is not a number.
double control(float v, double lo, double hi) { return std::isfinite(v) ? clamp(v, lo, hi) : 0; }
double sign(double v) { return v < 0 ? -1 : 1; }

// Column c of a body's rotation: its local axis c in the world.
vec body_axis(dBodyID body, int c) {
    const dReal* r = dBodyGetRotation(body);
    return {r[c], r[4 + c], r[8 + c]};
}
vec body_position(dBodyID b) { return to_vec(dBodyGetPosition(b)); }
vec body_velocity(dBodyID b) { return to_vec(dBodyGetLinearVel(b)); }
vec point_velocity(dBodyID b, vec p) {
    dVector3 v;
    dBodyGetPointVel(b, p.x, p.y, p.z, v);
    return to_vec(v);
}
// A point given in a body's coordinates, in the world.
vec world_point(dBodyID b, vec local) {
    dVector3 w;
    dBodyGetRelPointPos(b, local.x, local.y, local.z, w);
    return to_vec(w);
}
vec skeleton_point(const bike_state* b, int point) { return to_vec(&b->spec.skeleton.points[point].x); }
// The rider body's rest position in the frame's coordinates.
vec rest_offset(const bike_state* b) {
    return to_vec(&b->spec.rider_position.x) - to_vec(&b->spec.frame_position.x);
}

double ground_height(const terrain* t, double x, double z) {
    if (!t || !t->heights || !std::isfinite(x) || !std::isfinite(z)) return 0;
    double h = terrain_height(t, (float)x, (float)z);
    return std::isfinite(h) ? h : 0;
}

bool touches(const bike_wheel& w) { return w.depth > 0; }
bool arcade(const bike_state* b) { return b->arcade & bike_arcade_physics; }
double frame_speed(const bike_state* b) { return finite_or_zero(length(body_velocity(b->bodies[bike_body_frame]))); }
double mass_ratio(const bike_state* b) { return b->spec.rider_mass * rider_mass_ratio; }

void put(double out[3], vec v) { out[0] = v.x, out[1] = v.y, out[2] = v.z; }

// An angular motor between the frame and the static world about the world's
// vertical axis, for the coming step.
void yaw_motor(dBodyID frame, double speed, double max_torque) {
    if (!g_world || !g_contact_group || !std::isfinite(speed) || !(max_torque > 0) || !std::isfinite(max_torque))
        return;
    dJointID m = dJointCreateAMotor(g_world, g_contact_group);
    dJointAttach(m, frame, nullptr);
    dJointSetAMotorMode(m, dAMotorUser);
    dJointSetAMotorNumAxes(m, 1);
    dJointSetAMotorAxis(m, 0, 0, 0, 1, 0);
    dJointSetAMotorParam(m, dParamVel, speed);
    dJointSetAMotorParam(m, dParamFMax, max_torque);
}

void tether(dBodyID a, vec pa, dBodyID b, vec pb, double slack) {
    double p[3], q[3];
    put(p, pa);
    put(q, pb);
    rider_tether(a, p, b, q, slack);
}

// --- Crash rules ---------------------------------------------------------------------------

// The rider body jerked away from the bike: faster against the frame, or
// harder accelerated, than the tolerance allows.
bool crash_detected(const bike_state* b, int tick) {
    double t = rider_crash_tolerance(b->fall_tick, b->landing_tick, tick);
    dBodyID rider = b->bodies[bike_body_rider];
    vec p = body_position(rider);
    vec v = body_velocity(rider);
    vec against = v - point_velocity(b->bodies[bike_body_frame], p);
    if (length(against) > rider_crash_speed * t) return true;
    // The ring slot of this tick still holds the velocity of four ticks ago.
    vec before = to_vec(b->rider_velocity[tick & (bike_velocity_ring_size - 1)]);
    vec a = (v - before) * (1 / ((double)bike_velocity_ring_size * tick_length)) + vec{0, gravity, 0};
    return length(a) > rider_crash_acceleration * t;
}

void remember_rider_velocity(bike_state* b, int slot) {
    const dReal* v = dBodyGetLinearVel(b->bodies[bike_body_rider]);
    for (int k = 0; k < 3; k++) b->rider_velocity[slot][k] = finite_or_zero(v[k]);
}

// The rider climbs back on: his body at its rest pose on the frame, the
// mount attached again, and a velocity history without the fall in it.
void back_on_the_bike(bike_state* b) {
    b->crash_timer = 0;
    b->crash_wait = 0;
    bike_rider_to_rest(b);
    bike_rider_attach(b);
    for (int slot = 0; slot < bike_velocity_ring_size; slot++) remember_rider_velocity(b, slot);
}

// The rider while he is down: he holds the bars while he slides, then lies
// still until the timer runs down, is pulled back onto the bike, and climbs on.
void fallen_rider(bike_state* b) {
    dBodyID rider = b->bodies[bike_body_rider];
    dBodyID frame = b->bodies[bike_body_frame];
    dBodyID bars = b->bodies[bike_body_fork_upper];
    const bike_skeleton_spec& sk = b->spec.skeleton;

    // Moving against the bike, not over the ground: a rider sliding along
    // with his bike has come to rest as far as getting up goes.
    vec p = body_position(rider);
    double moving = length(body_velocity(rider) - point_velocity(frame, p));
    if (moving >= rider_moving_speed) {
        double reach = 0.875 * ((double)sk.upper_arm + sk.forearm);
        tether(rider, world_point(rider, skeleton_point(b, bike_skeleton_left_shoulder)), bars,
               world_point(bars, skeleton_point(b, bike_skeleton_left_hand)), reach);
        tether(rider, world_point(rider, skeleton_point(b, bike_skeleton_right_shoulder)), bars,
               world_point(bars, skeleton_point(b, bike_skeleton_right_hand)), reach);
        if (b->crash_timer >= rider_crash_ticks) {
            // Keeps the rider from going over the bars.
            vec hip = skeleton_point(b, bike_skeleton_right_hip);
            vec hand = skeleton_point(b, bike_skeleton_right_hand);
            tether(rider, world_point(rider, vec{0, hip.y, hip.z}), bars, world_point(bars, vec{0, hand.y, hand.z + 10}),
                   8);
        }
        shape_instance* body = b->shapes[bike_body_rider];
        for (int part : {bike_body_frame, bike_body_fork_upper}) {
            shape_instance* other = b->shapes[part];
            if (!body || !other) continue;
            dBodyID ob = b->bodies[part];
            collide_shape_shape(body, rider, dBodyGetPosition(rider), dBodyGetRotation(rider), other, ob,
                                dBodyGetPosition(ob), dBodyGetRotation(ob), collide_mode_joint);
        }
    }
    // A rider who keeps moving for 10 s gets up all the same.
    if (moving >= rider_moving_speed && b->crash_wait < rider_wait_limit)
        b->crash_wait++;
    else
        b->crash_timer--;

    if (b->crash_timer <= 0) {
        back_on_the_bike(b);
        return;
    }
    if (b->crash_timer < rider_getting_up_ticks) {
        // Getting up: three tethers from the frame, at the rider's rest point
        // and 10 ft above it to either side, pull the rider's body in over the
        // bike; their slack shrinks to none by the time the timer reaches 128.
        double f = clamp((b->crash_timer - 128) / 384.0, 0, 1);
        vec rest = rest_offset(b);
        vec origin = body_position(rider);
        static const vec above[3] = {{0, 0, 0}, {-5, 10, 0}, {5, 10, 0}};
        for (const vec& a : above) tether(frame, world_point(frame, rest + a), rider, origin, length(a) + 5 * f);
    }
    if (b->crash_timer < rider_feet_return_ticks) {
        // The feet go back towards the pegs.
        const int pegs[2] = {bike_skeleton_left_foot, bike_skeleton_right_foot};
        for (int i = 0; i < 2; i++) {
            bike_foot_particle& foot = b->feet[i];
            vec to = world_point(frame, skeleton_point(b, pegs[i])) - to_vec(foot.position);
            vec v = limit_length(to * (1 / tick_length), 4);
            if (finite(v)) put(foot.velocity, v);
        }
    }
}

// --- Dab when stopped, parking and backing up ---------------------------------------------------

void dab_and_parking(bike_state* b, int tick) {
    bike_controls& c = b->controls;
    dBodyID frame = b->bodies[bike_body_frame];
    bool down = b->crash_timer > 0;
    double v = frame_speed(b);
    double lean = std::fabs(steering_lean(b));

    if (c.back_up > 0 && v < rider_stopped_speed) {
        // Walking the bike backwards in pulses of one second; before the
        // start only in the first second of every four.
        double p = (1 - std::cos((tick % 128) * 2 * pi / 127)) / 2;
        const race_state& r = g_race;
        long long start = ((long long)r.gate_drop_tick + 128);
        start = (start >= 0 ? start / 128 : -((-start + 127) / 128)) * 128;
        if (tick < start && tick % 512 >= 128) p = 0;
        c.dab = down ? 0 : 1;
        vec u = body_axis(frame, 2) * (4 * p);
        double target[3];
        put(target, u);
        rider_velocity_match(frame, target, 2000);
        yaw_motor(frame, -steering_input(b) * p * pi / 2, 2000);
        return;
    }
    if (!(b->options & bike_option_auto_dab)) return;
    double limit = rider_dab_speed(b);
    if (v > limit) return;
    if (v > dab_walk_speed && lean < clamp((v - dab_walk_speed) / 15, 0, 1) * pi / 4) return;
    bool idle = c.throttle == 0 || c.clutch == 0;
    if (!(idle || v < rider_stopped_speed || lean > pi / 16)) return;
    c.dab = down ? 0 : std::fmax(c.dab, clamp((limit - v) / limit, 0, 1));
    if (v < rider_stopped_speed && idle && touches(b->wheels[bike_wheel_front]) && touches(b->wheels[bike_wheel_rear])) {
        // Parked: both brakes on and the bike held where it stands.
        c.front_brake = 1;
        c.rear_brake = 1;
        const double still[3] = {0, 0, 0};
        rider_velocity_match(frame, still, 1000);
    }
}

// --- Rider springs and mount ----------------------------------------------------------------------

// The rider body is held at its rest point on the frame by two springs, one
// fore-aft along the frame's z axis and one along its y axis. The lean
// control moves the fore-aft target (positive backwards); sitting (dab)
// lowers the rider and lets him slide further forwards as he sinks. Both
// turn stiff beyond their reach and stay on after a crash, so a rider
// thrown off stays level with his bike and beside it; sideways only the
// tethers and the ground hold him.
void rider_springs(bike_state* b) {
    const bike_controls& c = b->controls;
    dBodyID frame = b->bodies[bike_body_frame];
    dBodyID rider = b->bodies[bike_body_rider];
    double rho = mass_ratio(b);
    vec target = world_point(frame, rest_offset(b));
    vec p = body_position(rider);
    vec d = target - p;
    vec z = body_axis(frame, 2), y = body_axis(frame, 1);
    double ez = dot(d, z), ey = dot(d, y);
    double dab = clamp(c.dab, 0, 1), lean = control((float)c.lean, -1, 1);
    double at[3];
    put(at, p);

    double error = ez - clamp((0.5 * dab + 0.5) * ey - lean, -spring_reach, spring_reach);
    double k, damping;
    if (ez < -spring_reach || ez >= spring_reach) {
        k = damping = stiff_spring;
    } else {
        k = std::fabs(error) * 100 + b->rider.forward_spring * 600;
        damping = 0;
    }
    k *= rho;
    damping *= rho;
    if (k > 0) {
        double n[3];
        put(n, z * sign(error));
        rider_soft_contact(rider, frame, at, n, std::fabs(error), k, damping);
    }

    error = ey + 0.125 - 0.5 * dab;
    if (ey > 0.5 || ey < -spring_reach) {
        k = damping = stiff_spring;
    } else {
        k = b->rider.vertical_spring * 400;
        damping = b->rider.vertical_damping * 100;
    }
    k *= rho;
    damping *= rho;
    if (k + damping > 0) {
        double n[3];
        put(n, y * sign(error));
        rider_soft_contact(rider, frame, at, n, std::fabs(error), k, damping);
    }

    // The mount's suspension damps the rider's slide along it.
    double slide_damping = (30 * b->rider.forward_damping + 5) * rho;
    dJointID mount = b->joints[bike_joint_rider_mount];
    dJointSetHinge2Param(mount, dParamSuspensionERP, 0);
    if (slide_damping > 0 && std::isfinite(slide_damping))
        dJointSetHinge2Param(mount, dParamSuspensionCFM, 1 / slide_damping);
}

// --- Dab foot and realign -------------------------------------------------------------------------

// Turns a fallen bike towards its realign target. True when the bike was
// turned on the spot (the target lies behind it or well to a side): its
// wheels are then lifted by its weight and the foot does nothing more.
bool realign(bike_state* b) {
    dBodyID frame = b->bodies[bike_body_frame];
    vec back = body_axis(frame, 2);
    back.y = 0;
    if (!(dot(back, back) > 1.0 / 1024)) return false;
    back = unit(back);
    double t[3];
    rider_realign_target(b, t);
    vec d = to_vec(t) - body_position(frame);
    d.y = 0;
    double r = dot(d, back);
    double q = d.x * back.z - d.z * back.x;  // positive when the target lies to the bike's right
    double speed = (q >= 0 ? -pi / 2 : pi / 2) * (b->collision_hold < 0 ? 2 : 1);
    double most = 320 * b->total_mass;
    if (r >= 0 || !(std::fabs(q) < -r / 4)) {
        yaw_motor(frame, speed, most);
        // The bike's weight, shared by the wheels on the ground, so that it
        // turns on the spot instead of scrubbing its tyres round.
        int on_ground = touches(b->wheels[bike_wheel_front]) + touches(b->wheels[bike_wheel_rear]);
        for (const bike_wheel& w : b->wheels)
            if (touches(w)) dBodyAddForce(w.body, 0, gravity * b->total_mass / on_ground, 0);
        return true;
    }
    yaw_motor(frame, speed, std::fabs(q) / (-r / 4) * most);
    return false;
}

void dab_foot(bike_state* b, const terrain* ground) {
    bike_controls& c = b->controls;
    auto progress = [&c] { c.dab_progress = std::fmin(1, c.dab_progress + 8 * tick_length); };
    if (b->crash_timer > 0) {
        progress();
        return;
    }
    if (!(c.dab > 0)) return;
    dBodyID frame = b->bodies[bike_body_frame];
    bool front = touches(b->wheels[bike_wheel_front]), rear = touches(b->wheels[bike_wheel_rear]);
    if (!front) {
        // The foot must reach the ground.
        ground_hit hit;
        const dReal* p = dBodyGetPosition(b->bodies[bike_body_rider]);
        double centre[3] = {p[0], p[1], p[2]};
        if (!contact_sphere_ground(ground, centre, (double)b->spec.rider_position.y + 1, &hit)) return;
    }
    double v = frame_speed(b);
    double limit = rider_dab_speed(b);
    if (v > limit) return;
    double lean = steering_lean(b);
    double size = std::fabs(lean);
    if (v <= dab_walk_speed || (front && rear && size >= 3 * pi / 16)) progress();
    if (arcade(b)) return;

    if (v < rider_stopped_speed && size > pi / 8 && size < 0.35 * pi) {
        // The bike lies down. (A rider whose race is over is marked finished
        // here once the race rules keep that state.)
        if ((b->options & bike_option_auto_align) && c.back_up <= 0.125 && realign(b)) return;
    }
    if (v >= rider_stopped_speed && b->collision_hold > 0) return;

    // The foot pushes the bike towards upright, at a roll rate of pi/8
    // (less when nearly upright); with dab when stopped, a struck bike's
    // foot aims at three times that.
    double k = lean >= 0 ? -pi / 8 : pi / 8;
    if (size < pi / 16) k *= size * 16 / pi;
    if (b->collision_hold < 0 && (b->options & bike_option_auto_dab)) k *= 3;
    double roll = steering_roll_rate(b);
    double m = k > 0 && roll < k ? -400 : k < 0 && roll > k ? 400 : 0;
    if (size < pi / 32) m *= size * 32 / pi;
    if (!(c.back_up >= 0.125 && v <= rider_stopped_speed)) {
        // Leans within the limit for the speed are the rider's own, unless he
        // steers towards the upright side.
        double l = rider_lean_limit(b->stability.roll_limit_angle, v, limit);
        double o = clamp((size - 1.25 * l) / 0.25, 0, 1);
        double steer = steering_input(b) * (lean >= 0 ? 1 : -1);
        double s = clamp(2 * (steer - 0.5), 0, 1);
        m *= o + s * (1 - o);
        if (v > rider_stopped_speed) m *= clamp(b->front_slide, 0, 1);
    }
    if (m == 0 || !std::isfinite(m)) return;
    if (body_axis(frame, 1).y >= 0.707) {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(m) / 8, 0, 0, 4, 0);
        dBodyAddRelForceAtRelPos(frame, m, 0, 0, 0, 4, 0);
    } else {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(m), 0, 0, 4, 0);
    }
}

}  // namespace

// --- Controls ----------------------------------------------------------------------------------------

double rider_clutch_target(double lever) {
    if (!std::isfinite(lever)) lever = 0;
    return clamp(1 - lever * clutch_lever_scale, 0, 1);
}

void bike_apply_controls(bike_state* b, const float in[control_values]) {
    if (!b || !in) return;
    bike_controls& c = b->controls;
    c.steer = control(in[control_steer], -1, 1);
    if (g_setup.reverse_steering.index == 1) c.steer = -c.steer;
    c.throttle = control(in[control_throttle], 0, 1);
    c.front_brake = control(in[control_front_brake], 0, 1);
    c.rear_brake = control(in[control_rear_brake], 0, 1);
    c.back_up = control(in[control_back_up], 0, 1);
    c.lean = control(in[control_lean], -1, 1);

    double dab = control(in[control_dab], 0, 1);
    if (g_setup.sticky_dab.index == 1) {
        if (dab >= 0.5 && c.dab_input < 0.5) c.dab_latched = !c.dab_latched;
        c.dab = c.dab_latched ? 1 : 0;
    } else {
        c.dab = dab;
    }
    c.dab_input = (float)dab;

    if (rider_down(b)) c.throttle = c.dab = c.back_up = c.lean = 0;

    double e = rider_clutch_target(control(in[control_clutch], 0, 1));
    double now = std::isfinite(c.clutch) ? c.clutch : 0;
    c.clutch = now < e ? std::fmin(1, now + clutch_rate * tick_length) : e;

    float shift = std::isfinite(in[control_shift]) ? in[control_shift] : 0;
    drivetrain_shift(b, shift > 0.5f ? 1 : shift < -0.5f ? -1 : 0);
}

// --- The bike step -----------------------------------------------------------------------------------

void rider_step(bike_state* b, const terrain* ground) {
    if (!b) return;
    if (!bike_active(b)) {
        rider_feet_step(b, ground);
        return;
    }
    const race_state& r = g_race;
    int tick = r.tick;
    bike_controls& c = b->controls;
    dBodyID frame = b->bodies[bike_body_frame];

    // The lap counts as crashed once the bike stood still after the start.
    if (b->crash_mark == 0 && (tick - r.gate_drop_tick) * tick_length > 2 && frame_speed(b) < rider_stopped_speed)
        b->crash_mark = 1;

    if (b->collision_hold > 1)
        b->collision_hold--;
    else if (b->collision_hold < -1)
        b->collision_hold++;
    else
        b->collision_hold = 0;

    // Air time: when the bike last began to fall and when it last landed.
    bool on_ground = touches(b->wheels[bike_wheel_front]) || touches(b->wheels[bike_wheel_rear]);
    if (on_ground && b->landing_tick < b->fall_tick) b->landing_tick = tick;
    if (!on_ground && dBodyGetLinearVel(frame)[1] < 0 && b->fall_tick <= b->landing_tick) b->fall_tick = tick;

    // Crashes: asked for by a contact rule, or the rider jerked off the bike.
    // A bike struck by another does not throw its rider.
    if (b->crash_requested) {
        b->crash_requested = false;
        bike_crash(b, ground);
    } else if (!arcade(b) && b->crash_timer == 0 && b->collision_hold >= 0 && crash_detected(b, tick)) {
        bike_crash(b, ground);
    }

    if (b->crash_timer > 0) fallen_rider(b);

    // The aids may put the foot down and the brakes on for this step only.
    double dab = c.dab, front_brake = c.front_brake, rear_brake = c.rear_brake;
    dab_and_parking(b, tick);
    rider_springs(b);
    suspension_step(b);
    steering_step(b, ground);
    drivetrain_step(b, tick);
    steering_damping_step(b);
    if (tick > 1 && b->crash_timer == 0) bike_joint_feedback_compensation(b);
    dab_foot(b, ground);
    c.dab = dab;
    c.front_brake = front_brake;
    c.rear_brake = rear_brake;

    rider_feet_step(b, ground);
    remember_rider_velocity(b, tick & (bike_velocity_ring_size - 1));
}

// --- Crashes ------------------------------------------------------------------------------------------

bool rider_down(const bike_state* b) { return b->crash_timer > 0; }

void bike_crash(bike_state* b, const terrain* ground) {
    if (!b || b->crash_timer > 0) return;
    rider_feet_start(b, ground);
    bike_rider_detach(b);
    b->crash_timer = rider_crash_ticks + rider_knockout(b->crash_count);
    b->crash_count++;
    b->crash_wait = 0;
    bike_controls& c = b->controls;
    c.throttle = c.dab = c.back_up = c.lean = 0;
}

double rider_crash_tolerance(int fall_tick, int landing_tick, int tick) {
    if (landing_tick < fall_tick) return 1.5;
    // A long fall makes the landing count: the thresholds are lowered while
    // the suspension takes it, from touch-down to 0.25 s after, and are back
    // up by 0.375 s.
    double fall = (landing_tick - fall_tick) * tick_length;
    double since = (tick - landing_tick) * tick_length;
    double a = clamp((fall - 0.559) * 7.9365087, 0, 1);
    double b = clamp((0.375 - since) * 8, 0, 1);
    return 1.5 - 0.5 * a * b;
}

int rider_knockout(int crash) {
    if (crash < 0) crash = 0;
    if (crash >= rider_knockout_entries) crash = rider_knockout_entries - 1;
    return s_knockout[crash];
}

bool rider_set_knockout(int index, int ticks) {
    if (index < 0 || index >= rider_knockout_entries) return false;
    s_knockout[index] = ticks < 0 ? 0 : ticks > rider_knockout_max ? rider_knockout_max : ticks;
    return true;
}

void rider_knockout_clear() { memset(s_knockout, 0, sizeof s_knockout); }

// --- Helpers -------------------------------------------------------------------------------------------

void rider_soft_contact(dBodyID first, dBodyID second, const double point[3], const double normal[3], double depth,
                        double stiffness, double damping) {
    if (!g_world || !g_contact_group || !first) return;
    vec p = to_vec(point), n = to_vec(normal);
    if (!finite(p) || !finite(n) || !std::isfinite(depth)) return;
    double hk = tick_length * stiffness;
    double soft = hk + damping;
    if (!(soft > 0) || !std::isfinite(soft) || !(hk >= 0)) return;
    // A spring at rest with nothing moving along it pushes nothing; its row
    // would only leave the solver a degenerate choice.
    vec closing = point_velocity(first, p) - (second ? point_velocity(second, p) : vec{0, 0, 0});
    if (std::fabs(depth) < 1e-9 && std::fabs(dot(closing, n)) < 1e-9) return;
    dContact c;
    memset(&c, 0, sizeof c);
    c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    c.surface.mu = 0;
    c.surface.soft_erp = hk / soft;
    c.surface.soft_cfm = 1 / soft;
    put(c.geom.pos, p);
    put(c.geom.normal, n);
    c.geom.depth = depth;
    dJointID j = dJointCreateContact(g_world, g_contact_group, &c);
    dJointAttach(j, first, second);
}

bool rider_tether(dBodyID a, const double point_a[3], dBodyID b, const double point_b[3], double slack) {
    vec pa = to_vec(point_a), pb = to_vec(point_b);
    vec d = pb - pa;
    double l = length(d);
    if (!finite(d) || !std::isfinite(slack) || !(l > slack) || !(l > 1e-9)) return false;
    double n[3], at[3];
    put(n, d * (1 / l));
    put(at, (pa + pb) * 0.5);
    rider_soft_contact(a, b, at, n, l - slack, rider_tether_stiffness, rider_tether_damping);
    return true;
}

void rider_velocity_match(dBodyID body, const double target[3], double limit) {
    vec d = body_velocity(body) - to_vec(target);
    double l = length(d);
    if (!std::isfinite(l) || !(l >= 0.25) || !std::isfinite(limit)) return;
    double f = -limit * clamp((l - 0.25) * 0.8, 0, 1) / l;
    dBodyAddForce(body, d.x * f, 0, d.z * f);
}

double rider_lean_limit(double roll_limit, double v, double max_dab) {
    if (!(v < max_dab)) return 2 * pi;
    if (v <= dab_walk_speed) {
        double q = std::fmin(v * v / (max_dab * max_dab), 1);
        return roll_limit * (1 - std::pow(1 - q, 32));
    }
    double span = max_dab * max_dab - dab_walk_speed * dab_walk_speed;
    double f = span > 0 ? clamp((v * v - dab_walk_speed * dab_walk_speed) / span, 0, 1) : 1;
    return roll_limit + (2 * pi - roll_limit) * f;
}

double rider_dab_speed(const bike_state* b) {
    double d = b->stability.max_dab_speed;
    if (b->collision_hold <= struck_hard && d < struck_dab_speed) d = struck_dab_speed;
    return d;
}

void rider_realign_target(const bike_state* b, double target[3]) {
    // The line library's best line (or the checkpoint of the rider's course
    // position) plugs in here through g_realign_target.
    if (g_realign_target && g_realign_target(b, target) && finite(to_vec(target))) return;
    dBodyID frame = b->bodies[bike_body_frame];
    vec ahead = body_axis(frame, 2) * -1;
    ahead.y = 0;
    ahead = unit(ahead);
    put(target, body_position(frame) + ahead * realign_reach);
}

// --- Feet -------------------------------------------------------------------------------------------------

void rider_foot_positions(const bike_state* b, const terrain* ground, double feet[2][3], double weights[2]) {
    dBodyID frame = b->bodies[bike_body_frame];
    dBodyID rider = b->bodies[bike_body_rider];
    int timer = b->crash_timer;
    vec peg[2] = {skeleton_point(b, bike_skeleton_left_foot), skeleton_point(b, bike_skeleton_right_foot)};
    if (timer > 0) {
        // Thrown off: the legs spread out and up from the pegs.
        double f = clamp(timer, 1, 128) / 128.0;
        double a = 0.5 * clamp(2 * f - 1, 0, 1), up = 1.75 * clamp(2 * f, 0, 1), back = clamp(f * 4 / 3, 0, 1);
        peg[0] = peg[0] + vec{-a, up, back};
        peg[1] = peg[1] + vec{a, up, back};
    }
    vec foot[2] = {world_point(frame, peg[0]), world_point(frame, peg[1])};
    double weight[2] = {0, 0};

    double p = clamp(b->controls.dab_progress, 0, 1);
    if (p > 0 && timer < 128) {
        // A foot on the ground on the side the bike leans to; both when it
        // stands nearly upright, half a hip width outside the hips.
        vec hl = world_point(rider, skeleton_point(b, bike_skeleton_left_hip));
        vec hr = world_point(rider, skeleton_point(b, bike_skeleton_right_hip));
        vec u = body_axis(frame, 2) * -1;
        double lean = steering_lean(b);
        double s = clamp(dot(body_velocity(frame), u) / 15, 0, 1);
        double m = clamp(std::fabs(lean) * 4 / pi, 0, 1);
        vec o = u * ((1.25 * s - 0.25) * m * 2.5);
        auto plant = [&](int side, vec t) {
            t.y = ground_height(ground, t.x, t.z) + 0.125;
            foot[side] = foot[side] + (t - foot[side]) * p;
            weight[side] = p;
        };
        if (lean > -0.1) plant(0, hl + (hr - hl) * (0.5 * m - 0.5) + o);
        if (lean < 0.1) plant(1, hr + (hr - hl) * (0.5 - 0.5 * m) + o);
    }
    if (timer > 0) {
        double k = clamp(2.0 * timer - 128, 1, 128) / 128;
        for (int i = 0; i < 2; i++) {
            foot[i] = foot[i] + (to_vec(b->feet[i].position) - foot[i]) * k;
            weight[i] = 1;
        }
    }
    for (int i = 0; i < 2; i++) {
        put(feet[i], foot[i]);
        weights[i] = weight[i];
    }
}

void rider_feet_start(bike_state* b, const terrain* ground) {
    double feet[2][3], weights[2];
    rider_foot_positions(b, ground, feet, weights);
    dBodyID rider = b->bodies[bike_body_rider];
    for (int i = 0; i < 2; i++) {
        vec p = to_vec(feet[i]);
        vec v = point_velocity(rider, p);
        if (!finite(p) || !finite(v)) continue;
        put(b->feet[i].position, p);
        put(b->feet[i].velocity, v);
    }
}

void rider_feet_step(bike_state* b, const terrain* ground) {
    bike_controls& c = b->controls;
    c.dab_progress = std::fmax(0, c.dab_progress - 4 * tick_length);
    if (b->crash_timer <= 0) {
        rider_feet_start(b, ground);
        return;
    }
    dBodyID rider = b->bodies[bike_body_rider];
    const bike_skeleton_spec& sk = b->spec.skeleton;
    double leg = (double)sk.thigh + sk.shin;
    vec hip[2] = {world_point(rider, skeleton_point(b, bike_skeleton_left_hip)),
                  world_point(rider, skeleton_point(b, bike_skeleton_right_hip))};
    vec down = body_axis(rider, 1) * -1;
    vec plane = hip[0] + down;  // 1 ft below the hips
    for (int i = 0; i < 2; i++) {
        bike_foot_particle& f = b->feet[i];
        vec p = to_vec(f.position), v = to_vec(f.velocity);
        if (!finite(p) || !finite(v)) {
            p = hip[i] + down * leg;
            v = vec{0, 0, 0};
        }
        p = p + v * tick_length;
        v.y -= gravity * tick_length;
        double floor = ground_height(ground, p.x, p.z) + 0.25;
        if (p.y < floor) {
            p.y = floor;
            v = vec{0, 0, 0};
        }
        v = v * 0.9375;
        // Within a leg's length of the hip.
        vec d = p - hip[i];
        double l = length(d);
        if (l >= leg && l > 0) {
            vec n = d * (1 / l);
            p = hip[i] + n * leg;
            v = v + n * (dot(point_velocity(rider, hip[i]), n) - dot(v, n));
        }
        // Below the hips.
        double above = dot(p - plane, down);
        if (above < 0) {
            p = p - down * above;
            v = v + down * (dot(point_velocity(rider, p), down) - dot(v, down));
        }
        if (!finite(p) || !finite(v)) continue;
        put(f.position, p);
        put(f.velocity, v);
    }
}
