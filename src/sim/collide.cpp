// Collisions of bikes with track objects and with each other: sphere pairs,
// tyre proxy spheres, part bits and the collision hold counters.
#include "sim/collide.h"

#include <ode/ode.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "frame/game.h"
#include "sim/bike.h"
#include "sim/bike_pose.h"
#include "sim/shape.h"
#include "sim/world.h"

using namespace bike_pose;

collide_counters g_collide_counters;

void collide_counters_clear() { memset(&g_collide_counters, 0, sizeof g_collide_counters); }

namespace {

// Centres closer than this count as coinciding: the direction between them
// would be rounding noise.
constexpr double coincide = 1e-9;  // ft
// A sphere centre whose offset from the wheel centre, square to the axle, is
// shorter than this times the ring radius lies on the axle line.
constexpr double on_axle = 1e-6;
// Projections from one ring to the other and back when two tyres meet.
constexpr int ring_iterations = 4;
// Ring points used for a sphere centred on the axle line.
constexpr int trial_count = 4;

inline bool finite_number(double v) { return std::isfinite(v); }

vec body_position(dBodyID b) { return to_vec(dBodyGetPosition(b)); }

vec point_velocity(dBodyID b, vec p) {
    if (!b) return {0, 0, 0};
    dVector3 v;
    dBodyGetPointVel(b, p.x, p.y, p.z, v);
    vec r{v[0], v[1], v[2]};
    return finite(r) ? r : vec{0, 0, 0};
}

void put(double out[3], vec v) { out[0] = v.x, out[1] = v.y, out[2] = v.z; }

bool finite_array(const double* v, int n) {
    for (int i = 0; i < n; i++)
        if (!finite_number(v[i])) return false;
    return true;
}

// Rotation (dMatrix3 layout) times a vector.
vec rotate_by(const double* m, vec v) {
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[4] * v.x + m[5] * v.y + m[6] * v.z,
            m[8] * v.x + m[9] * v.y + m[10] * v.z};
}

void make_joint(dBodyID body_a, dBodyID body_b, vec point, vec normal, double depth, double mu, double stiffness,
                double damping) {
    if (!g_world || !g_contact_group) return;
    double hk = tick_length * stiffness;
    double soft = hk + damping;
    // Neither stiffness nor damping: nothing to push with.
    if (!(soft > 0) || !finite_number(soft)) return;
    dContact c;
    memset(&c, 0, sizeof c);
    c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    c.surface.mu = mu > 0 ? mu : 0;
    c.surface.soft_erp = hk / soft;
    c.surface.soft_cfm = 1 / soft;
    c.geom.depth = depth;
    put(c.geom.pos, point);
    // The joint's first body is pushed along its normal: B along n, or A
    // against it when B is the static world.
    dBodyID first = body_b, second = body_a;
    vec n = normal;
    if (!first) {
        first = body_a;
        second = nullptr;
        n = normal * -1.0;
    }
    put(c.geom.normal, n);
    dJointID j = dJointCreateContact(g_world, g_contact_group, &c);
    dJointAttach(j, first, second);
    g_collide_counters.joints++;
}

void apply_force(dBodyID body_a, dBodyID body_b, vec point, vec normal, double depth, double stiffness,
                 double damping) {
    vec va = point_velocity(body_a, point), vb = point_velocity(body_b, point);
    double f = (dot(va, normal) - dot(vb, normal)) * damping + depth * stiffness;
    if (!finite_number(f)) return;
    f = f < -collide_max_force ? -collide_max_force : (f > collide_max_force ? collide_max_force : f);
    vec push = normal * f;
    if (body_b && dBodyIsEnabled(body_b)) dBodyAddForceAtPos(body_b, push.x, push.y, push.z, point.x, point.y, point.z);
    if (body_a && dBodyIsEnabled(body_a))
        dBodyAddForceAtPos(body_a, -push.x, -push.y, -push.z, point.x, point.y, point.z);
    g_collide_counters.forces++;
    if (std::fabs(f) > g_collide_counters.largest_force) g_collide_counters.largest_force = std::fabs(f);
}

// --- Parts ------------------------------------------------------------------------------------

double bounding_radius(const shape_instance* s) { return s->shape ? s->shape->bounding_radius : 0; }

bool part_finite(const collide_part* p) {
    if (!p->position || !p->rotation || !finite_array(p->position, 3)) return false;
    // The three rows; the fourth entry of each is padding.
    return finite_array(p->rotation, 3) && finite_array(p->rotation + 4, 3) && finite_array(p->rotation + 8, 3);
}

