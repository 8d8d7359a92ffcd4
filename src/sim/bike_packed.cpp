// Replayed bikes: posing the seven bodies from recorded states, and pulling a
// simulated bike towards them.
#include <cmath>

#include "frame/game.h"
#include "sim/bike.h"
#include "sim/bike_pose.h"

using namespace bike_pose;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double pull_limit = 2500;  // lbf and lbf ft

double clamp(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }
// A finite value clamped to lo..hi; `fallback` when not finite.
double sane(double v, double lo, double hi, double fallback) { return std::isfinite(v) ? clamp(v, lo, hi) : fallback; }

vec rest(const bike_spec& s, int body) {
    double p[3];
    bike_rest_position(&s, body, p);
    return {p[0], p[1], p[2]};
}

// A recorded orientation, normalised; false when it is not finite or too far
// from unit length to mean anything (a zeroed or damaged record).
bool usable_quat(const double* in, quat* out) {
    quat q{in[0], in[1], in[2], in[3]};
    double n2 = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    if (!std::isfinite(n2) || n2 < 0.25) return false;
    double s = 1 / std::sqrt(n2);
    *out = quat{q.w * s, q.x * s, q.y * s, q.z * s};
    return true;
}

void current_poses(const bike_state* b, pose out[bike_body_count]) {
    for (int i = 0; i < bike_body_count; i++) out[i] = body_pose(b->bodies[i]);
}

// The seven poses a record describes; the frame or rider keep their pose in
// `now` when the record's values for them are unusable.
void poses_from_record(const bike_state* b, const bike_packed_fields* r, int format, const pose now[bike_body_count],
                       pose out[bike_body_count]) {
    const bike_spec& s = b->spec;
    vec frame_rest = rest(s, bike_body_frame);

    pose frame = now[bike_body_frame];
    quat q;
    vec p = to_vec(r->frame_position);
    if (finite(p) && usable_quat(r->frame_orientation, &q)) frame = pose{p, q};
    out[bike_body_frame] = frame;

    vec steer_axis;
    bike_steering_axis(&s, &steer_axis.x);
    double steer = sane(r->steering_angle, -pi / 4, pi / 4, 0);
    out[bike_body_fork_upper] = pose{body_point(frame, rest(s, bike_body_fork_upper) - frame_rest),
                                     frame.q * from_axis_angle(steer_axis, steer)};

    double alpha = sane(r->swingarm_angle, -(double)s.linkage.swingarm_travel, 0, 0);
    quat swing = from_axis_angle(vec{1, 0, 0}, alpha);
    vec pivot = to_vec(&s.swingarm_pivot.x);
    out[bike_body_swingarm] =
        pose{body_point(frame, pivot - frame_rest + rotate(swing, rest(s, bike_body_swingarm) - pivot)), frame.q * swing};

    const pose& upper = out[bike_body_fork_upper];
    double x = sane(r->fork_position, -(double)s.fork_travel, 0, 0);
    vec lower_rest = rest(s, bike_body_fork_lower);
    vec upper_rest = rest(s, bike_body_fork_upper);
    vec u = unit(lower_rest - upper_rest);
    out[bike_body_fork_lower] = pose{body_point(upper, lower_rest + u * x - upper_rest), upper.q};

    pose rider = now[bike_body_rider];
    if (format == 4) {
        double slide = sane(r->rider_slide, s.rider_slide.least, s.rider_slide.most, 0);
        vec d = unit(to_vec(&s.rider_slide_direction.x));
        rider = pose{body_point(frame, rest(s, bike_body_rider) + d * slide - frame_rest), frame.q};
    } else {
        vec offset = to_vec(r->rider_offset);
        if (finite(offset) && usable_quat(r->rider_orientation, &q)) rider = pose{frame.p + offset, q};
    }
    out[bike_body_rider] = rider;

    const pose& lower = out[bike_body_fork_lower];
    double front = sane(r->front_axle_angle, -1e6, 1e6, 0);
    out[bike_body_front_wheel] = pose{body_point(lower, rest(s, bike_body_front_wheel) - lower_rest),
                                      lower.q * from_axis_angle(vec{-1, 0, 0}, front)};
    const pose& arm = out[bike_body_swingarm];
    double rear = sane(r->rear_axle_angle, -1e6, 1e6, 0);
    out[bike_body_rear_wheel] = pose{body_point(arm, rest(s, bike_body_rear_wheel) - rest(s, bike_body_swingarm)),
                                     arm.q * from_axis_angle(vec{-1, 0, 0}, rear)};
}

void set_poses(bike_state* b, const pose poses[bike_body_count]) {
    for (int i = 0; i < bike_body_count; i++) set_body_pose(b->bodies[i], poses[i]);
}

// The rider status and the throttle and gear of a record.
void apply_status(bike_state* b, int status) {
    if (bike_status_rider_down(status)) {
        bike_rider_detach(b);
        b->controls.throttle = 0;
        b->crash_timer = (((status >> 4) & 15) * 127) / 15 + 1;
        return;
    }
    if (b->crash_timer > 0) {
        // Back on the bike: the mount is attached with the rider at its rest
        // pose, then the rider body goes back to where it was.
        dBodyID rider = b->bodies[bike_body_rider];
        pose was = body_pose(rider);
        vec v = to_vec(dBodyGetLinearVel(rider));
        vec w = to_vec(dBodyGetAngularVel(rider));
        bike_rider_to_rest(b);
        bike_rider_attach(b);
        set_body_pose(rider, was);
        dBodySetLinearVel(rider, v.x, v.y, v.z);
        dBodySetAngularVel(rider, w.x, w.y, w.z);
    }
    b->crash_timer = 0;
    int gear = status & 7;
    if (gear > 5) gear = 5;
    while (gear > 0 && !(b->spec.gear_ratio[gear] > 0)) gear--;
    b->controls.gear = gear;
    b->controls.throttle = ((status >> 4) & 15) / 15.0;
}

