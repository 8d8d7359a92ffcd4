// Building a course from its definition and answering where things are on it.
//
// The centre line is sampled densely along the curve, then resampled every
// course_step ft of arc length into tables of position, tangent, curvature,
// width, bank, base height and feature height; every query interpolates in
// those tables. Jump profiles are piecewise linear along the course and then
// rounded by two passes of a 3 ft box filter, so lips and transitions are
// smooth while the faces keep their angles.
#include "gen/course.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int dense_steps = 256;          // curve samples per control-point segment
constexpr float tangent_span = 1.0f;      // ft each side for the tangent
constexpr float curvature_span = 2.0f;    // ft each side for the curvature
constexpr float smoothing_radius = 1.5f;  // ft, box filter of the feature profile
constexpr float bank_ramp = 20.0f;        // ft over which a bank comes and goes
constexpr float start_blend = 40.0f;      // ft over which the levelled start joins the course
constexpr int bucket_stride = 4;          // table entries per bucket item (1 ft)
constexpr float bucket_size = 16.0f;      // ft

float smoothstep(float t) {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    return t * t * (3 - 2 * t);
}

float deg(float d) { return float(d * pi / 180.0); }

// 0 before u = 0, up over rise, flat over flat, down over fall, 0 after.
float ramp_profile(float u, float rise, float h, float flat, float fall) {
    if (u <= 0) return 0;
    if (u < rise) return h * u / rise;
    u -= rise;
    if (u <= flat) return h;
    u -= flat;
    if (u < fall) return h * (1 - u / fall);
    return 0;
}

// Length of a face of height h at angle a (degrees).
float face_length(float h, float a) { return h / std::tan(deg(a)); }

float feature_shape_length(const course_feature& f) {
    switch (f.kind) {
        case course_tabletop:
            return face_length(f.height, f.face_deg) + f.top + face_length(f.height, f.land_deg);
        case course_double:
        case course_step_up:
            return face_length(f.height, f.face_deg) + f.gap + f.top + face_length(f.land_height, f.land_deg);
        case course_whoops:
        case course_rollers:
            return float(f.count) * f.gap;
        default:
            return f.length;
    }
}

// Height of a jump, whoop or roller feature at u ft from its start.
float feature_profile(const course_feature& f, float u) {
    switch (f.kind) {
        case course_tabletop:
            return ramp_profile(u, face_length(f.height, f.face_deg), f.height, f.top,
                                face_length(f.height, f.land_deg));
        case course_double:
        case course_step_up: {
            float lip = face_length(f.height, f.face_deg);
            float take = ramp_profile(u, lip, f.height, 0, face_length(f.height, f.back_deg));
            float face = face_length(f.land_height, f.back_deg);
            float land = ramp_profile(u - (lip + f.gap - face), face, f.land_height, f.top,
                                      face_length(f.land_height, f.land_deg));
            return take > land ? take : land;
        }
        case course_whoops: {
            if (u <= 0 || u >= f.count * f.gap) return 0;
            float local = u - std::floor(u / f.gap) * f.gap - f.gap / 2;
            return f.height * 0.5f * (1 + std::cos(float(2 * pi) * local / f.gap));
        }
        case course_rollers: {
            if (u <= 0 || u >= f.count * f.gap) return 0;
            float local = u - std::floor(u / f.gap) * f.gap - f.gap / 2;
            float base = f.top < f.gap ? f.top : f.gap;
            if (std::fabs(local) >= base / 2) return 0;
            return f.height * 0.5f * (1 + std::cos(float(2 * pi) * local / base));
        }
        default:
            return 0;
    }
}

