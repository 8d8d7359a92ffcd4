// Wheel-ground contact: torus and sphere tests against the height field, the
// tyre's soft contact joints, friction, rolling resistance and the contact
// rules of the bike's other bodies.
#include "sim/contact.h"

#include <ode/ode.h>

#include <cmath>
#include <cstring>

#include "frame/game.h"
#include "sim/bike.h"
#include "sim/bike_pose.h"
#include "sim/steering.h"
#include "sim/world.h"
#include "track/terrain.h"
#include "track/tile.h"

using namespace bike_pose;

namespace {

constexpr double pi = 3.14159265358979323846;

// Cells tested per axis at most: a field with a spacing far below the tyre's
// size is tested only in the cells nearest to the body.
constexpr int max_cells = 64;
// Cell indices further out than this are not looked at (nothing is there
// but the border's heights, and the arithmetic stays within int).
constexpr double max_cell_index = 1e8;

// Edge search: samples along the part of an edge near the wheel, then a
// golden-section refinement around the best sample.
constexpr int edge_samples = 16;
constexpr int edge_refinements = 36;

// The rider touching the ground upside down faster than this crashes.
constexpr double upside_down_crash_speed = 5;  // ft/s

struct triangle {
    vec p[3];
    vec normal;  // unit, y > 0
};

// A ground point under consideration with its depth and normal.
struct candidate {
    vec point;
    vec normal;
    double depth;
};

inline bool finite_number(double v) { return std::isfinite(v); }

// Any unit vector perpendicular to the unit vector a.
vec perpendicular(vec a) {
    vec other = std::fabs(a.x) < 0.6 ? vec{1, 0, 0} : vec{0, 1, 0};
    return unit(cross(a, other));
}

// The cell range [lo, hi) along one axis that overlaps [centre - reach,
// centre + reach], in cells of size s. False when it cannot be computed from
// finite values or lies beyond reason.
bool cell_range(double centre, double reach, double inv_spacing, long long* lo, long long* hi) {
    double a = (centre - reach) * inv_spacing;
    double b = (centre + reach) * inv_spacing;
    if (!finite_number(a) || !finite_number(b)) return false;
    if (a < -max_cell_index || b > max_cell_index) return false;
    long long l = (long long)std::floor(a);
    long long h = (long long)std::ceil(b);
    if (h <= l) h = l + 1;  // a point exactly on a grid line still has its cell
    if (h - l > max_cells) {
        // Keep the cells nearest to the centre.
        long long mid = (long long)std::floor(centre * inv_spacing);
        l = mid - max_cells / 2;
        h = l + max_cells;
    }
    *lo = l;
    *hi = h;
    return true;
}

// The larger of two heights as std::fmax gives it (a NaN gives way to the
// other value), without the library call.
inline double larger(double a, double b) {
    if (a != a) return b;
    if (b != b) return a;
    return a < b ? b : a;
}

// Whether every grid sample of the cells [i0, i1) x [j0, j1) (their corners,
// samples i0..i1 by j0..j1) lies lower than `floor`: no cell there has a
// triangle that cell_triangles would hand out for that floor (a NaN sample
// counts as lower, as it does there unless all four corners are NaN, and
// such a cell gives no contact either). Reads each sample once rather than
// once for each cell around it.
bool cells_below(const terrain* t, long long i0, long long i1, long long j0, long long j1, double floor) {
    for (long long j = j0; j <= j1; j++)
        for (long long i = i0; i <= i1; i++) {
            if ((double)terrain_sample(t, (int)i, (int)j) >= floor) return false;
        }
    return true;
}

vec grid_point(const terrain* t, long long i, long long j) {
    double s = t->spacing;
    return {(double)i * s, (double)terrain_sample(t, (int)i, (int)j), (double)j * s};
}

// The two triangles of cell (i, j), split like terrain_height splits them.
// False, without them, when the whole cell lies lower than `floor` (nothing
// above that height can touch it).
bool cell_triangles(const terrain* t, long long i, long long j, double floor, triangle out[2]) {
    vec p00 = grid_point(t, i, j), p10 = grid_point(t, i + 1, j);
    vec p01 = grid_point(t, i, j + 1), p11 = grid_point(t, i + 1, j + 1);
    if (larger(larger(p00.y, p10.y), larger(p01.y, p11.y)) < floor) return false;
    if (((i ^ j) & 1) == 0) {
        out[0].p[0] = p00, out[0].p[1] = p10, out[0].p[2] = p11;
        out[1].p[0] = p00, out[1].p[1] = p11, out[1].p[2] = p01;
    } else {
        out[0].p[0] = p00, out[0].p[1] = p10, out[0].p[2] = p01;
        out[1].p[0] = p10, out[1].p[1] = p11, out[1].p[2] = p01;
    }
    for (int k = 0; k < 2; k++) {
        vec n = cross(out[k].p[1] - out[k].p[0], out[k].p[2] - out[k].p[0]);
        if (n.y < 0) n = n * -1.0;
        out[k].normal = unit(n);
    }
    return true;
}

// Whether a point of the triangle's plane lies in the triangle, judged on the
// x-z projection (height field triangles never stand upright).
bool inside_xz(const triangle& tri, vec p) {
    auto side = [](vec a, vec b, vec q) { return (b.x - a.x) * (q.z - a.z) - (b.z - a.z) * (q.x - a.x); };
    double d0 = side(tri.p[0], tri.p[1], p);
    double d1 = side(tri.p[1], tri.p[2], p);
    double d2 = side(tri.p[2], tri.p[0], p);
    bool negative = d0 < 0 || d1 < 0 || d2 < 0;
    bool positive = d0 > 0 || d1 > 0 || d2 > 0;
    return !(negative && positive);
}

// The closest point of segment [a, b] to p.
vec closest_on_segment(vec a, vec b, vec p) {
    vec e = b - a;
    double ee = dot(e, e);
    double t = ee > 0 ? dot(p - a, e) / ee : 0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return a + e * t;
}

// The closest point of a triangle to p, with *face telling whether p lies
// over or under the face (its projection along the normal falls inside the
// triangle, borders included) rather than beside an edge or corner.
vec closest_on_triangle(const triangle& tri, vec p, bool* face) {
    vec projected = p - tri.normal * dot(p - tri.p[0], tri.normal);
    if (inside_xz(tri, projected)) {
        *face = true;
        return projected;
    }
    *face = false;
    vec best = closest_on_segment(tri.p[0], tri.p[1], p);
    for (int k = 1; k < 3; k++) {
        vec q = closest_on_segment(tri.p[k], tri.p[(k + 1) % 3], p);
        vec d = q - p, e = best - p;
        if (dot(d, d) < dot(e, e)) best = q;
    }
    return best;
}

// --- Torus ---------------------------------------------------------------------------------

struct torus {
    vec c;     // centre
    vec a;     // unit axle
    double R;  // ring radius
    double r;  // section radius
};

// Distance from p to the core circle, and the circle point nearest to p.
double circle_distance(const torus& w, vec p, vec* nearest) {
    vec d = p - w.c;
    double along = dot(d, w.a);
    vec radial = d - w.a * along;
    double rho = length(radial);
    vec dir = rho > 1e-12 * w.R ? radial * (1 / rho) : perpendicular(w.a);
    *nearest = w.c + dir * w.R;
    return length(p - *nearest);
}

// A lower bound on the distance from segment [p0, p1] to the core circle:
// the distance of a point to the circle is the root of its squared distance
// from the circle's plane and its squared distance from the circle's radius
// within that plane, and along the segment neither comes below its own
// least value.
double edge_circle_bound(const torus& w, vec p0, vec p1) {
    vec f0 = p0 - w.c, f1 = p1 - w.c;
    double z0 = dot(f0, w.a), z1 = dot(f1, w.a);
    // Off the plane: linear along the segment.
    double off_plane = z0 * z1 <= 0 ? 0 : std::fmin(std::fabs(z0), std::fabs(z1));
    // Within the plane, the distance from the axle runs from its least value
    // (nearest point of the projected segment) to its largest (an end).
    vec u0 = f0 - w.a * z0, u1 = f1 - w.a * z1;
    vec v = u1 - u0;
    double vv = dot(v, v);
    double s = vv > 0 ? -dot(u0, v) / vv : 0;
    s = s < 0 ? 0 : (s > 1 ? 1 : s);
    double least = length(u0 + v * s), most = std::fmax(length(u0), length(u1));
    double off_ring = w.R < least ? least - w.R : (w.R > most ? w.R - most : 0);
    return std::sqrt(off_plane * off_plane + off_ring * off_ring);
}

// Slack on that bound against the rounding of the search's own distances.
constexpr double edge_bound_slack = 1e-9;  // ft

// The deepest point of segment [p0, p1] inside the torus: the point nearest
// to the core circle. False when no part of it comes within reach, or when
// no point of it can lie deeper than `beat` (the depth found so far).
bool edge_nearest(const torus& w, vec p0, vec p1, double beat, candidate* out) {
    // Only the part inside the sphere of radius R + r around the centre can
    // be within r of the core circle.
    vec e = p1 - p0, f = p0 - w.c;
    double reach = w.R + w.r;
    double ee = dot(e, e);
    if (!(ee > 0)) return false;
    double b = dot(e, f), cc = dot(f, f) - reach * reach;
    double disc = b * b - ee * cc;
    if (!(disc > 0)) return false;
    double root = std::sqrt(disc);
    double t0 = (-b - root) / ee, t1 = (-b + root) / ee;
    if (t0 < 0) t0 = 0;
    if (t1 > 1) t1 = 1;
    if (!(t0 < t1)) return false;
    // The search finds no point nearer than the true least distance, so an
    // edge whose bound keeps it from beating the depth is passed over as the
    // caller would pass over its result.
    if (edge_circle_bound(w, p0, p1) >= w.r - beat + edge_bound_slack) return false;

    vec q;
    auto distance_at = [&](double t) { return circle_distance(w, p0 + e * t, &q); };
    double step = (t1 - t0) / edge_samples;
    int best = 0;
    double best_d = distance_at(t0);
    for (int k = 1; k <= edge_samples; k++) {
        double d = distance_at(t0 + step * k);
        if (d < best_d) {
            best_d = d;
            best = k;
        }
    }
    double lo = t0 + step * (best > 0 ? best - 1 : 0);
    double hi = t0 + step * (best < edge_samples ? best + 1 : edge_samples);
    const double g = 0.6180339887498949;
    double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
    double f1 = distance_at(x1), f2 = distance_at(x2);
    for (int k = 0; k < edge_refinements; k++) {
        if (f1 < f2) {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - g * (hi - lo);
            f1 = distance_at(x1);
        } else {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + g * (hi - lo);
            f2 = distance_at(x2);
        }
    }
    double t = 0.5 * (lo + hi);
    double d = distance_at(t);
    if (best_d < d) {  // a sample beat the refinement (an end of the range)
        t = t0 + step * best;
        d = distance_at(t);
    }
    vec p = p0 + e * t;
    out->point = p;
    out->depth = w.r - d;
    out->normal = d > 1e-9 ? (q - p) * (1 / d) : vec{0, 0, 0};
    return true;
}

// The deepest point of one triangle's face: the core circle's lowest point
// against the triangle's plane, projected onto it. Returns the plane
// distance h of that lowest point (below which no point of the triangle
// lies nearer to the core circle) and sets *on_face when the projection
// falls inside the triangle.
double face_nearest(const torus& w, const triangle& tri, candidate* out, bool* on_face) {
    vec n = tri.normal;
    vec down = n - w.a * dot(n, w.a);  // the plane normal within the wheel's plane
    double l = length(down);
    vec dir;
    if (l > 1e-9) {
        dir = down * (-1 / l);
    } else {
        // The wheel lies flat on the plane: every ring point is equally low;
        // take the one towards the triangle's middle.
        vec middle = (tri.p[0] + tri.p[1] + tri.p[2]) * (1.0 / 3.0) - w.c;
        vec across = middle - w.a * dot(middle, w.a);
        double m = length(across);
        dir = m > 1e-9 ? across * (1 / m) : perpendicular(w.a);
    }
    vec lowest = w.c + dir * w.R;
    double h = dot(lowest - tri.p[0], n);
    vec p = lowest - n * h;
    *on_face = inside_xz(tri, p);
    out->point = p;
    out->normal = n;
    out->depth = w.r - h;
    return h;
}

// --- Sphere ---------------------------------------------------------------------------------

// The deepest point of a triangle inside a sphere (depth below 0 when none is).
void sphere_triangle(vec c, double radius, const triangle& tri, candidate* out) {
    bool face;
    vec p = closest_on_triangle(tri, c, &face);
    if (face) {
        double h = dot(c - p, tri.normal);  // negative under the face
        out->point = p;
        out->normal = tri.normal;
        out->depth = radius - h;
        return;
    }
    double d = length(c - p);
    out->point = p;
    out->normal = d > 1e-9 ? (c - p) * (1 / d) : tri.normal;
    out->depth = radius - d;
}

void to_hit(const candidate& c, ground_hit* hit) {
    hit->point[0] = c.point.x, hit->point[1] = c.point.y, hit->point[2] = c.point.z;
    hit->normal[0] = c.normal.x, hit->normal[1] = c.normal.y, hit->normal[2] = c.normal.z;
    hit->depth = c.depth;
}

bool finite_hit(const candidate& c) { return finite(c.point) && finite(c.normal) && finite_number(c.depth); }

void no_hit(ground_hit* hit) { memset(hit, 0, sizeof *hit); }

// A triangle whose face the core circle's lowest point missed, with that
// point's plane distance h.
struct edge_triangle {
    triangle tri;
    double h;
};
// Such triangles the torus test keeps from its first pass for its second.
constexpr int kept_triangles = 32;

// The second pass of the torus test for one such triangle: its edges, when
// the plane distance leaves room to beat the deepest point so far.
void search_edges(const torus& w, const triangle& tri, double h, candidate* best, bool* found) {
    if (w.r - (h > 0 ? h : 0) <= best->depth) return;
    for (int m = 0; m < 3; m++) {
        candidate e;
        if (!edge_nearest(w, tri.p[m], tri.p[(m + 1) % 3], best->depth, &e)) continue;
        if (!(e.depth > best->depth)) continue;
        if (length(e.normal) == 0) e.normal = tri.normal;  // the core circle runs through the edge
        if (!finite_hit(e)) continue;
        *best = e;
        *found = true;
    }
}

// The world axis k (column k of the rotation) of a body.
vec body_axis(dBodyID body, int k) {
    const dReal* m = dBodyGetRotation(body);
    return {m[k], m[4 + k], m[8 + k]};
}

bool finite_body(dBodyID body) {
    const dReal* p = dBodyGetPosition(body);
    const dReal* m = dBodyGetRotation(body);
    const dReal* v = dBodyGetLinearVel(body);
    const dReal* w = dBodyGetAngularVel(body);
    for (int k = 0; k < 3; k++)
        if (!finite_number(p[k]) || !finite_number(v[k]) || !finite_number(w[k])) return false;
    for (int k = 0; k < 12; k++)
        if (k % 4 != 3 && !finite_number(m[k])) return false;
    return true;
}

// A soft contact joint between a body and the static world.
void make_contact(dBodyID body, const ground_hit& hit, double mu, double stiffness, double damping,
                  const vec* friction_direction, dJointFeedback* feedback) {
    double erp, cfm;
    contact_soft_parameters(stiffness, damping, &erp, &cfm);
    if (!finite_number(mu) || !finite_number(erp) || !finite_number(cfm)) return;
    dContact c;
    memset(&c, 0, sizeof c);
    c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    c.surface.mu = mu < 0 ? 0 : mu;
    c.surface.soft_erp = erp;
    c.surface.soft_cfm = cfm;
    for (int k = 0; k < 3; k++) {
        c.geom.pos[k] = hit.point[k];
        c.geom.normal[k] = hit.normal[k];
    }
    c.geom.depth = hit.depth;
    if (friction_direction) {
        c.surface.mode |= dContactFDir1;
        c.fdir1[0] = friction_direction->x;
        c.fdir1[1] = friction_direction->y;
        c.fdir1[2] = friction_direction->z;
    }
    dJointID j = dJointCreateContact(g_world, g_contact_group, &c);
    dJointAttach(j, body, nullptr);
    if (feedback) dJointSetFeedback(j, feedback);
}

bool can_make_joints() { return g_world && g_contact_group; }

// Cells a side beyond which a whole shape is not looked at in one go.
constexpr long long shape_cells = 16;

// Whether no sphere of a placed shape can touch the ground: the samples of
// every cell any of its spheres would test (contact_sphere_ground) lie lower
// than the lowest sphere's bottom. A sphere that would test nothing (not
// finite, no radius) plays no part. The cells are those of the span of all
// the spheres: cell_range's floor and ceiling of each sphere's ends lie
// within the floor of the least end and one past the floor of the largest.
bool shape_clear_of_ground(const shape_instance* s, const terrain* t) {
    if (!t || !t->heights) return false;
    double x0 = 0, x1 = 0, z0 = 0, z1 = 0, floor = 0;
    bool any = false;
    for (int k = 0; k < s->count; k++) {
        const double* c = s->world[k];
        double radius = s->spheres[k].radius;
        if (!finite(to_vec(c)) || !(radius > 0) || !finite_number(radius)) continue;
        double left = c[0] - radius, right = c[0] + radius, near = c[2] - radius, far = c[2] + radius;
        double bottom = c[1] - radius;
        if (!any) {
            x0 = left, x1 = right, z0 = near, z1 = far, floor = bottom;
            any = true;
            continue;
        }
        if (left < x0) x0 = left;
        if (right > x1) x1 = right;
        if (near < z0) z0 = near;
        if (far > z1) z1 = far;
        if (bottom < floor) floor = bottom;
    }
    if (!any) return false;
    double inv = t->inv_spacing;
    double a[2] = {x0 * inv, z0 * inv}, b[2] = {x1 * inv, z1 * inv};
    long long lo[2], hi[2];
    for (int k = 0; k < 2; k++) {
        if (!finite_number(a[k]) || !finite_number(b[k])) return false;
        if (a[k] < -max_cell_index || b[k] > max_cell_index) return false;
        lo[k] = (long long)std::floor(a[k]);
        hi[k] = (long long)std::floor(b[k]) + 1;
        if (hi[k] - lo[k] > shape_cells) return false;
    }
    return cells_below(t, lo[0], hi[0], lo[1], hi[1], floor);
}

}  // namespace

