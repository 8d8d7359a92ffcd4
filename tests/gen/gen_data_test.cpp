// The generated data set as the game reads it: the same bytes on every run,
// tracks that load through the game's own terrain and tile readers with the
// ground the course defines, surfaces that behave as their kind, baked shading
// that matches the game's own, and collision shapes that fit the bikes and
// match the digest the game accepts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/digest.h"
#include "files/data.h"
#include "frame/startup.h"
#include "gen/course.h"
#include "gen/gen_fixture.h"
#include "gen/testtracks.h"
#include "race/gates.h"
#include "sim/catalogue.h"
#include "sim/shape.h"
#include "track/terrain.h"
#include "track/tile.h"

namespace {

namespace fs = std::filesystem;

// Every file under a folder, relative to it.
std::set<std::string> files_under(const std::string& root) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) out.insert(fs::relative(e.path(), root).string());
    return out;
}

struct LoadedTerrain {
    terrain t = {};
    bool ok = false;
    LoadedTerrain(const char* folder, const terrain_setup* setup = nullptr) { ok = terrain_load(&t, folder, setup); }
    ~LoadedTerrain() { terrain_free(&t); }
};

// The sun a track's "lighting" file gives (the terrain loader does not read
// that file: the track loader hands the light over).
bool read_lighting(const std::string& path, terrain_lighting* light) {
    *light = {};
    std::string text = read_file(path);
    const char* p = text.c_str();
    int got = 0;
    got += sscanf(strstr(p, "sun_vector") ? strstr(p, "sun_vector") : "", "sun_vector [ %f %f %f ]", &light->sun[0],
                  &light->sun[1], &light->sun[2]);
    got += sscanf(strstr(p, "sun_color") ? strstr(p, "sun_color") : "", "sun_color [ %f %f %f ]", &light->sun_colour[0],
                  &light->sun_colour[1], &light->sun_colour[2]);
    got += sscanf(strstr(p, "ambient") ? strstr(p, "ambient") : "", "ambient [ %f %f %f ]", &light->ambient[0],
                  &light->ambient[1], &light->ambient[2]);
    return got == 9;
}

// Deterministic sample positions.
struct lcg {
    uint32_t state = 12345;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    int below(int n) { return int((next() >> 8) % uint32_t(n)); }
};

}  // namespace

struct GeneratedData : GameData {};

TEST_F(GeneratedData, SameBytesOnEveryRun) {
    // A second run, into a folder of its own, writes exactly what the build's
    // run wrote beside the game.
    std::string again = temp + "/again";
    ASSERT_EQ(run_dwgen(again), 0);
    std::set<std::string> files = files_under(again);
    EXPECT_GE(files.size(), 20u);
    for (const std::string& name : files)
        EXPECT_TRUE(read_file(again + "/" + name) == read_file(data + "/" + name))
            << name << " differs from the build's copy (rebuild the target gamedata if dwgen changed)";
}

TEST_F(GeneratedData, DwgenNeedsAnOutputFolder) {
    EXPECT_EQ(WEXITSTATUS(system("'" DW_DWGEN "' > /dev/null 2>&1")), 2);
}