// A wheel where it stands: centre, unit axle, radii and the fixed ring
// offsets used for a sphere on the axle line.
struct tyre {
    dBodyID body;
    vec centre;
    vec axle;
    double ring;     // R
    double section;  // r
    vec trial[trial_count];
};

bool make_tyre(const collide_part* p, tyre* t) {
    const bike_wheel* w = p->wheel;
    t->body = p->body;
    t->centre = to_vec(p->position);
    vec local = to_vec(w->axle);
    t->axle = unit(rotate_by(p->rotation, local));
    t->ring = w->ring_radius;
    t->section = w->section_radius;
    if (!(length(t->axle) > 0.5) || !(t->ring > 0) || !(t->section > 0) || !finite_number(t->ring + t->section))
        return false;
    // Two directions square to the axle, fixed in the wheel body.
    vec other = std::fabs(local.x) < 0.6 ? vec{1, 0, 0} : vec{0, 1, 0};
    vec u = unit(cross(unit(local), other));
    vec v = cross(unit(local), u);
    vec dirs[trial_count] = {u, v, u * -1.0, v * -1.0};
    for (int i = 0; i < trial_count; i++) t->trial[i] = rotate_by(p->rotation, dirs[i]) * t->ring;
    return true;
}

// The point of the ring nearest to p; false (and nothing written) when p
// lies on the axle line.
bool ring_point(const tyre& t, vec p, vec* out) {
    vec o = p - t.centre;
    o = o - t.axle * dot(o, t.axle);
    double l = length(o);
    if (!(l >= on_axle * t.ring) || !finite_number(l)) return false;
    *out = t.centre + o * (t.ring / l);
    return true;
}

collide_sphere tyre_sphere(const tyre& t, vec at) {
    collide_sphere s;
    put(s.centre, at);
    s.radius = t.section;
    s.friction = collide_tyre_friction;
    s.stiffness = collide_tyre_stiffness;
    s.damping = collide_tyre_damping;
    return s;
}

collide_sphere shape_sphere_at(const shape_instance* s, int i) {
    collide_sphere c;
    memcpy(c.centre, s->world[i], sizeof c.centre);
    const shape_sphere& p = s->spheres[i];
    c.radius = p.radius;
    c.friction = p.friction;
    c.stiffness = p.stiffness;
    c.damping = p.damping;
    return c;
}

// Whether two spheres may touch: the very test collide_sphere_pair starts
// with, so that a pair it fails is counted as measured and skipped without
// building the two spheres.
inline bool spheres_may_touch(const double* ca, double ra, const double* cb, double rb) {
    vec d = to_vec(cb) - to_vec(ca);
    double sum = ra + rb;
    return dot(d, d) < sum * sum;
}

// Keeps the deeper of two contacts.
struct deepest_keeper {
    collide_contact best;
    bool any = false;
    void offer(const collide_contact& c) {
        if (!any || c.depth > best.depth) best = c, any = true;
    }
};

// Pairs two spheres, keeping the deepest contact.
bool pair(dBodyID body_a, const collide_sphere& a, dBodyID body_b, const collide_sphere& b, int mode,
          deepest_keeper* keep) {
    collide_contact c;
    if (!collide_sphere_pair(body_a, &a, body_b, &b, mode, &c)) return false;
    keep->offer(c);
    return true;
}

// A wheel's contact into its wheel record, when the wheel has no contact
// yet. `wheel_first`: the wheel was the first sphere, so the contact's
// normal points away from it.
void wheel_record(bike_wheel* w, const collide_contact& c, bool wheel_first) {
    if (w->depth != 0) return;
    vec n = to_vec(c.normal);
    if (wheel_first) n = n * -1.0;
    vec p = to_vec(c.point);
    if (!finite(n) || !finite(p) || !(c.depth > 0)) return;
    put(w->contact_point, p);
    put(w->contact_velocity, point_velocity(w->body, p));
    put(w->contact_normal, n);
    w->depth = c.depth;
    memset(&w->contact_feedback, 0, sizeof w->contact_feedback);
}

