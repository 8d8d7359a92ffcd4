// Ground deformation: sampling the wheels' pushes and digging the ruts.
#include "sim/ground.h"

#include <ode/ode.h>

#include <cmath>

#include "sim/bike.h"
#include "track/terrain.h"
#include "track/tile.h"

namespace {

// Pushes below this (squared, lbf^2) are not worth a sample.
constexpr double min_push_squared = 1.0 / 1024;

double clamp01(double v) { return v > 0 ? (v < 1 ? v : 1) : 0; }

// (v - lo) / (hi - lo) clamped to 0..1; a step at hi when the ends are equal.
double ramp(double v, double lo, double hi) {
    if (hi == lo) return v >= hi ? 1 : 0;
    return clamp01((v - lo) / (hi - lo));
}

int next(int position) { return (position + 1) % bike_deform_ring_size; }

bool valid_position(int p) { return p >= 0 && p < bike_deform_ring_size; }

}  // namespace

double deform_speed_ramp(const tile_erosion* e, double speed) {
    return ramp(speed, e->erode_off_speed, e->erode_on_speed);
}

double deform_displacement(const tile_erosion* e, double push) {
    return ramp(push, e->erode_lower, e->erode_upper) * e->erode_displacement;
}

int deform_pending(const bike_state* b) {
    if (!valid_position(b->deform_read) || !valid_position(b->deform_write)) return 0;
    return (b->deform_write - b->deform_read + bike_deform_ring_size) % bike_deform_ring_size;
}

void deform_record(bike_state* b, const terrain* t) {
    if (!t->heights) return;
    if (!valid_position(b->deform_read) || !valid_position(b->deform_write)) b->deform_read = b->deform_write = 0;
    for (const bike_wheel& w : b->wheels) {
        if (!(w.depth > 0) || !w.body) continue;
        if (next(b->deform_write) == b->deform_read) return;  // full: the sample is dropped
        float x = (float)w.contact_point[0], z = (float)w.contact_point[2];
        if (!std::isfinite(x) || !std::isfinite(z)) continue;
        const tile_erosion& e = terrain_tile(t, x, z)->erosion;
        const dReal* v = dBodyGetLinearVel(w.body);
        double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        double g = deform_speed_ramp(&e, speed);
        double fx = g * w.contact_feedback.f1[0], fz = g * w.contact_feedback.f1[2];
        double push2 = fx * fx + fz * fz;
        if (!std::isfinite(push2)) continue;
        bike_deform_sample& s = b->deform_ring[b->deform_write];
        s = bike_deform_sample{x, z, (float)fx, (float)fz};
        double lower = e.erode_lower;
        if (push2 > lower * lower && push2 > min_push_squared) b->deform_write = next(b->deform_write);
    }
}

int deform_apply(bike_state* b, terrain* t, double erosion) {
    if (!t->heights) return 0;
    if (!valid_position(b->deform_read) || !valid_position(b->deform_write)) b->deform_read = b->deform_write = 0;
    const dReal* frame = dBodyGetPosition(b->bodies[bike_body_frame]);
    int taken = 0;
    while (taken < deform_samples_per_tick && b->deform_read != b->deform_write) {
        const bike_deform_sample& s = b->deform_ring[b->deform_read];
        double dx = frame[0] - s.x, dz = frame[2] - s.z;
        // A frame position that is not finite never counts as having moved on.
        if (!(dx * dx + dz * dz > deform_wait_distance * deform_wait_distance)) break;
        b->deform_read = next(b->deform_read);
        taken++;

        const tile_erosion& e = terrain_tile(t, s.x, s.z)->erosion;
        double push = std::sqrt((double)s.force_x * s.force_x + (double)s.force_z * s.force_z);
        if (!(push > 0) || !std::isfinite(push)) continue;
        double d = deform_displacement(&e, push);
        // The dirt goes where the wheel pushed it: against the ground's force
        // on the wheel.
        double px = s.x - d * s.force_x / push, pz = s.z - d * s.force_z / push;
        double rise = (double)terrain_height(t, (float)px, (float)pz) - terrain_height(t, s.x, s.z);
        if (!(rise <= d * e.erode_max_slope)) continue;
        double amount = erosion / 2048 * e.erode_depth;
        if (!std::isfinite(amount) || amount == 0) continue;
        terrain_deform(t, s.x, s.z, e.erode_radius, (float)-amount);
        terrain_deform(t, (float)px, (float)pz, e.erode_radius, (float)amount);
    }
    return taken;
}

void deform_step(bike_state* b, terrain* t, double erosion) {
    if (!(erosion > 0)) return;
    deform_record(b, t);
    deform_apply(b, t, erosion);
}
