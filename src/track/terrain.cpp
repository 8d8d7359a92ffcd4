// The terrain height field: loading, ground queries, height changes with
// reshading, and the writers of the height, shading and shadow files.
#include "track/terrain.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/digest.h"
#include "base/log.h"
#include "base/mem.h"
#include "files/data.h"
#include "frame/game.h"
#include "render/image.h"

terrain g_terrain;

namespace {

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

uint8_t clamp_byte(float v) {
    if (!(v >= 0.0f)) return 0;  // also NaN
    if (v >= 255.0f) return 255;
    return (uint8_t)v;
}

// The loading display's steps: announced, then closed with "...done".
void step_begin(const char* text) { log_printf("%s\n", text); }
void step_done(const char* text) { log_printf("%.64s...done\n", text); }

// folder + "/" + file; false when it does not fit.
bool join_name(char* out, size_t size, const char* folder, const char* file) {
    int n = snprintf(out, size, "%s/%s", folder, file);
    return n > 0 && (size_t)n < size;
}

data_stream* open_in(const char* folder, const char* file, char* name, size_t size) {
    if (!join_name(name, size, folder, file)) return nullptr;
    return data_open(name, "rb");
}

void cant_open(const char* name) { message_printf("Can't open '%.950s'", name); }

// Exponent and spacing that give a field the queries can work with.
bool valid_grid(int exponent, float spacing) {
    if (exponent < terrain_min_exponent || exponent > terrain_max_exponent) return false;
    if (!std::isfinite(spacing) || !(spacing > 0.0f)) return false;
    float inv = 1.0f / spacing;
    float world = (float)(int64_t(1) << (exponent + 1)) * spacing;
    return std::isfinite(inv) && inv > 0.0f && std::isfinite(world);
}

// Sets the dimensions and allocates heights, shading and shadow.
void allocate_grid(terrain* t, int exponent, float spacing) {
    t->exponent = exponent;
    t->size = (1 << (exponent + 1)) + 1;
    t->spacing = spacing;
    t->inv_spacing = 1.0f / spacing;
    t->tile_size = 2.0f * spacing;
    t->world_size = (float)(int64_t(1) << (exponent + 1)) * spacing;
    int64_t count = (int64_t)t->size * t->size;
    t->heights = (float*)mem_calloc_or_die((size_t)count, sizeof(float));
    t->shading = (uint8_t*)mem_calloc_or_die((size_t)count, 3);
    t->shadow = (uint8_t*)mem_calloc_or_die((size_t)count, 1);
    t->dirty_i0 = t->dirty_j0 = 1;
    t->dirty_i1 = t->dirty_j1 = 0;
}

void normalise(float v[3]) {
    float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0.0f && std::isfinite(l)) {
        v[0] /= l;
        v[1] /= l;
        v[2] /= l;
    }
}

void take_lighting(terrain* t, const terrain_lighting* light) {
    terrain_setup defaults;
    terrain_setup_defaults(&defaults);
    t->light = light ? *light : defaults.light;
    float* sun = t->light.sun;
    float l = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    if (!(l > 0.0f) || !std::isfinite(l))
        memcpy(sun, defaults.light.sun, sizeof defaults.light.sun);
    else
        normalise(sun);
}

void write_normal_pixel(terrain* t, int i, int j, const float n[3]) {
    auto part = [](float v) {
        float p = 127.0f * v;
        int c = std::isfinite(p) ? (int)p : 0;
        return (uint8_t)(128 + clamp_int(c, -127, 127));
    };
    size_t k = (size_t)i + (size_t)j * t->size;
    uint8_t* px = t->normal_map + k * 3;
    px[0] = part(n[0]);
    px[1] = (uint8_t)(255 - t->shadow[k]);
    px[2] = part(n[2]);
}

// The triangle under a point: three clamped corners and the two weights.
struct ground_triangle {
    int i[3], j[3];  // corners P0, P1, P2, unclamped (within -1..N+1)
    float a, b;
};

