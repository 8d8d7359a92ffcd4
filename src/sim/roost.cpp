// Roost: emitting the wheels' dirt and moving it.
#include "sim/roost.h"

#include <ode/ode.h>

#include <cmath>
#include <cstring>

#include "base/random.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/bike_pose.h"
#include "sim/contact.h"
#include "track/terrain.h"

using namespace bike_pose;

roost_pool g_roost;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double gravity = 32;  // ft/s^2

bool s_ready = false;

void ready() {
    if (!s_ready) roost_clear();
}

// (v - lo) / (hi - lo) clamped to 0..1; a step at hi when the ends are equal.
double ramp(double v, double lo, double hi) {
    if (hi == lo) return v >= hi ? 1 : 0;
    double f = (v - lo) / (hi - lo);
    return f > 0 ? (f < 1 ? f : 1) : 0;
}

// Uniform in -0.5..0.5.
double centred() { return random_unit() - 0.5; }

void release(int index) {
    roost_particle& p = g_roost.particles[index];
    if (!p.live) return;
    p.live = false;
    g_roost.free_list[g_roost.free_count++] = index;
}

bool finite_floats(const float* v, int n) {
    for (int k = 0; k < n; k++)
        if (!std::isfinite(v[k])) return false;
    return true;
}

enum { emit_empty = -1, emit_skipped = 0, emit_done = 1 };

// Takes a particle from the pool and starts it. A particle whose values would
// not be finite stays in the pool.
int emit(const roost_type& kind, vec position, vec velocity) {
    if (g_roost.free_count <= 0) return emit_empty;
    float pos[3] = {(float)position.x, (float)position.y, (float)position.z};
    float vel[3] = {(float)velocity.x, (float)velocity.y, (float)velocity.z};
    if (!finite_floats(pos, 3) || !finite_floats(vel, 3) || !std::isfinite(kind.size)) return emit_skipped;
    int index = g_roost.free_list[--g_roost.free_count];
    roost_particle& p = g_roost.particles[index];
    memcpy(p.position, pos, sizeof pos);
    memcpy(p.velocity, vel, sizeof vel);
    p.size = kind.size;
    p.colour[0] = kind.r;
    p.colour[1] = kind.g;
    p.colour[2] = kind.b;
    p.colour[3] = kind.a;
    p.kind = kind;
    p.live = true;
    return emit_done;
}

// How many particles of a kind this tick: the whole part of its count, plus
// one with the probability of the fraction; at most `limit`.
int kind_count(float count, int limit) {
    if (!(count > 0)) return 0;
    if (count >= (float)limit) return limit;
    int n = (int)count;
    double fraction = (double)count - n;
    if (fraction > 0 && random_unit() < fraction) n++;
    return n < limit ? n : limit;
}

// Spray: fans to both sides of the wheel's path, up from the ground.
// Returns false when the pool ran dry.
bool emit_spray(const bike_wheel& w, const roost_type& kind, int n, int tick, int* emitted) {
    vec normal = to_vec(w.contact_normal), point = to_vec(w.contact_point);
    vec v = to_vec(dBodyGetLinearVel(w.body));
    vec tangential = v - normal * dot(v, normal);
    double speed = length(tangential);
    if (!(speed >= roost_min_spray_speed) || !std::isfinite(speed)) return true;  // no direction to spray in
    vec along = tangential * (1 / speed);
    vec side = cross(normal, along);
    double scale = speed / std::sqrt(2.0);
    vec directions[2] = {(normal + side) * scale, (normal - side) * scale};
    for (int i = 0; i < n; i++) {
        double tau = i * tick_length / n;
        vec d = directions[((tick ^ i) & 1) == 0 ? 0 : 1];
        double r1 = centred(), r2 = centred(), r3 = centred(), r4 = random_unit();
        vec position = point + d * tau;
        vec velocity = (d + vec{r1, r2, r3} * kind.randomize) * (kind.vscale * r4);
        int result = emit(kind, position, velocity);
        if (result == emit_empty) return false;
        *emitted += result;
    }
    return true;
}