// --- Geometry -----------------------------------------------------------------------------------

bool contact_torus_ground(const terrain* t, const double centre[3], const double axle[3], double ring_radius,
                          double section_radius, ground_hit* hit) {
    no_hit(hit);
    if (!t || !t->heights) return false;
    torus w{to_vec(centre), unit(to_vec(axle)), ring_radius, section_radius};
    if (!finite(w.c) || !finite(to_vec(axle)) || !(length(w.a) > 0.5)) return false;
    if (!(ring_radius >= 0) || !(section_radius > 0) || !finite_number(ring_radius + section_radius)) return false;
    double reach = ring_radius + section_radius;
    long long i0, i1, j0, j1;
    if (!cell_range(w.c.x, reach, t->inv_spacing, &i0, &i1) || !cell_range(w.c.z, reach, t->inv_spacing, &j0, &j1))
        return false;
    // A wheel clear above the ground of all its cells touches none of them.
    if (cells_below(t, i0, i1, j0, j1, w.c.y - reach)) return false;

    // Faces first: on smooth ground the deepest point lies inside a face and
    // no edge needs searching. A triangle whose face missed is searched along
    // its edges in a second pass, and only when the plane distance of the
    // core circle's lowest point (below which none of its points lies) could
    // still beat the deepest point found. The first pass keeps those
    // triangles, in order, so the second need not build them again (unless
    // there are more than it keeps).
    candidate best{{0, 0, 0}, {0, 1, 0}, 0};
    bool found = false;
    bool any_edges = false;
    edge_triangle kept[kept_triangles];
    int kept_count = 0;
    bool all_kept = true;
    for (int pass = 0; pass < 2; pass++) {
        if (pass == 1 && all_kept) {
            for (int k = 0; k < kept_count; k++)
                search_edges(w, kept[k].tri, kept[k].h, &best, &found);
            break;
        }
        for (long long j = j0; j < j1; j++) {
            for (long long i = i0; i < i1; i++) {
                triangle tris[2];
                if (!cell_triangles(t, i, j, w.c.y - reach, tris)) continue;
                for (const triangle& tri : tris) {
                    // A plane further than R + r below the centre cannot
                    // reach the tyre.
                    if (dot(w.c - tri.p[0], tri.normal) > reach) continue;
                    candidate c;
                    bool on_face;
                    double h = face_nearest(w, tri, &c, &on_face);
                    if (!(h < w.r)) continue;  // every point of the triangle is outside the tube
                    if (pass == 0) {
                        if (!on_face) {
                            any_edges = true;
                            if (kept_count < kept_triangles)
                                kept[kept_count++] = edge_triangle{tri, h};
                            else
                                all_kept = false;
                        } else if (c.depth > best.depth && finite_hit(c)) {
                            best = c;
                            found = true;
                        }
                        continue;
                    }
                    if (!on_face) search_edges(w, tri, h, &best, &found);
                }
            }
        }
        if (!any_edges) break;
    }
    if (!found || !(best.depth > 0)) return false;
    to_hit(best, hit);
    return true;
}

