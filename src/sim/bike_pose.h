// Small vector and quaternion helpers for placing the bike's bodies, shared
// by bike.cpp and bike_packed.cpp. Quaternions are (w, x, y, z) as in ODE.
#pragma once

#include <ode/ode.h>

#include <cmath>

namespace bike_pose {

struct vec {
    double x, y, z;
};
struct quat {
    double w, x, y, z;
};
struct pose {
    vec p;
    quat q;
};

inline vec operator+(vec a, vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec operator-(vec a, vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec operator*(vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(vec a, vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec cross(vec a, vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(vec a) { return std::sqrt(dot(a, a)); }
inline bool finite(vec a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
// The unit vector along a; (0, 0, 0) for a zero vector.
inline vec unit(vec a) {
    double l = length(a);
    return l > 0 ? a * (1 / l) : vec{0, 0, 0};
}
// Shortened to at most `limit` long.
inline vec limit_length(vec a, double limit) {
    double l = length(a);
    return l > limit ? a * (limit / l) : a;
}

inline vec to_vec(const dReal* v) { return {v[0], v[1], v[2]}; }
inline vec to_vec(const float* v) { return {v[0], v[1], v[2]}; }

inline quat operator*(quat a, quat b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
inline quat conj(quat q) { return {q.w, -q.x, -q.y, -q.z}; }
inline quat identity() { return {1, 0, 0, 0}; }
// Rotation by angle about a unit axis (right-handed).
inline quat from_axis_angle(vec axis, double angle) {
    double s = std::sin(angle / 2);
    return {std::cos(angle / 2), axis.x * s, axis.y * s, axis.z * s};
}
inline vec rotate(quat q, vec v) {
    vec u{q.x, q.y, q.z};
    vec t = cross(u, v) * 2;
    return v + t * q.w + cross(u, t);
}
inline quat to_quat(const dReal* q) { return {q[0], q[1], q[2], q[3]}; }

// The world position of a point given in a pose's coordinates.
inline vec body_point(const pose& b, vec local) { return b.p + rotate(b.q, local); }

// The rotation vector (unit axis times angle 0..pi, world coordinates) that
// turns orientation `from` into `to`; zero when they are equal.
inline vec rotation_between(quat from, quat to) {
    quat d = to * conj(from);
    if (d.w < 0) d = {-d.w, -d.x, -d.y, -d.z};
    vec v{d.x, d.y, d.z};
    double s = length(v);
    if (!(s > 1e-12)) return {0, 0, 0};
    double angle = 2 * std::atan2(s, d.w);
    return v * (angle / s);
}

inline pose body_pose(dBodyID b) { return {to_vec(dBodyGetPosition(b)), to_quat(dBodyGetQuaternion(b))}; }
inline void set_body_pose(dBodyID b, const pose& p) {
    dBodySetPosition(b, p.p.x, p.p.y, p.p.z);
    dQuaternion q = {p.q.w, p.q.x, p.q.y, p.q.z};
    dBodySetQuaternion(b, q);
}

}  // namespace bike_pose