inline void pick_triangle(const terrain* t, float x, float z, ground_triangle* tri) {
    float limit = (float)t->size;
    float u = x * t->inv_spacing;
    float v = z * t->inv_spacing;
    // Far outside (or NaN) is the same as just outside: border heights.
    if (!(u >= -1.0f)) u = -1.0f;
    if (u > limit) u = limit;
    if (!(v >= -1.0f)) v = -1.0f;
    if (v > limit) v = limit;
    int i = (int)std::floor(u);
    int j = (int)std::floor(v);
    float fu = u - (float)i;
    float fv = v - (float)j;
    if (((i ^ j) & 1) != 0) {
        if (fu + fv <= 1.0f) {
            *tri = {{i, i + 1, i}, {j, j, j + 1}, fu, fv};
        } else {
            *tri = {{i + 1, i, i + 1}, {j + 1, j + 1, j}, 1.0f - fu, 1.0f - fv};
        }
    } else {
        if ((1.0f - fu) + fv <= 1.0f) {
            *tri = {{i + 1, i, i + 1}, {j, j, j + 1}, 1.0f - fu, fv};
        } else {
            *tri = {{i, i + 1, i}, {j + 1, j + 1, j}, fu, 1.0f - fv};
        }
    }
}

inline float sample(const terrain* t, int i, int j) { return terrain_sample(t, i, j); }

// Reads the inline samples of "terrain.hf", row by row, into the heights and
// the hash. False when the file ends early.
bool read_inline_heights(terrain* t, data_stream* s, sha1_context* hash, double scale) {
    int n = t->size;
    uint8_t* row = (uint8_t*)mem_alloc_or_die((size_t)n * 2);
    bool ok = true;
    for (int j = 0; j < n && ok; j++) {
        if (data_read(s, row, (size_t)n * 2) != (size_t)n * 2) {
            ok = false;
            break;
        }
        sha1_add(hash, row, (size_t)n * 2);
        float* out = t->heights + (size_t)j * n;
        for (int i = 0; i < n; i++) out[i] = (float)(t->min_height + (row[2 * i] | row[2 * i + 1] << 8) * scale);
    }
    mem_free(row);
    return ok;
}

// The samples from "terrain.png"; an image that cannot be read gives 0 for
// every sample.
void read_png_heights(terrain* t, const char* folder, sha1_context* hash, double scale) {
    char name[1100];
    image img = {};
    data_stream* s = open_in(folder, "terrain.png", name, sizeof name);
    if (s) {
        image_read_png(s, &img, image_png_grey16);
        data_close(s);
    }
    int n = t->size;
    uint8_t* row = (uint8_t*)mem_alloc_or_die((size_t)n * 2);
    for (int j = 0; j < n; j++) {
        const uint16_t* src = img.pixels ? (const uint16_t*)img.pixels + (size_t)(j < img.height ? j : img.height - 1) * img.width
                                         : nullptr;
        float* out = t->heights + (size_t)j * n;
        for (int i = 0; i < n; i++) {
            unsigned v = src ? src[i < img.width ? i : img.width - 1] : 0;
            row[2 * i] = (uint8_t)(v & 255);
            row[2 * i + 1] = (uint8_t)(v >> 8);
            out[i] = (float)(t->min_height + v * scale);
        }
        sha1_add(hash, row, (size_t)n * 2);
    }
    mem_free(row);
    image_free(&img);
}

bool load_heights(terrain* t, const char* folder) {
    char name[1100];
    const char* text = "Loading terrain";
    step_begin(text);
    data_stream* s = open_in(folder, "terrain.hf", name, sizeof name);
    if (!s) {
        cant_open(name);
        return false;
    }
    terrain_header h;
    if (!terrain_read_header(s, &h)) {
        message_printf("Bad height field parameters");
        message_printf("Error reading heights");
        data_close(s);
        return false;
    }
    t->min_height = h.min_height;
    t->max_height = h.max_height;
    allocate_grid(t, h.exponent, h.spacing);
    step_done(text);

    text = "Loading heights";
    step_begin(text);
    sha1_context hash;
    sha1_begin(&hash);
    double scale = ((double)h.max_height - h.min_height) / 65535.0;
    if (h.inline_heights) {
        if (!read_inline_heights(t, s, &hash, scale)) {
            message_printf("Error reading heights");
            data_close(s);
            return false;
        }
    } else {
        read_png_heights(t, folder, &hash, scale);
    }
    sha1_end(&hash, t->height_hash);
    if (g_settings.debug_level >= 2) {
        char hex[41];
        sha1_hex(t->height_hash, hex);
        log_printf("%s\n", hex);
    }
    data_close(s);
    step_done(text);
    return true;
}