bool contact_sphere_ground(const terrain* t, const double centre[3], double radius, ground_hit* hit) {
    no_hit(hit);
    if (!t || !t->heights) return false;
    vec c = to_vec(centre);
    if (!finite(c) || !(radius > 0) || !finite_number(radius)) return false;
    long long i0, i1, j0, j1;
    if (!cell_range(c.x, radius, t->inv_spacing, &i0, &i1) || !cell_range(c.z, radius, t->inv_spacing, &j0, &j1))
        return false;
    if (cells_below(t, i0, i1, j0, j1, c.y - radius)) return false;
    candidate best{{0, 0, 0}, {0, 1, 0}, 0};
    bool found = false;
    for (long long j = j0; j < j1; j++) {
        for (long long i = i0; i < i1; i++) {
            triangle tris[2];
            if (!cell_triangles(t, i, j, c.y - radius, tris)) continue;
            for (const triangle& tri : tris) {
                if (dot(c - tri.p[0], tri.normal) > radius) continue;
                candidate cand;
                sphere_triangle(c, radius, tri, &cand);
                if (cand.depth > best.depth && finite_hit(cand)) {
                    best = cand;
                    found = true;
                }
            }
        }
    }
    if (!found) return false;
    to_hit(best, hit);
    return true;
}

// --- Tyre model ---------------------------------------------------------------------------------

