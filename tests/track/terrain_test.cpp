// The terrain: ground queries on a small hand-made field, loading from a track
// folder (inline and PNG heights, shading, shadows, the files that must be
// there, headers that cannot be trusted), height changes and the writers.
#include <cmath>

#include "base/digest.h"
#include "render/image.h"
#include "track/terrain.h"
#include "track_files.h"

namespace {

// 5 x 5 samples (n = 1), spacing 2 ft; min 0 and max 65535 make every height
// equal to its sample value. Row j = 0 first.
const std::vector<uint16_t> small_field = {
    0, 0,  0, 0,  0,  //
    0, 20, 0, 0,  0,  //
    0, 0,  0, 0,  8,  //
    0, 0,  0, 40, 0,  //
    6, 0,  0, 0,  3,  //
};

struct TerrainTest : TrackFolder {
    terrain t = {};
    void TearDown() override {
        terrain_free(&t);
        TrackFolder::TearDown();
    }
    void put_small_track() {
        put("terrain.hf", hf_inline(1, 2.0f, 0.0f, 65535.0f, small_field));
        put_track_basics(*this, 1);
    }
};

TEST_F(TerrainTest, HeightsOnBothDiagonalsAndBeyondTheBorders) {
    put_small_track();
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(t.size, 5);
    EXPECT_EQ(t.world_size, 8.0f);
    const float nan = std::nanf(""), inf = INFINITY;
    struct Case {
        const char* what;
        float x, z, height;
    } cases[] = {
        // Cell (0, 0): i and j of the same parity, diagonal (0,0)-(1,1) rises to the bump of 20.
        {"same parity, below the diagonal", 1.0f, 0.5f, 5.0f},
        {"same parity, above the diagonal", 0.5f, 1.0f, 5.0f},
        {"same parity, on the diagonal", 1.0f, 1.0f, 10.0f},
        // Cell (1, 0): different parity, diagonal (2,0)-(1,1).
        {"different parity, near corner", 2.5f, 0.5f, 5.0f},
        {"different parity, far corner", 3.5f, 1.5f, 5.0f},
        // Cell (3, 2): different parity, corners 0, 8 (4,2), 40 (3,3), 0 (4,3).
        {"different parity, far triangle", 7.5f, 5.5f, 12.0f},
        {"grid point", 6.0f, 6.0f, 40.0f},
        {"left of the field", -3.0f, 8.0f, 6.0f},
        {"far left", -1e30f, 8.0f, 6.0f},
        {"right of the field, between rows", 9.0f, 5.0f, 4.0f},
        {"far right", 1e9f, 5.0f, 4.0f},
        {"infinite x", inf, 5.0f, 4.0f},
        {"beyond both far corners", inf, inf, 3.0f},
        {"NaN x", nan, 8.0f, 6.0f},
        {"NaN both", nan, nan, 0.0f},
        {"minus infinity", -inf, -inf, 0.0f},
    };
    for (const Case& c : cases) EXPECT_NEAR(terrain_height(&t, c.x, c.z), c.height, 1e-4) << c.what;
    EXPECT_EQ(terrain_sample(&t, -4, 99), 6.0f);
}

TEST_F(TerrainTest, FaceNormalsAreTwiceTheTriangleArea) {
    put_small_track();
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    // For spacing s the normal is s^2 (-dh/dx, 1, -dh/dz).
    struct Case {
        const char* what;
        float x, z;
        float n[3];
    } cases[] = {
        {"flat cell", 3.0f, 5.0f, {0, 4, 0}},
        {"rising along z", 1.0f, 0.5f, {0, 4, -40}},
        {"rising along x", 0.5f, 1.0f, {-40, 4, 0}},
        {"beyond the left border: no slope along x", -10.0f, 7.0f, {0, 4, -12}},
        {"NaN: the corner beyond (0, 0)", std::nanf(""), std::nanf(""), {0, 4, 0}},
    };
    for (const Case& c : cases) {
        float n[3];
        terrain_face_normal(&t, c.x, c.z, n);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(n[k], c.n[k], 1e-4) << c.what << " component " << k;
    }
    // The bump at (1, 1) is surrounded by zeros: its smoothed normal is straight up.
    float n[3];
    terrain_vertex_normal(&t, 1, 1, n);
    EXPECT_NEAR(n[0], 0.0f, 1e-6);
    EXPECT_NEAR(n[1], 1.0f, 1e-6);
    EXPECT_NEAR(n[2], 0.0f, 1e-6);
}

TEST_F(TerrainTest, NormalsOfAPlane) {
    ASSERT_TRUE(terrain_create(&t, 2, 3.0f, nullptr));
    // h = 0.5 x + 0.25 z
    for (int j = 0; j < t.size; j++)
        for (int i = 0; i < t.size; i++) t.heights[i + j * t.size] = 0.5f * 3.0f * i + 0.25f * 3.0f * j;
    float len = std::sqrt(0.25f + 1.0f + 0.0625f);
    float n[3];
    terrain_vertex_normal(&t, 3, 4, n);
    EXPECT_NEAR(n[0], -0.5f / len, 1e-5);
    EXPECT_NEAR(n[1], 1.0f / len, 1e-5);
    EXPECT_NEAR(n[2], -0.25f / len, 1e-5);
    terrain_face_normal(&t, 7.3f, 4.1f, n);
    EXPECT_NEAR(n[0], -4.5f, 1e-4);
    EXPECT_NEAR(n[1], 9.0f, 1e-4);
    EXPECT_NEAR(n[2], -2.25f, 1e-4);

    terrain flat = {};
    ASSERT_TRUE(terrain_create(&flat, 1, 2.0f, nullptr));
    for (int ij : {-100, 0, 2, 4, 100}) {
        terrain_vertex_normal(&flat, ij, 4 - ij, n);
        EXPECT_EQ(n[0], 0.0f);
        EXPECT_EQ(n[1], 1.0f);
        EXPECT_EQ(n[2], 0.0f);
    }
    terrain_face_normal(&flat, 1.0f, 3.0f, n);
    EXPECT_EQ(n[1], 4.0f);
    terrain_free(&flat);
}

TEST_F(TerrainTest, TileUnderAPoint) {
    put("terrain.hf", hf_inline(1, 2.0f, 0.0f, 1.0f, std::vector<uint16_t>(25, 0)));
    put_track_basics(*this, 1);
    put("tileinfo", "texture @a.png\naddtile\ntexture @b.png\naddtile\ntexture @c.png\naddtile\n");
    put("tilemap", std::string("\x00\x01\x02\xc8", 4));  // 200 is past the table: becomes 2
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    ASSERT_EQ(t.tiles.tile_count, 3);
    struct Case {
        float x, z;
        int tile;
    } cases[] = {
        {1, 1, 0}, {5, 1, 1}, {1, 5, 2}, {5, 5, 2}, {3.99f, 3.99f, 0}, {4, 0, 1},
        {-100, -100, 0}, {100, -5, 1}, {-5, 100, 2}, {1e30f, 1e30f, 2},
        {std::nanf(""), std::nanf(""), 0}, {INFINITY, -INFINITY, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(terrain_tile_at(&t, c.x, c.z), c.tile) << c.x << ", " << c.z;
    EXPECT_STREQ(tile_name(terrain_tile(&t, 5, 1)), "b.png");
}

TEST_F(TerrainTest, MissingRequiredFilesFailTheLoad) {
    struct Case {
        std::vector<std::string> removed;
        std::string named;
    } cases[] = {
        {{"terrain.hf"}, "terrain.hf"},
        {{"shadingx2.ppm"}, "shading.ppm"},
        {{"tileinfo"}, "texturelist"},
        {{"tilemap"}, "tilemap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        put_small_track();
        for (const std::string& f : c.removed) remove_file(f);
        EXPECT_FALSE(terrain_load(&t, folder.c_str(), nullptr));
        EXPECT_EQ(last_message(), "Can't open '" + path(c.named) + "'");
        EXPECT_EQ(t.heights, nullptr);
        EXPECT_EQ(t.tiles.tiles, nullptr);
    }
}

TEST_F(TerrainTest, ShadingAndShadowFiles) {
    put_small_track();
    remove_file("shadingx2.ppm");
    put("shading.ppm", netpbm(true, 5, 5, 201));  // full intensity: halved
    put("shadows.pgm", netpbm(false, 5, 5, 55));  // 255 lit: inverted
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(t.shading[0], 100);
    EXPECT_EQ(t.shading[5 * 5 * 3 - 1], 100);
    EXPECT_EQ(t.shadow[7], 200);

    put("shadingx2.ppm", netpbm(true, 5, 5, 201));  // preferred, taken as it is
    remove_file("shadows.pgm");
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(t.shading[0], 201);
    EXPECT_EQ(t.shadow[7], 0);
}

TEST_F(TerrainTest, BadShadingOrShadowsFailTheLoad) {
    struct Case {
        const char* file;
        std::string bytes;
        const char* message;  // null: only logged
    } cases[] = {
        {"shadingx2.ppm", netpbm(true, 3, 3, 1), "Bad shading dimensions (3x3)"},
        {"shadingx2.ppm", "P6 5 5 255\nshort", "Error reading shading"},
        {"shadingx2.ppm", netpbm(false, 5, 5, 1), "Error reading shading"},
        {"shadows.pgm", "P5 5 5 0\n", "Error reading shadows"},
        {"shadows.pgm", netpbm(false, 4, 5, 1), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        put_small_track();
        put(c.file, c.bytes);
        message_clear();
        EXPECT_FALSE(terrain_load(&t, folder.c_str(), nullptr));
        EXPECT_EQ(t.heights, nullptr);
        if (c.message)
            EXPECT_EQ(last_message(), c.message);
        else
            EXPECT_FALSE(shown("Bad shadow dimensions (4x5)\n"));
        remove_file("shadows.pgm");
    }
}

TEST_F(TerrainTest, BadHeaderIsRefusedBeforeAllocating) {
    const char* headers[] = {
        "0 1 0 1\n:",      // exponent below 1
        "13 1 0 1\n:",     // exponent above 12
        "-1 1 0 1\n",      //
        "3 0 0 1\n",       // spacing 0
        "3 -2 0 1\n",      // negative spacing
        "3 nan 0 1\n",     //
        "3 inf 0 1\n",     //
        "3 1e-45 0 1\n",   // its inverse is infinite
        "12 1e35 0 1\n",   // the field's size is infinite
        "3 1 5 1\n",       // min above max
        "3 1 nan 1\n",     //
        "3 1 0 inf\n",     //
        "3 1 0\n",         // a number missing
        "x 1 0 1\n",       //
        "",                //
        "99999999999999999999 1 0 1\n",
    };
    for (const char* header : headers) {
        SCOPED_TRACE(header);
        put_small_track();
        put("terrain.hf", header);
        message_clear();
        EXPECT_FALSE(terrain_load(&t, folder.c_str(), nullptr));
        EXPECT_EQ(last_message(1), "Bad height field parameters");
        EXPECT_EQ(last_message(), "Error reading heights");
        EXPECT_EQ(t.heights, nullptr);
    }
}

TEST_F(TerrainTest, ShortInlineHeightsFail) {
    put_small_track();
    std::string whole = hf_inline(1, 2.0f, 0.0f, 65535.0f, small_field);
    put("terrain.hf", whole.substr(0, whole.size() - 1));
    EXPECT_FALSE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(last_message(), "Error reading heights");
    EXPECT_FALSE(shown("Bad height field parameters"));
    EXPECT_EQ(t.heights, nullptr);
}

// A PNG of 16-bit grey samples (or 8-bit when wide is false).
void put_png(const TrackFolder& f, int w, int h, const std::vector<int>& samples, bool wide) {
    image img = {};
    ASSERT_TRUE(image_alloc(&img, w, h, 1, wide ? 2 : 1));
    for (int k = 0; k < w * h; k++) {
        if (wide)
            ((uint16_t*)img.pixels)[k] = (uint16_t)samples[k];
        else
            img.pixels[k] = (uint8_t)samples[k];
    }
    ASSERT_TRUE(image_save(f.path("terrain.png").c_str(), &img));
    image_free(&img);
}

TEST_F(TerrainTest, HeightsFromPng) {
    put_track_basics(*this, 1);
    put("terrain.hf", "1 2 -10 30\n");

    // No picture: a flat field at min height.
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(terrain_height(&t, 3, 3), -10.0f);
    EXPECT_EQ(terrain_sample(&t, 4, 4), -10.0f);

    // One pixel: flat at its height.
    put_png(*this, 1, 1, {16384}, true);
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_NEAR(terrain_sample(&t, 0, 0), -10.0f + 40.0f * 16384 / 65535, 1e-4);
    EXPECT_EQ(terrain_sample(&t, 4, 4), terrain_sample(&t, 0, 0));

    // 8-bit 255 is exactly max; a smaller picture repeats its last column and row.
    put_png(*this, 2, 2, {0, 255, 51, 255}, false);
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(terrain_sample(&t, 0, 0), -10.0f);
    EXPECT_EQ(terrain_sample(&t, 1, 0), 30.0f);
    EXPECT_EQ(terrain_sample(&t, 4, 0), 30.0f);
    EXPECT_NEAR(terrain_sample(&t, 0, 3), -10.0f + 40.0f * 51 * 257 / 65535, 1e-4);

    // A picture that cannot be read: flat at min, without a message.
    put("terrain.png", "\x89PNG broken");
    message_clear();
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(terrain_sample(&t, 2, 2), -10.0f);
    EXPECT_EQ(g_messages.next, 0);
}

TEST_F(TerrainTest, HeightHashIsTheSameForBothSources) {
    std::vector<uint16_t> samples(25);
    for (int k = 0; k < 25; k++) samples[k] = (uint16_t)(k * 2621 + 7);
    std::string le;
    for (uint16_t v : samples) le += std::string{(char)(v & 255), (char)(v >> 8)};
    sha1_context c;
    uint8_t expected[20];
    sha1_begin(&c);
    sha1_add(&c, le.data(), le.size());
    sha1_end(&c, expected);

    put_track_basics(*this, 1);
    put("terrain.hf", hf_inline(1, 1.0f, 0.0f, 1.0f, samples));
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(0, memcmp(t.height_hash, expected, 20));

    put("terrain.hf", "1 1 0 1\n");
    put_png(*this, 5, 5, std::vector<int>(samples.begin(), samples.end()), true);
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), nullptr));
    EXPECT_EQ(0, memcmp(t.height_hash, expected, 20));
}

TEST_F(TerrainTest, NormalMapOnlyWithShadersDynamicLightingAndACopyMethod) {
    put_small_track();
    put("shadows.pgm", netpbm(false, 5, 5, 255 - 30));
    terrain_setup setup;
    terrain_setup_defaults(&setup);
    setup.shaders = true;
    setup.light.dynamic = true;
    setup.method = ground_method_texsubimage;
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), &setup));
    EXPECT_EQ(t.normal_map, nullptr);
    setup.method = ground_method_fbo;
    ASSERT_TRUE(terrain_load(&t, folder.c_str(), &setup));
    ASSERT_NE(t.normal_map, nullptr);
    // Grid point (3, 0) and its neighbours are flat: (128, 255 - shadow, 128).
    const uint8_t* px = t.normal_map + 3 * 3;
    EXPECT_EQ(px[0], 128);
    EXPECT_EQ(px[1], 255 - 30);
    EXPECT_EQ(px[2], 128);
    // Grid point (0, 1) has the bump to its right: the normal leans to -x.
    EXPECT_LT(t.normal_map[(0 + 1 * 5) * 3], 128);
}

