// "dwtool map": a top view of a generated track, the track in the colours of
// its surfaces on green ground.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dwtool/commands.h"
#include "gen/course.h"
#include "gen/gen_fixture.h"
#include "gen/testtracks.h"
#include "render/image.h"

namespace {

int run_map(std::vector<std::string> args) {
    args.insert(args.begin(), "map");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return cmd_map((int)argv.size(), argv.data());
}

struct rgb {
    int r, g, b;
};
rgb pixel(const image& img, float x, float z, float ft_per_pixel) {
    int px = int(x / ft_per_pixel), py = int(z / ft_per_pixel);
    const uint8_t* p = img.pixels + ((size_t)py * img.width + px) * img.channels;
    return {p[0], p[1], p[2]};
}

}  // namespace

struct TrackMap : GameData {};

TEST_F(TrackMap, ShowsTheCourseOnTheGround) {
    std::string out = temp + "/rabbithill_map.png";
    ASSERT_EQ(run_map({"rabbithill", out}), 0);
    image img = {};
    ASSERT_TRUE(image_load(out.c_str(), &img));
    int cells = course_field_samples(&rabbithill_course) - 1;
    ASSERT_EQ(img.width, cells);
    ASSERT_EQ(img.height, cells);
    course c;
    char error[200];
    ASSERT_TRUE(course_build(&c, &rabbithill_course, error, sizeof error));
    float scale = rabbithill_course.spacing;
    auto on_course = [&](float s, float lateral) {
        course_sample p = course_at(&c, s);
        return pixel(img, p.x + lateral * p.rx, p.z + lateral * p.rz, scale);
    };
    // Dirt is brown, the ground around it green, the sand pale.
    float gate = course_gate_s(&c);
    rgb dirt = on_course(gate + 20, 0);
    EXPECT_GT(dirt.r, dirt.g);
    EXPECT_GT(dirt.g, dirt.b);
    rgb grass = on_course(gate + 20, course_at(&c, gate + 20).width / 2 + 40);
    EXPECT_GT(grass.g, grass.r);
    EXPECT_GT(grass.g, grass.b);
    for (int k = 0; k < rabbithill_course.feature_count; k++) {
        if (rabbithill_course.features[k].kind != course_sand) continue;
        // On a level stretch of the sand (away from the whoops).
        rgb sand = on_course(course_feature_start(&c, k) + 20, 0);
        EXPECT_GT(sand.r + sand.g + sand.b, dirt.r + dirt.g + dirt.b + 60);
    }
    image_free(&img);
}

TEST_F(TrackMap, ShadesTheSlopes) {
    // On testramp the sun stands towards +z: the jump's face (rising towards
    // -z) is brighter than the level ground, its landing darker.
    std::string out = temp + "/testramp_map.png";
    ASSERT_EQ(run_map({"testramp", out}), 0);
    image img = {};
    ASSERT_TRUE(image_load(out.c_str(), &img));
    ASSERT_EQ(img.width, int(testtrack_size / testtrack_spacing));
    auto brightness = [&](float x, float z) {
        rgb p = pixel(img, x, z, testtrack_spacing);
        return p.r + p.g + p.b;
    };
    int level = brightness(200, 240);
    EXPECT_GT(brightness(200, testramp_jump_z0 - testramp_jump_face_length / 2), level);
    EXPECT_LT(brightness(200, testramp_jump_end_z + testramp_jump_land_length / 2), level);
    image_free(&img);
}

TEST_F(TrackMap, Failures) {
    EXPECT_EQ(run_map({"rabbithill"}), 2);
    EXPECT_EQ(run_map({"no_such_track", temp + "/none.png"}), 1);
    EXPECT_EQ(run_map({"testflat", data + "/testflat/desc/map.png"}), 1);  // under a file
}