void contact_tyre_softness(double depth, double section_radius, double* stiffness, double* damping) {
    double q = section_radius > 0 ? depth / section_radius : 1;
    if (!(q > 0)) q = 0;
    if (q > 1) q = 1;
    double q3 = q * q * q;
    *stiffness = 1000 + 24000 * q3;
    *damping = 200 + 2300 * q3;
}

void contact_soft_parameters(double stiffness, double damping, double* erp, double* cfm) {
    double hk = tick_length * stiffness;
    *erp = hk / (hk + damping);
    *cfm = 1 / (hk + damping);
}

double contact_friction(const tile* surface, double slip_speed, double scale) {
    return (double)tile_friction(surface, (float)slip_speed) * scale;
}

bool contact_friction_direction(const double normal[3], const double slip[3], const double axle[3],
                                double direction[3]) {
    direction[0] = direction[1] = direction[2] = 0;
    vec n = to_vec(normal);
    vec d = cross(n, to_vec(slip));
    if (!(dot(d, d) >= 1.0 / 1024)) d = cross(n, to_vec(axle));
    double l = length(d);
    if (!(l > 0) || !finite_number(l)) return false;
    d = d * (1 / l);
    direction[0] = d.x, direction[1] = d.y, direction[2] = d.z;
    return true;
}

