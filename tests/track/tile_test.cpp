// Surface tiles: "tileinfo" directives and warnings, "texturelist", transition
// codes, the friction and rolling-resistance curves, the tile map, decals
// and the writers.
#include <cmath>
#include <map>

#include "track/tile.h"
#include "track_files.h"

namespace {

// The texture loader stand-in: names it knows get handles, others fail.
std::map<std::string, uint32_t> g_known_textures;
std::vector<std::string> g_asked;

uint32_t fake_texture_get(const char* name) {
    g_asked.push_back(name);
    auto it = g_known_textures.find(name);
    return it == g_known_textures.end() ? 0 : it->second;
}

struct TileTest : TrackFolder {
    tile_set set = {};
    void SetUp() override {
        TrackFolder::SetUp();
        g_known_textures = {{"@roost.png", 7}, {"@dirt.png", 11}, {"my roost.png", 12}, {"@decal.png", 20},
                            {"@decal_tnorm.ppm", 21}, {"@decal_tspec.png", 22}};
        g_asked.clear();
        g_tile_texture_hooks.texture_get = fake_texture_get;
    }
    void TearDown() override {
        g_tile_texture_hooks.texture_get = nullptr;
        tile_set_free(&set);
        TrackFolder::TearDown();
    }
    // Runs a reader over a file holding the text.
    template <class Reader>
    void read(const std::string& text, Reader reader) {
        put("input", text);
        data_stream* s = data_open(path("input").c_str(), "rb");
        ASSERT_NE(s, nullptr);
        reader(s);
        data_close(s);
    }
    void read_tileinfo(const std::string& text) {
        read(text, [this](data_stream* s) { tile_read_tileinfo(&set, s); });
    }
};

TEST_F(TileTest, CurvesAreClampedAndSortedWhenTheTileIsAdded) {
    read_tileinfo(
        "  texture @dirt.png\r\n"
        "friction 0.9 20\n"
        "\tfriction -0.5 0\n"  // coefficient raised to 0, speed to 2^-20
        "friction 1.2 5\n"
        "roll_resist 2 8 10\n"
        "roll_resist -1 3 2\n"
        "\n"
        "addtile\n"
        "addtile\n");
    ASSERT_EQ(set.tile_count, 2);
    const tile& t = set.tiles[0];
    EXPECT_STREQ(t.texture_name, "@dirt.png");
    EXPECT_EQ(t.texture, 11u);
    EXPECT_TRUE(t.textured);
    const float tiny = 9.5367432e-07f;
    float friction[8][2] = {{0.0f, tiny}, {1.2f, 5}, {0.9f, 20}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}};
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(t.friction[k].coefficient, friction[k][0]) << k;
        EXPECT_EQ(t.friction[k].speed, friction[k][1]) << k;
    }
    EXPECT_EQ(t.roll[0].a, 0.0f);
    EXPECT_EQ(t.roll[0].b, 3.0f);
    EXPECT_EQ(t.roll[0].speed, 2.0f);
    EXPECT_EQ(t.roll[1].speed, 10.0f);
    EXPECT_EQ(t.roll[2].speed, 0.0f);

    const tile& plain = set.tiles[1];  // all defaults
    EXPECT_EQ(plain.texture_name, nullptr);
    EXPECT_FALSE(plain.textured);
    EXPECT_EQ(plain.friction[0].coefficient, 1.0f);
    EXPECT_EQ(plain.friction[0].speed, 1.0f);
    EXPECT_EQ(plain.friction[1].speed, 0.0f);
    EXPECT_EQ(plain.roll[0].a, 5.0f);
    EXPECT_EQ(plain.roll[0].b, 15.0f);
    EXPECT_EQ(plain.roost[0].kind, roost_none);
    EXPECT_EQ(plain.roost[0].texture, 7);  // "@roost.png"
    EXPECT_EQ(plain.erosion.erode_upper, 150.0f);
    EXPECT_EQ(plain.erosion.erode_on_speed, 15.0f);
    EXPECT_EQ(g_messages.next, 0);  // nothing to warn about
}