struct DeformTest : TerrainTest {
    void SetUp() override {
        TerrainTest::SetUp();
        terrain_lighting light = {{0, 1, 0}, {1, 1, 1}, {0.5f, 0.5f, 0.5f}, false};
        ASSERT_TRUE(terrain_create(&t, 3, 1.0f, &light));  // 17 x 17, spacing 1
        memset(t.shading, 0x77, (size_t)t.size * t.size * 3);
    }
    float h(int i, int j) { return t.heights[i + j * t.size]; }
    // Whether the shading of (i, j) was rewritten since SetUp.
    bool reshaded(int i, int j) { return t.shading[(i + j * t.size) * 3] != 0x77; }
};

TEST_F(DeformTest, RaisesWithASmoothFallOffAndReshadesOnlyItsRectangle) {
    terrain_deform(&t, 8.0f, 8.0f, 2.0f, 1.0f);
    EXPECT_FLOAT_EQ(h(8, 8), 1.0f);
    EXPECT_FLOAT_EQ(h(9, 8), 0.5f);           // t = 1/2: 2/8 - 3/4 + 1
    EXPECT_NEAR(h(7, 7), 0.2071068f, 1e-6);   // t = sqrt(2)/2
    EXPECT_EQ(h(10, 8), 0.0f);                // at the radius
    EXPECT_EQ(h(6, 8), 0.0f);
    EXPECT_EQ(t.max_height, 1.0f);
    EXPECT_EQ(t.modified, terrain_changed | terrain_unsaved);
    EXPECT_EQ(t.change_counter, 2);
    // The rectangle (cx - m, cz - m) .. (cx + m + 1, cz + m + 1) = 6..11, nothing else.
    for (int j = 0; j < t.size; j++)
        for (int i = 0; i < t.size; i++) {
            bool inside = i >= 6 && i <= 11 && j >= 6 && j <= 11;
            EXPECT_EQ(reshaded(i, j), inside) << i << ", " << j;
        }
    EXPECT_EQ(t.dirty_i0, 6);
    EXPECT_EQ(t.dirty_j1, 11);
    // Flat ground under the sun straight above: (1 + 0.5) / 2 of full.
    EXPECT_EQ(t.shading[(11 + 11 * t.size) * 3], 191);
    EXPECT_LT(t.shading[(9 + 8 * t.size) * 3], 191);  // on the slope

    terrain_deform(&t, 8.0f, 8.0f, 2.0f, -3.0f);
    EXPECT_FLOAT_EQ(h(8, 8), -2.0f);
    EXPECT_EQ(t.min_height, -2.0f);
    EXPECT_EQ(t.max_height, 1.0f);
}

