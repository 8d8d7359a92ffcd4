// The two small tracks for tests, and where things are on them.
//
// "testflat" is for unit tests that need a track: a 256 ft square
// (257 x 257 samples, 1 ft apart, heights written inline in "terrain.hf"),
// level at height 0 everywhere, one surface tile (packed dirt) everywhere.
//
// "testramp" is for physics tests: the same 256 ft square, level at height 0
// except for two lanes that run along z, so that a bike at heading 0 (facing
// -z) rides into them from the z = 256 side:
//   - the slope lane, x = 0 to testramp_slope_x1 at full height, falling back
//     to 0 at testramp_slope_x2: from z = testramp_slope_z0 (height 0) the
//     ground rises at testramp_slope_deg towards -z up to z = testramp_slope_z1
//     and stays level at testramp_slope_top from there to z = 0. Start a bike
//     at (64, 0, 240) to ride up it.
//   - the jump lane, testramp_jump_x0 to testramp_jump_x1 (falling to 0 over
//     testramp_jump_edge ft on either side): one table-top whose take-off face
//     starts at z = testramp_jump_z0 and rises towards -z at
//     testramp_jump_face_deg to testramp_jump_height; the lip is at
//     testramp_jump_lip_z, the flat top runs testramp_jump_table ft to
//     testramp_jump_top_end_z, and the landing falls at testramp_jump_land_deg
//     back to 0 at testramp_jump_end_z. Start a bike at (200, 0, 240).
// One surface tile (packed dirt) covers all of it. Both are lit by
// gen_test_sun.
//
// Both have starting-gate spots in their "timing_gates" (heading 0, facing
// -z) and no checkpoints: testflat four spots side by side near its +z edge,
// testramp one at the foot of each lane.
#pragma once

#include <cmath>

constexpr int testtrack_exponent = 7;  // 257 x 257 samples
constexpr float testtrack_spacing = 1.0f;
constexpr float testtrack_size = 256.0f;  // ft

constexpr float testramp_slope_x1 = 112, testramp_slope_x2 = 144;
constexpr float testramp_slope_z0 = 200, testramp_slope_z1 = 80;
constexpr float testramp_slope_deg = 10;
// tan(10 degrees) * 120 ft
constexpr float testramp_slope_top = 0.17632698f * (testramp_slope_z0 - testramp_slope_z1);

constexpr float testramp_jump_x0 = 168, testramp_jump_x1 = 232, testramp_jump_edge = 10;
constexpr float testramp_jump_z0 = 150;
constexpr float testramp_jump_height = 4;
constexpr float testramp_jump_face_deg = 25;
constexpr float testramp_jump_table = 20;
constexpr float testramp_jump_land_deg = 20;
// 4 / tan(25 degrees) and 4 / tan(20 degrees)
constexpr float testramp_jump_face_length = 8.5781183f;
constexpr float testramp_jump_land_length = 10.989910f;
constexpr float testramp_jump_lip_z = testramp_jump_z0 - testramp_jump_face_length;
constexpr float testramp_jump_top_end_z = testramp_jump_lip_z - testramp_jump_table;
constexpr float testramp_jump_end_z = testramp_jump_top_end_z - testramp_jump_land_length;

constexpr int testflat_spot_count = 4;
constexpr float testflat_spots[testflat_spot_count][3] = {
    {122, 0, 230}, {126, 0, 230}, {130, 0, 230}, {134, 0, 230}};
constexpr int testramp_spot_count = 2;
constexpr float testramp_spots[testramp_spot_count][3] = {{64, 0, 240}, {200, 0, 240}};

// The sun of both test tracks (towards the sun, not normalised).
constexpr float gen_test_sun[3] = {-0.55f, 0.6f, 0.58f};

// Height of testramp's ground at a point (what the generator writes, before
// the 16-bit rounding of the file).
float testramp_height(float x, float z);