TEST_F(TileTest, WarningsLeaveValuesAndReadingGoesOn) {
    std::string text = "friction 1\n";  // one number short
    for (int k = 1; k <= 9; k++) text += "friction 1 " + std::to_string(k) + "\n";
    text +=
        "roll_resist 1 2 nan\n"
        "erode_depth 3\n"
        "erode_lower abc\n"
        "erode_on_speed 22\n"
        "Addtile\n"
        "addtile\n"
        "friction 0.1 0.1\n";  // after the last "addtile": no effect
    read_tileinfo(text);
    ASSERT_EQ(set.tile_count, 1);
    const tile& t = set.tiles[0];
    EXPECT_EQ(t.friction[7].speed, 8.0f);  // the first eight stay
    EXPECT_EQ(t.roll[0].speed, 1.0f);
    EXPECT_EQ(t.erosion.erode_depth, 3.0f);
    EXPECT_EQ(t.erosion.erode_lower, 50.0f);
    EXPECT_EQ(t.erosion.erode_on_speed, 22.0f);
    for (const char* warning :
         {"tileinfo warning: too many friction points\n", "tileinfo warning: bad friction parameters\n",
          "tileinfo warning: bad roll_resist parameters\n", "tileinfo warning: bad erode_lower\n",
          "tileinfo warning: Unknown identifier 'Addtile'\n"})
        EXPECT_TRUE(shown(warning)) << warning;
}

TEST_F(TileTest, RoostWords) {
    read_tileinfo(
        "roost count=2.5 texture=\"my roost.png\" fade_a=-256 r=300 g=-1 b=7.9 splash=0 slow_angle=abc bogus=1 word\n"
        "roost splash=1 size=0.5 \"fa\"de_r=128 texture=@nothing.png\n"
        "roost\n"
        "roost\n"
        "roost\n"
        "addtile\n");
    ASSERT_EQ(set.tile_count, 1);
    const tile& t = set.tiles[0];
    const roost_type& r = t.roost[0];
    EXPECT_EQ(r.kind, roost_dirt);
    EXPECT_EQ(r.count, 2.5f);
    EXPECT_EQ(r.texture, 12);
    EXPECT_STREQ(t.roost_texture_names[0], "my roost.png");
    EXPECT_EQ(r.fade_a, -2);  // -256 per second
    EXPECT_EQ(r.r, 44);       // the low byte of 300
    EXPECT_EQ(r.g, 255);
    EXPECT_EQ(r.b, 7);
    EXPECT_EQ(r.slow_angle, 0.0f);
    EXPECT_EQ(r.fast_angle, 0.19634955f);
    EXPECT_EQ(r.a, 255);
    const roost_type& splash = t.roost[1];
    EXPECT_EQ(splash.kind, roost_splash);
    EXPECT_EQ(splash.size, 0.5f);
    EXPECT_EQ(splash.fade_r, 1);
    EXPECT_EQ(splash.texture, 0);  // did not load
    EXPECT_EQ(t.roost[2].kind, roost_dirt);
    EXPECT_EQ(t.roost[3].kind, roost_dirt);
    EXPECT_EQ(t.roost[3].texture, 7);
    for (const char* warning :
         {"tileinfo warning: bad slow_angle\n", "tileinfo warning: unknown roost parameter 'bogus=1'\n",
          "tileinfo warning: unknown roost parameter 'word'\n", "tileinfo warning: too many roost types\n"})
        EXPECT_TRUE(shown(warning)) << warning;
    int kinds[3];
    tile_kind_counts(&set, kinds);
    EXPECT_EQ(kinds[0], 0);
    EXPECT_EQ(kinds[1], 1);
    EXPECT_EQ(kinds[2], 1);
}

TEST_F(TileTest, TableSizeLimits) {
    read_tileinfo("# nothing but an unknown word\n");
    ASSERT_EQ(set.tile_count, 1);  // never an empty table
    EXPECT_TRUE(shown("tileinfo warning: no tiles defined, using a default tile\n"));
    EXPECT_EQ(set.tiles[0].friction[0].coefficient, 1.0f);
    EXPECT_EQ(set.tiles[0].transition, 0);

    std::string many;
    for (int k = 0; k < 300; k++) many += "addtile\n";
    read_tileinfo(many);
    EXPECT_EQ(set.tile_count, 256);

    read(std::string("\n  \n"), [this](data_stream* s) { tile_read_texturelist(&set, s); });
    EXPECT_EQ(set.tile_count, 1);
}

