// Picture files: the predictive J6/J7 decoding and encoding, PPM and PGM
// headers and sample scaling, PNG round trips, and files that lie about
// their size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/data.h"
#include "render/image.h"

namespace {

struct ImageTest : ::testing::Test {
    std::string dir;
    void SetUp() override {
        dir = std::string(testing::TempDir()) + "dwimage_" + std::to_string(getpid()) + "_" +
              testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        data_make_folders((dir + "x").c_str());
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Reads a file with one of the readers; the image is freed by the caller.
    template <class Reader>
    bool read(const std::string& path, image* out, Reader reader) {
        data_stream* s = data_open(path.c_str(), "rb");
        if (!s) return false;
        bool ok = reader(s, out);
        data_close(s);
        return ok;
    }
    bool read_rgb(const std::string& bytes, image* out) {
        return read(write("in.bin", bytes), out, [](data_stream* s, image* o) { return image_read_rgb(s, o); });
    }
    bool read_grey(const std::string& bytes, image* out) {
        return read(write("in.bin", bytes), out, [](data_stream* s, image* o) { return image_read_grey(s, o); });
    }
    std::vector<int> pixels(const image& img) {
        return std::vector<int>(img.pixels, img.pixels + image_bytes(&img));
    }
};

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back((char)(unsigned char)v);
    return s;
}

image make_image(int w, int h, int channels, int sample_bytes, unsigned seed) {
    image img = {};
    EXPECT_TRUE(image_alloc(&img, w, h, channels, sample_bytes));
    for (int64_t k = 0; k < image_bytes(&img); k++) img.pixels[k] = (uint8_t)((k * 37 + seed * 101 + (k * k) % 13) & 255);
    return img;
}

TEST_F(ImageTest, J6DecodesHandMadePicture) {
    // Pixels (10,20,30) (15,20,25) / (12,22,32) (40,50,60): the second pixel
    // is predicted from the left, the third from above, the last from
    // left + above - above-left = (17,22,27).
    std::string file = "J6\n2 2\n" + bytes({10, 20, 30, 5, 0, 251, 2, 2, 2, 23, 28, 33});
    image img;
    ASSERT_TRUE(read_rgb(file, &img));
    EXPECT_EQ(img.width, 2);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(pixels(img), (std::vector<int>{10, 20, 30, 15, 20, 25, 12, 22, 32, 40, 50, 60}));
    image_free(&img);
}

TEST_F(ImageTest, J7PredictionClampsAndAlphaIsKeptOrDropped) {
    // Red: 0, 200 / 200, then 100 predicted from 200 + 200 - 0 clamped to 255
    // (delta 101). Alpha 255 everywhere.
    std::string file = "J7\n2 2\n" + bytes({0, 1, 2, 255, 200, 0, 0, 0, 200, 0, 0, 0, 101, 0, 0, 0});
    image img;
    auto read_any = [](data_stream* s, image* o) { return image_read_any(s, o); };
    ASSERT_TRUE(read(write("j7", file), &img, read_any));
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(pixels(img), (std::vector<int>{0, 1, 2, 255, 200, 1, 2, 255, 200, 1, 2, 255, 100, 1, 2, 255}));
    image_free(&img);
    ASSERT_TRUE(read_rgb(file, &img));  // the RGB reader keeps three channels
    EXPECT_EQ(pixels(img), (std::vector<int>{0, 1, 2, 200, 1, 2, 200, 1, 2, 100, 1, 2}));
    image_free(&img);
}

TEST_F(ImageTest, J6AllZeroDeltasIsBlack) {
    image img;
    ASSERT_TRUE(read_rgb("J6 3 2\n" + std::string(18, '\0'), &img));
    EXPECT_EQ(pixels(img), std::vector<int>(18, 0));
    image_free(&img);
}

TEST_F(ImageTest, JEncodeDecodeRoundTrip) {
    for (int channels : {3, 4}) {
        SCOPED_TRACE(channels);
        image original = make_image(7, 5, channels, 1, channels);
        std::string path = dir + "round.j";
        data_stream* s = data_open(path.c_str(), "wb");
        ASSERT_TRUE(image_write_j(s, &original, channels));
        data_close(s);
        image back;
        ASSERT_TRUE(read(path, &back, [](data_stream* st, image* o) { return image_read_any(st, o); }));
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(pixels(back), pixels(original));
        image_free(&back);
        image_free(&original);
    }
}

TEST_F(ImageTest, TruncatedPredictiveDataFails) {
    image img;
    EXPECT_FALSE(read_rgb("J6\n2 2\n" + bytes({1, 2, 3, 4, 5}), &img));
    EXPECT_EQ(img.pixels, nullptr);
}

TEST_F(ImageTest, NetpbmHeadersAndScaling) {
    struct Case {
        const char* what;
        std::string file;
        bool grey;
        std::vector<int> expected;  // empty: the read fails
    } cases[] = {
        {"P6 with comments", "P6\n# made by hand\n  # another\n1 # w\n1\n255\n" + bytes({1, 2, 3}), false, {1, 2, 3}},
        {"P6 maximum 15 scales", "P6 2 1 15\n" + bytes({15, 0, 7, 3, 30, 1}), false, {255, 0, 119, 51, 255, 17}},
        {"P6 two-byte samples", "P6 1 1 1000\n" + bytes({0x03, 0xe8, 0x01, 0xf4, 0, 0}), false, {255, 127, 0}},
        {"P3 decimal", "P3 2 1 255 1 2 3 # c\n 4 5 6", false, {1, 2, 3, 4, 5, 6}},
        {"P3 unreadable values count as -1", "P3 2 1 255 7 x 1 2 3 4", false, {7, 0, 0, 0, 0, 0}},
        {"P3 values above the maximum clamp", "P3 1 1 10 20 5 -3", false, {255, 127, 0}},
        {"P5", "P5 3 1 255\n" + bytes({9, 8, 7}), true, {9, 8, 7}},
        {"P5 two-byte samples", "P5 2 1 65535\n" + bytes({0xff, 0xff, 0x80, 0x00}), true, {255, 127}},
        {"P2", "P2 2 2 100 100 50 0 25", true, {255, 127, 0, 63}},
        {"maximum 0 is refused", "P6 1 1 0\n" + bytes({1, 2, 3}), false, {}},
        {"maximum above 65535 is refused", "P5 1 1 70000\n" + bytes({1, 2, 3, 4}), true, {}},
        {"negative width", "P6 -1 1 255\n" + bytes({1, 2, 3}), false, {}},
        {"missing height", "P6 1 # none\n", false, {}},
        {"zero width", "P5 0 4 255\n", true, {}},
        {"short data", "P6 2 2 255\n" + bytes({1, 2, 3}), false, {}},
        {"unknown token", "P7 1 1 255\n" + bytes({1, 2, 3}), false, {}},
        {"token longer than 15", "P6P6P6P6P6P6P6P6 1 1 255\n" + bytes({1, 2, 3}), false, {}},
        {"grey reader refuses PPM", "P6 1 1 255\n" + bytes({1, 2, 3}), true, {}},
        {"empty file", "", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        image img;
        bool ok = c.grey ? read_grey(c.file, &img) : read_rgb(c.file, &img);
        if (c.expected.empty()) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(img.pixels, nullptr);
            continue;
        }
        ASSERT_TRUE(ok);
        EXPECT_EQ(img.channels, c.grey ? 1 : 3);
        EXPECT_EQ(pixels(img), c.expected);
        image_free(&img);
    }
}

TEST_F(ImageTest, HugeDimensionsAreRefusedBeforeAllocating) {
    image img;
    EXPECT_FALSE(read_rgb("P6 100000 100000 255\n", &img));
    EXPECT_FALSE(read_rgb("P6 16384 16384 255\n", &img));  // 768 MB of RGB: above the byte limit
    EXPECT_FALSE(read_rgb("J7 99999999999 2\n", &img));
    EXPECT_FALSE(read_grey("P5 2147483647 2147483647 255\n", &img));
    // Within the limits but without data: fails once the data runs out.
    EXPECT_FALSE(read_grey("P5 4000 4000 255\n", &img));
    EXPECT_EQ(img.pixels, nullptr);
}

TEST_F(ImageTest, NetpbmWritersRoundTrip) {
    image rgb = make_image(5, 3, 3, 1, 1);
    image grey = make_image(4, 6, 1, 1, 2);
    ASSERT_TRUE(image_save((dir + "a.ppm").c_str(), &rgb));
    ASSERT_TRUE(image_save((dir + "a.pgm").c_str(), &grey));
    EXPECT_FALSE(image_save((dir + "b.pgm").c_str(), &rgb));  // PGM needs one channel
    image back;
    ASSERT_TRUE(image_load((dir + "a.ppm").c_str(), &back));
    EXPECT_EQ(pixels(back), pixels(rgb));
    image_free(&back);
    ASSERT_TRUE(image_load((dir + "a.pgm").c_str(), &back));
    EXPECT_EQ(back.width, 4);
    EXPECT_EQ(pixels(back), pixels(grey));
    image_free(&back);
    image_free(&rgb);
    image_free(&grey);
}

TEST_F(ImageTest, PngRoundTrips) {
    struct Case {
        int channels, sample_bytes;
    } cases[] = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {1, 2}};
    auto native = [](data_stream* s, image* o) { return image_read_png(s, o, image_png_native); };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.sample_bytes << " bytes");
        image original = make_image(9, 4, c.channels, c.sample_bytes, c.channels * 3 + c.sample_bytes);
        std::string path = dir + "round.png";
        ASSERT_TRUE(image_save(path.c_str(), &original));
        image back;
        ASSERT_TRUE(read(path, &back, native));
        EXPECT_EQ(back.channels, c.channels);
        EXPECT_EQ(back.sample_bytes, c.sample_bytes);
        EXPECT_EQ(pixels(back), pixels(original));
        image_free(&back);
        image_free(&original);
    }
}

