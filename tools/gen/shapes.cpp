// Collision shapes: the spheres of the seven generic bike bodies and of the
// starting gate.
//
// The bike's spheres are laid out in the bike's frame at rest (x to the
// rider's right, y up from the ground, the front wheel at the smaller z) and
// then moved into each body's own coordinates by subtracting that body's
// position from the catalogue; every bike shares these shapes and the same
// positions. The wheels get a ring of spheres around the tyre's torus and the
// swing arm follows the line from its pivot to the rear axle, both from the
// catalogue's figures.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/digest.h"
#include "files/data.h"
#include "gen/gen.h"
#include "sim/catalogue.h"

namespace {

constexpr float pi = 3.14159265f;
constexpr int max_spheres = 40, wheel_ring_spheres = 16, swingarm_steps = 5;

// Contact figures per body: friction, stiffness (lbf/ft), damping (lbf s/ft).
// The tyres match the proxy sphere the bike collisions give a wheel.
struct contact {
    float friction, stiffness, damping;
};
constexpr contact frame_contact = {0.5f, 20000, 1500};
constexpr contact fork_contact = {0.5f, 15000, 1200};
constexpr contact swingarm_contact = {0.4f, 20000, 1500};
constexpr contact tyre_contact = {1.0f, 25000, 2500};
constexpr contact rider_contact = {0.7f, 8000, 800};
constexpr contact gate_contact = {0.4f, 25000, 2500};

// A sphere in the bike's rest frame.
struct rest_sphere {
    float x, y, z, radius;
};

// The frame: engine, tank, shrouds, seat, fenders, side panels, silencer and
// footpegs (the pegs sit under the rider's foot points).
const rest_sphere frame_spheres[] = {
    {0, 1.55f, 3.55f, 0.5f},        // crankcases
    {0, 1.2f, 3.3f, 0.2f},          // skid plate
    {0, 2.2f, 3.0f, 0.42f},         // cylinder and head
    {0, 2.4f, 2.45f, 0.3f},         // down tubes below the steering head
    {0, 2.85f, 3.1f, 0.42f},        // tank
    {-0.5f, 2.45f, 2.75f, 0.28f},   // radiator shrouds
    {0.5f, 2.45f, 2.75f, 0.28f},    //
    {0, 3.0f, 3.85f, 0.35f},        // seat
    {0, 3.1f, 4.6f, 0.32f},         //
    {-0.4f, 2.75f, 4.5f, 0.28f},    // side panels
    {0.4f, 2.75f, 4.5f, 0.28f},     //
    {0, 3.15f, 5.5f, 0.3f},         // rear fender
    {0, 3.2f, 6.35f, 0.22f},        //
    {-0.45f, 2.7f, 5.3f, 0.22f},    // side number plates, the silencer
    {0.45f, 2.7f, 5.3f, 0.22f},     // behind the right one
    {-0.62f, 1.45f, 4.15f, 0.14f},  // footpegs
    {0.62f, 1.45f, 4.15f, 0.14f},   //
};

// The fork upper body: handlebar, top clamp with the number plate, the top of
// the fork tubes and the front fender on the lower clamp.
const rest_sphere fork_upper_spheres[] = {
    {-1.0f, 3.95f, 2.85f, 0.15f},   // bar ends, by the rider's hands
    {1.0f, 3.95f, 2.85f, 0.15f},    //
    {-0.5f, 3.92f, 2.8f, 0.15f},    //
    {0.5f, 3.92f, 2.8f, 0.15f},     //
    {0, 3.9f, 2.75f, 0.18f},        // bar clamp
    {0, 3.25f, 1.95f, 0.3f},        // number plate
    {-0.42f, 2.75f, 2.08f, 0.17f},  // fork tubes
    {0.42f, 2.75f, 2.08f, 0.17f},   //
    {0, 2.55f, 1.2f, 0.22f},        // front fender
};

// The rider, from the skeleton reference (rider body coordinates): helmet,
// chest, shoulders, back, hips, elbows, forearms, knees, shins and boots.
const rest_sphere rider_local_spheres[] = {
    {0, 0.808f, -0.943f, 0.42f},        // helmet, on the head point
    {0, 0.45f, -0.55f, 0.4f},           // upper chest
    {-0.556f, 0.58f, -0.654f, 0.26f},   // shoulders
    {0.556f, 0.58f, -0.654f, 0.26f},    //
    {0, 0, -0.1f, 0.5f},                // torso
    {0, -0.4f, 0.35f, 0.42f},           // lower back
    {-0.269f, -0.571f, 0.671f, 0.33f},  // hips
    {0.269f, -0.571f, 0.671f, 0.33f},   //
    {-1.1f, 0.05f, -0.85f, 0.18f},      // elbows
    {1.1f, 0.05f, -0.85f, 0.18f},       //
    {-1.1f, -0.2f, -1.05f, 0.15f},      // forearms
    {1.1f, -0.2f, -1.05f, 0.15f},       //
    {-0.5f, -1.75f, -0.25f, 0.25f},     // knees
    {0.5f, -1.75f, -0.25f, 0.25f},      //
    {-0.55f, -2.45f, -0.1f, 0.2f},      // shins
    {0.55f, -2.45f, -0.1f, 0.2f},       //
    {-0.62f, -2.9f, 0, 0.2f},           // boots, above the footpegs
    {0.62f, -2.9f, 0, 0.2f},            //
};

// The starting gate, in the gate object's coordinates: the object stands on
// the gate line with the rider behind it (+z, 3 ft back); the board is 3.3 ft
// wide and 1.7 ft high, just behind the hinge line.
const rest_sphere gate_spheres[] = {
    {-1.28f, 0.45f, 0.2f, 0.35f}, {-0.64f, 0.45f, 0.2f, 0.35f}, {0, 0.45f, 0.2f, 0.35f},
    {0.64f, 0.45f, 0.2f, 0.35f},  {1.28f, 0.45f, 0.2f, 0.35f},  {-1.28f, 1.25f, 0.2f, 0.35f},
    {-0.64f, 1.25f, 0.2f, 0.35f}, {0, 1.25f, 0.2f, 0.35f},      {0.64f, 1.25f, 0.2f, 0.35f},
    {1.28f, 1.25f, 0.2f, 0.35f},
};

struct shape_store {
    gen_sphere spheres[max_spheres];
    int count;
};
shape_store s_store[gen_generic_shape_count + 1];
gen_shape s_shapes[gen_generic_shape_count + 1];
bool s_built = false;

// Keeps values to a tenth of a thousandth so that the files read cleanly.
float tidy(float v) { return std::round(v * 10000.0f) / 10000.0f + 0.0f; }

void add(shape_store* s, float x, float y, float z, float radius, const contact& c) {
    if (s->count >= max_spheres) return;
    s->spheres[s->count++] = {tidy(x), tidy(y), tidy(z), tidy(radius), c.friction, c.stiffness, c.damping};
}

// Spheres given in the rest frame, moved into the coordinates of a body at `origin`.
void add_rest(shape_store* s, const rest_sphere* list, int n, const bike_vec3& origin, const contact& c) {
    for (int k = 0; k < n; k++)
        add(s, list[k].x - origin.x, list[k].y - origin.y, list[k].z - origin.z, list[k].radius, c);
}

// A tyre: a ring of spheres of the section radius on the ring radius, in the
// wheel's plane (the axle is x), and a small hub.
void add_wheel(shape_store* s, const bike_wheel_spec& w) {
    for (int k = 0; k < wheel_ring_spheres; k++) {
        float a = k * 2 * pi / wheel_ring_spheres;
        add(s, 0, w.ring_radius * std::cos(a), w.ring_radius * std::sin(a), w.section_radius, tyre_contact);
    }
    add(s, 0, 0, 0, 0.3f, tyre_contact);
}

void build() {
    const bike_spec* b = bike_catalogue_entry(0);
    shape_store* st = s_store;
    const char* files[] = {"generic_frame.shp",    "generic_fork_upper.shp", "generic_fork_lower.shp",
                           "generic_swingarm.shp", "front_wheel.shp",        "rear_wheel.shp",
                           "generic_rider.shp",    "startgate.shp"};

    add_rest(&st[0], frame_spheres, int(sizeof frame_spheres / sizeof frame_spheres[0]), b->frame_position,
             frame_contact);
    add_rest(&st[1], fork_upper_spheres, int(sizeof fork_upper_spheres / sizeof fork_upper_spheres[0]),
             b->fork_upper_position, fork_contact);

    // Fork lower: the two sliders from the front axle up the steering axis.
    {
        const bike_vec3& lo = b->fork_lower_position;
        const bike_vec3& up = b->fork_upper_position;
        const bike_vec3& axle = b->front_wheel.position;
        float ay = up.y - lo.y, az = up.z - lo.z;
        float len = std::sqrt(ay * ay + az * az);
        ay /= len;
        az /= len;
        float half = b->fork_tube_spacing / 2;
        const float along[] = {0.15f, 0.55f, 0.95f};
        for (float t : along)
            for (float side : {-1.0f, 1.0f})
                add(&st[2], side * half, axle.y + ay * t - lo.y, axle.z + az * t - lo.z, 0.14f, fork_contact);
    }

    // Swing arm: both side members from the pivot to the rear axle, and the
    // linkage under the pivot.
    {
        const bike_vec3& o = b->swingarm_position;
        const bike_vec3& p = b->swingarm_pivot;
        const bike_vec3& a = b->rear_wheel.position;
        float half = b->frame_box.x / 2;
        for (int k = 1; k <= swingarm_steps; k++) {
            float t = float(k) / swingarm_steps;
            for (float side : {-1.0f, 1.0f})
                add(&st[3], side * half, p.y + (a.y - p.y) * t - o.y, p.z + (a.z - p.z) * t - o.z, 0.13f,
                    swingarm_contact);
        }
        add(&st[3], 0, p.y - 0.35f - o.y, p.z + 0.25f - o.z, 0.18f, swingarm_contact);
    }

    add_wheel(&st[4], b->front_wheel);
    add_wheel(&st[5], b->rear_wheel);
    const bike_vec3 zero = {0, 0, 0};
    add_rest(&st[6], rider_local_spheres, int(sizeof rider_local_spheres / sizeof rider_local_spheres[0]), zero,
             rider_contact);
    add_rest(&st[7], gate_spheres, int(sizeof gate_spheres / sizeof gate_spheres[0]), zero, gate_contact);

    for (int k = 0; k <= gen_generic_shape_count; k++) s_shapes[k] = {files[k], st[k].count, st[k].spheres};
    s_built = true;
}

}  // namespace

