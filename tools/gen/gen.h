// The data generator: writes the game's own data set into a folder as plain
// files (tracks, surface textures, collision shapes). The output depends only
// on the program: no clock, no unseeded randomness, so every run writes the
// same bytes.
#pragma once

#include <cstdint>

#include "gen/course.h"

struct terrain;
struct tile;
struct timing_gates;

// Writes the whole data set into outdir (created when missing). On failure
// returns false with a message in error.
bool gen_write_all(const char* outdir, char* error, int error_size);

// --- Pieces, for the tests and for tools that rebuild one part ------------

// A track folder of a course: "desc", "lighting", "terrain.hf" with
// "terrain.png", "shadingx2.ppm", "shadows.pgm", "tileinfo", "tilemap".
bool gen_write_course_track(const char* outdir, const course_def* def, char* error, int error_size);
// The two small test tracks (see gen/testtracks.h).
bool gen_write_testflat(const char* outdir, char* error, int error_size);
bool gen_write_testramp(const char* outdir, char* error, int error_size);

// What a track folder is written from: a terrain created with its lighting
// and filled with heights, and the tile table and map.
struct gen_track_files {
    const char* outdir;
    const char* folder;   // track folder name
    const char* name;     // display name for "desc"
    bool inline_heights;  // heights inline in "terrain.hf", else in "terrain.png"
    const tile* tiles;
    int tile_count;
    const uint8_t* map;  // 2^n x 2^n tile indices
    const timing_gates* gates;  // "timing_gates", or null for none
};
// Rounds the heights to the file's 16-bit steps (so that the shading is made
// from exactly what the game loads), computes shadows and shading, and writes
// "desc", "lighting", "terrain.hf" (with "terrain.png" when not inline),
// "shadingx2.ppm", "shadows.pgm", "tileinfo", "tilemap" and, when given,
// "timing_gates".
bool gen_write_track(terrain* t, const gen_track_files* f, char* error, int error_size);

// The ground of a course on a terrain created at the course's size: heights
// from course_ground_height (computed for the whole grid at once) and the
// tile of every square from course_surface_at. tilemap holds 2^n x 2^n bytes.
void gen_course_ground(const course* c, terrain* t, uint8_t* tilemap);

// The timing gates of a course: the starting-gate spots, and checkpoints
// about every gen_checkpoint_pitch ft along the centre line with the lap line
// gen_lap_line_after ft past the gate; every lap, the first included, runs
// through all of them and ends at the lap line.
constexpr float gen_checkpoint_pitch = 120.0f;
constexpr float gen_lap_line_after = 100.0f;
void gen_course_gates(const course* c, timing_gates* g);

// Shadows of the terrain's heights for its sun: a grid point is shaded when
// the ground between it and the sun rises above the line towards the sun;
// the edges are softened over a grid cell.
void gen_shadows(terrain* t);

// The surface tile of a kind (friction, rolling resistance, roost, erosion,
// texture name); free it with tile_free.
void gen_surface_tile(course_surface kind, tile* out);

// The ground textures ("@grass.png", "@hardpack.png", "@loose.png",
// "@sand.png") and the roost particle ("@roost.png").
bool gen_write_textures(const char* outdir, char* error, int error_size);

// --- Collision shapes -------------------------------------------------------

struct gen_sphere {
    float x, y, z, radius, friction, stiffness, damping;
};
struct gen_shape {
    const char* file;  // "generic_frame.shp"
    int count;
    const gen_sphere* spheres;  // in the body's own coordinates
};
// The seven generic bike shapes in the order of the start-up digest, then
// "startgate.shp". Built from the catalogue geometry on first use.
const gen_shape* gen_shapes();
int gen_shape_count();
enum { gen_generic_shape_count = 7 };
// Writes every shape file at the top of outdir.
bool gen_write_shapes(const char* outdir, char* error, int error_size);
// SHA-1 of the seven generic shape files in outdir, read in the digest order,
// as 40 hexadecimal digits (the value the game accepts at start-up).
bool gen_shape_digest(const char* outdir, char hex[41]);

// outdir + "/" + name into out; false when it does not fit.
bool gen_path(char* out, int size, const char* outdir, const char* name);