void apply_engine(bike_state* b, double rpm) { b->drivetrain.engine_speed = sane(rpm, -1e6, 1e6, 0) * 2 * pi / 60; }

double tick_span(double n) { return (std::isfinite(n) && n > 1 ? n : 1) * tick_length; }

void apply_frozen(bike_state* b, const bike_packed_fields* r, const bike_packed_fields* e,
                  const bike_packed_fields* l, double n, int format, bike_ground_height_fn ground) {
    pose now[bike_body_count], from[bike_body_count], to[bike_body_count], at[bike_body_count];
    current_poses(b, now);
    poses_from_record(b, e, format, now, from);
    poses_from_record(b, l, format, now, to);
    poses_from_record(b, r, format, now, at);
    set_poses(b, at);
    double span = tick_span(n);
    for (int i = 0; i < bike_body_count; i++) {
        vec v = (to[i].p - from[i].p) * (1 / span);
        vec w = rotation_between(from[i].q, to[i].q) * (1 / span);
        dBodySetLinearVel(b->bodies[i], v.x, v.y, v.z);
        dBodySetAngularVel(b->bodies[i], w.x, w.y, w.z);
    }
    apply_status(b, r->status);
    apply_engine(b, r->engine_rpm);

    if (ground) {
        const pose& frame = at[bike_body_frame];
        vec low = at[bike_body_rear_wheel].p + rotate(frame.q, vec{0, -b->spec.rear_wheel.ring_radius, 0});
        double h = ground(low.x, low.z);
        if (std::isfinite(h) && h > low.y) {
            const double raise[3] = {0, h - low.y, 0};
            bike_translate(b, raise);
        }
    }

    if (bike_status_rider_down(r->status) || (r->status & 8)) {
        double p = b->controls.dab_progress + 8 * tick_length;
        b->controls.dab_progress = p > 1 ? 1 : p;
    }
}

void apply_pull(bike_state* b, const bike_packed_fields* r, const bike_packed_fields* e,
                const bike_packed_fields* l, double n) {
    double a = b->activity;
    double k = 0, c = 0;
    if (a > 0.75) {
        k = c = 0;
    } else if (a > 0.5) {
        double s = clamp(4 * (0.75 - a), 0, 1);
        k = 5000 * s;
        c = 500 * s;
    } else {
        double s = clamp(2 * (0.5 - a), 0, 1);
        k = 5000 + 45000 * s;
        c = 500;
    }

    dBodyID frame_body = b->bodies[bike_body_frame];
    pose frame = body_pose(frame_body);
    quat target_q = frame.q;
    bool target_ok = usable_quat(r->frame_orientation, &target_q);
    vec target_p = to_vec(r->frame_position);
    vec u = (to_vec(l->frame_position) - to_vec(e->frame_position)) * (1 / tick_span(n));
    if (!finite(u)) u = vec{0, 0, 0};
    if ((k > 0 || c > 0) && target_ok && finite(target_p)) {
        vec force = (target_p - frame.p) * k - (to_vec(dBodyGetLinearVel(frame_body)) - u) * c;
        vec torque = rotation_between(frame.q, target_q) * k - to_vec(dBodyGetAngularVel(frame_body)) * c;
        force = limit_length(force, pull_limit);
        torque = limit_length(torque, pull_limit);
        dBodyAddForce(frame_body, force.x, force.y, force.z);
        dBodyAddTorque(frame_body, torque.x, torque.y, torque.z);
    }

    dJointID steering = b->joints[bike_joint_steering];
    double steer = sane(r->steering_angle, -pi / 4, pi / 4, 0);
    b->controls.steer =
        clamp(0.25 * (steer - dJointGetHingeAngle(steering) - dJointGetHingeAngleRate(steering)), -1, 1);

    apply_status(b, r->status);
    bool down = bike_status_rider_down(r->status);
    b->controls.dab = !down && (r->status & 8) ? 1 : 0;

    b->controls.lean = 0;
    vec offset = to_vec(r->rider_offset);
    if (!down && finite(offset)) {
        vec rest_offset = rest(b->spec, bike_body_rider) - rest(b->spec, bike_body_frame);
        double oy = dot(offset, rotate(target_q, vec{0, 1, 0}));
        double oz = dot(offset, rotate(target_q, vec{0, 0, 1}));
        b->controls.lean =
            clamp((rest_offset.y - oy) * (0.5 * b->controls.dab + 0.5) - (rest_offset.z - oz), -1, 1);
    }
    apply_engine(b, r->engine_rpm);
}

}  // namespace

bool bike_status_rider_down(int status) { return (status & 7) == 7; }

void bike_pose_from_packed(bike_state* b, const bike_packed_fields* record, int format) {
    pose now[bike_body_count], poses[bike_body_count];
    current_poses(b, now);
    poses_from_record(b, record, format == 4 ? 4 : 5, now, poses);
    set_poses(b, poses);
}

void bike_apply_packed(bike_state* b, const bike_packed_fields* r, const bike_packed_fields* e,
                       const bike_packed_fields* l, double n, int format, bike_ground_height_fn ground) {
    if (!b || !r) return;
    if (!e) e = r;
    if (!l) l = r;
    if (b->activity <= 0.25)
        apply_frozen(b, r, e, l, n, format == 4 ? 4 : 5, ground);
    else
        apply_pull(b, r, e, l, n);  // woken replayed bikes only ever get format 5
}