bool load_shading(terrain* t, const char* folder) {
    char name[1100];
    const char* text = "Loading shading";
    step_begin(text);
    bool full = false;
    data_stream* s = open_in(folder, "shadingx2.ppm", name, sizeof name);
    if (!s) {
        full = true;
        s = open_in(folder, "shading.ppm", name, sizeof name);
        if (!s) {
            cant_open(name);
            return false;
        }
    }
    image img;
    bool ok = image_read_rgb(s, &img);
    data_close(s);
    if (!ok) {
        message_printf("Error reading shading");
        return false;
    }
    if (img.width != t->size || img.height != t->size) {
        message_printf("Bad shading dimensions (%dx%d)", img.width, img.height);
        image_free(&img);
        return false;
    }
    size_t count = (size_t)t->size * t->size * 3;
    for (size_t k = 0; k < count; k++) t->shading[k] = full ? (uint8_t)(img.pixels[k] >> 1) : img.pixels[k];
    image_free(&img);
    step_done(text);
    return true;
}

bool load_shadows(terrain* t, const char* folder) {
    char name[1100];
    const char* text = "Loading shadows";
    step_begin(text);
    data_stream* s = open_in(folder, "shadows.pgm", name, sizeof name);
    if (s) {
        image img;
        bool ok = image_read_grey(s, &img);
        data_close(s);
        if (!ok) {
            message_printf("Error reading shadows");
            return false;
        }
        if (img.width != t->size || img.height != t->size) {
            log_printf("Bad shadow dimensions (%dx%d)\n", img.width, img.height);
            image_free(&img);
            return false;
        }
        size_t count = (size_t)t->size * t->size;
        for (size_t k = 0; k < count; k++) t->shadow[k] = (uint8_t)(255 - img.pixels[k]);
        image_free(&img);
    }
    step_done(text);
    return true;
}

bool load_tiles(terrain* t, const char* folder) {
    char name[1100];
    const char* text = "Loading tileinfo";
    step_begin(text);
    data_stream* s = open_in(folder, "tileinfo", name, sizeof name);
    if (s) {
        tile_read_tileinfo(&t->tiles, s);
    } else {
        s = open_in(folder, "texturelist", name, sizeof name);
        if (!s) {
            cant_open(name);
            return false;
        }
        tile_read_texturelist(&t->tiles, s);
    }
    data_close(s);
    step_done(text);

    text = "Loading tilemap";
    step_begin(text);
    s = open_in(folder, "tilemap", name, sizeof name);
    if (!s) {
        cant_open(name);
        return false;
    }
    bool ok = tile_read_map(&t->tiles, s, 1 << t->exponent);
    data_close(s);
    if (!ok) return false;
    step_done(text);
    return true;
}

void create_normals(terrain* t) {
    const char* text = "Creating terrain normals";
    step_begin(text);
    t->normal_map = (uint8_t*)mem_calloc_or_die((size_t)t->size * t->size, 3);
    for (int j = 0; j < t->size; j++) {
        for (int i = 0; i < t->size; i++) {
            float n[3];
            terrain_vertex_normal(t, i, j, n);
            write_normal_pixel(t, i, j, n);
        }
    }
    step_done(text);
}

void load_decals(terrain* t, const char* folder) {
    char name[1100];
    data_stream* s = open_in(folder, "decals", name, sizeof name);
    if (!s) return;
    tile_read_decals(&t->tiles, s, t->world_size, t->normals);
    data_close(s);
}

// Widens the dirty rectangle to hold the given one.
void mark_dirty(terrain* t, int i0, int j0, int i1, int j1) {
    if (t->dirty_i0 > t->dirty_i1) {
        t->dirty_i0 = i0;
        t->dirty_j0 = j0;
        t->dirty_i1 = i1;
        t->dirty_j1 = j1;
        return;
    }
    if (i0 < t->dirty_i0) t->dirty_i0 = i0;
    if (j0 < t->dirty_j0) t->dirty_j0 = j0;
    if (i1 > t->dirty_i1) t->dirty_i1 = i1;
    if (j1 > t->dirty_j1) t->dirty_j1 = j1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Loading

void terrain_setup_defaults(terrain_setup* setup) {
    *setup = {};
    setup->method = ground_method_none;
    const float third = 0.57735026f;  // (1, 1, 1) normalised
    for (int c = 0; c < 3; c++) {
        setup->light.sun[c] = third;
        setup->light.sun_colour[c] = 1.0f;
        setup->light.ambient[c] = 0.5f;
    }
}

bool terrain_read_header(data_stream* s, terrain_header* h) {
    *h = {};
    int n = 0;
    float spacing = 0, lo = 0, hi = 0;
    if (data_scanf(s, "%d %f %f %f ", &n, &spacing, &lo, &hi) != 4) return false;
    if (!valid_grid(n, spacing)) return false;
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) return false;
    h->exponent = n;
    h->spacing = spacing;
    h->min_height = lo;
    h->max_height = hi;
    h->inline_heights = data_getc(s) == ':';
    return true;
}