// Tyre roost: leaves the tread just behind the contact patch, turned about
// the axle the way the wheel spins, with the tread's speed there.
bool emit_roost(const bike_wheel& w, const roost_type& kind, int n, int* emitted) {
    vec slip = to_vec(w.contact_velocity);
    double slip_speed = length(slip);
    if (!(slip_speed >= kind.slip_threshold)) return true;
    dBodyID body = w.body;
    vec v = to_vec(dBodyGetLinearVel(body));
    vec spin = to_vec(dBodyGetAngularVel(body));
    const dReal* m = dBodyGetRotation(body);
    vec axle = unit(vec{m[0], m[4], m[8]});
    double arc;
    if (dot(slip, v) >= 0) {
        arc = pi / 64;  // the tread slides the way the wheel goes: a skid, not a spin
    } else {
        double lo = kind.slow_speed, hi = kind.fast_speed;
        arc = kind.slow_angle + ((double)kind.fast_angle - kind.slow_angle) * ramp(dot(spin, spin), lo * lo, hi * hi);
    }
    if (!(arc > 0)) arc = 0;
    if (arc > 2 * pi) arc = 2 * pi;
    // Turning with the spin carries the contact point backwards, to where the
    // tread has just left the ground.
    vec k = dot(spin, axle) < 0 ? axle * -1.0 : axle;
    vec centre = to_vec(dBodyGetPosition(body));
    vec offset = to_vec(w.contact_point) - centre;
    for (int i = 0; i < n; i++) {
        double tau = i * tick_length / n;
        double theta = random_unit() * arc;
        double c = std::cos(theta), s = std::sin(theta);
        vec turned = offset * c + cross(k, offset) * s + k * (dot(k, offset) * (1 - c));
        vec point = centre + turned;
        dVector3 u;
        dBodyGetPointVel(body, point.x, point.y, point.z, u);
        vec tread = to_vec(u);
        double r1 = centred(), r2 = centred(), r3 = centred();
        vec position = point + tread * tau;
        vec velocity = (tread + vec{r1, r2, r3} * kind.randomize) * kind.vscale;
        int result = emit(kind, position, velocity);
        if (result == emit_empty) return false;
        *emitted += result;
    }
    return true;
}

}  // namespace

void roost_clear() {
    for (int i = 0; i < roost_pool_size; i++) {
        g_roost.particles[i].live = false;
        // Handed out from the end: particle 0 first.
        g_roost.free_list[i] = roost_pool_size - 1 - i;
    }
    g_roost.free_count = roost_pool_size;
    s_ready = true;
}

int roost_live_count() {
    ready();
    return roost_pool_size - g_roost.free_count;
}

int roost_per_tick(int frequency) {
    if (frequency < 0) frequency = 0;
    if (frequency > 1000) frequency = 1000;
    int n = frequency / 100;
    int rest = frequency % 100;
    if (rest > 0 && (int)(random_next() % 100) < rest) n++;
    return n;
}

int roost_emit(bike_state* bike, const terrain* t, bool simulated, int tick, int frequency) {
    ready();
    if (!t || !t->heights) return 0;
    int limit = roost_per_tick(frequency);
    if (limit == 0) return 0;
    int emitted = 0;
    for (int k = 0; k < bike_wheel_count; k++) {
        const bike_wheel& w = bike->wheels[k];
        if (!w.body) continue;
        if (!simulated) contact_wheel_query(bike, k, t);
        if (!(w.depth > 0)) continue;
        const tile* surface = terrain_tile(t, (float)w.contact_point[0], (float)w.contact_point[2]);
        for (const roost_type& kind : surface->roost) {
            if (kind.kind == roost_none) break;
            int n = kind_count(kind.count, limit);
            if (n == 0) continue;
            bool room = kind.kind == roost_splash ? emit_spray(w, kind, n, tick, &emitted) : emit_roost(w, kind, n, &emitted);
            if (!room) return emitted;
        }
    }
    return emitted;
}

void roost_update(const terrain* t) {
    ready();
    if (g_roost.free_count == roost_pool_size) return;
    bool ground = t && t->heights;
    const float h = (float)tick_length;
    for (int i = 0; i < roost_pool_size; i++) {
        roost_particle& p = g_roost.particles[i];
        if (!p.live) continue;
        if (!ground) {
            release(i);
            continue;
        }
        for (int k = 0; k < 3; k++) p.position[k] += p.velocity[k] * h;
        float drag = p.kind.drag > 0 ? p.kind.drag : 0;  // a negative drag would speed the dirt up
        float keep = std::exp(-h * drag);
        for (float& v : p.velocity) v *= keep;
        p.velocity[1] -= (float)gravity * h;
        p.size += p.kind.grow * h;
        const int8_t* fade = &p.kind.fade_r;
        for (int c = 0; c < 4; c++) {
            int v = p.colour[c] + fade[c];
            p.colour[c] = (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
        if (!finite_floats(p.position, 3) || !finite_floats(p.velocity, 3) || !std::isfinite(p.size)) {
            release(i);
            continue;
        }
        if (p.velocity[1] < 0 && p.position[1] < terrain_height(t, p.position[0], p.position[2])) release(i);
    }
}