double contact_friction_scale(const bike_state* bike) {
    if (!(bike->arcade & bike_arcade_physics)) return 1;
    double lean = std::fabs(steering_lean(bike));
    double f = 4 * lean / pi;
    return 1 - 0.375 * (f < 1 ? f : 1);
}

void contact_rolling_resistance(const tile* surface, const double velocity[3], const double normal[3], double squash,
                                double force[3]) {
    force[0] = force[1] = force[2] = 0;
    vec v = to_vec(velocity), n = to_vec(normal);
    vec u = v - n * dot(v, n);
    double w = length(u);
    if (!(w > 0) || !finite_number(w)) return;
    float a, b;
    tile_roll_resist(surface, (float)w, &a, &b);
    double q = squash > 0 ? (squash < 1 ? squash : 1) : 0;
    double rho = (double)a + ((double)b - a) * q;
    vec f = w > 1 ? u * (-rho / w) : u * -rho;
    if (!finite(f)) return;
    force[0] = f.x, force[1] = f.y, force[2] = f.z;
}

// --- Per bike -----------------------------------------------------------------------------------

bool contact_wheel_query(bike_state* bike, int wheel, const terrain* t) {
    bike_wheel& w = bike->wheels[wheel];
    w.depth = 0;
    if (!w.body || !finite_body(w.body)) return false;
    const dReal* c = dBodyGetPosition(w.body);
    const dReal* m = dBodyGetRotation(w.body);
    const double* ax = w.axle;
    double axle[3] = {m[0] * ax[0] + m[1] * ax[1] + m[2] * ax[2], m[4] * ax[0] + m[5] * ax[1] + m[6] * ax[2],
                      m[8] * ax[0] + m[9] * ax[1] + m[10] * ax[2]};
    double centre[3] = {c[0], c[1], c[2]};
    ground_hit hit;
    if (!contact_torus_ground(t, centre, axle, w.ring_radius, w.section_radius, &hit)) return false;
    dVector3 v;
    dBodyGetPointVel(w.body, hit.point[0], hit.point[1], hit.point[2], v);
    for (int k = 0; k < 3; k++) {
        w.contact_point[k] = hit.point[k];
        w.contact_normal[k] = hit.normal[k];
        w.contact_velocity[k] = v[k];
    }
    w.depth = hit.depth;
    return true;
}

