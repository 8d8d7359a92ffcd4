// "testflat" and "testramp": the small tracks of the tests (layout in
// gen/testtracks.h).
#include "gen/testtracks.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/mem.h"
#include "gen/gen.h"
#include "race/gates.h"
#include "track/terrain.h"
#include "track/tile.h"

namespace {

float smoothstep(float t) {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    return t * t * (3 - 2 * t);
}

// 1 inside [a, b], falling smoothly to 0 over `edge` outside it.
float band(float v, float a, float b, float edge) {
    if (v < a) return smoothstep(1 - (a - v) / edge);
    if (v > b) return smoothstep(1 - (v - b) / edge);
    return 1;
}

bool write_test_track(const char* outdir, const char* folder, const char* name, bool inline_heights,
                      float (*height)(float x, float z), const timing_gates* gates, char* error, int error_size) {
    terrain_lighting light = {};
    memcpy(light.sun, gen_test_sun, sizeof light.sun);
    for (int c = 0; c < 3; c++) {
        light.sun_colour[c] = 0.8f;
        light.ambient[c] = 0.4f;
    }
    terrain t = {};
    if (!terrain_create(&t, testtrack_exponent, testtrack_spacing, &light)) {
        snprintf(error, error_size, "%s: bad field size\n", folder);
        return false;
    }
    for (int j = 0; j < t.size; j++)
        for (int i = 0; i < t.size; i++)
            t.heights[(size_t)i + (size_t)j * t.size] = height ? height(i * t.spacing, j * t.spacing) : 0.0f;
    int side = 1 << testtrack_exponent;
    uint8_t* map = (uint8_t*)mem_calloc_or_die((size_t)side * side, 1);
    tile packed;
    gen_surface_tile(surface_hardpack, &packed);
    gen_track_files f = {outdir, folder, name, inline_heights, &packed, 1, map, gates};
    bool ok = gen_write_track(&t, &f, error, error_size);
    tile_free(&packed);
    mem_free(map);
    terrain_free(&t);
    return ok;
}

}  // namespace

float testramp_height(float x, float z) {
    // The slope lane.
    float slope = 0;
    if (z <= testramp_slope_z1)
        slope = testramp_slope_top;
    else if (z < testramp_slope_z0)
        slope = (testramp_slope_z0 - z) * std::tan(testramp_slope_deg * 3.14159265f / 180);
    float across =
        x <= testramp_slope_x1 ? 1 : smoothstep(1 - (x - testramp_slope_x1) / (testramp_slope_x2 - testramp_slope_x1));
    float h = slope * across;
    // The jump lane: u runs from the foot of the face towards -z.
    float u = testramp_jump_z0 - z;
    float jump = 0;
    if (u > 0) {
        if (u < testramp_jump_face_length)
            jump = testramp_jump_height * u / testramp_jump_face_length;
        else if (u <= testramp_jump_face_length + testramp_jump_table)
            jump = testramp_jump_height;
        else if (u < testramp_jump_face_length + testramp_jump_table + testramp_jump_land_length)
            jump = testramp_jump_height *
                   (1 - (u - testramp_jump_face_length - testramp_jump_table) / testramp_jump_land_length);
    }
    h += jump * band(x, testramp_jump_x0, testramp_jump_x1, testramp_jump_edge);
    return h;
}

// Starting spots of the test tracks (no checkpoints: no lap timing).
void test_spots(timing_gates* g, const float (*spots)[3], int count) {
    gates_clear(g);
    for (int i = 0; i < count; i++) {
        gate_spot& p = g->spots[g->spot_count++];
        memcpy(p.position, spots[i], sizeof p.position);
        p.heading = 0;  // facing -z
        p.model = "@startgate.jm";
        p.texture = "@startgate.ppm";
        p.shape = "@startgate.shp";
        p.gate_object = -1;
        p.gate_angle = 1;
    }
}

bool gen_write_testflat(const char* outdir, char* error, int error_size) {
    timing_gates* g = (timing_gates*)mem_calloc_or_die(1, sizeof(timing_gates));
    test_spots(g, testflat_spots, testflat_spot_count);
    bool ok = write_test_track(outdir, "testflat", "Test Flat", true, nullptr, g, error, error_size);
    mem_free(g);
    return ok;
}

bool gen_write_testramp(const char* outdir, char* error, int error_size) {
    timing_gates* g = (timing_gates*)mem_calloc_or_die(1, sizeof(timing_gates));
    test_spots(g, testramp_spots, testramp_spot_count);
    bool ok = write_test_track(outdir, "testramp", "Test Ramp", false, testramp_height, g, error, error_size);
    mem_free(g);
    return ok;
}