TEST_F(TileTest, Texturelist) {
    read("0.8 4 12 dirt.png\n   \n  roost.png\n1 2 x mud.png",
         [this](data_stream* s) { tile_read_texturelist(&set, s); });
    ASSERT_EQ(set.tile_count, 3);
    const tile& t = set.tiles[0];
    EXPECT_STREQ(t.texture_name, "@dirt.png");
    EXPECT_EQ(t.texture, 11u);
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(t.friction[k].coefficient, 0.8f);
        EXPECT_EQ(t.roll[k].a, 4.0f);
        EXPECT_EQ(t.roll[k].b, 12.0f);
        EXPECT_EQ(t.friction[k].speed, k == 0 ? 1.0f : 0.0f);
    }
    EXPECT_EQ(t.roost[0].kind, roost_dirt);  // exactly one dirt roost
    EXPECT_EQ(t.roost[0].texture, 7);
    EXPECT_EQ(t.roost[1].kind, roost_none);
    EXPECT_STREQ(set.tiles[1].texture_name, "@roost.png");
    EXPECT_EQ(set.tiles[1].friction[0].coefficient, 1.0f);
    EXPECT_STREQ(set.tiles[2].texture_name, "@1 2 x mud.png");  // not three numbers: all of it is the name
    EXPECT_EQ(set.tiles[2].transition, 2 << 16 | 2 << 8);
}

TEST_F(TileTest, TransitionCodesFromNames) {
    read_tileinfo(
        "texture @tiles/grass.png\naddtile\n"
        "texture @tiles/dirt.png\naddtile\n"
        "texture @tiles/grass-dirt-1010.png\naddtile\n"
        "texture @grass-alt2.png\naddtile\n"
        "texture @grass-mud-0101.png\naddtile\n"
        "addtile\n"
        "texture @water-dirt-1111.png\naddtile\n"
        "texture dirt-grass-01.png\naddtile\n");
    ASSERT_EQ(set.tile_count, 8);
    int32_t expected[] = {
        0 << 16 | 0 << 8,       // pure
        1 << 16 | 1 << 8,       // pure
        0 << 16 | 1 << 8 | 10,  // dirt at the corners of smaller x (8 and 2)
        0 << 16 | 0 << 8,       // a variant of grass
        -256,                   // no tile named mud
        5 << 16 | 5 << 8,       // no texture: plain
        6 << 16 | 6 << 8,       // no tile named water
        1 << 16 | 0 << 8,       // "01.p" is not four corner bits
    };
    for (int k = 0; k < 8; k++) EXPECT_EQ(set.tiles[k].transition, expected[k]) << k;
    EXPECT_EQ(tile_find(&set, "dirt.png"), 1);
    EXPECT_EQ(tile_find(&set, "grass-alt2.png"), 3);
    EXPECT_EQ(tile_find(&set, ""), -1);  // the plain tile has no name to match
    EXPECT_EQ(tile_find(&set, "(plain)"), -1);
}