// Centripetal Catmull-Rom point of the segment p1 -> p2 at fraction f.
void catmull_rom(const course_point& p0, const course_point& p1, const course_point& p2, const course_point& p3,
                 double f, double* x, double* z) {
    auto knot = [](const course_point& a, const course_point& b) {
        double d = std::hypot(double(b.x) - a.x, double(b.z) - a.z);
        return std::sqrt(d > 1e-9 ? d : 1e-9);
    };
    double t0 = 0, t1 = t0 + knot(p0, p1), t2 = t1 + knot(p1, p2), t3 = t2 + knot(p2, p3);
    double t = t1 + (t2 - t1) * f;
    auto lerp = [](double ta, double tb, double t, double a, double b) {
        return ((tb - t) * a + (t - ta) * b) / (tb - ta);
    };
    double a1x = lerp(t0, t1, t, p0.x, p1.x), a1z = lerp(t0, t1, t, p0.z, p1.z);
    double a2x = lerp(t1, t2, t, p1.x, p2.x), a2z = lerp(t1, t2, t, p1.z, p2.z);
    double a3x = lerp(t2, t3, t, p2.x, p3.x), a3z = lerp(t2, t3, t, p2.z, p3.z);
    double b1x = lerp(t0, t2, t, a1x, a2x), b1z = lerp(t0, t2, t, a1z, a2z);
    double b2x = lerp(t1, t3, t, a2x, a3x), b2z = lerp(t1, t3, t, a2z, a3z);
    *x = lerp(t1, t2, t, b1x, b2x);
    *z = lerp(t1, t2, t, b1z, b2z);
}

// Index of entry i shifted by d, wrapped around the table.
int wrap_index(const course* c, int i) {
    i %= c->count;
    return i < 0 ? i + c->count : i;
}

// Table entry and fraction for a distance.
void locate_entry(const course* c, float s, int* i, int* j, float* f) {
    s = course_wrap(c, s);
    int k = int(s / course_step);
    if (k >= c->count - 1) {
        k = c->count - 1;
        float span = c->length - k * course_step;
        *f = span > 0 ? (s - k * course_step) / span : 0;
        if (*f > 1) *f = 1;
        *j = 0;
    } else {
        *f = (s - k * course_step) / course_step;
        *j = k + 1;
    }
    *i = k;
}

float table_at(const dw_vector<float>& v, int i, int j, float f) { return v[i] + (v[j] - v[i]) * f; }

// Circular box filter of radius r entries, in place.
void box_filter(dw_vector<float>& v, int r) {
    int n = int(v.size());
    if (r <= 0 || n == 0) return;
    dw_vector<double> prefix(n + 1);
    prefix[0] = 0;
    for (int i = 0; i < n; i++) prefix[i + 1] = prefix[i] + v[i];
    auto sum_range = [&](int a, int b) {  // entries a..b inclusive, may wrap
        double s = 0;
        while (a < 0) {
            a += n;
            b += n;
        }
        for (;;) {
            int end = b < n ? b : n - 1;
            s += prefix[end + 1] - prefix[a];
            if (b < n) break;
            b -= n;
            a = 0;
        }
        return s;
    };
    dw_vector<float> out(n);
    for (int i = 0; i < n; i++) out[i] = float(sum_range(i - r, i + r) / (2 * r + 1));
    v.swap(out);
}

uint32_t hash3(int32_t x, int32_t z, uint32_t seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(z) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise in -1..1 on a lattice `cell` ft apart.
float value_noise(float x, float z, float cell, uint32_t seed) {
    float u = x / cell, v = z / cell;
    float fu = std::floor(u), fv = std::floor(v);
    int32_t i = int32_t(fu), j = int32_t(fv);
    float a = u - fu, b = v - fv;
    a = a * a * (3 - 2 * a);
    b = b * b * (3 - 2 * b);
    auto corner = [&](int32_t di, int32_t dj) {
        return float(hash3(i + di, j + dj, seed) & 0xffffff) / 8388607.5f - 1;
    };
    float top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * a;
    float bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * a;
    return top + (bottom - top) * b;
}

void build_buckets(course* c) {
    float x0 = c->x[0], x1 = c->x[0], z0 = c->z[0], z1 = c->z[0];
    for (int i = 0; i < c->count; i++) {
        x0 = std::fmin(x0, c->x[i]);
        x1 = std::fmax(x1, c->x[i]);
        z0 = std::fmin(z0, c->z[i]);
        z1 = std::fmax(z1, c->z[i]);
    }
    c->bucket_size = bucket_size;
    c->bucket_x0 = x0 - 1;
    c->bucket_z0 = z0 - 1;
    c->bucket_nx = int((x1 - c->bucket_x0) / bucket_size) + 2;
    c->bucket_nz = int((z1 - c->bucket_z0) / bucket_size) + 2;
    int cells = c->bucket_nx * c->bucket_nz;
    auto cell_of = [&](int i) {
        int bx = int((c->x[i] - c->bucket_x0) / bucket_size);
        int bz = int((c->z[i] - c->bucket_z0) / bucket_size);
        return bx + bz * c->bucket_nx;
    };
    c->bucket_first.assign(cells + 1, 0);
    for (int i = 0; i < c->count; i += bucket_stride) c->bucket_first[cell_of(i) + 1]++;
    for (int k = 0; k < cells; k++) c->bucket_first[k + 1] += c->bucket_first[k];
    c->bucket_items.assign(c->bucket_first[cells], 0);
    dw_vector<int> fill(c->bucket_first.begin(), c->bucket_first.end() - 1);
    for (int i = 0; i < c->count; i += bucket_stride) c->bucket_items[fill[cell_of(i)]++] = i;
}

// Mean curvature over a range of distance (turn direction of a feature).
float mean_curvature(const course* c, float s0, float len) {
    double sum = 0;
    int n = 0;
    for (float u = 0; u <= len; u += 1.0f, n++) {
        int i, j;
        float f;
        locate_entry(c, s0 + u, &i, &j, &f);
        sum += table_at(c->curvature, i, j, f);
    }
    return n ? float(sum / n) : 0;
}

}  // namespace