TEST_F(DeformTest, LockKeepsHeightsButStillReshadesAndCounts) {
    t.deform_lock = true;
    terrain_deform(&t, 8.0f, 8.0f, 2.0f, 1.0f);
    EXPECT_EQ(h(8, 8), 0.0f);
    EXPECT_EQ(t.modified, 0);
    EXPECT_EQ(t.change_counter, 2);
    EXPECT_TRUE(reshaded(6, 6));
    EXPECT_FALSE(reshaded(5, 6));
}

TEST_F(DeformTest, EdgesAndNonsenseStayInsideTheGrid) {
    terrain_deform(&t, 0.0f, 0.0f, 3.0f, 1.0f);  // at the corner
    EXPECT_FLOAT_EQ(h(0, 0), 1.0f);
    terrain_deform(&t, 16.5f, 16.5f, 1.0f, 1.0f);  // past the far corner
    EXPECT_GT(h(16, 16), 0.0f);
    int counter = t.change_counter;
    terrain_deform(&t, 1e30f, -1e30f, 1e30f, 1.0f);  // a radius reaching the whole field
    EXPECT_EQ(t.change_counter, counter + 1);
    terrain_deform(&t, std::nanf(""), 3.0f, 2.0f, 1.0f);
    terrain_deform(&t, 3.0f, 3.0f, INFINITY, 1.0f);
    terrain_deform(&t, 3.0f, 3.0f, 2.0f, 0.0f);  // no change at all
    EXPECT_EQ(t.change_counter, counter + 1);
}