bool terrain_load(terrain* t, const char* folder, const terrain_setup* setup) {
    terrain_free(t);
    terrain_setup defaults;
    terrain_setup_defaults(&defaults);
    if (!setup) setup = &defaults;
    take_lighting(t, &setup->light);
    t->method = setup->method;

    if (!load_heights(t, folder)) {
        terrain_free(t);
        return false;
    }
    t->normals = setup->shaders && t->light.dynamic &&
                 (setup->method == ground_method_copy || setup->method == ground_method_fbo);
    if (!load_shading(t, folder) || !load_shadows(t, folder) || !load_tiles(t, folder)) {
        terrain_free(t);
        return false;
    }
    if (t->normals) create_normals(t);
    load_decals(t, folder);
    t->change_counter = 1;
    t->modified = 0;
    t->deform_lock = false;
    return true;
}

void terrain_free(terrain* t) {
    mem_free(t->heights);
    mem_free(t->shading);
    mem_free(t->shadow);
    mem_free(t->normal_map);
    tile_set_free(&t->tiles);
    *t = {};
}

bool terrain_create(terrain* t, int exponent, float spacing, const terrain_lighting* light) {
    terrain_free(t);
    if (!valid_grid(exponent, spacing)) return false;
    take_lighting(t, light);
    allocate_grid(t, exponent, spacing);
    int side = 1 << exponent;
    t->tiles.tiles = (tile*)mem_calloc_or_die(1, sizeof(tile));
    tile_defaults(&t->tiles.tiles[0]);
    t->tiles.tile_count = 1;
    t->tiles.map = (uint8_t*)mem_calloc_or_die((size_t)side * side, 1);
    t->tiles.map_side = side;
    t->tiles.tiles[0].transition = 0;
    terrain_reshade(t, 0, 0, t->size - 1, t->size - 1);
    t->dirty_i0 = t->dirty_j0 = 1;
    t->dirty_i1 = t->dirty_j1 = 0;
    t->change_counter = 1;
    return true;
}

// ---------------------------------------------------------------------------
// Ground queries

float terrain_height(const terrain* t, float x, float z) {
    ground_triangle tri;
    pick_triangle(t, x, z, &tri);
    float h0 = sample(t, tri.i[0], tri.j[0]);
    float h1 = sample(t, tri.i[1], tri.j[1]);
    float h2 = sample(t, tri.i[2], tri.j[2]);
    return h0 + tri.a * (h1 - h0) + tri.b * (h2 - h0);
}

void terrain_face_normal(const terrain* t, float x, float z, float normal[3]) {
    ground_triangle tri;
    pick_triangle(t, x, z, &tri);
    float s = t->spacing;
    float h0 = sample(t, tri.i[0], tri.j[0]);
    float e1[3] = {(float)(tri.i[1] - tri.i[0]) * s, sample(t, tri.i[1], tri.j[1]) - h0, (float)(tri.j[1] - tri.j[0]) * s};
    float e2[3] = {(float)(tri.i[2] - tri.i[0]) * s, sample(t, tri.i[2], tri.j[2]) - h0, (float)(tri.j[2] - tri.j[0]) * s};
    normal[0] = e1[1] * e2[2] - e1[2] * e2[1];
    normal[1] = e1[2] * e2[0] - e1[0] * e2[2];
    normal[2] = e1[0] * e2[1] - e1[1] * e2[0];
    if (normal[1] < 0.0f) {
        normal[0] = -normal[0];
        normal[1] = -normal[1];
        normal[2] = -normal[2];
    }
}

