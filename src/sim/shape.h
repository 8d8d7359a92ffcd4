// Collision shapes: sets of spheres fixed to a body, read from ".shp" text
// files.
//
// A shape file holds an integer count n and then n spheres of seven numbers
// each: centre x, y, z in the body's coordinates (ft), radius (ft), friction
// coefficient, contact stiffness (lbf/ft) and contact damping (lbf s/ft).
// Ground contacts use the friction only; body-to-body collisions use all three.
//
// Shapes are loaded once per data name and kept in a cache for the life of
// the program (a file that cannot be read is remembered as absent, so it is
// reported once). Each user of a shape (a bike part, a statue) makes its own
// instance: a copy of the spheres plus room for their world positions, with a
// link back to the cached shape.
#pragma once

enum {
    shape_max_spheres = 256,   // a file announcing more is refused
    shape_max_token = 64,      // longest number accepted in a file, characters
};
constexpr double shape_max_extent = 100.0;  // ft: largest |centre| + radius accepted

struct shape_sphere {
    double centre[3];  // body coordinates, ft
    double radius;     // ft, above 0
    double friction;   // coefficient, 0 or more
    double stiffness;  // lbf/ft, 0 or more
    double damping;    // lbf s/ft, 0 or more
};

struct collision_shape {
    char* name;               // the data name it was loaded by
    int count;                // 1..shape_max_spheres
    shape_sphere* spheres;
    double bounding_radius;   // largest |centre| + radius
};

struct shape_instance {
    const collision_shape* shape;  // the cached shape this copies
    int count;
    shape_sphere* spheres;         // own copy, in body coordinates
    double (*world)[3];            // sphere centres in world coordinates (see shape_instance_place)
};

// The shape of a data name ("@generic_frame.shp") or plain path, loaded on
// first use. Null when the file is missing or malformed (logged once, with
// the reason); the body then collides with nothing.
const collision_shape* shape_get(const char* name);

// Reads a shape from an open text stream (the file format above). Null, with
// a log line naming `name`, when the count is not 1..shape_max_spheres, the
// data ends early, a value is not a finite number or is out of range (radius
// not above 0, negative friction, stiffness or damping, |centre| + radius
// beyond shape_max_extent). The result is not cached; free it with
// shape_free.
struct data_stream;
collision_shape* shape_read(data_stream* stream, const char* name);
void shape_free(collision_shape* shape);

// Number of data names in the cache, absent ones included.
int shape_cache_count();
// Frees every cached shape. Only when no instance is left (shut-down, tests).
void shape_cache_free();

// A new instance of a shape; null for a null shape.
shape_instance* shape_instance_create(const collision_shape* shape);
void shape_instance_destroy(shape_instance* instance);  // null is fine

// Fills the instance's world positions: rotation (row-major 3 x 3, as ODE's
// dMatrix3 with its 4-wide rows) times each centre, plus the position.
void shape_instance_place(shape_instance* instance, const double position[3], const double rotation[12]);