TEST_F(TileTest, FrictionCurveInterpolatesInSquaredSpeed) {
    tile t;
    tile_defaults(&t);
    EXPECT_EQ(tile_friction(&t, 0.0f), 1.0f);  // a single point holds at every speed
    EXPECT_EQ(tile_friction(&t, 50.0f), 1.0f);
    t.friction[0] = {0.5f, 2.0f};
    t.friction[1] = {1.0f, 4.0f};
    t.friction[2] = {0.8f, 8.0f};
    struct Case {
        float speed, mu;
    } cases[] = {
        {0, 0.5f},  {1, 0.5f},   {2, 0.5f},        {3, 0.5f + 0.5f * 5 / 12}, {-3, 0.5f + 0.5f * 5 / 12},
        {4, 1.0f},  {6, 1.0f - 0.2f * 20 / 48},     {8, 0.8f},                 {100, 0.8f},
        {INFINITY, 0.8f}, {std::nanf(""), 0.8f},
    };
    for (const Case& c : cases) EXPECT_NEAR(tile_friction(&t, c.speed), c.mu, 1e-6) << c.speed;

    t.roll[0] = {1, 10, 2};
    t.roll[1] = {3, 20, 4};
    struct RollCase {
        float w, a, b;
    } rolls[] = {{0, 1, 10}, {2, 1, 10}, {3, 2, 15}, {4, 3, 20}, {10, 3, 20}};
    for (const RollCase& c : rolls) {
        float a, b;
        tile_roll_resist(&t, c.w, &a, &b);
        EXPECT_FLOAT_EQ(a, c.a) << c.w;
        EXPECT_FLOAT_EQ(b, c.b) << c.w;
    }
}

TEST_F(TileTest, TileMapClampsAndFillsAShortFile) {
    read_tileinfo("addtile\naddtile\naddtile\n");
    read(std::string("\x02\x03\xff", 3), [this](data_stream* s) { EXPECT_TRUE(tile_read_map(&set, s, 2)); });
    EXPECT_EQ(set.map_side, 2);
    EXPECT_EQ(set.map[0], 2);
    EXPECT_EQ(set.map[1], 2);
    EXPECT_EQ(set.map[2], 2);
    EXPECT_EQ(set.map[3], 0);  // not in the file
    read("", [this](data_stream* s) { EXPECT_FALSE(tile_read_map(&set, s, 0)); });
}

TEST_F(TileTest, DecalsAndTheirRegions) {
    read(
        "[ 10 20 ] 0 4 2 @decal.png\n"
        "[ 50 60 ] 1.5707964 2 3 @missing.png\n"     // does not load: dropped
        "[ 64 64 ] 0 40 1 @decal.png\n"              // 44..84 on both axes
        "[ 8 24 ] 0.3 2 1 @decal.png\n"
        "[ 1e30 -5 ] 0 1 1 @decal.png\n"             // far outside: the border regions
        "[ 1 2 ] 0 1\n"                              // incomplete: the list ends
        "[ 5 5 ] 0 1 1 @decal.png\n",
        [this](data_stream* s) { tile_read_decals(&set, s, 128.0f, true); });
    ASSERT_EQ(set.decal_count, 4);
    EXPECT_EQ(set.decals[0].x, 10.0f);
    EXPECT_EQ(set.decals[0].texture, 20u);
    EXPECT_EQ(set.decals[0].normal_texture, 21u);  // the ".png" companion failed, the ".ppm" one loaded
    EXPECT_EQ(set.decals[0].specular_texture, 22u);
    EXPECT_NEAR(set.decals[2].sine, std::sin(0.3f), 1e-6);
    auto region = [this](int rx, int rz) {
        int r = rx + rz * 8;
        return std::vector<int>(set.region_decals[r], set.region_decals[r] + set.region_counts[r]);
    };
    EXPECT_EQ(region(0, 1), (std::vector<int>{0, 2}));
    EXPECT_EQ(region(2, 2), (std::vector<int>{1}));
    EXPECT_EQ(region(5, 5), (std::vector<int>{1}));
    EXPECT_EQ(region(6, 5), (std::vector<int>{}));
    EXPECT_EQ(region(7, 0), (std::vector<int>{3}));
    int entries = 0;
    for (int r = 0; r < 64; r++) entries += set.region_counts[r];
    EXPECT_EQ(entries, 1 + 16 + 1 + 1);
}

TEST_F(TileTest, DecalCompanionNames) {
    char out[32];
    EXPECT_TRUE(decal_companion_name("@d/mark.png", "_tnorm.png", out, sizeof out));
    EXPECT_STREQ(out, "@d/mark_tnorm.png");
    EXPECT_TRUE(decal_companion_name("@a.b/mark.x.ppm", "_tspec.ppm", out, sizeof out));
    EXPECT_STREQ(out, "@a.b/mark.x_tspec.ppm");
    EXPECT_FALSE(decal_companion_name("@tracks.v2/mark", "_tnorm.png", out, sizeof out));  // no extension
    EXPECT_FALSE(decal_companion_name("@a/very_long_decal_name.png", "_tnorm.png", out, sizeof out));
    EXPECT_FALSE(decal_companion_name("@mark.png", "_tnorm.png", out, 10));
}

