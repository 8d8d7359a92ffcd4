// Ground of the generated tracks: heights and tiles of a course for the whole
// grid, shadows, and writing a track folder through the terrain and tile
// writers.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/mem.h"
#include "files/data.h"
#include "gen/gen.h"
#include "race/gates.h"
#include "track/terrain.h"
#include "track/tile.h"

namespace {

// Every grid point's nearest course table entry: each entry marks the grid
// points within `reach` of it, keeping the nearest; the entries are visited
// every other one and the neighbours of the winner are checked afterwards,
// so the result is the nearest entry of the whole table.
void nearest_entries(const course* c, const terrain* t, float reach, dw_vector<int>* nearest) {
    int n = t->size;
    float s = t->spacing;
    dw_vector<float> best((size_t)n * n, reach * reach);
    nearest->assign((size_t)n * n, -1);
    for (int e = 0; e < c->count; e += 2) {
        float cx = c->x[e], cz = c->z[e];
        int i0 = (int)std::floor((cx - reach) / s), i1 = (int)std::ceil((cx + reach) / s);
        int j0 = (int)std::floor((cz - reach) / s), j1 = (int)std::ceil((cz + reach) / s);
        i0 = i0 < 0 ? 0 : i0;
        j0 = j0 < 0 ? 0 : j0;
        i1 = i1 > n - 1 ? n - 1 : i1;
        j1 = j1 > n - 1 ? n - 1 : j1;
        for (int j = j0; j <= j1; j++) {
            float dz = j * s - cz;
            for (int i = i0; i <= i1; i++) {
                float dx = i * s - cx;
                float d = dx * dx + dz * dz;
                size_t k = (size_t)i + (size_t)j * n;
                if (d < best[k]) {
                    best[k] = d;
                    (*nearest)[k] = e;
                }
            }
        }
    }
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            size_t k = (size_t)i + (size_t)j * n;
            int e = (*nearest)[k];
            if (e < 0) continue;
            for (int q = -1; q <= 1; q += 2) {
                int f = (e + q + c->count) % c->count;
                float dx = i * s - c->x[f], dz = j * s - c->z[f];
                float d = dx * dx + dz * dz;
                if (d < best[k]) {
                    best[k] = d;
                    (*nearest)[k] = f;
                }
            }
        }
}

// (s, lateral) of a point from its nearest table entry, as course_locate does.
void place_from_entry(const course* c, int e, float x, float z, float* s, float* lateral) {
    float along = (x - c->x[e]) * c->tx[e] + (z - c->z[e]) * c->tz[e];
    if (along > course_step) along = course_step;
    if (along < -course_step) along = -course_step;
    *s = course_wrap(c, e * course_step + along);
    course_sample p = course_at(c, *s);
    *lateral = (x - p.x) * p.rx + (z - p.z) * p.rz;
}

bool write_text(const char* path, const char* text) {
    data_stream* s = data_open(path, "wb");
    if (!s) return false;
    data_puts(s, text);
    bool ok = !data_error(s);
    data_close(s);
    return ok;
}

}  // namespace

bool gen_path(char* out, int size, const char* outdir, const char* name) {
    int n = snprintf(out, size, "%s/%s", outdir, name);
    return n > 0 && n < size;
}

void gen_course_ground(const course* c, terrain* t, uint8_t* tilemap) {
    float widest = 0;
    for (int e = 0; e < c->count; e++) widest = std::fmax(widest, c->width[e]);
    float reach = widest / 2 + c->def->shoulder + 2;
    dw_vector<int> nearest;
    nearest_entries(c, t, reach, &nearest);
    int n = t->size;
    float sp = t->spacing;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            size_t k = (size_t)i + (size_t)j * n;
            float x = i * sp, z = j * sp;
            float natural = course_natural_height(c->def, x, z);
            int e = nearest[k];
            if (e < 0) {
                t->heights[k] = natural;
                continue;
            }
            float s, lateral;
            place_from_entry(c, e, x, z, &s, &lateral);
            t->heights[k] = course_blend_height(c, s, lateral, natural);
        }
    // A tile covers 2 x 2 cells: its surface is the one at its centre sample.
    int side = 1 << t->exponent;
    for (int tz = 0; tz < side; tz++)
        for (int tx = 0; tx < side; tx++) {
            int i = 2 * tx + 1, j = 2 * tz + 1;
            int e = nearest[(size_t)i + (size_t)j * n];
            course_surface kind = surface_grass;
            if (e >= 0) {
                float s, lateral;
                place_from_entry(c, e, i * sp, j * sp, &s, &lateral);
                kind = course_surface_at(c, s, lateral);
            }
            tilemap[tx + tz * side] = (uint8_t)kind;
        }
}