const char* course_feature_name(course_feature_kind kind) {
    static const char* const names[course_feature_kind_count] = {
        "start", "tabletop", "double", "step_up", "whoops", "rollers", "berm", "off_camber", "sand",
    };
    return kind >= 0 && kind < course_feature_kind_count ? names[kind] : "?";
}

bool course_feature_is_jump(course_feature_kind kind) {
    return kind == course_tabletop || kind == course_double || kind == course_step_up;
}

int course_field_samples(const course_def* def) { return (1 << (def->field_exponent + 1)) + 1; }

float course_world_size(const course_def* def) { return float(1 << (def->field_exponent + 1)) * def->spacing; }

float course_natural_height(const course_def* def, float x, float z) {
    float h = def->ground_height;
    for (int k = 0; k < def->hill_count; k++) {
        const course_hill& hill = def->hills[k];
        float dx = x - hill.x, dz = z - hill.z;
        h += hill.height * std::exp(-(dx * dx + dz * dz) / (2 * hill.radius * hill.radius));
    }
    if (def->roughness > 0)
        h += def->roughness * (value_noise(x, z, 48.0f, def->seed) + 0.35f * value_noise(x, z, 14.0f, def->seed + 1));
    return h;
}

bool course_build(course* c, const course_def* def, char* error, int error_size) {
    c->def = def;
    int n = def->point_count;
    if (n < 4) {
        snprintf(error, error_size, "course '%s' needs at least 4 points\n", def->folder);
        return false;
    }
    for (int k = 0; k < def->feature_count; k++)
        if (def->features[k].anchor < 0 || def->features[k].anchor >= n) {
            snprintf(error, error_size, "course '%s': feature %d has no point %d\n", def->folder, k,
                     def->features[k].anchor);
            return false;
        }
    for (int k = 0; k < def->width_count; k++)
        if (def->widths[k].anchor < 0 || def->widths[k].anchor >= n) {
            snprintf(error, error_size, "course '%s': width knot %d has no point %d\n", def->folder, k,
                     def->widths[k].anchor);
            return false;
        }

    // Dense samples of the closed curve with their running length.
    int dense = n * dense_steps;
    dw_vector<double> dx(dense + 1), dz(dense + 1), dlen(dense + 1);
    for (int k = 0; k < n; k++) {
        const course_point& p0 = def->points[(k + n - 1) % n];
        const course_point& p1 = def->points[k];
        const course_point& p2 = def->points[(k + 1) % n];
        const course_point& p3 = def->points[(k + 2) % n];
        for (int m = 0; m < dense_steps; m++)
            catmull_rom(p0, p1, p2, p3, double(m) / dense_steps, &dx[k * dense_steps + m], &dz[k * dense_steps + m]);
    }
    dx[dense] = dx[0];
    dz[dense] = dz[0];
    dlen[0] = 0;
    for (int m = 1; m <= dense; m++) dlen[m] = dlen[m - 1] + std::hypot(dx[m] - dx[m - 1], dz[m] - dz[m - 1]);
    c->length = float(dlen[dense]);
    c->point_s.resize(n);
    for (int k = 0; k < n; k++) c->point_s[k] = float(dlen[k * dense_steps]);

    // Resample every course_step ft.
    c->count = int(std::ceil(c->length / course_step));
    int count = c->count;
    c->x.assign(count, 0);
    c->z.assign(count, 0);
    int m = 0;
    for (int i = 0; i < count; i++) {
        double s = double(i) * course_step;
        while (m < dense - 1 && dlen[m + 1] < s) m++;
        double span = dlen[m + 1] - dlen[m];
        double f = span > 0 ? (s - dlen[m]) / span : 0;
        c->x[i] = float(dx[m] + (dx[m + 1] - dx[m]) * f);
        c->z[i] = float(dz[m] + (dz[m + 1] - dz[m]) * f);
    }

    // Tangents and curvature.
    c->tx.assign(count, 0);
    c->tz.assign(count, 0);
    int tspan = int(tangent_span / course_step);
    for (int i = 0; i < count; i++) {
        int a = wrap_index(c, i - tspan), b = wrap_index(c, i + tspan);
        float ex = c->x[b] - c->x[a], ez = c->z[b] - c->z[a];
        float len = std::hypot(ex, ez);
        c->tx[i] = len > 0 ? ex / len : 1;
        c->tz[i] = len > 0 ? ez / len : 0;
    }
    c->curvature.assign(count, 0);
    int kspan = int(curvature_span / course_step);
    for (int i = 0; i < count; i++) {
        int a = wrap_index(c, i - kspan), b = wrap_index(c, i + kspan);
        // Turning right is towards the right vector (-tz, tx) of the earlier tangent.
        float across = c->tx[b] * -c->tz[a] + c->tz[b] * c->tx[a];
        float along = c->tx[b] * c->tx[a] + c->tz[b] * c->tz[a];
        c->curvature[i] = std::atan2(across, along) / (2 * curvature_span);
    }

    // Features: where they are, and their profile along the course.
    c->feature_s.assign(def->feature_count, 0);
    c->feature_len.assign(def->feature_count, 0);
    for (int k = 0; k < def->feature_count; k++) {
        const course_feature& f = def->features[k];
        c->feature_s[k] = course_wrap(c, c->point_s[f.anchor] + f.offset);
        c->feature_len[k] = feature_shape_length(f);
    }
    c->feature.assign(count, 0);
    for (int k = 0; k < def->feature_count; k++) {
        const course_feature& f = def->features[k];
        if (!(course_feature_is_jump(f.kind) || f.kind == course_whoops || f.kind == course_rollers)) continue;
        int first = int(std::floor(c->feature_s[k] / course_step));
        int steps = int(std::ceil(c->feature_len[k] / course_step)) + 1;
        for (int q = 0; q <= steps; q++) {
            int i = wrap_index(c, first + q);
            float u = course_wrap(c, i * course_step - c->feature_s[k]);
            if (u > c->feature_len[k] + 1) continue;
            c->feature[i] += feature_profile(f, u);
        }
    }
    int r = int(smoothing_radius / course_step);
    box_filter(c->feature, r);
    box_filter(c->feature, r);

    // Width, between knots in order along the course.
    c->width.assign(count, def->width);
    if (def->width_count > 0) {
        int wn = def->width_count;
        dw_vector<float> ks(wn);
        dw_vector<int> order(wn);
        for (int k = 0; k < wn; k++) {
            ks[k] = course_wrap(c, c->point_s[def->widths[k].anchor] + def->widths[k].offset);
            order[k] = k;
        }
        for (int a = 0; a < wn; a++)
            for (int b = a + 1; b < wn; b++)
                if (ks[order[b]] < ks[order[a]]) std::swap(order[a], order[b]);
        for (int i = 0; i < count; i++) {
            float s = i * course_step;
            // The last knot at or before s (wrapping to the last one).
            int a = wn - 1;
            for (int k = 0; k < wn; k++)
                if (ks[order[k]] <= s) a = k;
            int b = (a + 1) % wn;
            float sa = ks[order[a]], sb = ks[order[b]];
            float span = course_wrap(c, sb - sa);
            float t = wn == 1 || span <= 0 ? 0 : course_wrap(c, s - sa) / span;
            float wa = def->widths[order[a]].width, wb = def->widths[order[b]].width;
            c->width[i] = wa + (wb - wa) * smoothstep(t);
        }
    }

    // Bank of berms and off-camber turns: the outside goes up or down.
    c->bank.assign(count, 0);
    for (int k = 0; k < def->feature_count; k++) {
        const course_feature& f = def->features[k];
        if (f.kind != course_berm && f.kind != course_off_camber) continue;
        float turn = mean_curvature(c, c->feature_s[k], f.length);
        // Turning right (turn > 0) the outside is on the left, which a negative bank raises.
        float sign = (turn > 0 ? -1.0f : 1.0f) * (f.kind == course_berm ? 1.0f : -1.0f);
        float ramp = std::fmin(bank_ramp, f.length / 4);
        int first = int(std::floor(c->feature_s[k] / course_step));
        int steps = int(std::ceil(f.length / course_step));
        for (int q = 0; q <= steps; q++) {
            int i = wrap_index(c, first + q);
            float u = course_wrap(c, i * course_step - c->feature_s[k]);
            if (u > f.length) continue;
            float w = smoothstep(u / ramp) * smoothstep((f.length - u) / ramp);
            c->bank[i] += sign * deg(f.face_deg) * w;
        }
    }

    // Base height: the natural ground under the centre line, averaged along
    // the course, and level over the starting pad.
    c->elevation.assign(count, 0);
    for (int i = 0; i < count; i++) c->elevation[i] = course_natural_height(def, c->x[i], c->z[i]);
    box_filter(c->elevation, int(def->elevation_window / course_step));
    for (int k = 0; k < def->feature_count; k++) {
        const course_feature& f = def->features[k];
        if (f.kind != course_start) continue;
        float s0 = c->feature_s[k] - f.top, len = f.top + f.length;
        double sum = 0;
        int samples = 0;
        for (float u = 0; u <= len; u += course_step, samples++) {
            int i, j;
            float fr;
            locate_entry(c, s0 + u, &i, &j, &fr);
            sum += c->elevation[i];
        }
        float level = float(sum / (samples ? samples : 1));
        int first = int(std::floor((s0 - start_blend) / course_step));
        int steps = int(std::ceil((len + 2 * start_blend) / course_step));
        for (int q = 0; q <= steps; q++) {
            int i = wrap_index(c, first + q);
            float u = course_wrap(c, i * course_step - course_wrap(c, s0 - start_blend));
            float w;
            if (u < start_blend)
                w = smoothstep(u / start_blend);
            else if (u <= start_blend + len)
                w = 1;
            else
                w = smoothstep((2 * start_blend + len - u) / start_blend);
            c->elevation[i] += (level - c->elevation[i]) * w;
        }
    }

    build_buckets(c);
    return true;
}