bool contact_wheel(bike_state* bike, int wheel, const terrain* t) {
    bike_wheel& w = bike->wheels[wheel];
    if (!contact_wheel_query(bike, wheel, t)) {
        memset(&w.contact_feedback, 0, sizeof w.contact_feedback);
        return false;
    }
    const tile* surface = terrain_tile(t, (float)w.contact_point[0], (float)w.contact_point[2]);
    vec slip = to_vec(w.contact_velocity);
    double mu = contact_friction(surface, length(slip), contact_friction_scale(bike));
    double k, c;
    contact_tyre_softness(w.depth, w.section_radius, &k, &c);

    vec axle = body_axis(w.body, 0);
    double axle_world[3] = {axle.x, axle.y, axle.z}, direction[3];
    bool directed = contact_friction_direction(w.contact_normal, w.contact_velocity, axle_world, direction);
    vec fdir = to_vec(direction);

    ground_hit hit;
    memcpy(hit.point, w.contact_point, sizeof hit.point);
    memcpy(hit.normal, w.contact_normal, sizeof hit.normal);
    hit.depth = w.depth;
    if (can_make_joints())
        make_contact(w.body, hit, mu, k, c, directed ? &fdir : nullptr, &w.contact_feedback);

    double force[3];
    double squash = w.section_radius > 0 ? w.depth / w.section_radius : 1;
    contact_rolling_resistance(surface, dBodyGetLinearVel(w.body), w.contact_normal, squash, force);
    dBodyAddForce(w.body, force[0], force[1], force[2]);
    return true;
}

