// Surface tiles: "tileinfo", "texturelist", "tilemap" and "decals", the
// curve lookups and the writers.
#include "track/tile.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "files/data.h"
#include "frame/game.h"

tile_texture_hooks g_tile_texture_hooks;

namespace {

const float min_curve_speed = 9.5367432e-07f;  // 2^-20: a given point never ends the curve
const tile_erosion default_erosion = {1.0f, 50.0f, 150.0f, 2.0f, 4.0f, 0.25f, 10.0f, 15.0f};

// Loads a picture through the texture loader, or without one checks that the
// file opens. A leading "!" (no detail reduction) is not part of the file name.
bool load_picture(const char* name, uint32_t* handle) {
    *handle = 0;
    if (!name || !name[0]) return false;
    if (g_tile_texture_hooks.texture_get) {
        *handle = g_tile_texture_hooks.texture_get(name);
        return *handle != 0;
    }
    data_stream* s = data_open(name[0] == '!' ? name + 1 : name, "rb");
    if (!s) return false;
    data_close(s);
    return true;
}

// The roost texture default, "@roost.png", loaded once per table read.
struct roost_default_texture {
    bool loaded;
    uint32_t handle;
};

int32_t default_roost_texture(roost_default_texture* d) {
    if (!d->loaded) {
        load_picture("@roost.png", &d->handle);
        d->loaded = true;
    }
    return (int32_t)d->handle;
}

// Exchange sort of the first count points by ascending speed: a later point
// is swapped ahead when its speed is strictly smaller.
template <class P>
void sort_by_speed(P* points, int count) {
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            if (points[j].speed < points[i].speed) {
                P t = points[i];
                points[i] = points[j];
                points[j] = t;
            }
}

// The low byte of a value cut toward zero (0 for NaN and infinities).
uint8_t low_byte(double v) {
    if (!std::isfinite(v)) return 0;
    double m = std::fmod(std::trunc(v), 256.0);
    if (m < 0) m += 256.0;
    return (uint8_t)m;
}

// A value at the start of a text; false (and *value 0) when no number starts
// it or it is not finite.
bool parse_real(const char* text, double* value) {
    char* end;
    double v = strtod(text, &end);
    if (end == text || !std::isfinite(v)) {
        *value = 0.0;
        return false;
    }
    *value = v;
    return true;
}

// The "roost" keys that hold floats.
struct roost_float_key {
    const char* key;
    size_t offset;
};
const roost_float_key roost_float_keys[] = {
    {"count", offsetof(roost_type, count)},
    {"dig", offsetof(roost_type, dig)},
    {"slip_threshold", offsetof(roost_type, slip_threshold)},
    {"slow_angle", offsetof(roost_type, slow_angle)},
    {"fast_angle", offsetof(roost_type, fast_angle)},
    {"slow_speed", offsetof(roost_type, slow_speed)},
    {"fast_speed", offsetof(roost_type, fast_speed)},
    {"size", offsetof(roost_type, size)},
    {"grow", offsetof(roost_type, grow)},
    {"drag", offsetof(roost_type, drag)},
    {"vscale", offsetof(roost_type, vscale)},
    {"randomize", offsetof(roost_type, randomize)},
};
// The byte keys: colour, then colour change per second.
const char* const roost_colour_keys[] = {"r", "g", "b", "a"};
const char* const roost_fade_keys[] = {"fade_r", "fade_g", "fade_b", "fade_a"};

void apply_roost_word(roost_type* r, char** texture_name, const char* word) {
    const char* eq = strchr(word, '=');
    size_t key_length = eq ? (size_t)(eq - word) : 0;
    auto is = [&](const char* key) { return eq && strlen(key) == key_length && memcmp(word, key, key_length) == 0; };
    if (!eq) {
        message_printf("tileinfo warning: unknown roost parameter '%.40s'\n", word);
        return;
    }
    const char* value = eq + 1;
    double v;
    if (is("texture")) {
        uint32_t handle;
        load_picture(value, &handle);
        r->texture = (int32_t)handle;
        mem_free(*texture_name);
        *texture_name = mem_strdup(value);
        return;
    }
    if (is("splash")) {
        parse_real(value, &v);
        if (v != 0.0) r->kind = roost_splash;
        return;
    }
    for (const roost_float_key& k : roost_float_keys) {
        if (!is(k.key)) continue;
        if (!parse_real(value, &v)) message_printf("tileinfo warning: bad %s\n", k.key);
        float f = (float)v;
        if (!std::isfinite(f)) f = 0.0f;  // beyond the float range
        memcpy((char*)r + k.offset, &f, sizeof f);
        return;
    }
    uint8_t* colour = &r->r;
    for (int c = 0; c < 4; c++) {
        if (!is(roost_colour_keys[c])) continue;
        if (!parse_real(value, &v)) message_printf("tileinfo warning: bad %s\n", roost_colour_keys[c]);
        colour[c] = low_byte(v);
        return;
    }
    int8_t* fade = &r->fade_r;
    for (int c = 0; c < 4; c++) {
        if (!is(roost_fade_keys[c])) continue;
        if (!parse_real(value, &v)) message_printf("tileinfo warning: bad %s\n", roost_fade_keys[c]);
        fade[c] = (int8_t)low_byte(v * tick_length);
        return;
    }
    message_printf("tileinfo warning: unknown roost parameter '%.40s'\n", word);
}

bool is_word_separator(char c) { return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\b'; }

// Splits a "roost" argument into words (double quotes group separators and
// are dropped) and applies them in order.
void parse_roost(roost_type* r, char** texture_name, const char* argument) {
    r->kind = roost_dirt;
    size_t length = strlen(argument);
    char* word = (char*)mem_alloc_or_die(length + 1);
    const char* p = argument;
    for (;;) {
        while (*p && is_word_separator(*p)) p++;
        if (!*p) break;
        size_t n = 0;
        bool quoted = false;
        for (; *p && (quoted || !is_word_separator(*p)); p++) {
            if (*p == '"')
                quoted = !quoted;
            else
                word[n++] = *p;
        }
        word[n] = 0;
        apply_roost_word(r, texture_name, word);
    }
    mem_free(word);
}

// A tile being defined by "tileinfo", with how many points and roost records
// its lines have given.
struct tile_draft {
    tile t;
    int friction_count, roll_count, roost_count;
};

void draft_reset(tile_draft* d, roost_default_texture* roost_texture) {
    tile_defaults(&d->t);
    for (roost_type& r : d->t.roost) r.texture = default_roost_texture(roost_texture);
    d->friction_count = d->roll_count = d->roost_count = 0;
}

bool read_floats(const char* text, const char* format, int count, float* a, float* b = nullptr, float* c = nullptr) {
    float x = 0, y = 0, z = 0;
    if (sscanf(text, format, &x, &y, &z) != count) return false;
    if (!std::isfinite(x) || (count > 1 && !std::isfinite(y)) || (count > 2 && !std::isfinite(z))) return false;
    *a = x;
    if (b) *b = y;
    if (c) *c = z;
    return true;
}

// One "tileinfo" directive.
void apply_directive(tile_draft* d, const char* keyword, const char* argument) {
    tile& t = d->t;
    static const char* const erode_keys[] = {"erode_depth",  "erode_lower",     "erode_upper",     "erode_displacement",
                                             "erode_radius", "erode_max_slope", "erode_off_speed", "erode_on_speed"};
    if (strcmp(keyword, "texture") == 0) {
        mem_free(t.texture_name);
        t.texture_name = argument[0] ? mem_strdup(argument) : nullptr;
        t.textured = load_picture(t.texture_name, &t.texture);
    } else if (strcmp(keyword, "friction") == 0) {
        float c, s;
        if (d->friction_count >= tile_curve_points) {
            message_printf("tileinfo warning: too many friction points\n");
        } else if (!read_floats(argument, "%f %f", 2, &c, &s)) {
            message_printf("tileinfo warning: bad friction parameters\n");
        } else {
            t.friction[d->friction_count++] = {c < 0.0f ? 0.0f : c, s < min_curve_speed ? min_curve_speed : s};
        }
    } else if (strcmp(keyword, "roll_resist") == 0) {
        float a, b, s;
        if (d->roll_count >= tile_curve_points) {
            message_printf("tileinfo warning: too many roll_resist points\n");
        } else if (!read_floats(argument, "%f %f %f", 3, &a, &b, &s)) {
            message_printf("tileinfo warning: bad roll_resist parameters\n");
        } else {
            t.roll[d->roll_count++] = {a < 0.0f ? 0.0f : a, b < 0.0f ? 0.0f : b, s < min_curve_speed ? min_curve_speed : s};
        }
    } else if (strcmp(keyword, "roost") == 0) {
        if (d->roost_count >= tile_roost_kinds) {
            message_printf("tileinfo warning: too many roost types\n");
        } else {
            parse_roost(&t.roost[d->roost_count], &t.roost_texture_names[d->roost_count], argument);
            d->roost_count++;
        }
    } else {
        float* erosion = &t.erosion.erode_depth;
        for (int k = 0; k < 8; k++) {
            if (strcmp(keyword, erode_keys[k]) != 0) continue;
            float v;
            if (read_floats(argument, "%f", 1, &v))
                erosion[k] = v;
            else
                message_printf("tileinfo warning: bad %s\n", erode_keys[k]);
            return;
        }
        message_printf("tileinfo warning: Unknown identifier '%.950s'\n", keyword);
    }
}

void begin_table(tile_set* set) {
    for (int i = 0; i < set->tile_count; i++) tile_free(&set->tiles[i]);
    mem_free(set->tiles);
    set->tiles = (tile*)mem_calloc_or_die(tile_max, sizeof(tile));
    set->tile_count = 0;
}

// A table that ended up empty gets one default tile, so that every map byte
// names a tile.
void ensure_one_tile(tile_set* set, const char* file) {
    if (set->tile_count > 0) return;
    message_printf("%s warning: no tiles defined, using a default tile\n", file);
    tile_defaults(&set->tiles[0]);
    roost_default_texture roost_texture = {};
    for (roost_type& r : set->tiles[0].roost) r.texture = default_roost_texture(&roost_texture);
    set->tiles[0].transition = 0;
    set->tile_count = 1;
}

// The part of a tile's name before its first ".", compared with a text.
bool stem_equals(const tile* t, const char* text, size_t length) {
    const char* name = tile_name(t);
    if (!name) return false;
    size_t stem = strcspn(name, ".");
    return stem == length && memcmp(name, text, length) == 0;
}

int find_stem(const tile_set* set, const char* text, size_t length) {
    for (int k = 0; k < set->tile_count; k++)
        if (stem_equals(&set->tiles[k], text, length)) return k;
    return -1;
}

int32_t transition_code(int a, int b, int corners) { return (int32_t)(a << 16 | b << 8 | corners); }

int clamp_region(double v) {
    if (!(v >= 0.0)) return 0;
    if (v >= 7.0) return 7;
    return (int)v;
}

// The regions (inclusive) a decal's bounding box touches.
void decal_regions(const decal* d, float world_size, int* x0, int* z0, int* x1, int* z1) {
    double rw = (double)d->ratio * d->width;
    double ex = std::fabs(rw * d->cosine) / 2 + std::fabs((double)d->width * d->sine) / 2;
    double ez = std::fabs(rw * d->sine) / 2 + std::fabs((double)d->width * d->cosine) / 2;
    double side = (double)world_size / (double)decal_region_side;
    *x0 = clamp_region(std::floor((d->x - ex) / side));
    *x1 = clamp_region(std::floor((d->x + ex) / side));
    *z0 = clamp_region(std::floor((d->z - ez) / side));
    *z1 = clamp_region(std::floor((d->z + ez) / side));
}

bool all_finite(const float* v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tiles

void roost_defaults(roost_type* r, int32_t texture) {
    *r = {};
    r->kind = roost_none;
    r->texture = texture;
    r->count = 10.0f;
    r->dig = 1.0f;
    r->slip_threshold = 4.0f;
    r->slow_angle = 1.5707964f;
    r->fast_angle = 0.19634955f;
    r->slow_speed = 0.0f;
    r->fast_speed = 64.0f;
    r->size = 0.25f;
    r->grow = 4.0f;
    r->drag = 0.5f;
    r->vscale = 1.0f;
    r->randomize = 15.0f;
    r->r = r->g = r->b = r->a = 255;
    r->fade_r = r->fade_g = r->fade_b = 0;
    r->fade_a = -2;
}

void tile_defaults(tile* t) {
    *t = {};
    for (int k = 0; k < tile_curve_points; k++) {
        t->friction[k] = {1.0f, k == 0 ? 1.0f : 0.0f};
        t->roll[k] = {5.0f, 15.0f, k == 0 ? 1.0f : 0.0f};
    }
    for (roost_type& r : t->roost) roost_defaults(&r, 0);
    t->erosion = default_erosion;
    t->transition = -256;
}

void tile_free(tile* t) {
    mem_free(t->texture_name);
    t->texture_name = nullptr;
    for (char*& name : t->roost_texture_names) {
        mem_free(name);
        name = nullptr;
    }
}

float tile_friction(const tile* t, float slip_speed) {
    const friction_point* p = t->friction;
    float v2 = slip_speed * slip_speed;
    int i = 0;
    while (i < tile_curve_points && p[i].speed != 0.0f && !(v2 < p[i].speed * p[i].speed)) i++;
    if (i == 0) return p[0].coefficient;
    if (i == tile_curve_points || p[i].speed == 0.0f) return p[i - 1].coefficient;
    float s0 = p[i - 1].speed * p[i - 1].speed, s1 = p[i].speed * p[i].speed;
    if (!(s1 > s0)) return p[i].coefficient;
    float f = (v2 - s0) / (s1 - s0);
    f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
    return p[i - 1].coefficient + f * (p[i].coefficient - p[i - 1].coefficient);
}

void tile_roll_resist(const tile* t, float w, float* a, float* b) {
    const roll_resist_point* p = t->roll;
    int i = 0;
    while (i < tile_curve_points && p[i].speed != 0.0f && !(w < p[i].speed)) i++;
    if (i == 0) {
        *a = p[0].a;
        *b = p[0].b;
        return;
    }
    if (i == tile_curve_points || p[i].speed == 0.0f) {
        *a = p[i - 1].a;
        *b = p[i - 1].b;
        return;
    }
    float span = p[i].speed - p[i - 1].speed;
    float f = span > 0.0f ? (w - p[i - 1].speed) / span : 1.0f;
    f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
    *a = p[i - 1].a + f * (p[i].a - p[i - 1].a);
    *b = p[i - 1].b + f * (p[i].b - p[i - 1].b);
}

const char* tile_name(const tile* t) {
    const char* name = t->texture_name;
    if (!name || !name[0]) return nullptr;
    const char* slash = strrchr(name, '/');
    if (slash) return slash + 1;
    if (name[0] == '!') name++;
    return name[0] == '@' ? name + 1 : name;
}

int tile_find(const tile_set* set, const char* name) {
    for (int k = 0; k < set->tile_count; k++) {
        const char* own = tile_name(&set->tiles[k]);
        if (own && strcmp(own, name) == 0) return k;
    }
    return -1;
}

void tile_kind_counts(const tile_set* set, int counts[3]) {
    counts[0] = counts[1] = counts[2] = 0;
    for (int k = 0; k < set->tile_count; k++) {
        const tile& t = set->tiles[k];
        bool dirt = false, splash = false;
        for (const roost_type& r : t.roost) {
            if (r.kind == roost_none) break;
            if (r.kind == roost_splash)
                splash = true;
            else
                dirt = true;
        }
        if (!dirt && !splash) counts[0]++;
        if (dirt) counts[1]++;
        if (splash) counts[2]++;
    }
}

// ---------------------------------------------------------------------------
// Reading

void tile_read_tileinfo(tile_set* set, data_stream* s) {
    begin_table(set);
    roost_default_texture roost_texture = {};
    tile_draft draft;
    draft_reset(&draft, &roost_texture);
    char line[1024];
    while (set->tile_count < tile_max && data_gets(s, line, sizeof line)) {
        char* p = line + strspn(line, " \t\r\n");
        if (!*p) continue;
        char* keyword = p;
        p += strcspn(p, " \t\r\n");
        char* argument = p;
        if (*p == ' ' || *p == '\t') {
            *p++ = 0;
            argument = p + strspn(p, " \t");
        } else if (*p) {
            *p = 0;  // a line end right after the keyword: no argument
            argument = p;
        }
        argument[strcspn(argument, "\r\n")] = 0;
        if (strcmp(keyword, "addtile") == 0) {
            sort_by_speed(draft.t.friction, draft.friction_count);
            sort_by_speed(draft.t.roll, draft.roll_count);
            set->tiles[set->tile_count++] = draft.t;  // the names move with it
            draft_reset(&draft, &roost_texture);
        } else {
            apply_directive(&draft, keyword, argument);
        }
    }
    tile_free(&draft.t);  // lines after the last "addtile" have no effect
    ensure_one_tile(set, "tileinfo");
    tile_compute_transitions(set);
}

void tile_read_texturelist(tile_set* set, data_stream* s) {
    begin_table(set);
    roost_default_texture roost_texture = {};
    char line[1024];
    while (set->tile_count < tile_max && data_gets(s, line, sizeof line)) {
        char* p = line;
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') p++;
        if (!*p) continue;
        float f = 1.0f, a = 5.0f, b = 15.0f;
        int used = -1;
        const char* name = p;
        if (sscanf(p, "%f %f %f %n", &f, &a, &b, &used) == 3) {
            if (used >= 0) name = p + used;
            else name = p + strlen(p);
            if (!std::isfinite(f) || !std::isfinite(a) || !std::isfinite(b)) {
                message_printf("texturelist warning: bad numbers for '%.900s'", name);
                f = 1.0f, a = 5.0f, b = 15.0f;
            }
        } else {
            f = 1.0f, a = 5.0f, b = 15.0f;
        }
        size_t n = strlen(name);
        if (n > 0 && name[n - 1] == '\n') n--;
        tile& t = set->tiles[set->tile_count++];
        tile_defaults(&t);
        t.texture_name = (char*)mem_alloc_or_die(n + 2);
        t.texture_name[0] = '@';
        memcpy(t.texture_name + 1, name, n);
        t.texture_name[n + 1] = 0;
        t.textured = load_picture(t.texture_name, &t.texture);
        for (int k = 0; k < tile_curve_points; k++) {
            t.friction[k] = {f, k == 0 ? 1.0f : 0.0f};
            t.roll[k] = {a, b, k == 0 ? 1.0f : 0.0f};
        }
        int32_t roost_handle = default_roost_texture(&roost_texture);
        for (roost_type& r : t.roost) r.texture = roost_handle;
        t.roost[0].kind = roost_dirt;
        t.transition = transition_code(set->tile_count - 1, set->tile_count - 1, 0);
    }
    ensure_one_tile(set, "texturelist");
}

bool tile_read_map(tile_set* set, data_stream* s, int side) {
    if (side < 1 || side > 4096) return false;
    mem_free(set->map);
    size_t count = (size_t)side * side;
    set->map = (uint8_t*)mem_calloc_or_die(count, 1);
    set->map_side = side;
    size_t got = data_read(s, set->map, count);
    if (got < count) log_printf("tilemap ends after %zu of %zu bytes; the rest is tile 0\n", got, count);
    int last = set->tile_count > 0 ? set->tile_count - 1 : 0;
    for (size_t k = 0; k < count; k++)
        if (set->map[k] > last) set->map[k] = (uint8_t)last;
    return true;
}

bool decal_companion_name(const char* name, const char* suffix, char* out, int size) {
    const char* slash = strrchr(name, '/');
    const char* base = slash ? slash + 1 : name;
    const char* dot = strrchr(base, '.');
    if (!dot) return false;
    int stem = (int)(dot - name);
    int n = snprintf(out, (size_t)size, "%.*s%s", stem, name, suffix);
    return n > 0 && n < size;
}

void tile_read_decals(tile_set* set, data_stream* s, float world_size, bool companions) {
    char name[1024];
    float v[5];
    while (data_scanf(s, "[ %f %f ] %f %f %f %1023s ", &v[0], &v[1], &v[2], &v[3], &v[4], name) == 6) {
        if (!all_finite(v, 5)) {
            log_printf("decals: a record with a number out of range ends the list\n");
            break;
        }
        decal d = {};
        d.x = v[0];
        d.z = v[1];
        d.angle = v[2];
        d.width = v[3];
        d.ratio = v[4];
        d.sine = std::sin(d.angle);
        d.cosine = std::cos(d.angle);
        if (!load_picture(name, &d.texture)) continue;
        if (companions) {
            char other[1100];
            if (decal_companion_name(name, "_tnorm.png", other, sizeof other) && !load_picture(other, &d.normal_texture) &&
                decal_companion_name(name, "_tnorm.ppm", other, sizeof other))
                load_picture(other, &d.normal_texture);
            if (decal_companion_name(name, "_tspec.png", other, sizeof other) &&
                !load_picture(other, &d.specular_texture) && decal_companion_name(name, "_tspec.ppm", other, sizeof other))
                load_picture(other, &d.specular_texture);
        }
        d.texture_name = mem_strdup(name);
        if (set->decal_count == set->decal_capacity) {
            int capacity = set->decal_capacity ? set->decal_capacity * 2 : 16;
            set->decals = (decal*)mem_realloc_or_die(set->decals, sizeof(decal) * (size_t)capacity);
            set->decal_capacity = capacity;
        }
        set->decals[set->decal_count++] = d;
    }
    tile_build_decal_regions(set, world_size);
}

void tile_build_decal_regions(tile_set* set, float world_size) {
    const int regions = decal_region_side * decal_region_side;
    for (int r = 0; r < regions; r++) {
        mem_free(set->region_decals[r]);
        set->region_decals[r] = nullptr;
        set->region_counts[r] = 0;
    }
    if (set->decal_count == 0 || !(world_size > 0.0f)) return;
    // Count first, then fill lists of exactly that size, in decal order.
    int x0, z0, x1, z1;
    for (int k = 0; k < set->decal_count; k++) {
        decal_regions(&set->decals[k], world_size, &x0, &z0, &x1, &z1);
        for (int rz = z0; rz <= z1; rz++)
            for (int rx = x0; rx <= x1; rx++) set->region_counts[rx + rz * decal_region_side]++;
    }
    for (int r = 0; r < regions; r++) {
        if (set->region_counts[r]) set->region_decals[r] = (int*)mem_alloc_or_die(sizeof(int) * (size_t)set->region_counts[r]);
        set->region_counts[r] = 0;
    }
    for (int k = 0; k < set->decal_count; k++) {
        decal_regions(&set->decals[k], world_size, &x0, &z0, &x1, &z1);
        for (int rz = z0; rz <= z1; rz++)
            for (int rx = x0; rx <= x1; rx++) {
                int r = rx + rz * decal_region_side;
                set->region_decals[r][set->region_counts[r]++] = k;
            }
    }
}

void tile_compute_transitions(tile_set* set) {
    for (int k = 0; k < set->tile_count; k++) {
        tile& t = set->tiles[k];
        int32_t pure = transition_code(k, k, 0);
        t.transition = pure;
        const char* name = tile_name(&t);
        if (!name) continue;
        const char* dash = strchr(name, '-');
        if (!dash) continue;
        int a = find_stem(set, name, (size_t)(dash - name));
        if (a < 0) continue;
        const char* rest = dash + 1;
        if (strncmp(rest, "alt", 3) == 0 && rest[3] >= '0' && rest[3] <= '9') {
            t.transition = transition_code(a, a, 0);
            continue;
        }
        const char* second = strchr(rest, '-');
        int b = second ? find_stem(set, rest, (size_t)(second - rest)) : -1;
        if (b < 0) {
            t.transition = -256;
            continue;
        }
        int corners = 0;
        const char* bits = second + 1;
        bool four = true;
        for (int c = 0; c < 4; c++)
            if (bits[c] != '0' && bits[c] != '1') {
                four = false;
                break;
            }
        if (four) corners = (bits[0] - '0') << 3 | (bits[1] - '0') << 2 | (bits[2] - '0') << 1 | (bits[3] - '0');
        t.transition = transition_code(a, b, corners);
    }
}

void tile_set_free(tile_set* set) {
    if (set->tiles)
        for (int k = 0; k < set->tile_count; k++) tile_free(&set->tiles[k]);
    mem_free(set->tiles);
    mem_free(set->map);
    for (int k = 0; k < set->decal_count; k++) mem_free(set->decals[k].texture_name);
    mem_free(set->decals);
    for (int*& list : set->region_decals) mem_free(list);
    *set = {};
}

// ---------------------------------------------------------------------------
// Writing

bool tile_write_tileinfo(data_stream* s, const tile* tiles, int count) {
    static const char* const erode_keys[] = {"erode_depth",  "erode_lower",     "erode_upper",     "erode_displacement",
                                             "erode_radius", "erode_max_slope", "erode_off_speed", "erode_on_speed"};
    for (int k = 0; k < count; k++) {
        const tile& t = tiles[k];
        if (t.texture_name) data_printf(s, "texture %s\n", t.texture_name);
        for (int p = 0; p < tile_curve_points && (p == 0 || t.friction[p].speed != 0.0f); p++)
            data_printf(s, "friction %.9g %.9g\n", (double)t.friction[p].coefficient, (double)t.friction[p].speed);
        for (int p = 0; p < tile_curve_points && (p == 0 || t.roll[p].speed != 0.0f); p++)
            data_printf(s, "roll_resist %.9g %.9g %.9g\n", (double)t.roll[p].a, (double)t.roll[p].b, (double)t.roll[p].speed);
        for (int r = 0; r < tile_roost_kinds && t.roost[r].kind != roost_none; r++) {
            const roost_type& q = t.roost[r];
            data_puts(s, "roost");
            if (q.kind == roost_splash) data_puts(s, " splash=1");
            if (t.roost_texture_names[r]) data_printf(s, " texture=\"%s\"", t.roost_texture_names[r]);
            for (const roost_float_key& key : roost_float_keys) {
                float v;
                memcpy(&v, (const char*)&q + key.offset, sizeof v);
                data_printf(s, " %s=%.9g", key.key, (double)v);
            }
            const uint8_t* colour = &q.r;
            for (int c = 0; c < 4; c++) data_printf(s, " %s=%d", roost_colour_keys[c], colour[c]);
            const int8_t* fade = &q.fade_r;
            for (int c = 0; c < 4; c++) data_printf(s, " %s=%d", roost_fade_keys[c], fade[c] * ticks_per_second);
            data_puts(s, "\n");
        }
        const float* erosion = &t.erosion.erode_depth;
        for (int e = 0; e < 8; e++) data_printf(s, "%s %.9g\n", erode_keys[e], (double)erosion[e]);
        data_puts(s, "addtile\n");
    }
    return !data_error(s);
}

bool tile_write_map(data_stream* s, const uint8_t* map, int side) {
    if (side < 1) return false;
    size_t count = (size_t)side * side;
    return data_write(s, map, count) == count && !data_error(s);
}

bool tile_write_decals(data_stream* s, const decal* decals, int count) {
    bool ok = true;
    for (int k = 0; k < count; k++) {
        const decal& d = decals[k];
        // A name the reader cannot take back (empty, with blanks) is left out.
        if (!d.texture_name || !d.texture_name[0] || d.texture_name[strcspn(d.texture_name, " \t\r\n\v\f")]) {
            ok = false;
            continue;
        }
        data_printf(s, "[ %.9g %.9g ] %.9g %.9g %.9g %s\n", (double)d.x, (double)d.z, (double)d.angle, (double)d.width,
                    (double)d.ratio, d.texture_name);
    }
    return ok && !data_error(s);
}