TEST_F(ImageTest, PngForms) {
    // 8-bit grey 0, 128, 255: as heights (257 v) and as a texture (RGB).
    image grey = {};
    ASSERT_TRUE(image_alloc(&grey, 3, 1, 1, 1));
    grey.pixels[0] = 0, grey.pixels[1] = 128, grey.pixels[2] = 255;
    std::string path = dir + "grey.png";
    ASSERT_TRUE(image_save(path.c_str(), &grey));
    image img;
    ASSERT_TRUE(read(path, &img, [](data_stream* s, image* o) { return image_read_png(s, o, image_png_grey16); }));
    const uint16_t* wide = (const uint16_t*)img.pixels;
    EXPECT_EQ(img.sample_bytes, 2);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[1], 128 * 257);
    EXPECT_EQ(wide[2], 65535);
    image_free(&img);
    ASSERT_TRUE(image_load(path.c_str(), &img));  // ".png" reads as a texture
    EXPECT_EQ(pixels(img), (std::vector<int>{0, 0, 0, 128, 128, 128, 255, 255, 255}));
    image_free(&img);

    // RGBA as 16-bit grey: alpha dropped, colour weighted to grey.
    image rgba = {};
    ASSERT_TRUE(image_alloc(&rgba, 2, 1, 4, 1));
    uint8_t px[] = {255, 255, 255, 0, 0, 0, 0, 255};
    memcpy(rgba.pixels, px, sizeof px);
    ASSERT_TRUE(image_save(path.c_str(), &rgba));
    ASSERT_TRUE(read(path, &img, [](data_stream* s, image* o) { return image_read_png(s, o, image_png_grey16); }));
    EXPECT_EQ(img.channels, 1);
    EXPECT_EQ(((const uint16_t*)img.pixels)[0], 65535);
    EXPECT_EQ(((const uint16_t*)img.pixels)[1], 0);
    image_free(&img);
    image_free(&rgba);
    image_free(&grey);
}