void terrain_vertex_normal(const terrain* t, int i, int j, float normal[3]) {
    static const int around[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    // Beyond the border every neighbour takes the border's heights.
    i = clamp_int(i, -1, t->size);
    j = clamp_int(j, -1, t->size);
    float s = t->spacing;
    float centre = sample(t, i, j);
    float p[8][3];
    for (int k = 0; k < 8; k++) {
        p[k][0] = (float)around[k][0] * s;
        p[k][1] = sample(t, i + around[k][0], j + around[k][1]) - centre;
        p[k][2] = (float)around[k][1] * s;
    }
    float sum[3] = {0, 0, 0};
    for (int k = 0; k < 8; k++) {
        const float* a = p[k];
        const float* b = p[(k + 1) & 7];
        float c[3] = {b[1] * a[2] - b[2] * a[1], b[2] * a[0] - b[0] * a[2], b[0] * a[1] - b[1] * a[0]};
        float l = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        if (!(l > 0.0f) || !std::isfinite(l)) continue;
        sum[0] += c[0] / l;
        sum[1] += c[1] / l;
        sum[2] += c[2] / l;
    }
    float l = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (!(l > 0.0f) || !std::isfinite(l)) {
        normal[0] = 0.0f;
        normal[1] = 1.0f;
        normal[2] = 0.0f;
        return;
    }
    normal[0] = sum[0] / l;
    normal[1] = sum[1] / l;
    normal[2] = sum[2] / l;
}

int terrain_tile_at(const terrain* t, float x, float z) {
    int side = t->tiles.map_side;
    if (side < 1 || !t->tiles.map) return 0;
    float last = (float)(side - 1);
    float tx = x * 0.5f / t->spacing;
    float tz = z * 0.5f / t->spacing;
    if (!(tx >= 0.0f)) tx = 0.0f;
    if (tx > last) tx = last;
    if (!(tz >= 0.0f)) tz = 0.0f;
    if (tz > last) tz = last;
    return t->tiles.map[(int)tx + (int)tz * side];
}

const tile* terrain_tile(const terrain* t, float x, float z) { return &t->tiles.tiles[terrain_tile_at(t, x, z)]; }

// ---------------------------------------------------------------------------
// Height changes

void terrain_deform(terrain* t, float x, float z, float radius, float amount) {
    if (amount == 0.0f || !t->heights) return;
    if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(radius) || !std::isfinite(amount)) return;
    // Work in cells, with the centre and radius bounded so that the integer
    // bounds below cannot overflow (nothing that far away reaches the grid).
    const double limit = 1e9;
    double inv = t->inv_spacing;
    double ux = (double)x * inv, uz = (double)z * inv, h = (double)radius * inv;
    ux = ux < -limit ? -limit : (ux > limit ? limit : ux);
    uz = uz < -limit ? -limit : (uz > limit ? limit : uz);
    h = h < 0.0 ? 0.0 : (h > limit ? limit : h);
    int64_t m = (int64_t)std::ceil(h);
    int64_t cx = (int64_t)std::floor(ux), cz = (int64_t)std::floor(uz);
    int64_t last = t->size - 1;
    int64_t i_lo = cx - m + 1 < 0 ? 0 : cx - m + 1, i_hi = cx + m > last ? last : cx + m;
    int64_t j_lo = cz - m + 1 < 0 ? 0 : cz - m + 1, j_hi = cz + m > last ? last : cz + m;
    if (!t->deform_lock) {
        for (int64_t j = j_lo; j <= j_hi; j++) {
            for (int64_t i = i_lo; i <= i_hi; i++) {
                double dx = ux - (double)i, dz = uz - (double)j;
                double d = std::sqrt(dx * dx + dz * dz);
                double w = 0.0;
                if (d <= h && h > 0.0) {
                    double q = d / h;
                    w = 2.0 * q * q * q - 3.0 * q * q + 1.0;
                }
                t->modified |= terrain_changed | terrain_unsaved;
                float& height = t->heights[i + j * t->size];
                height += (float)(amount * w);
                if (height > t->max_height) t->max_height = height;
                if (height < t->min_height) t->min_height = height;
            }
        }
    }
    auto to_grid = [last](int64_t v) { return (int)(v < 0 ? 0 : (v > last ? last : v)); };
    terrain_reshade(t, to_grid(cx - m), to_grid(cz - m), to_grid(cx + m + 1), to_grid(cz + m + 1));
    t->change_counter++;
}