void gen_shadows(terrain* t) {
    int n = t->size;
    const float* sun = t->light.sun;
    float flat = std::sqrt(sun[0] * sun[0] + sun[2] * sun[2]);
    size_t count = (size_t)n * n;
    dw_vector<uint8_t> hard(count, 0);
    if (flat > 1e-4f && sun[1] > 0) {
        // Along the ground towards the sun, one grid spacing a step.
        float step = t->spacing;
        float dx = sun[0] / flat * step, dz = sun[2] / flat * step;
        float rise = sun[1] / flat * step;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) {
                size_t k = (size_t)i + (size_t)j * n;
                float x = i * t->spacing, z = j * t->spacing;
                float h = t->heights[k] + 0.05f;
                for (;;) {
                    x += dx;
                    z += dz;
                    h += rise;
                    if (h > t->max_height || x < 0 || z < 0 || x > t->world_size || z > t->world_size) break;
                    if (terrain_height(t, x, z) > h) {
                        hard[k] = 255;
                        break;
                    }
                }
            }
    }
    // Soft edges: the mean over each point's 3 x 3 neighbourhood.
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            int sum = 0;
            for (int b = -1; b <= 1; b++)
                for (int a = -1; a <= 1; a++) {
                    int ii = i + a < 0 ? 0 : (i + a > n - 1 ? n - 1 : i + a);
                    int jj = j + b < 0 ? 0 : (j + b > n - 1 ? n - 1 : j + b);
                    sum += hard[(size_t)ii + (size_t)jj * n];
                }
            t->shadow[(size_t)i + (size_t)j * n] = (uint8_t)((sum + 4) / 9);
        }
}

bool gen_write_track(terrain* t, const gen_track_files* f, char* error, int error_size) {
    // Heights on the file's steps, between whole feet.
    terrain_update_range(t);
    float lo = std::floor(t->min_height), hi = std::ceil(t->max_height);
    if (hi - lo < 1) hi = lo + 1;
    t->min_height = lo;
    t->max_height = hi;
    size_t count = (size_t)t->size * t->size;
    uint16_t* steps = (uint16_t*)mem_alloc_or_die(count * sizeof(uint16_t));
    terrain_quantise(t, steps);
    double scale = ((double)hi - lo) / 65535.0;
    for (size_t k = 0; k < count; k++) t->heights[k] = (float)(lo + steps[k] * scale);
    mem_free(steps);

    gen_shadows(t);
    terrain_reshade(t, 0, 0, t->size - 1, t->size - 1);

    char folder[1024], path[1100];
    if (!gen_path(folder, sizeof folder, f->outdir, f->folder)) {
        snprintf(error, error_size, "output folder name too long\n");
        return false;
    }
    snprintf(path, sizeof path, "%s/", folder);
    data_make_folders(path);
    auto fail = [&](const char* file) {
        snprintf(error, error_size, "can't write '%s/%s'\n", folder, file);
        return false;
    };
    auto file = [&](const char* name) {
        snprintf(path, sizeof path, "%s/%s", folder, name);
        return path;
    };

    char text[512];
    snprintf(text, sizeof text, "%s\n", f->name);
    if (!write_text(file("desc"), text)) return fail("desc");
    const terrain_lighting& l = t->light;
    snprintf(text, sizeof text,
             "sun_vector [ %.6f %.6f %.6f ]\nsun_color [ %.6f %.6f %.6f ]\nambient [ %.6f %.6f %.6f ]\n"
             "global_ambient [ 0.2 0.2 0.2 ]\n",
             (double)l.sun[0], (double)l.sun[1], (double)l.sun[2], (double)l.sun_colour[0], (double)l.sun_colour[1],
             (double)l.sun_colour[2], (double)l.ambient[0], (double)l.ambient[1], (double)l.ambient[2]);
    if (!write_text(file("lighting"), text)) return fail("lighting");
    if (!terrain_write_hf(t, file("terrain.hf"), f->inline_heights)) return fail("terrain.hf");
    if (!f->inline_heights && !terrain_write_height_png(t, file("terrain.png"))) return fail("terrain.png");
    if (!terrain_write_shading(t, file("shadingx2.ppm"))) return fail("shadingx2.ppm");
    if (!terrain_write_shadows(t, file("shadows.pgm"))) return fail("shadows.pgm");

    data_stream* s = data_open(file("tileinfo"), "wb");
    bool ok = s && tile_write_tileinfo(s, f->tiles, f->tile_count);
    if (s) data_close(s);
    if (!ok) return fail("tileinfo");
    s = data_open(file("tilemap"), "wb");
    ok = s && tile_write_map(s, f->map, 1 << t->exponent);
    if (s) data_close(s);
    if (!ok) return fail("tilemap");
    if (f->gates && !gates_write(f->gates, file("timing_gates"))) return fail("timing_gates");
    return true;
}