float course_wrap(const course* c, float s) {
    if (c->length <= 0) return 0;
    s = std::fmod(s, c->length);
    if (s < 0) s += c->length;
    if (s >= c->length) s = 0;
    return s;
}

course_sample course_at(const course* c, float s) {
    course_sample r;
    int i, j;
    float f;
    locate_entry(c, s, &i, &j, &f);
    r.s = course_wrap(c, s);
    r.x = table_at(c->x, i, j, f);
    r.z = table_at(c->z, i, j, f);
    float tx = table_at(c->tx, i, j, f), tz = table_at(c->tz, i, j, f);
    float len = std::hypot(tx, tz);
    r.tx = len > 0 ? tx / len : 1;
    r.tz = len > 0 ? tz / len : 0;
    r.rx = -r.tz;
    r.rz = r.tx;
    r.curvature = table_at(c->curvature, i, j, f);
    r.width = table_at(c->width, i, j, f);
    r.bank = table_at(c->bank, i, j, f);
    r.elevation = table_at(c->elevation, i, j, f);
    r.feature = table_at(c->feature, i, j, f);
    r.y = r.elevation + r.feature;
    return r;
}

float course_surface_height(const course* c, float s, float lateral) {
    course_sample p = course_at(c, s);
    return p.y + lateral * std::tan(p.bank);
}