bool contact_shape(bike_state* bike, int body, const terrain* t) {
    shape_instance* s = bike->shapes[body];
    dBodyID b = bike->bodies[body];
    if (!s || !b || !finite_body(b)) return false;
    shape_instance_place(s, dBodyGetPosition(b), dBodyGetRotation(b));
    if (shape_clear_of_ground(s, t)) return false;
    bool touched = false;
    for (int i = 0; i < s->count; i++) {
        ground_hit hit;
        if (!contact_sphere_ground(t, s->world[i], s->spheres[i].radius, &hit)) continue;
        touched = true;
        if (can_make_joints())
            make_contact(b, hit, s->spheres[i].friction, contact_shape_stiffness, contact_shape_damping, nullptr,
                         nullptr);
    }
    return touched;
}

bool contact_ground(bike_state* bike, const terrain* t) {
    bool any = false;
    for (int k = 0; k < bike_wheel_count; k++) any |= contact_wheel(bike, k, t);
    static const int bodies[] = {bike_body_frame, bike_body_fork_upper, bike_body_fork_lower, bike_body_swingarm,
                                 bike_body_rider};
    for (int body : bodies) {
        if (!contact_shape(bike, body, t)) continue;
        any = true;
        // The frame may scrape the ground without it counting against the
        // rider; anything else on the ground marks the lap.
        if (body != bike_body_frame && bike->crash_mark == 0) bike->crash_mark = 1;
        if (body == bike_body_rider) {
            dBodyID rider = bike->bodies[bike_body_rider];
            bool upside_down = body_axis(rider, 1).y < 0;
            double speed = length(to_vec(dBodyGetLinearVel(rider)));
            // A bike marked as struck by another (negative hold counter) does
            // not crash from it.
            if (upside_down && speed > upside_down_crash_speed && bike->crash_timer == 0 && bike->collision_hold >= 0)
                bike->crash_requested = true;
        }
    }
    return any;
}