// A part made ready for the tests of one tick: a wheel's tyre is made once,
// a shape is placed once (when a test first needs its spheres), whatever
// number of parts it is tested against. The bodies must not move while it
// is in use.
struct ready_part {
    collide_part part;
    bool present;   // a usable part (collide_bike_part, or the checks of collide_parts)
    bool tyre_made; // a wheel's tyre has been tried (ready_tyre)
    bool tyre_ok;   // a wheel whose tyre could be made
    bool placed;    // a shape whose world positions are filled
    double reach;   // how far a shape's spheres reach from its position (+ slack); -1 none, -2 not found yet
    // A box around all the part's spheres (a tyre's: every proxy sphere it
    // could make), + slack; `boxed` false when it could not be had.
    bool boxed;
    double lo[3], hi[3];
    vec centre;     // the part's position
    double bound;   // its bounding radius: a tyre's outer radius, a shape's from its file
    tyre t;         // a wheel's tyre
};

// Slack on the reach and the box of a part, so that rounding can never make
// the rejections below reject a pair of spheres that would touch.
constexpr double reach_slack = 1e-6;  // ft

void make_ready(const collide_part& part, ready_part* r) {
    r->part = part;
    r->present = true;
    r->placed = false;
    r->reach = -2;
    r->boxed = false;
    r->centre = to_vec(part.position);
    r->bound = part.wheel ? part.wheel->ring_radius + part.wheel->section_radius : bounding_radius(part.shape);
    r->tyre_made = false;
    r->tyre_ok = false;
}

// A wheel's tyre (and its box), made when a test first needs it. False when
// it cannot be made.
bool ready_tyre(ready_part* r) {
    if (r->tyre_made) return r->tyre_ok;
    r->tyre_made = true;
    r->tyre_ok = r->part.wheel && make_tyre(&r->part, &r->t);
    if (r->tyre_ok) {
        // The ring reaches R sqrt(1 - a_k^2) from the centre along axis k.
        const tyre& t = r->t;
        const double a[3] = {t.axle.x, t.axle.y, t.axle.z};
        const double c[3] = {t.centre.x, t.centre.y, t.centre.z};
        for (int k = 0; k < 3; k++) {
            double square = 1 - a[k] * a[k];
            double half = t.ring * std::sqrt(square > 0 ? square : 0) + t.section + reach_slack;
            r->lo[k] = c[k] - half;
            r->hi[k] = c[k] + half;
        }
        r->boxed = finite_array(r->lo, 3) && finite_array(r->hi, 3);
    }
    return r->tyre_ok;
}

void place(ready_part* r) {
    if (r->placed) return;
    const shape_instance* s = r->part.shape;
    shape_instance_place(r->part.shape, r->part.position, r->part.rotation);
    r->placed = true;
    double lo[3], hi[3];
    for (int k = 0; k < 3; k++) lo[k] = hi[k] = r->part.position[k];
    // A NaN compares false both ways and would be passed over below: the box
    // is only trusted when every sphere is finite (their sum is).
    double sum = 0;
    for (int i = 0; i < s->count; i++) {
        const double* c = s->world[i];
        double radius = s->spheres[i].radius;
        sum += c[0] + c[1] + c[2] + radius;
        for (int k = 0; k < 3; k++) {
            lo[k] = c[k] - radius < lo[k] ? c[k] - radius : lo[k];
            hi[k] = c[k] + radius > hi[k] ? c[k] + radius : hi[k];
        }
    }
    for (int k = 0; k < 3; k++) r->lo[k] = lo[k] - reach_slack, r->hi[k] = hi[k] + reach_slack;
    r->boxed = finite_number(sum) && finite_array(r->lo, 3) && finite_array(r->hi, 3);
}

// The reach of a placed shape, worked out when first needed.
void find_reach(ready_part* r) {
    if (r->reach != -2) return;
    const shape_instance* s = r->part.shape;
    vec p = to_vec(r->part.position);
    double reach = 0;
    for (int i = 0; i < s->count; i++) {
        double l = length(to_vec(s->world[i]) - p) + s->spheres[i].radius;
        if (l > reach) reach = l;
        if (!std::isfinite(l)) {
            r->reach = -1;  // the rejection then never applies
            return;
        }
    }
    r->reach = reach + reach_slack;
}

// Whether two parts lie further apart than their bounding radii reach: the
// first test of every part pair (shape_shape, wheel_shape, wheel_wheel)
// rejects them then, with nothing measured. With slack for the different
// order those tests add the radii in.
inline bool bounds_apart(const ready_part& a, const ready_part& b) {
    vec d = b.centre - a.centre;
    double reach = a.bound + b.bound + reach_slack;
    return dot(d, d) > reach * reach;
}

// Whether the boxes of two parts lie apart: then no sphere of one touches a
// sphere of the other.
inline bool boxes_apart(const ready_part& a, const ready_part& b) {
    if (!a.boxed || !b.boxed) return false;
    for (int k = 0; k < 3; k++)
        if (a.hi[k] < b.lo[k] || b.hi[k] < a.lo[k]) return true;
    return false;
}