course_place course_locate(const course* c, float x, float z) {
    int bx = int(std::floor((x - c->bucket_x0) / c->bucket_size));
    int bz = int(std::floor((z - c->bucket_z0) / c->bucket_size));
    bx = bx < 0 ? 0 : bx >= c->bucket_nx ? c->bucket_nx - 1 : bx;
    bz = bz < 0 ? 0 : bz >= c->bucket_nz ? c->bucket_nz - 1 : bz;
    float best = 1e30f;
    int best_i = 0;
    int rings = c->bucket_nx > c->bucket_nz ? c->bucket_nx : c->bucket_nz;
    for (int k = 0; k <= rings; k++) {
        for (int j = bz - k; j <= bz + k; j++) {
            if (j < 0 || j >= c->bucket_nz) continue;
            for (int i = bx - k; i <= bx + k; i++) {
                if (i < 0 || i >= c->bucket_nx) continue;
                if (std::abs(i - bx) != k && std::abs(j - bz) != k) continue;
                int cell = i + j * c->bucket_nx;
                for (int q = c->bucket_first[cell]; q < c->bucket_first[cell + 1]; q++) {
                    int e = c->bucket_items[q];
                    float ex = x - c->x[e], ez = z - c->z[e];
                    float d = ex * ex + ez * ez;
                    if (d < best) {
                        best = d;
                        best_i = e;
                    }
                }
            }
        }
        float reach = k * c->bucket_size;
        if (best <= reach * reach) break;
    }
    // Every table entry near the bucket item, then along the tangent.
    for (int q = -bucket_stride; q <= bucket_stride; q++) {
        int e = wrap_index(c, best_i + q);
        float ex = x - c->x[e], ez = z - c->z[e];
        float d = ex * ex + ez * ez;
        if (d < best) {
            best = d;
            best_i = e;
        }
    }
    float along = (x - c->x[best_i]) * c->tx[best_i] + (z - c->z[best_i]) * c->tz[best_i];
    if (along > course_step) along = course_step;
    if (along < -course_step) along = -course_step;
    course_place p;
    p.s = course_wrap(c, best_i * course_step + along);
    course_sample q = course_at(c, p.s);
    p.lateral = (x - q.x) * q.rx + (z - q.z) * q.rz;
    p.distance = std::hypot(x - q.x, z - q.z);
    return p;
}