const gen_shape* gen_shapes() {
    if (!s_built) build();
    return s_shapes;
}

int gen_shape_count() { return gen_generic_shape_count + 1; }

bool gen_write_shapes(const char* outdir, char* error, int error_size) {
    const gen_shape* shapes = gen_shapes();
    for (int k = 0; k < gen_shape_count(); k++) {
        char path[1024];
        data_stream* s = gen_path(path, sizeof path, outdir, shapes[k].file) ? data_open(path, "wb") : nullptr;
        if (!s) {
            snprintf(error, error_size, "can't write '%s'\n", path);
            return false;
        }
        data_printf(s, "%d\n", shapes[k].count);
        for (int q = 0; q < shapes[k].count; q++) {
            const gen_sphere& p = shapes[k].spheres[q];
            data_printf(s, "%.4f %.4f %.4f %.4f %.2f %.0f %.0f\n", (double)p.x, (double)p.y, (double)p.z,
                        (double)p.radius, (double)p.friction, (double)p.stiffness, (double)p.damping);
        }
        bool ok = !data_error(s);
        data_close(s);
        if (!ok) {
            snprintf(error, error_size, "can't write '%s'\n", path);
            return false;
        }
    }
    return true;
}

bool gen_shape_digest(const char* outdir, char hex[41]) {
    sha1_context c;
    sha1_begin(&c);
    const gen_shape* shapes = gen_shapes();
    for (int k = 0; k < gen_generic_shape_count; k++) {
        char path[1024];
        if (!gen_path(path, sizeof path, outdir, shapes[k].file)) return false;
        data_stream* s = data_open(path, "rb");
        if (!s) return false;
        unsigned char block[4096];
        size_t n;
        while ((n = data_read(s, block, sizeof block)) > 0) sha1_add(&c, block, n);
        data_close(s);
    }
    uint8_t digest[20];
    sha1_end(&c, digest);
    sha1_hex(digest, hex);
    return true;
}