TEST_F(GeneratedData, TracksLoadThroughTheGame) {
    struct {
        const char* folder;
        const char* name;
        int exponent;
        float spacing;
        int tiles;
    } cases[] = {
        {"rabbithill", "Rabbit Hill", 9, 1.5f, course_surface_count},
        {"testflat", "Test Flat", testtrack_exponent, testtrack_spacing, 1},
        {"testramp", "Test Ramp", testtrack_exponent, testtrack_spacing, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        LoadedTerrain loaded((std::string("@") + c.folder).c_str());
        ASSERT_TRUE(loaded.ok);
        const terrain& t = loaded.t;
        EXPECT_EQ(t.exponent, c.exponent);
        EXPECT_EQ(t.spacing, c.spacing);
        EXPECT_EQ(t.tiles.tile_count, c.tiles);
        EXPECT_EQ(read_file(data + "/" + c.folder + "/desc"), std::string(c.name) + "\n");
        size_t count = (size_t)t.size * t.size;
        for (size_t k = 0; k < count; k++) {
            ASSERT_TRUE(std::isfinite(t.heights[k]));
            ASSERT_GE(t.heights[k], t.min_height);
            ASSERT_LE(t.heights[k], t.max_height);
        }
        for (int k = 0; k < t.tiles.tile_count; k++)
            EXPECT_TRUE(t.tiles.tiles[k].textured) << tile_name(&t.tiles.tiles[k]);
    }
    // testflat keeps its heights in "terrain.hf" itself, level at 0.
    LoadedTerrain flat("@testflat");
    ASSERT_TRUE(flat.ok);
    size_t samples = (size_t)flat.t.size * flat.t.size;
    EXPECT_GT(read_file(data + "/testflat/terrain.hf").size(), samples * 2);
    for (size_t k = 0; k < samples; k++) ASSERT_EQ(flat.t.heights[k], 0.0f);
}

TEST_F(GeneratedData, RabbitHillGroundIsTheCourse) {
    LoadedTerrain loaded("@rabbithill");
    ASSERT_TRUE(loaded.ok);
    const terrain& t = loaded.t;
    course c;
    char error[200];
    ASSERT_TRUE(course_build(&c, &rabbithill_course, error, sizeof error));
    EXPECT_EQ(t.size, course_field_samples(&rabbithill_course));
    EXPECT_GT(t.max_height - t.min_height, 30.0f);

    // Grid samples anywhere are the course's ground, to the file's rounding.
    lcg r;
    for (int n = 0; n < 4000; n++) {
        int i = r.below(t.size), j = r.below(t.size);
        float want = course_ground_height(&c, i * t.spacing, j * t.spacing);
        ASSERT_NEAR(terrain_sample(&t, i, j), want, 0.01f) << "sample " << i << ", " << j;
    }
    // Under the centre line the tile is the course's surface; far to the
    // side it is grass.
    int grass = tile_find(&t.tiles, "grass.png");
    ASSERT_GE(grass, 0);
    const char* names[course_surface_count] = {"grass.png", "hardpack.png", "loose.png", "sand.png"};
    for (float s = 0; s < c.length; s += 25) {
        course_sample p = course_at(&c, s);
        course_surface kind = course_surface_at(&c, s, 0);
        bool uniform = true;
        for (float ds : {-3.0f, 3.0f})
            for (float l : {-3.0f, 3.0f}) uniform = uniform && course_surface_at(&c, s + ds, l) == kind;
        if (uniform) {
            EXPECT_EQ(terrain_tile_at(&t, p.x, p.z), tile_find(&t.tiles, names[kind])) << "s " << s;
        }
        float off = p.width / 2 + rabbithill_course.shoulder + 20;
        course_place side = course_locate(&c, p.x + off * p.rx, p.z + off * p.rz);
        if (side.distance > p.width / 2 + 10) {
            EXPECT_EQ(terrain_tile_at(&t, p.x + off * p.rx, p.z + off * p.rz), grass) << "s " << s;
        }
    }
}

TEST_F(GeneratedData, SurfacesBehaveAsTheirKind) {
    LoadedTerrain loaded("@rabbithill");
    ASSERT_TRUE(loaded.ok);
    const tile_set& set = loaded.t.tiles;
    const tile* grass = &set.tiles[tile_find(&set, "grass.png")];
    const tile* hard = &set.tiles[tile_find(&set, "hardpack.png")];
    const tile* loose = &set.tiles[tile_find(&set, "loose.png")];
    const tile* sand = &set.tiles[tile_find(&set, "sand.png")];
    // Grip with a little wheel spin: packed dirt, then loose dirt, then sand.
    EXPECT_GT(tile_friction(hard, 5), tile_friction(loose, 5));
    EXPECT_GT(tile_friction(loose, 5), tile_friction(sand, 5));
    // Grass holds at a walk but gives way when the tyre slides fast.
    EXPECT_GE(tile_friction(grass, 1), 0.9f);
    EXPECT_LT(tile_friction(grass, 40), tile_friction(loose, 40));
    EXPECT_LT(tile_friction(grass, 40), 0.6f * tile_friction(grass, 1));
    for (const tile* k : {grass, hard, loose, sand})
        for (float v : {0.0f, 2.0f, 10.0f, 30.0f, 100.0f}) {
            EXPECT_GT(tile_friction(k, v), 0.3f);
            EXPECT_LE(tile_friction(k, v), 1.3f);
        }
    // The softer the ground, the more the tyre sinks and drags.
    float a[4], b[4];
    const tile* by_softness[4] = {hard, grass, loose, sand};
    for (int k = 0; k < 4; k++) tile_roll_resist(by_softness[k], 30, &a[k], &b[k]);
    for (int k = 1; k < 4; k++) EXPECT_GT(b[k], b[k - 1]);
    // Soft dirt throws more and digs deeper.
    EXPECT_GT(loose->roost[0].count, hard->roost[0].count);
    EXPECT_GT(sand->roost[0].count, hard->roost[0].count);
    for (const tile* k : {grass, hard, loose, sand}) EXPECT_EQ(k->roost[0].kind, roost_dirt);
    EXPECT_GT(sand->erosion.erode_depth, loose->erosion.erode_depth);
    EXPECT_GT(loose->erosion.erode_depth, hard->erosion.erode_depth);
    EXPECT_GT(hard->erosion.erode_depth, grass->erosion.erode_depth);
    EXPECT_LT(loose->erosion.erode_lower, hard->erosion.erode_lower);
}

TEST_F(GeneratedData, TestRampHasItsSlopeAndJump) {
    LoadedTerrain loaded("@testramp");
    ASSERT_TRUE(loaded.ok);
    const float tan_slope = std::tan(testramp_slope_deg / 57.29578f);
    const float mid_face = testramp_jump_z0 - testramp_jump_face_length / 2;
    struct {
        float x, z, height;
    } cases[] = {
        {64, 240, 0},
        {64, testramp_slope_z0, 0},
        {64, 140, (testramp_slope_z0 - 140) * tan_slope},
        {64, testramp_slope_z1, testramp_slope_top},
        {64, 20, testramp_slope_top},
        {testramp_slope_x2 + 2, 20, 0},  // between the lanes
        {200, 240, 0},
        {200, mid_face, testramp_jump_height / 2},
        {200, testramp_jump_lip_z - 1, testramp_jump_height},
        {200, testramp_jump_top_end_z + 1, testramp_jump_height},
        {200, testramp_jump_end_z - 1, 0},
        {testramp_jump_x1 + testramp_jump_edge + 2, testramp_jump_lip_z - 1, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(terrain_height(&loaded.t, c.x, c.z), c.height, 0.01f) << c.x << ", " << c.z;
    // The face is as steep as documented.
    float rise = terrain_height(&loaded.t, 200, mid_face - 1) - terrain_height(&loaded.t, 200, mid_face + 1);
    EXPECT_NEAR(std::atan(rise / 2) * 57.29578f, testramp_jump_face_deg, 0.1f);
}

TEST_F(GeneratedData, BakedShadingIsWhatTheGameComputes) {
    struct {
        const char* folder;
        bool shadows;  // anything steep enough to cast a shadow
    } cases[] = {{"rabbithill", true}, {"testramp", false}};
    for (const auto& c : cases) {
        const char* folder = c.folder;
        SCOPED_TRACE(folder);
        terrain_setup setup;
        terrain_setup_defaults(&setup);
        ASSERT_TRUE(read_lighting(data + "/" + folder + "/lighting", &setup.light));
        LoadedTerrain loaded((std::string("@") + folder).c_str(), &setup);
        ASSERT_TRUE(loaded.ok);
        terrain& t = loaded.t;
        size_t count = (size_t)t.size * t.size;
        std::vector<uint8_t> baked(t.shading, t.shading + count * 3);
        terrain_reshade(&t, 0, 0, t.size - 1, t.size - 1);
        size_t off = 0;
        for (size_t k = 0; k < count * 3; k++) off += std::abs(int(baked[k]) - int(t.shading[k])) > 1;
        EXPECT_EQ(off, 0u);
        // The jumps and the berms cast shadows, which cover only a little of
        // the ground.
        size_t shaded = 0;
        for (size_t k = 0; k < count; k++) shaded += t.shadow[k] > 128;
        if (c.shadows) {
            EXPECT_GT(shaded, 100u);
        }
        EXPECT_LT(shaded, count / 20);
    }
}

TEST_F(GeneratedData, ShapeDigestIsTheAcceptedOne) {
    // The start-up check over the generated shapes: a change to the shapes
    // needs its new digest among the accepted ones.
    char hex[41];
    EXPECT_TRUE(fixed_files_check(hex)) << "the generated shapes have the digest " << hex
                                        << ", which src/frame/startup.cpp does not accept";
    // A shape that differs by one byte (here, in the home folder) is not.
    std::string frame = read_file(data + "/generic_frame.shp");
    frame[frame.size() / 2] ^= 1;
    setenv("XDG_DATA_HOME", (temp + "/changed_home").c_str(), 1);
    data_make_folders((temp + "/changed_home/Dirtwake/").c_str());
    std::ofstream(temp + "/changed_home/Dirtwake/generic_frame.shp", std::ios::binary) << frame;
    data_reset_for_tests();
    EXPECT_FALSE(fixed_files_check(nullptr));
}

TEST_F(GeneratedData, ShapesFitTheirBodies) {
    const bike_spec* b = bike_catalogue_entry(0);
    float arm =
        std::hypot(b->rear_wheel.position.y - b->swingarm_pivot.y, b->rear_wheel.position.z - b->swingarm_pivot.z);
    enum { plain, wheel, slider, arm_line };
    struct {
        const char* name;
        bike_vec3 body;  // the body's position at rest
        double reach;    // largest |centre| + radius
        int check;
        const bike_wheel_spec* tyre;
    } cases[] = {
        {"@generic_frame.shp", b->frame_position, 3.5, plain, nullptr},
        {"@generic_fork_upper.shp", b->fork_upper_position, 1.8, plain, nullptr},
        {"@generic_fork_lower.shp", b->fork_lower_position, 1.2, slider, nullptr},
        {"@generic_swingarm.shp", b->swingarm_position, arm / 2 + 0.5, arm_line, nullptr},
        {"@front_wheel.shp", b->front_wheel.position, b->front_wheel.ring_radius + b->front_wheel.section_radius + 1e-3,
         wheel, &b->front_wheel},
        {"@rear_wheel.shp", b->rear_wheel.position, b->rear_wheel.ring_radius + b->rear_wheel.section_radius + 1e-3,
         wheel, &b->rear_wheel},
        {"@generic_rider.shp", b->rider_position, 3.5, plain, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        data_stream* s = data_open(c.name, "rb");
        ASSERT_NE(s, nullptr);
        collision_shape* shape = shape_read(s, c.name);
        data_close(s);
        ASSERT_NE(shape, nullptr);
        EXPECT_LE(shape->bounding_radius, c.reach);
        for (int k = 0; k < shape->count; k++) {
            const shape_sphere& p = shape->spheres[k];
            double x = p.centre[0] + c.body.x, y = p.centre[1] + c.body.y, z = p.centre[2] + c.body.z;
            // Within the bike at rest: inside the handlebar's width, over the
            // wheelbase, and above the ground (the tyres reach down to it).
            EXPECT_LE(std::fabs(x) + p.radius, 1.3) << "sphere " << k;
            EXPECT_GE(z - p.radius, -0.2) << "sphere " << k;
            EXPECT_LE(z + p.radius, 7.3) << "sphere " << k;
            EXPECT_GE(y - p.radius, c.check == wheel ? -0.1 : 0.5) << "sphere " << k;
            // Every sphere off the middle has its mirror image.
            bool mirrored = p.centre[0] == 0;
            for (int q = 0; q < shape->count && !mirrored; q++) {
                const shape_sphere& m = shape->spheres[q];
                mirrored = m.centre[0] == -p.centre[0] && m.centre[1] == p.centre[1] && m.centre[2] == p.centre[2] &&
                           m.radius == p.radius;
            }
            EXPECT_TRUE(mirrored) << "sphere " << k;
            EXPECT_GT(p.friction, 0.0);
            EXPECT_GT(p.stiffness, 0.0);
            EXPECT_GT(p.damping, 0.0);
            if (c.check == wheel) {
                // The tyre: spheres of the section on the ring, in the wheel's plane.
                double ring = std::hypot(p.centre[1], p.centre[2]);
                if (ring > 0.1) {
                    EXPECT_NEAR(ring, c.tyre->ring_radius, 1e-3);
                    EXPECT_NEAR(p.radius, c.tyre->section_radius, 1e-3);
                    EXPECT_EQ(p.centre[0], 0.0);
                }
            } else if (c.check == slider) {
                // Along the steering axis through the front axle.
                double ay = b->fork_upper_position.y - b->fork_lower_position.y;
                double az = b->fork_upper_position.z - b->fork_lower_position.z;
                double dy = y - b->front_wheel.position.y, dz = z - b->front_wheel.position.z;
                EXPECT_LE(std::fabs(dy * az - dz * ay) / std::hypot(ay, az), 0.05) << "sphere " << k;
            } else if (c.check == arm_line) {
                // Along the line from the pivot to the rear axle.
                double ay = b->rear_wheel.position.y - b->swingarm_pivot.y;
                double az = b->rear_wheel.position.z - b->swingarm_pivot.z;
                double dy = y - b->swingarm_pivot.y, dz = z - b->swingarm_pivot.z;
                EXPECT_LE(std::fabs(dy * az - dz * ay) / std::hypot(ay, az), 0.5) << "sphere " << k;
            }
        }
        if (c.check == wheel) {
            EXPECT_NEAR(shape->bounding_radius, c.tyre->ring_radius + c.tyre->section_radius, 1e-3);
        }
        shape_free(shape);
    }
}

TEST_F(GeneratedData, StartGateStandsBeforeTheRider) {
    data_stream* s = data_open("@startgate.shp", "rb");
    ASSERT_NE(s, nullptr);
    collision_shape* gate = shape_read(s, "@startgate.shp");
    data_close(s);
    ASSERT_NE(gate, nullptr);
    // In the gate's coordinates the rider lines up 3 ft behind it (+z): the
    // board spans a rider's width, stands on the ground, is lower than a
    // bike and lies between the gate line and the rider.
    double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
    for (int k = 0; k < gate->count; k++) {
        const shape_sphere& p = gate->spheres[k];
        x0 = std::fmin(x0, p.centre[0] - p.radius);
        x1 = std::fmax(x1, p.centre[0] + p.radius);
        y0 = std::fmin(y0, p.centre[1] - p.radius);
        y1 = std::fmax(y1, p.centre[1] + p.radius);
        EXPECT_GE(p.centre[2] - p.radius, -0.5);
        EXPECT_LE(p.centre[2] + p.radius, 1.0);
    }
    EXPECT_GE(x1 - x0, 3.0);
    EXPECT_LE(x1 - x0, rabbithill_course.gate_pitch + 0.2);
    EXPECT_LE(y0, 0.2);
    EXPECT_GE(y1, 1.4);
    EXPECT_LE(y1, 2.5);
    shape_free(gate);
}

TEST_F(GeneratedData, TimingGatesFollowTheCourse) {
    timing_gates* g = (timing_gates*)calloc(1, sizeof(timing_gates));
    ASSERT_TRUE(gates_read(g, "@rabbithill/timing_gates"));
    ASSERT_TRUE(g->timed);
    EXPECT_GE(g->spot_count, 20);
    course c;
    char error[256];
    ASSERT_TRUE(course_build(&c, &rabbithill_course, error, sizeof error)) << error;
    // The spots are the course's gate spots; the lap line is checkpoint 0.
    for (int i = 0; i < g->spot_count; i++) {
        float x, y, z, h;
        course_gate_spot(&c, i, &x, &y, &z, &h);
        EXPECT_NEAR(g->spots[i].position[0], x, 1e-3);
        EXPECT_NEAR(g->spots[i].heading, h, 1e-5);
    }
    EXPECT_TRUE(gates_is_lap_line(g, g->first_count - 1));
    EXPECT_EQ(gates_course_checkpoint(g, g->first_count - 1), 0);
    // In riding order along the course, and no other part of the course
    // passes within a checkpoint's radius: a rider is credited only where
    // the checkpoint stands.
    float previous = -1;
    for (int p = 0; p < g->first_count; p++) {
        const checkpoint& cp = g->checkpoints[gates_course_checkpoint(g, p)];
        course_place at = course_locate(&c, cp.point[0], cp.point[2]);
        if (p > 0 && p < g->first_count - 1) {
            EXPECT_GT(course_wrap(&c, at.s - previous), 0) << p;
        }
        previous = at.s;
        for (float s = 0; s < c.length; s += 2) {
            float along = std::fabs(course_wrap(&c, s - at.s + c.length / 2) - c.length / 2);
            if (along < 200) continue;  // this part of the course
            course_sample other = course_at(&c, s);
            float dx = other.x - cp.point[0], dz = other.z - cp.point[2];
            EXPECT_GT(std::sqrt(dx * dx + dz * dz), cp.radius + other.width * 0.5f)
                << "checkpoint " << p << " reaches the course at s = " << s;
        }
    }
    // The test tracks have spots and no timing.
    ASSERT_TRUE(gates_read(g, "@testflat/timing_gates"));
    EXPECT_EQ(g->spot_count, 4);
    EXPECT_FALSE(g->timed);
    free(g);
}