// Whether a sphere's box lies apart from a part's box (which must be had).
inline bool sphere_outside_box(const double* centre, double radius, const ready_part& r) {
    for (int k = 0; k < 3; k++)
        if (centre[k] + radius < r.lo[k] || r.hi[k] < centre[k] - radius) return true;
    return false;
}

// Whether a sphere lies clear of every sphere of a placed shape: further
// from the shape's position than its reach plus its own radius.
inline bool clear_of(const double* centre, double radius, const ready_part& r) {
    if (!(r.reach >= 0)) return false;
    vec d = to_vec(centre) - to_vec(r.part.position);
    double limit = radius + r.reach;
    return dot(d, d) > limit * limit;
}

// The number of proxy spheres the tyre pairs with a sphere centred at p:
// 1 on the ring point nearest to it, 4 for a centre on the axle line (the
// test of ring_point, without the square root when p is well off the line).
int proxy_count(const tyre& t, vec p) {
    vec o = p - t.centre;
    o = o - t.axle * dot(o, t.axle);
    double l2 = dot(o, o);
    double clear = 2 * on_axle * t.ring;
    if (l2 >= clear * clear && finite_number(l2)) return 1;
    double l = std::sqrt(l2);
    return !(l >= on_axle * t.ring) || !finite_number(l) ? trial_count : 1;
}

bool shape_shape(ready_part* ra, ready_part* rb, int mode, deepest_keeper* keep) {
    const collide_part* a = &ra->part;
    const collide_part* b = &rb->part;
    vec d = to_vec(b->position) - to_vec(a->position);
    double reach = bounding_radius(a->shape) + bounding_radius(b->shape);
    if (!(dot(d, d) < reach * reach)) return false;
    place(ra);
    place(rb);
    const shape_instance* sa = a->shape;
    const shape_instance* sb = b->shape;
    if (boxes_apart(*ra, *rb)) {
        // Every pair measured would miss.
        g_collide_counters.sphere_pairs += (long long)sa->count * sb->count;
        return false;
    }
    find_reach(ra);
    find_reach(rb);
    // Only b's spheres within a's reach can touch any of a's; a sphere of a
    // clear of all of b touches none. The pairs passed over still count as
    // measured, and those left are tested in the same order as all would be.
    int near[shape_max_spheres];
    int near_count = 0;
    bool all_near = true;
    if (sb->count <= shape_max_spheres) {
        for (int j = 0; j < sb->count; j++)
            if (!clear_of(sb->world[j], sb->spheres[j].radius, *ra)) near[near_count++] = j;
        all_near = near_count == sb->count;
    } else {
        near_count = sb->count;
    }
    bool touched = false;
    for (int i = 0; i < sa->count; i++) {
        const double* ca = sa->world[i];
        double radius = sa->spheres[i].radius;
        if (near_count == 0 || clear_of(ca, radius, *rb)) {
            g_collide_counters.sphere_pairs += sb->count;
            continue;
        }
        g_collide_counters.sphere_pairs += sb->count - near_count;
        for (int n = 0; n < (all_near ? sb->count : near_count); n++) {
            int j = all_near ? n : near[n];
            if (!spheres_may_touch(ca, radius, sb->world[j], sb->spheres[j].radius)) {
                g_collide_counters.sphere_pairs++;
                continue;
            }
            touched |= pair(a->body, shape_sphere_at(sa, i), b->body, shape_sphere_at(sb, j), mode, keep);
        }
    }
    return touched;
}