float course_blend_height(const course* c, float s, float lateral, float natural) {
    course_sample p = course_at(c, s);
    float half = p.width / 2;
    float a = std::fabs(lateral);
    float tb = std::tan(p.bank);
    if (a <= half) return p.y + lateral * tb;
    float t = (a - half) / c->def->shoulder;
    if (t >= 1) return natural;
    float edge = p.y + (lateral > 0 ? half : -half) * tb;
    return edge + (natural - edge) * smoothstep(t);
}

float course_ground_height(const course* c, float x, float z) {
    course_place p = course_locate(c, x, z);
    return course_blend_height(c, p.s, p.lateral, course_natural_height(c->def, x, z));
}

course_surface course_surface_at(const course* c, float s, float lateral) {
    course_sample p = course_at(c, s);
    float half = p.width / 2, a = std::fabs(lateral);
    if (a > half + 3) return surface_grass;
    if (course_feature_holding(c, s, course_sand) >= 0) return surface_sand;
    if (a > half - 1.5f) return surface_loose;
    if (course_feature_holding(c, s, course_berm) >= 0) return surface_loose;
    return surface_hardpack;
}

float course_feature_start(const course* c, int i) { return c->feature_s[i]; }

float course_feature_length(const course* c, int i) { return c->feature_len[i]; }

int course_feature_holding(const course* c, float s, course_feature_kind kind) {
    for (int k = 0; k < c->def->feature_count; k++) {
        if (c->def->features[k].kind != kind) continue;
        if (course_wrap(c, s - c->feature_s[k]) <= c->feature_len[k]) return k;
    }
    return -1;
}

float course_gate_s(const course* c) {
    for (int k = 0; k < c->def->feature_count; k++)
        if (c->def->features[k].kind == course_start) return c->feature_s[k];
    return 0;
}

void course_gate_spot(const course* c, int i, float* x, float* y, float* z, float* heading) {
    course_sample p = course_at(c, course_gate_s(c) - 3);
    float lateral = (i - (c->def->gate_spots - 1) * 0.5f) * c->def->gate_pitch;
    *x = p.x + lateral * p.rx;
    *z = p.z + lateral * p.rz;
    *y = course_surface_height(c, p.s, lateral);
    *heading = std::atan2(-p.tx, -p.tz);
}