void terrain_reshade(terrain* t, int i0, int j0, int i1, int j1) {
    if (!t->heights) return;
    int last = t->size - 1;
    i0 = clamp_int(i0, 0, last);
    j0 = clamp_int(j0, 0, last);
    i1 = clamp_int(i1, 0, last);
    j1 = clamp_int(j1, 0, last);
    if (i0 > i1 || j0 > j1) return;
    const terrain_lighting& l = t->light;
    for (int j = j0; j <= j1; j++) {
        for (int i = i0; i <= i1; i++) {
            float n[3];
            terrain_vertex_normal(t, i, j, n);
            size_t k = (size_t)i + (size_t)j * t->size;
            float w = l.sun[0] * n[0] + l.sun[1] * n[1] + l.sun[2] * n[2];
            w = w < 0.0f ? 0.0f : (w > 1.0f ? 1.0f : w);
            w *= 1.0f - t->shadow[k] / 255.0f;
            for (int c = 0; c < 3; c++) t->shading[k * 3 + c] = clamp_byte((l.sun_colour[c] * w + l.ambient[c]) * 0.5f * 255.0f);
            if (t->normal_map) write_normal_pixel(t, i, j, n);
        }
    }
    mark_dirty(t, i0, j0, i1, j1);
}

void terrain_update_range(terrain* t) {
    if (!t->heights) return;
    size_t count = (size_t)t->size * t->size;
    float lo = t->heights[0], hi = t->heights[0];
    for (size_t k = 1; k < count; k++) {
        float h = t->heights[k];
        if (h < lo) lo = h;
        if (h > hi) hi = h;
    }
    t->min_height = lo;
    t->max_height = hi;
}

// ---------------------------------------------------------------------------
// Writers

void terrain_quantise(const terrain* t, uint16_t* out) {
    size_t count = (size_t)t->size * t->size;
    double range = (double)t->max_height - t->min_height;
    double k = range > 0.0 ? 65535.0 / range : 0.0;
    for (size_t i = 0; i < count; i++) {
        double v = ((double)t->heights[i] - t->min_height) * k + 0.5;
        out[i] = (uint16_t)(v <= 0.0 || !std::isfinite(v) ? 0.0 : (v >= 65535.0 ? 65535.0 : v));
    }
}

bool terrain_write_hf(const terrain* t, const char* path, bool inline_heights) {
    if (!t->heights) return false;
    data_stream* s = data_open(path, "wb");
    if (!s) return false;
    data_printf(s, "%d %.9g %.9g %.9g\n", t->exponent, (double)t->spacing, (double)t->min_height,
                (double)t->max_height);
    if (inline_heights) {
        data_putc(s, ':');
        size_t count = (size_t)t->size * t->size;
        uint16_t* values = (uint16_t*)mem_alloc_or_die(count * 2);
        terrain_quantise(t, values);
        uint8_t* bytes = (uint8_t*)values;
        for (size_t i = 0; i < count; i++) {
            uint16_t v = values[i];
            bytes[2 * i] = (uint8_t)(v & 255);
            bytes[2 * i + 1] = (uint8_t)(v >> 8);
        }
        data_write(s, bytes, count * 2);
        mem_free(values);
    }
    bool ok = !data_error(s);
    data_close(s);
    return ok;
}

bool terrain_write_height_png(const terrain* t, const char* path) {
    if (!t->heights) return false;
    image img = {};
    if (!image_alloc(&img, t->size, t->size, 1, 2)) return false;
    terrain_quantise(t, (uint16_t*)img.pixels);
    data_stream* s = data_open(path, "wb");
    bool ok = s && image_write_png(s, &img, false);
    if (s) data_close(s);
    image_free(&img);
    return ok;
}

bool terrain_write_shading(const terrain* t, const char* path) {
    if (!t->shading) return false;
    image img = {t->size, t->size, 3, 1, t->shading};
    data_stream* s = data_open(path, "wb");
    if (!s) return false;
    bool ok = image_write_ppm(s, &img);
    data_close(s);
    return ok;
}

bool terrain_write_shadows(const terrain* t, const char* path) {
    if (!t->shadow) return false;
    image img = {};
    if (!image_alloc(&img, t->size, t->size, 1, 1)) return false;
    size_t count = (size_t)t->size * t->size;
    for (size_t k = 0; k < count; k++) img.pixels[k] = (uint8_t)(255 - t->shadow[k]);
    data_stream* s = data_open(path, "wb");
    bool ok = s && image_write_pgm(s, &img);
    if (s) data_close(s);
    image_free(&img);
    return ok;
}