// The tyre of `rw` against the shape of `rs`; the wheel is the first sphere
// of each pair when `wheel_first`.
bool wheel_shape(ready_part* rw, ready_part* rs, bool wheel_first, int mode, deepest_keeper* keep) {
    if (!ready_tyre(rw)) return false;
    const tyre& t = rw->t;
    const collide_part* w = &rw->part;
    const collide_part* s = &rs->part;
    vec d = to_vec(s->position) - t.centre;
    double reach = t.ring + t.section + bounding_radius(s->shape);
    if (!(dot(d, d) < reach * reach)) return false;
    place(rs);
    const shape_instance* shape = s->shape;
    if (boxes_apart(*rw, *rs)) {
        for (int i = 0; i < shape->count; i++)
            g_collide_counters.sphere_pairs += proxy_count(t, to_vec(shape->world[i]));
        return false;
    }
    bool touched = false;
    for (int i = 0; i < shape->count; i++) {
        const double* centre = shape->world[i];
        double radius = shape->spheres[i].radius;
        if (rw->boxed && sphere_outside_box(centre, radius, *rw)) {
            // No proxy sphere of the tyre reaches it.
            g_collide_counters.sphere_pairs += proxy_count(t, to_vec(centre));
            continue;
        }
        vec at;
        vec points[trial_count];
        int n = 0;
        if (ring_point(t, to_vec(centre), &at)) {
            points[n++] = at;
        } else {
            for (int k = 0; k < trial_count; k++) points[n++] = t.centre + t.trial[k];
        }
        for (int k = 0; k < n; k++) {
            double proxy_centre[3];
            put(proxy_centre, points[k]);
            bool may = wheel_first ? spheres_may_touch(proxy_centre, t.section, centre, radius)
                                   : spheres_may_touch(centre, radius, proxy_centre, t.section);
            if (!may) {
                g_collide_counters.sphere_pairs++;
                continue;
            }
            collide_sphere ss = shape_sphere_at(shape, i);
            collide_sphere proxy = tyre_sphere(t, points[k]);
            if (wheel_first)
                touched |= pair(w->body, proxy, s->body, ss, mode, keep);
            else
                touched |= pair(s->body, ss, w->body, proxy, mode, keep);
        }
    }
    return touched;
}

bool wheel_wheel(ready_part* ra, ready_part* rb, int mode, deepest_keeper* keep) {
    if (!ready_tyre(ra) || !ready_tyre(rb)) return false;
    const tyre& ta = ra->t;
    const tyre& tb = rb->t;
    vec d = tb.centre - ta.centre;
    double reach = ta.ring + ta.section + tb.ring + tb.section;
    if (!(dot(d, d) < reach * reach)) return false;
    if (boxes_apart(*ra, *rb)) {
        g_collide_counters.sphere_pairs++;
        return false;
    }
    // From the point of a's ring nearest to b's centre (any fixed ring point
    // when b's centre lies on a's axle line), alternately to the nearest
    // point of the other ring: this settles on the pair of ring points
    // nearest to each other.
    vec pa, pb;
    if (!ring_point(ta, tb.centre, &pa)) pa = ta.centre + ta.trial[0];
    if (!ring_point(tb, pa, &pb)) pb = tb.centre + tb.trial[0];
    for (int k = 0; k < ring_iterations; k++) {
        vec next;
        if (ring_point(ta, pb, &next)) pa = next;
        if (ring_point(tb, pa, &next)) pb = next;
    }
    return pair(ra->part.body, tyre_sphere(ta, pa), rb->part.body, tyre_sphere(tb, pb), mode, keep);
}

// collide_parts for two ready parts that passed its checks.
bool ready_parts(ready_part* a, ready_part* b, int mode, collide_contact* deepest) {
    deepest_keeper keep;
    bool touched;
    if (a->part.wheel && b->part.wheel)
        touched = wheel_wheel(a, b, mode, &keep);
    else if (a->part.wheel)
        touched = wheel_shape(a, b, true, mode, &keep);
    else if (b->part.wheel)
        touched = wheel_shape(b, a, false, mode, &keep);
    else
        touched = shape_shape(a, b, mode, &keep);
    if (!touched || !keep.any) return false;

    if (mode != collide_mode_test) {
        if (a->part.wheel) wheel_record(a->part.wheel, keep.best, true);
        if (b->part.wheel) wheel_record(b->part.wheel, keep.best, false);
    }
    if (deepest) *deepest = keep.best;
    return true;
}

}  // namespace

// --- Spheres --------------------------------------------------------------------------------------