TEST_F(TerrainTest, WrittenFilesLoadBack) {
    ASSERT_TRUE(terrain_create(&t, 2, 1.5f, nullptr));
    for (int k = 0; k < t.size * t.size; k++) t.heights[k] = std::sin(k * 0.37f) * 12.0f + 3.0f;
    terrain_update_range(&t);
    t.shadow[4] = 77;
    terrain_reshade(&t, 0, 0, t.size - 1, t.size - 1);
    std::vector<float> heights(t.heights, t.heights + t.size * t.size);
    std::vector<uint8_t> shading(t.shading, t.shading + t.size * t.size * 3);
    float step = (t.max_height - t.min_height) / 65535.0f;

    ASSERT_TRUE(terrain_write_hf(&t, path("terrain.hf").c_str(), true));
    ASSERT_TRUE(terrain_write_shading(&t, path("shadingx2.ppm").c_str()));
    ASSERT_TRUE(terrain_write_shadows(&t, path("shadows.pgm").c_str()));
    put("tileinfo", "addtile\n");
    put("tilemap", std::string(16, '\0'));
    terrain loaded = {};
    ASSERT_TRUE(terrain_load(&loaded, folder.c_str(), nullptr));
    EXPECT_EQ(loaded.exponent, 2);
    EXPECT_EQ(loaded.spacing, 1.5f);
    for (size_t k = 0; k < heights.size(); k++) ASSERT_NEAR(loaded.heights[k], heights[k], step) << k;
    EXPECT_EQ(0, memcmp(loaded.shading, shading.data(), shading.size()));
    EXPECT_EQ(loaded.shadow[4], 77);
    uint8_t inline_hash[20];
    memcpy(inline_hash, loaded.height_hash, 20);

    // The same heights through "terrain.png".
    ASSERT_TRUE(terrain_write_hf(&t, path("terrain.hf").c_str(), false));
    ASSERT_TRUE(terrain_write_height_png(&t, path("terrain.png").c_str()));
    terrain_free(&loaded);
    ASSERT_TRUE(terrain_load(&loaded, folder.c_str(), nullptr));
    for (size_t k = 0; k < heights.size(); k++) ASSERT_NEAR(loaded.heights[k], heights[k], step) << k;
    EXPECT_EQ(0, memcmp(loaded.height_hash, inline_hash, 20));
    terrain_free(&loaded);
}

}  // namespace