TEST_F(ImageTest, PngBottomUpRowsAreFlipped) {
    image img = make_image(3, 4, 3, 1, 5);
    std::string path = dir + "shot.png";
    data_stream* s = data_open(path.c_str(), "wb");
    ASSERT_TRUE(image_write_png(s, &img, true));
    data_close(s);
    image back;
    ASSERT_TRUE(image_load(path.c_str(), &back));
    for (int y = 0; y < 4; y++)
        EXPECT_EQ(0, memcmp(back.pixels + y * 9, img.pixels + (3 - y) * 9, 9)) << "row " << y;
    image_free(&back);
    image_free(&img);
}

TEST_F(ImageTest, BrokenPngFails) {
    image img = make_image(16, 16, 3, 1, 9);
    std::string path = dir + "whole.png";
    ASSERT_TRUE(image_save(path.c_str(), &img));
    image_free(&img);
    std::ifstream in(path, std::ios::binary);
    std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t cut : {size_t(0), size_t(7), size_t(8), size_t(30), whole.size() / 2, whole.size() - 13}) {
        SCOPED_TRACE(cut);
        image back;
        EXPECT_FALSE(image_load(write("cut.png", whole.substr(0, cut)).c_str(), &back));
        EXPECT_EQ(back.pixels, nullptr);
    }
    // A flipped byte in the image data fails the checksum.
    std::string bad = whole;
    bad[whole.size() / 2] ^= 0x55;
    image back;
    EXPECT_FALSE(image_load(write("bad.png", bad).c_str(), &back));
}

TEST_F(ImageTest, FormatsByExtension) {
    EXPECT_STREQ(image_format_for("@track/shading.PPM")->extension, ".ppm");
    EXPECT_STREQ(image_format_for("shadows.pgm")->extension, ".pgm");
    EXPECT_STREQ(image_format_for("a.b/map.png")->extension, ".png");
    EXPECT_EQ(image_format_for("folder.png/picture"), nullptr);  // the dot is in a folder name
    EXPECT_EQ(image_format_for("noextension"), nullptr);
    EXPECT_EQ(image_format_for("picture.jpg"), nullptr);
}

}  // namespace