bool collide_sphere_pair(dBodyID body_a, const collide_sphere* a, dBodyID body_b, const collide_sphere* b, int mode,
                         collide_contact* contact) {
    g_collide_counters.sphere_pairs++;
    vec ca = to_vec(a->centre), cb = to_vec(b->centre);
    vec d = cb - ca;
    double sum = a->radius + b->radius;
    double l2 = dot(d, d);
    if (!(l2 < sum * sum) || !finite(ca) || !finite(cb) || !(a->radius > 0) || !(b->radius > 0)) return false;
    g_collide_counters.touches++;

    double l = std::sqrt(l2);
    vec n;
    if (l > coincide) {
        n = d * (1 / l);
    } else {
        // Coinciding centres: apart along the line between the bodies, or up.
        vec pa = body_a ? body_position(body_a) : ca;
        vec pb = body_b ? body_position(body_b) : cb;
        vec e = pb - pa;
        double le = length(e);
        n = le > coincide && finite_number(le) ? e * (1 / le) : vec{0, 1, 0};
        l = 0;
    }
    double depth = sum - l;
    vec point = ca + n * (a->radius - depth / 2);
    double mu = a->friction < b->friction ? a->friction : b->friction;
    double k = a->stiffness < b->stiffness ? a->stiffness : b->stiffness;
    double c = a->damping < b->damping ? a->damping : b->damping;

    if (contact) {
        put(contact->point, point);
        put(contact->velocity, point_velocity(body_a, point));
        put(contact->normal, n);
        contact->depth = depth;
        memset(&contact->feedback, 0, sizeof contact->feedback);
    }
    bool two = body_a || body_b;
    if (!two || body_a == body_b) return true;
    if (mode == collide_mode_joint)
        make_joint(body_a, body_b, point, n, depth, mu, k, c);
    else if (mode == collide_mode_force)
        apply_force(body_a, body_b, point, n, depth, k, c);
    return true;
}

// --- Parts ----------------------------------------------------------------------------------------

collide_part collide_solid(shape_instance* shape, dBodyID body, const double position[3], const double rotation[12]) {
    collide_part p;
    p.body = body;
    p.shape = shape;
    p.wheel = nullptr;
    p.position = position;
    p.rotation = rotation;
    return p;
}

bool collide_bike_part(bike_state* bike, int body, collide_part* part) {
    dBodyID b = bike->bodies[body];
    if (!b) return false;
    part->body = b;
    part->position = dBodyGetPosition(b);
    part->rotation = dBodyGetRotation(b);
    part->shape = nullptr;
    part->wheel = nullptr;
    if (body == bike_body_front_wheel || body == bike_body_rear_wheel) {
        bike_wheel* w = &bike->wheels[body == bike_body_front_wheel ? bike_wheel_front : bike_wheel_rear];
        if (w->body != b || !(w->ring_radius > 0) || !(w->section_radius > 0)) return false;
        part->wheel = w;
    } else {
        part->shape = bike->shapes[body];
        if (!part->shape || part->shape->count <= 0) return false;
    }
    return part_finite(part);
}

bool collide_parts(const collide_part* a, const collide_part* b, int mode, collide_contact* deepest) {
    if (a->body && a->body == b->body) return false;
    if (!part_finite(a) || !part_finite(b)) return false;
    if (!a->wheel && (!a->shape || a->shape->count <= 0)) return false;
    if (!b->wheel && (!b->shape || b->shape->count <= 0)) return false;
    ready_part ra, rb;
    make_ready(*a, &ra);
    make_ready(*b, &rb);
    return ready_parts(&ra, &rb, mode, deepest);
}

bool collide_shape_shape(shape_instance* shape_a, dBodyID body_a, const double position_a[3],
                         const double rotation_a[12], shape_instance* shape_b, dBodyID body_b,
                         const double position_b[3], const double rotation_b[12], int mode) {
    if (!shape_a || !shape_b) return false;
    collide_part a = collide_solid(shape_a, body_a, position_a, rotation_a);
    collide_part b = collide_solid(shape_b, body_b, position_b, rotation_b);
    return collide_parts(&a, &b, mode, nullptr);
}

// --- Against bikes --------------------------------------------------------------------------------