TEST_F(TileTest, WrittenFilesReadBack) {
    read_tileinfo(
        "texture @dirt.png\nfriction 0.7 3\nfriction 0.9 12.5\nroll_resist 4 9 2\n"
        "roost count=3 texture=\"my roost.png\" r=200 fade_a=-384 fade_g=128\nroost splash=1 drag=0.25\n"
        "erode_radius 6.5\naddtile\n"
        "addtile\n");
    ASSERT_EQ(set.tile_count, 2);
    put("tileinfo", "");
    data_stream* s = data_open(path("tileinfo").c_str(), "wb");
    ASSERT_TRUE(tile_write_tileinfo(s, set.tiles, set.tile_count));
    data_close(s);
    tile_set back = {};
    s = data_open(path("tileinfo").c_str(), "rb");
    tile_read_tileinfo(&back, s);
    data_close(s);
    ASSERT_EQ(back.tile_count, 2);
    for (int k = 0; k < 2; k++) {
        const tile &a = set.tiles[k], &b = back.tiles[k];
        EXPECT_EQ(0, memcmp(a.friction, b.friction, sizeof a.friction)) << k;
        EXPECT_EQ(0, memcmp(a.roll, b.roll, sizeof a.roll)) << k;
        EXPECT_EQ(0, memcmp(a.roost, b.roost, sizeof a.roost)) << k;
        EXPECT_EQ(0, memcmp(&a.erosion, &b.erosion, sizeof a.erosion)) << k;
        EXPECT_EQ(a.texture_name == nullptr, b.texture_name == nullptr);
    }
    EXPECT_STREQ(back.tiles[0].roost_texture_names[0], "my roost.png");
    EXPECT_EQ(back.tiles[0].roost[0].fade_a, -3);

    uint8_t map[4] = {1, 0, 1, 1};
    s = data_open(path("tilemap").c_str(), "wb");
    ASSERT_TRUE(tile_write_map(s, map, 2));
    data_close(s);
    s = data_open(path("tilemap").c_str(), "rb");
    ASSERT_TRUE(tile_read_map(&back, s, 2));
    data_close(s);
    EXPECT_EQ(0, memcmp(back.map, map, 4));

    decal decals[2] = {};
    decals[0] = {(char*)"@decal.png", 0, 0, 0, 12.25f, 3.5f, 0.7f, 0, 0, 2.0f, 1.5f};
    decals[1] = {(char*)"@decal.png", 0, 0, 0, 100, 101, -1, 0, 0, 4, 1};
    s = data_open(path("decals").c_str(), "wb");
    ASSERT_TRUE(tile_write_decals(s, decals, 2));
    data_close(s);
    s = data_open(path("decals").c_str(), "rb");
    tile_read_decals(&back, s, 128.0f, false);
    data_close(s);
    ASSERT_EQ(back.decal_count, 2);
    EXPECT_EQ(back.decals[0].x, 12.25f);
    EXPECT_EQ(back.decals[0].angle, 0.7f);
    EXPECT_EQ(back.decals[1].ratio, 1.0f);
    tile_set_free(&back);
}

TEST_F(TileTest, WithoutATextureLoaderAPictureCountsWhenItsFileOpens) {
    g_tile_texture_hooks.texture_get = nullptr;
    put("grass.png", "any bytes");
    read_tileinfo("texture " + path("grass.png") + "\naddtile\ntexture " + path("none.png") + "\naddtile\n");
    EXPECT_TRUE(set.tiles[0].textured);
    EXPECT_EQ(set.tiles[0].texture, 0u);
    EXPECT_FALSE(set.tiles[1].textured);
    EXPECT_STREQ(tile_name(&set.tiles[0]), "grass.png");
}

}  // namespace
