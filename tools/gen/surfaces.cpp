// The surface tiles of the generated tracks: their physical data and names.
//
// Friction is a function of the tyre's slip speed (ft/s). Packed dirt grips
// best, with a peak at a little slip; loose dirt and sand give less and fall
// off further as the tyre spins; grass grips well enough at walking pace but
// becomes slippery as soon as the tyre slides fast. Rolling resistance (lbf)
// grows with how deep the tyre sinks in: little on packed dirt, a lot in sand.
// The soft surfaces throw much more dirt and dig ruts sooner and deeper.
#include <cstring>

#include "base/mem.h"
#include "gen/gen.h"
#include "track/tile.h"

namespace {

struct curve_point {
    float value, speed;
};
struct roll_point {
    float a, b, speed;
};
struct roost_spec {
    float count, slip_threshold, size, grow, drag, vscale, randomize;
    uint8_t r, g, b, a;
    int8_t fade_a;  // per tick
};

struct surface_spec {
    const char* texture;
    curve_point friction[5];
    roll_point roll[2];
    roost_spec roost[2];  // count 0: none
    tile_erosion erosion;
};

// Erosion fields: depth, lower, upper, displacement, radius, max slope,
// off speed, on speed.
const surface_spec surfaces[course_surface_count] = {
    // grass
    {"@grass.png",
     {{1.0f, 1}, {0.85f, 5}, {0.6f, 15}, {0.45f, 35}, {0.4f, 80}},
     {{5, 16, 1}, {6, 20, 60}},
     {{2, 8, 0.15f, 1.5f, 1.0f, 0.8f, 6, 70, 110, 45, 255, -3}, {0}},
     {0.25f, 120, 300, 1, 2.5f, 0.25f, 12, 20}},
    // hard-packed dirt
    {"@hardpack.png",
     {{1.1f, 1}, {1.2f, 5}, {1.05f, 15}, {0.9f, 40}, {0.8f, 80}},
     {{3, 12, 1}, {3.5f, 14, 60}},
     {{4, 6, 0.2f, 2, 0.8f, 1, 10, 120, 95, 70, 255, -2}, {1, 10, 0.5f, 5, 2, 0.6f, 12, 150, 130, 105, 110, -1}},
     {0.6f, 70, 220, 1.5f, 3, 0.3f, 8, 14}},
    // loose dirt
    {"@loose.png",
     {{0.95f, 1}, {1.0f, 6}, {0.85f, 18}, {0.72f, 45}, {0.65f, 90}},
     {{6, 28, 1}, {7, 32, 60}},
     {{10, 3, 0.25f, 3, 0.8f, 1, 14, 135, 105, 75, 255, -2}, {2, 6, 0.6f, 6, 2, 0.6f, 14, 160, 140, 115, 120, -1}},
     {1.6f, 35, 140, 2.5f, 3.5f, 0.45f, 6, 12}},
    // sand
    {"@sand.png",
     {{0.8f, 1}, {0.85f, 8}, {0.72f, 20}, {0.62f, 50}, {0.58f, 90}},
     {{10, 48, 1}, {12, 55, 60}},
     {{14, 2.5f, 0.22f, 3, 0.9f, 1, 16, 205, 185, 140, 255, -2},
      {3, 5, 0.7f, 7, 2.5f, 0.5f, 16, 220, 205, 165, 110, -1}},
     {2.4f, 25, 110, 3, 3, 0.6f, 5, 10}},
};

}  // namespace

void gen_surface_tile(course_surface kind, tile* out) {
    const surface_spec& sp = surfaces[kind];
    tile_defaults(out);
    out->texture_name = mem_strdup(sp.texture);
    for (int k = 0; k < 5; k++) out->friction[k] = {sp.friction[k].value, sp.friction[k].speed};
    for (int k = 0; k < 2; k++) out->roll[k] = {sp.roll[k].a, sp.roll[k].b, sp.roll[k].speed};
    for (int k = 0; k < 2; k++) {
        const roost_spec& r = sp.roost[k];
        if (r.count <= 0) break;
        roost_type& q = out->roost[k];
        roost_defaults(&q, 0);
        q.kind = roost_dirt;
        q.count = r.count;
        q.slip_threshold = r.slip_threshold;
        q.size = r.size;
        q.grow = r.grow;
        q.drag = r.drag;
        q.vscale = r.vscale;
        q.randomize = r.randomize;
        q.r = r.r;
        q.g = r.g;
        q.b = r.b;
        q.a = r.a;
        q.fade_a = r.fade_a;
    }
    out->erosion = sp.erosion;
}