namespace {

// The parts of a bike in the order they are tested, with their bits.
struct part_entry {
    int body;
    int bit;
};
constexpr part_entry bike_parts[] = {
    {bike_body_front_wheel, collide_part_front_wheel}, {bike_body_rear_wheel, collide_part_rear_wheel},
    {bike_body_frame, collide_part_frame},             {bike_body_fork_upper, collide_part_fork_upper},
    {bike_body_fork_lower, collide_part_fork_lower},   {bike_body_swingarm, collide_part_swingarm},
    {bike_body_rider, collide_part_rider},
};

// Parts of the local rider that still push on a server: the front.
constexpr int online_pushing_parts = collide_part_front_wheel | collide_part_fork_upper | collide_part_fork_lower;

double frame_speed(const bike_state* b) {
    dBodyID f = b->bodies[bike_body_frame];
    if (!f) return 0;
    double s = length(to_vec(dBodyGetLinearVel(f)));
    return finite_number(s) ? s : 0;
}

bool crashed(const bike_state* b) { return b->crash_timer > 0; }

void hold_at_least(bike_state* b, int ticks) {
    if (b->collision_hold < ticks) b->collision_hold = ticks;
}

// The bike that was rammed: marked as struck unless it is itself marked as
// the cause.
void mark_struck(bike_state* b) {
    if (b->collision_hold <= 0 && b->collision_hold > collision_hold_struck) b->collision_hold = collision_hold_struck;
}

// The collision hold rules once a has touched b: `touched` are b's parts
// that a touched, `front` a's front parts that touched anything.
void hold_rules(bike_state* a, bike_state* b, int touched, int front) {
    double va = frame_speed(a), vb = frame_speed(b);
    bool a_fast = va >= collide_fast_speed, b_fast = vb >= collide_fast_speed;
    bool a_moving = va >= collide_moving_speed, b_moving = vb >= collide_moving_speed;
    if (front & touched) {
        // Front against front: neither is more the cause than the other.
        if (a_fast) hold_at_least(a, collision_hold_head_on);
        if (b_fast) hold_at_least(b, collision_hold_head_on);
    } else if (!front) {
        // a's other parts met b's front: b rammed a.
        if ((touched & collide_part_front) && !crashed(a) && a_moving && b_fast) {
            hold_at_least(b, collision_hold_ram);
            mark_struck(a);
        }
    } else {
        // a's front met b elsewhere: a rammed b.
        if (!crashed(b) && b_moving && a_fast) {
            hold_at_least(a, collision_hold_ram);
            mark_struck(b);
        }
    }
}

// A bike's parts made ready, in the order of bike_parts.
struct ready_bike {
    ready_part parts[bike_body_count];
};

void make_ready_bike(bike_state* b, ready_bike* r) {
    for (int k = 0; k < bike_body_count; k++) {
        ready_part& p = r->parts[k];
        collide_part part;
        if (collide_bike_part(b, bike_parts[k].body, &part))
            make_ready(part, &p);
        else
            p.present = false;
    }
}

int bike_bike(bike_state* a, ready_bike* ra, bike_state* b, ready_bike* rb, bool online) {
    int tick = g_race.tick;
    int mode = a->last_contact_tick == tick || b->last_contact_tick == tick ? collide_mode_force : collide_mode_joint;
    int touched = 0, front = 0;
    for (int k = 0; k < bike_body_count; k++) {
        ready_part* s = &ra->parts[k];
        if (!s->present) continue;
        int bit = bike_parts[k].bit;
        int m = online && !(bit & online_pushing_parts) ? collide_mode_test : mode;
        // Every part of b, as collide_shape_bike tests them.
        int bits = 0;
        for (int q = 0; q < bike_body_count; q++) {
            ready_part* p = &rb->parts[q];
            if (p->present && !bounds_apart(*s, *p) && ready_parts(s, p, m, nullptr)) bits |= bike_parts[q].bit;
        }
        touched |= bits;
        if (bits && (bit & collide_part_front)) front |= bit;
    }
    if (!touched) return 0;
    hold_rules(a, b, touched, front);
    for (bike_state* x : {a, b}) {
        x->last_contact_tick = tick;
        if (x->first_contact_tick == -1) x->first_contact_tick = tick;
    }
    return touched;
}

}  // namespace

int collide_shape_bike(const collide_part* s, bike_state* b, int mode) {
    if (!s || !b) return 0;
    int bits = 0;
    for (const part_entry& e : bike_parts) {
        collide_part p;
        if (!collide_bike_part(b, e.body, &p)) continue;
        if (collide_parts(s, &p, mode, nullptr)) bits |= e.bit;
    }
    return bits;
}

int collide_bike_object(bike_state* bike, shape_instance* shape, dBodyID body, const double position[3],
                        const double rotation[12]) {
    if (!bike || !shape || !position || !rotation) return 0;
    collide_part object = collide_solid(shape, body, position, rotation);
    int bits = collide_shape_bike(&object, bike, collide_mode_joint);
    dBodyID rider = bike->bodies[bike_body_rider];
    if ((bits & collide_part_rider) && rider && bike->crash_timer == 0 && bike->collision_hold >= 0) {
        vec v = to_vec(dBodyGetLinearVel(rider));
        if (body) v = v - to_vec(dBodyGetLinearVel(body));
        if (dot(v, v) > collide_crash_speed * collide_crash_speed) bike->crash_requested = true;
    }
    return bits;
}

int collide_bike_bike(bike_state* a, bike_state* b, bool online) {
    if (!a || !b || a == b || !collide_bikes_may_touch(a, b)) return 0;
    ready_bike ra, rb;
    make_ready_bike(a, &ra);
    make_ready_bike(b, &rb);
    return bike_bike(a, &ra, b, &rb, online);
}

