// The terrain: one square grid of heights with its baked shading and shadow
// images and its surface tiles, the ground queries of the simulation, the
// robot riders and the HUD, height changes while racing or editing, and the
// writers of the height, shading and shadow files.
//
// Units are feet, y is up. Grid point (i, j) (column i, row j) lies at
// x = i s, z = j s for the grid spacing s; the field covers
// [0, 2^(n+1) s] on both axes. Every query clamps grid indices to 0..N-1, so a
// point outside the field (or a NaN or infinite coordinate) takes the values
// of the border samples. Queries are constant time and never allocate.
#pragma once

#include <cstdint>

#include "track/tile.h"

struct data_stream;

enum {
    terrain_min_exponent = 1,
    terrain_max_exponent = 12,  // 8193 samples a side
};

// Ground texture methods (chosen from the settings by the track loader).
enum {
    ground_method_none = 0,  // no ground textures (tools, tests, a server)
    ground_method_texsubimage = 1,
    ground_method_copy = 2,  // CopyTexSubImage
    ground_method_fbo = 3,   // framebuffer objects
};

// Modified flags.
enum {
    terrain_changed = 1,  // the heights differ from what was loaded
    terrain_unsaved = 2,  // there are edits not yet saved
};

// The sun of the lighting file, as the reshading uses it.
struct terrain_lighting {
    float sun[3];         // towards the sun, unit length
    float sun_colour[3];
    float ambient[3];
    bool dynamic;         // the lighting file's "dynamic_lighting"
};

// What the track loader hands to terrain_load.
struct terrain_setup {
    int method;            // ground_method_*
    bool shaders;          // the terrain shader programs are on
    terrain_lighting light;
};

struct terrain {
    int exponent;        // n: the tile map has 2^n x 2^n tiles
    int size;            // N = 2^(n+1) + 1 samples a side
    float spacing;       // s, ft between neighbouring samples
    float inv_spacing;   // 1 / s
    float tile_size;     // 2 s
    float world_size;    // 2^(n+1) s
    float min_height, max_height;  // widen as the ground deforms
    float* heights;      // N x N, sample (i, j) at i + j N
    uint8_t* shading;    // N x N RGB at half intensity (a byte b shows as 2b, capped)
    uint8_t* shadow;     // N x N, 0 fully lit .. 255 fully shaded
    uint8_t* normal_map; // N x N RGB, only when terrain normals are used, else null
    tile_set tiles;
    int method;          // ground texture method
    bool normals;        // terrain normals are in use
    terrain_lighting light;
    int modified;        // terrain_changed | terrain_unsaved
    bool deform_lock;    // terrain_deform leaves the heights alone
    int change_counter;  // 1 after load, +1 per deformation
    uint8_t height_hash[20];  // SHA-1 of the loaded samples
    // Grid rectangle (inclusive) whose ground textures need refreshing;
    // dirty_i0 > dirty_i1 when nothing is dirty. The ground renderer clears it.
    int dirty_i0, dirty_j0, dirty_i1, dirty_j1;
};

extern terrain g_terrain;  // the current track's terrain

// ---------------------------------------------------------------------------
// Loading

// Default setup: no ground textures, no shaders, the default lighting (sun
// (1, 1, 1) normalised, sun colour 1, ambient 0.5).
void terrain_setup_defaults(terrain_setup* setup);

// Loads the terrain of a track folder (a data name like "@rabbithill" or a
// path; file names are appended after "/"): "terrain.hf" with inline heights
// or "terrain.png", the shading ("shadingx2.ppm" or "shading.ppm"), the
// shadows ("shadows.pgm"), the tiles ("tileinfo" or "texturelist"), the
// "tilemap" and the "decals". Failures are shown in the message display; a
// failed load leaves the record empty. The record must be zeroed or loaded
// before (a loaded one is freed first). setup may be null for the defaults.
bool terrain_load(terrain* t, const char* folder, const terrain_setup* setup);
// Frees every array and empties the record; safe on a partly loaded record.
void terrain_free(terrain* t);

// The "terrain.hf" header.
struct terrain_header {
    int exponent;
    float spacing, min_height, max_height;
    bool inline_heights;  // ":" followed the header
};
// Reads and checks the header (exponent 1..12, spacing finite and above 0
// with a finite inverse and world size, heights finite with min not above
// max) and the byte after it. False when it does not parse or is out of range.
bool terrain_read_header(data_stream* s, terrain_header* h);

// Builds a flat field in memory (heights 0, shading from the lighting, no
// shadow, one default tile everywhere), for the generator, the benchmarks and
// the tests. False when the exponent or spacing is out of range.
bool terrain_create(terrain* t, int exponent, float spacing, const terrain_lighting* light);

// ---------------------------------------------------------------------------
// Ground queries

// Height at world x, z (ft), on the triangle under the point.
float terrain_height(const terrain* t, float x, float z);
// Normal of the triangle under x, z: not normalised (its length is twice the
// triangle's area, ft^2), y >= 0.
void terrain_face_normal(const terrain* t, float x, float z, float normal[3]);
// Unit normal at grid point (i, j), smoothed over its eight neighbours.
void terrain_vertex_normal(const terrain* t, int i, int j, float normal[3]);
// Index of the surface tile under x, z (0..tile count - 1).
int terrain_tile_at(const terrain* t, float x, float z);
// The surface tile under x, z.
const tile* terrain_tile(const terrain* t, float x, float z);
// Height of grid sample (i, j), the indices clamped. (Inline: the contact
// tests read many samples a tick.)
inline float terrain_sample(const terrain* t, int i, int j) {
    int last = t->size - 1;
    i = i < 0 ? 0 : (i > last ? last : i);
    j = j < 0 ? 0 : (j > last ? last : j);
    return t->heights[i + j * t->size];
}

// ---------------------------------------------------------------------------
// Height changes

// Raises the ground around x, z by amount (ft, negative lowers) with a smooth
// fall-off to 0 at radius (ft); honours the deformation lock, reshades the
// touched rectangle and counts the change.
void terrain_deform(terrain* t, float x, float z, float radius, float amount);
// Recomputes the shading (and the normal map) of the grid rectangle
// (inclusive, clamped to the grid) and marks it dirty for the ground textures.
void terrain_reshade(terrain* t, int i0, int j0, int i1, int j1);
// Recomputes min and max height from the samples (after editing by hand).
void terrain_update_range(terrain* t);

// ---------------------------------------------------------------------------
// Writers (the data generator and the editor). Data names write into the
// home folder; plain paths are written as they are. Each returns success.

// Heights as 16-bit values between min and max height (0 .. 65535, rounded);
// out holds N x N values.
void terrain_quantise(const terrain* t, uint16_t* out);
// "terrain.hf": the header, then ":" and the quantised heights when
// inline_heights, else only the header (the heights go to "terrain.png").
bool terrain_write_hf(const terrain* t, const char* path, bool inline_heights);
// "terrain.png": the quantised heights as a 16-bit grey PNG.
bool terrain_write_height_png(const terrain* t, const char* path);
// "shadingx2.ppm": the shading bytes as held (half intensity).
bool terrain_write_shading(const terrain* t, const char* path);
// "shadows.pgm": the shadow bytes inverted (255 lit, 0 shaded).
bool terrain_write_shadows(const terrain* t, const char* path);