void gen_course_gates(const course* c, timing_gates* g) {
    gates_clear(g);
    int spots = c->def->gate_spots < max_gate_spots ? c->def->gate_spots : max_gate_spots;
    for (int i = 0; i < spots; i++) {
        gate_spot& p = g->spots[g->spot_count++];
        course_gate_spot(c, i, &p.position[0], &p.position[1], &p.position[2], &p.heading);
        p.model = "@startgate.jm";
        p.texture = "@startgate.ppm";
        p.shape = "@startgate.shp";
        p.gate_object = -1;
        p.gate_angle = 1;
    }
    int count = (int)std::lround(c->length / gen_checkpoint_pitch);
    if (count < 3) count = 3;
    if (count > max_checkpoints) count = max_checkpoints;
    float line = course_gate_s(c) + gen_lap_line_after;
    for (int k = 0; k < count; k++) {
        float s = course_wrap(c, line + k * c->length / count);
        course_sample at = course_at(c, s);
        checkpoint& cp = g->checkpoints[g->checkpoint_count++];
        cp.point[0] = at.x;
        cp.point[1] = course_surface_height(c, s, 0);
        cp.point[2] = at.z;
        cp.direction[0] = at.tx;
        cp.direction[1] = 0;
        cp.direction[2] = at.tz;
        // Wide enough to catch a rider anywhere across the track, narrow
        // enough to stay clear of the neighbouring parts of the course.
        cp.radius = at.width * 0.5f + 15.0f;
    }
    // Checkpoint 0 is the lap line: every lap runs 1, 2, ... and ends on it.
    for (int k = 0; k < count; k++) {
        g->first_lap[k] = g->normal_lap[k] = (k + 1) % count;
    }
    g->first_count = g->normal_count = count;
    g->first_segments = g->normal_segments = count;
    g->timed = true;
}

bool gen_write_course_track(const char* outdir, const course_def* def, char* error, int error_size) {
    course c;
    if (!course_build(&c, def, error, error_size)) return false;
    terrain_lighting light = {};
    memcpy(light.sun, def->sun, sizeof light.sun);
    const float sun_colour[3] = {0.8f, 0.78f, 0.72f}, ambient[3] = {0.36f, 0.38f, 0.42f};
    memcpy(light.sun_colour, sun_colour, sizeof sun_colour);
    memcpy(light.ambient, ambient, sizeof ambient);
    terrain t = {};
    if (!terrain_create(&t, def->field_exponent, def->spacing, &light)) {
        snprintf(error, error_size, "course '%s': bad field size\n", def->folder);
        return false;
    }
    int side = 1 << def->field_exponent;
    uint8_t* map = (uint8_t*)mem_calloc_or_die((size_t)side * side, 1);
    gen_course_ground(&c, &t, map);
    tile tiles[course_surface_count];
    for (int k = 0; k < course_surface_count; k++) gen_surface_tile((course_surface)k, &tiles[k]);
    timing_gates* gates = (timing_gates*)mem_calloc_or_die(1, sizeof(timing_gates));
    gen_course_gates(&c, gates);
    gen_track_files f = {outdir, def->folder, def->name, false, tiles, course_surface_count, map, gates};
    bool ok = gen_write_track(&t, &f, error, error_size);
    for (tile& k : tiles) tile_free(&k);
    mem_free(gates);
    mem_free(map);
    terrain_free(&t);
    return ok;
}