// --- Pairs of bikes -------------------------------------------------------------------------------

double collide_bike_radius(const bike_state* bike) {
    dBodyID frame = bike->bodies[bike_body_frame];
    if (!frame) return -1;
    vec centre = body_position(frame);
    if (!finite(centre)) return -1;
    double radius = 0;
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = bike->bodies[i];
        if (!body) continue;
        double reach;
        if (i == bike_body_front_wheel || i == bike_body_rear_wheel) {
            const bike_wheel& w = bike->wheels[i == bike_body_front_wheel ? bike_wheel_front : bike_wheel_rear];
            reach = w.ring_radius + w.section_radius;
        } else if (bike->shapes[i]) {
            reach = bounding_radius(bike->shapes[i]);
        } else {
            continue;
        }
        double r = length(body_position(body) - centre) + reach;
        if (!finite_number(r)) return -1;
        if (r > radius) radius = r;
    }
    return radius;
}

bool collide_bikes_may_touch(const bike_state* a, const bike_state* b) {
    double ra = collide_bike_radius(a), rb = collide_bike_radius(b);
    if (ra < 0 || rb < 0) return false;
    vec d = body_position(b->bodies[bike_body_frame]) - body_position(a->bodies[bike_body_frame]);
    double reach = ra + rb + collide_pair_margin;
    return dot(d, d) <= reach * reach;
}

namespace {

// Heap sort of slots by key, largest key first: a min-heap whose root is
// moved to the end of the shrinking heap each round.
void sift_down(int* slots, double* keys, int root, int size) {
    for (;;) {
        int child = 2 * root + 1;
        if (child >= size) return;
        if (child + 1 < size && keys[child + 1] < keys[child]) child++;
        if (!(keys[child] < keys[root])) return;
        double k = keys[root];
        keys[root] = keys[child];
        keys[child] = k;
        int s = slots[root];
        slots[root] = slots[child];
        slots[child] = s;
        root = child;
    }
}

bike_state* slot_bike(int slot) { return slot >= 0 && slot < max_riders ? g_race.bikes[slot] : nullptr; }


}  // namespace

void collide_sort_by_speed(int* slots, int count) {
    if (!slots || count < 2) return;
    if (count > max_riders) count = max_riders;
    double keys[max_riders];
    for (int i = 0; i < count; i++) {
        bike_state* b = slot_bike(slots[i]);
        keys[i] = b ? frame_speed(b) : -1;
    }
    for (int i = count / 2 - 1; i >= 0; i--) sift_down(slots, keys, i, count);
    for (int end = count - 1; end > 0; end--) {
        double k = keys[0];
        keys[0] = keys[end];
        keys[end] = k;
        int s = slots[0];
        slots[0] = slots[end];
        slots[end] = s;
        sift_down(slots, keys, 0, end);
    }
}

int collide_pairs(int* slots, int count) {
    if (!slots || count < 2) return 0;
    if (count > max_riders) count = max_riders;
    collide_sort_by_speed(slots, count);
    // Each bike's frame position and radius once, for the cheap test.
    vec centre[max_riders];
    double radius[max_riders];
    for (int i = 0; i < count; i++) {
        bike_state* b = slot_bike(slots[i]);
        radius[i] = b ? collide_bike_radius(b) : -1;
        centre[i] = radius[i] >= 0 ? body_position(b->bodies[bike_body_frame]) : vec{0, 0, 0};
    }
    // A bike's parts are made ready when it first meets another: bodies do
    // not move while the pairs are tested.
    static ready_bike ready[max_riders];
    bool made[max_riders] = {};
    int in_contact = 0;
    for (int i = 0; i < count; i++) {
        if (radius[i] < 0) continue;
        for (int j = i + 1; j < count; j++) {
            if (radius[j] < 0) continue;
            vec d = centre[j] - centre[i];
            double reach = radius[i] + radius[j] + collide_pair_margin;
            if (dot(d, d) > reach * reach) continue;
            bike_state* a = slot_bike(slots[i]);
            bike_state* b = slot_bike(slots[j]);
            if (a == b) continue;
            for (int k : {i, j}) {
                if (made[k]) continue;
                make_ready_bike(slot_bike(slots[k]), &ready[k]);
                made[k] = true;
            }
            if (bike_bike(a, &ready[i], b, &ready[j], false)) in_contact++;
        }
    }
    return in_contact;
}
