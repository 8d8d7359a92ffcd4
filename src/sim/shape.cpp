// Collision shape files, their cache and per-user instances.
#include "sim/shape.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "files/data.h"

namespace {

struct cache_entry {
    char* name;
    collision_shape* shape;  // null: the file could not be read
};

dw_vector<cache_entry>& cache() {
    static dw_vector<cache_entry> entries;
    return entries;
}

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The next whitespace-separated word of the stream into buffer (at most
// shape_max_token - 1 characters). 0 at the end of the data, -1 when the word
// is too long, 1 otherwise.
int read_token(data_stream* s, char (&buffer)[shape_max_token]) {
    int c = data_getc(s);
    while (c >= 0 && is_space(c)) c = data_getc(s);
    if (c < 0) return 0;
    int n = 0;
    while (c >= 0 && !is_space(c)) {
        if (n == shape_max_token - 1) return -1;
        buffer[n++] = (char)c;
        c = data_getc(s);
    }
    buffer[n] = 0;
    return 1;
}

// The whole word as a finite number.
bool parse_number(const char* text, double* value) {
    char* end = nullptr;
    errno = 0;
    double v = strtod(text, &end);
    if (end == text || *end != 0 || !std::isfinite(v) || errno == ERANGE) return false;
    *value = v;
    return true;
}

bool parse_count(const char* text, long* value) {
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end != 0 || errno == ERANGE) return false;
    *value = v;
    return true;
}

// How far the sphere reaches from the body's origin.
double reach(const shape_sphere& s) {
    return std::sqrt(s.centre[0] * s.centre[0] + s.centre[1] * s.centre[1] + s.centre[2] * s.centre[2]) + s.radius;
}

const char* sphere_fault(const shape_sphere& s) {
    if (!(s.radius > 0)) return "radius not above 0";
    if (s.friction < 0 || s.stiffness < 0 || s.damping < 0) return "negative friction, stiffness or damping";
    if (!(reach(s) <= shape_max_extent)) return "sphere too far from the body";
    return nullptr;
}

}  // namespace

collision_shape* shape_read(data_stream* stream, const char* name) {
    if (!name) name = "";
    char token[shape_max_token];
    int got = read_token(stream, token);
    long count = 0;
    if (got <= 0 || !parse_count(token, &count)) {
        log_printf("Collision shape %s: no sphere count\n", name);
        return nullptr;
    }
    if (count < 1 || count > shape_max_spheres) {
        log_printf("Collision shape %s: sphere count %ld is not 1 to %d\n", name, count, (int)shape_max_spheres);
        return nullptr;
    }
    shape_sphere* spheres = (shape_sphere*)mem_calloc_or_die((size_t)count, sizeof(shape_sphere));
    double bounding = 0;
    for (long i = 0; i < count; i++) {
        double v[7];
        for (int k = 0; k < 7; k++) {
            got = read_token(stream, token);
            if (got <= 0 || !parse_number(token, &v[k])) {
                if (got == 0)
                    log_printf("Collision shape %s: data ends in sphere %ld of %ld\n", name, i + 1, count);
                else
                    log_printf("Collision shape %s: value %d of sphere %ld is not a finite number\n", name, k + 1,
                               i + 1);
                mem_free(spheres);
                return nullptr;
            }
        }
        shape_sphere& s = spheres[i];
        s = shape_sphere{{v[0], v[1], v[2]}, v[3], v[4], v[5], v[6]};
        if (const char* fault = sphere_fault(s)) {
            log_printf("Collision shape %s: sphere %ld: %s\n", name, i + 1, fault);
            mem_free(spheres);
            return nullptr;
        }
        if (reach(s) > bounding) bounding = reach(s);
    }
    collision_shape* shape = (collision_shape*)mem_calloc_or_die(1, sizeof(collision_shape));
    shape->name = mem_strdup(name);
    shape->count = (int)count;
    shape->spheres = spheres;
    shape->bounding_radius = bounding;
    return shape;
}

void shape_free(collision_shape* shape) {
    if (!shape) return;
    mem_free(shape->name);
    mem_free(shape->spheres);
    mem_free(shape);
}

const collision_shape* shape_get(const char* name) {
    if (!name || !name[0]) return nullptr;
    for (const cache_entry& e : cache())
        if (strcmp(e.name, name) == 0) return e.shape;
    collision_shape* shape = nullptr;
    if (data_stream* s = data_open(name, "rb")) {
        shape = shape_read(s, name);
        data_close(s);
    } else {
        log_printf("Collision shape %s: can't open the file\n", name);
    }
    cache().push_back(cache_entry{mem_strdup(name), shape});
    return shape;
}

int shape_cache_count() { return (int)cache().size(); }

void shape_cache_free() {
    for (cache_entry& e : cache()) {
        mem_free(e.name);
        shape_free(e.shape);
    }
    cache().clear();
    cache().shrink_to_fit();
}

shape_instance* shape_instance_create(const collision_shape* shape) {
    if (!shape) return nullptr;
    shape_instance* instance = (shape_instance*)mem_calloc_or_die(1, sizeof(shape_instance));
    instance->shape = shape;
    instance->count = shape->count;
    instance->spheres = (shape_sphere*)mem_calloc_or_die((size_t)shape->count, sizeof(shape_sphere));
    memcpy(instance->spheres, shape->spheres, (size_t)shape->count * sizeof(shape_sphere));
    instance->world = (double(*)[3])mem_calloc_or_die((size_t)shape->count, sizeof(double[3]));
    return instance;
}

void shape_instance_destroy(shape_instance* instance) {
    if (!instance) return;
    mem_free(instance->spheres);
    mem_free(instance->world);
    mem_free(instance);
}

void shape_instance_place(shape_instance* instance, const double position[3], const double rotation[12]) {
    if (!instance) return;
    for (int i = 0; i < instance->count; i++) {
        const double* c = instance->spheres[i].centre;
        for (int r = 0; r < 3; r++)
            instance->world[i][r] =
                rotation[r * 4 + 0] * c[0] + rotation[r * 4 + 1] * c[1] + rotation[r * 4 + 2] * c[2] + position[r];
    }
}
