// Surface tiles: the tile table ("tileinfo" or the older "texturelist"), the
// tile map ("tilemap") and the ground decals ("decals") of a track, the
// lookups the bike simulation makes (friction at a slip speed, rolling
// resistance) and the writers the data generator uses.
//
// The ground is cut into square tiles of 2 x 2 grid cells; every tile of the
// map names one surface of the table, which carries a friction curve, a
// rolling-resistance curve, up to four kinds of thrown dirt ("roost") and the
// erosion parameters of the ruts.
#pragma once

#include <cstdint>

struct data_stream;

enum {
    tile_max = 256,           // entries of a tile table
    tile_curve_points = 8,    // points of each curve
    tile_roost_kinds = 4,     // roost records of a tile
    decal_region_side = 8,    // decal regions per side of the field
};

// Roost kinds.
enum { roost_none = 0, roost_dirt = 1, roost_splash = 2 };

// One kind of thrown dirt: 64 bytes, laid out as stored.
struct roost_type {
    int32_t kind;          // roost_none ends a tile's list
    int32_t texture;       // particle texture handle ("texture=", default "@roost.png")
    float count;           // particles per tick, may be fractional
    float dig;
    float slip_threshold;  // ft/s
    float slow_angle;      // release arc at low wheel spin, radians
    float fast_angle;      // at high spin, radians
    float slow_speed;      // wheel spin range of the arc, rad/s
    float fast_speed;
    float size;            // ft
    float grow;            // size growth per second
    float drag;            // per second
    float vscale;
    float randomize;
    uint8_t r, g, b, a;
    int8_t fade_r, fade_g, fade_b, fade_a;  // colour change per tick
};
static_assert(sizeof(roost_type) == 64, "roost records are 64 bytes");

struct friction_point {
    float coefficient;
    float speed;  // ft/s; 0 ends the curve (after the first point)
};

struct roll_resist_point {
    float a;      // lbf for a barely touching tyre
    float b;      // lbf for a tyre pressed in by its whole section
    float speed;  // ft/s; 0 ends the curve (after the first point)
};

// Erosion parameters, in file order.
struct tile_erosion {
    float erode_depth, erode_lower, erode_upper, erode_displacement;
    float erode_radius, erode_max_slope, erode_off_speed, erode_on_speed;
};

struct tile {
    char* texture_name;  // data name as given ("@dirt.png"); null when the tile named none (owned)
    uint32_t texture;    // texture handle, 0 when none or it did not load
    bool textured;       // the picture loaded (also when no renderer gives handles)
    friction_point friction[tile_curve_points];
    roll_resist_point roll[tile_curve_points];
    roost_type roost[tile_roost_kinds];
    char* roost_texture_names[tile_roost_kinds];  // "texture=" values, null for "@roost.png" (owned)
    tile_erosion erosion;
    int32_t transition;  // corner surfaces for the editor's tile painting, -256 when unknown
};

// A textured mark painted onto the ground.
struct decal {
    char* texture_name;  // owned
    uint32_t texture, normal_texture, specular_texture;  // handles, 0 for none
    float x, z;          // centre, ft
    float angle;         // about the vertical, radians
    float sine, cosine;  // of the angle
    float width;         // ft
    float ratio;         // length / width: at angle 0 the decal spans ratio * width along x
};

// The tile data of a terrain: the table, the map and the decals.
struct tile_set {
    tile* tiles;  // tile_count entries (at least 1 once loaded), owned
    int tile_count;
    uint8_t* map;      // map_side x map_side bytes, byte tx + tz * map_side, each < tile_count
    int map_side;      // 2^n
    decal* decals;     // in file order, owned
    int decal_count, decal_capacity;
    int* region_decals[decal_region_side * decal_region_side];  // ascending decal indices per region
    int region_counts[decal_region_side * decal_region_side];
};

// How tiles and decals get their pictures: the texture loader fills this in.
// Without it (tools, tests, a server) a picture counts as loaded when its file
// opens, and its handle is 0.
struct tile_texture_hooks {
    uint32_t (*texture_get)(const char* name);  // 0 when it cannot be loaded
};
extern tile_texture_hooks g_tile_texture_hooks;

// ---------------------------------------------------------------------------
// Tiles

// The defaults of a tile defined in "tileinfo": one friction point (1.0 at
// 1 ft/s), one rolling-resistance point (5, 15 at 1 ft/s), no roost, the
// default erosion parameters. Names are set to null (nothing is freed).
void tile_defaults(tile* t);
// A roost record with the default values; kind 0 and texture handle given.
void roost_defaults(roost_type* r, int32_t texture);
// Frees a tile's names.
void tile_free(tile* t);

// Friction coefficient at a slip speed (ft/s), interpolated in squared speed
// between the curve's points; the ends hold their values.
float tile_friction(const tile* t, float slip_speed);
// Rolling resistances a and b (lbf) at a ground speed w (ft/s), interpolated
// linearly; the ends hold their values.
void tile_roll_resist(const tile* t, float w, float* a, float* b);
// The tile's name: the last path component of its texture name, or null.
const char* tile_name(const tile* t);
// Index of the first tile whose name (tile_name) equals the text; -1 when none.
// A tile without a texture name never matches.
int tile_find(const tile_set* set, const char* name);
// Counts of roost records by kind over the table: counts[0] plain tiles
// (no roost), counts[1] with dirt, counts[2] with splash.
void tile_kind_counts(const tile_set* set, int counts[3]);

// ---------------------------------------------------------------------------
// Reading. Warnings go to the message display; the readers never fail on
// bad content.

// Reads "tileinfo" into the set's table (replacing it). A file that defines no
// tile gives one default tile and a warning. Computes the transition codes.
void tile_read_tileinfo(tile_set* set, data_stream* s);
// Reads the older "texturelist" (same guarantee of at least one tile).
void tile_read_texturelist(tile_set* set, data_stream* s);
// Reads side x side map bytes (side = 2^n); bytes past the tile count become
// its last index, bytes a short file does not supply become 0 (logged).
// Returns false only when side is not 1..4096.
bool tile_read_map(tile_set* set, data_stream* s, int side);
// Reads "decals" records until one is incomplete or malformed, then builds the
// region lists for a field of the given world size (ft). companions: load the
// "_tnorm" and "_tspec" companion textures.
void tile_read_decals(tile_set* set, data_stream* s, float world_size, bool companions);
// Enters every decal into the 8 x 8 regions its bounding box touches.
void tile_build_decal_regions(tile_set* set, float world_size);
// The companion name of a decal texture: the extension (from the last "."
// after the last "/") replaced by suffix ("_tnorm.png"). False when the name
// has no extension or the result does not fit.
bool decal_companion_name(const char* name, const char* suffix, char* out, int size);
// Computes every tile's transition code from the tile names.
void tile_compute_transitions(tile_set* set);
// Frees the table, the map and the decals; safe on a partly filled set.
void tile_set_free(tile_set* set);

// ---------------------------------------------------------------------------
// Writing (the data generator and the editor). Each returns false when a
// write fails.

// "tileinfo" text for the tiles: every directive a reader needs to rebuild
// them (texture, curves, roost words, erosion), one "addtile" per tile.
bool tile_write_tileinfo(data_stream* s, const tile* tiles, int count);
// The map bytes, side x side.
bool tile_write_map(data_stream* s, const uint8_t* map, int side);
// One "[ x z ] angle width ratio name" line per decal.
bool tile_write_decals(data_stream* s, const decal* decals, int count);
