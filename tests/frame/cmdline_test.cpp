// The command line: value forms, clamps, bad arguments, file arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "files/config.h"
#include "frame/game.h"

namespace {

struct parsed {
    int result;
    std::string err;
};

parsed parse(std::vector<std::string> args) {
    config_defaults();
    startup_settings_defaults();
    args.insert(args.begin(), "dirtwake");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    int r = command_line_parse((int)args.size(), argv.data());
    return {r, testing::internal::GetCapturedStderr()};
}

TEST(CommandLine, ValueFormsParseTheSame) {
    parse({"--lock-fps", "30"});
    double spaced = g_startup.lock_rate;
    parse({"--lock-fps=30"});
    EXPECT_EQ(g_startup.lock_rate, spaced);
    EXPECT_EQ(spaced, 30);
}

TEST(CommandLine, BadNumbersAreReportedByName) {
    const char* numeric[] = {"--texture-detail", "--ground-texture-detail", "--roostfrequency", "--erode",
                             "--detail", "--max-detail-distance", "--lod-scale", "--lod-bias", "--lock-fps",
                             "--fake-lag", "--fake-loss", "--chase-center"};
    for (const char* option : numeric) {
        for (const char* value : {"x", "nan", "inf"}) {
            parsed p = parse({option, value});
            if (std::string(option) == "--texture-detail" || std::string(option) == "--ground-texture-detail" ||
                std::string(option) == "--roostfrequency" || std::string(option) == "--fake-loss") {
                if (std::string(value) != "x") continue;  // integers: "nan" simply doesn't convert either way
            }
            EXPECT_EQ(p.result, parse_error) << option << " " << value;
            EXPECT_EQ(p.err, std::string("Bad arg for ") + option + "\n") << value;
        }
        // As the last argument an option has no value at all.
        parsed p = parse({option});
        EXPECT_EQ(p.result, parse_error) << option;
    }
}

TEST(CommandLine, ClampsAndDerivedValues) {
    parse({"--texture-detail", "9"});
    EXPECT_EQ(g_settings.texture_detail, 4);
    EXPECT_EQ(g_settings.ground_texture_detail, 4);
    parse({"--texture-detail", "2", "--ground-texture-detail", "-2"});
    EXPECT_EQ(g_settings.texture_detail, 2);
    EXPECT_EQ(g_settings.ground_texture_detail, 0);
    parse({"--fake-lag", "2500", "--fake-loss", "150", "--erode=250", "--roostfrequency=-5"});
    EXPECT_DOUBLE_EQ(g_settings.fake_lag, 1.0);
    EXPECT_EQ(g_settings.fake_loss, 100);
    EXPECT_EQ(g_settings.erosion, 100);
    EXPECT_EQ(g_settings.roost_frequency, 0);
    parse({"--fake-lag", "250"});
    EXPECT_NEAR(g_settings.fake_lag, 0.25, 1e-6);
    parse({"--max-detail-distance", "40", "--lod-scale", "0"});
    EXPECT_EQ(g_settings.max_detail_distance, 40);
    EXPECT_EQ(g_settings.detail_fade_distance, 45);
    EXPECT_EQ(g_settings.lod_scale, 0.000001);
}

TEST(CommandLine, LockRateIsKeptSane) {
    EXPECT_EQ(parse({"--lock-fps", "0.001"}).result, parse_ok);
    EXPECT_EQ(g_startup.lock_rate, 1);
    parse({"--lock-fps", "1e9"});
    EXPECT_EQ(g_startup.lock_rate, 1000);
    parse({"--lock-fps", "0"});
    EXPECT_EQ(g_startup.lock_rate, 0);  // off
    EXPECT_EQ(parse({"--lock-fps", "-5"}).result, parse_error);
}

TEST(CommandLine, ChaseCenterNeedsThreeNumbers) {
    EXPECT_EQ(parse({"--chase-center", "1,2"}).result, parse_error);
    EXPECT_EQ(parse({"--chase-center=1,2.5,-3"}).result, parse_ok);
    EXPECT_FLOAT_EQ(g_startup.chase_center[0], 1);
    EXPECT_FLOAT_EQ(g_startup.chase_center[1], 2.5f);
    EXPECT_FLOAT_EQ(g_startup.chase_center[2], -3);
}

TEST(CommandLine, BadOptionsAndFileArguments) {
    parsed p = parse({"-q"});
    EXPECT_EQ(p.result, parse_error);
    EXPECT_EQ(p.err, "bad option '-q'\n");

    p = parse({"--", "-q"});
    EXPECT_EQ(p.result, parse_ok);
    EXPECT_STREQ(g_startup.file_argument, "-q");

    p = parse({"a.dwdemo", "b.dwdemo"});
    EXPECT_EQ(p.result, parse_error);
    EXPECT_EQ(p.err, "Too many files!\n");

    p = parse({"--debug", "race.dwdemo", "--warp"});
    EXPECT_EQ(p.result, parse_ok);
    EXPECT_STREQ(g_startup.file_argument, "race.dwdemo");
    EXPECT_TRUE(g_startup.warp);
    EXPECT_EQ(g_settings.debug_level, 1);

    // After "--" every option is a file name.
    p = parse({"--", "--warp"});
    EXPECT_FALSE(g_startup.warp);
    EXPECT_STREQ(g_startup.file_argument, "--warp");
    EXPECT_EQ(parse({"--"}).result, parse_ok);
}

TEST(CommandLine, UncheckedConversionsNeverFail) {
    parsed p = parse({"--width", "abc", "--height=600", "--depth", "32x", "--draw-fps", "2", "--rotate-lineup", "q"});
    EXPECT_EQ(p.result, parse_ok);
    EXPECT_EQ(g_config.xres, 0);
    EXPECT_EQ(g_config.yres, 600);
    EXPECT_EQ(g_startup.colour_depth, 32);
    EXPECT_EQ(g_config.draw_fps, 2);
    p = parse({"--bikes", "whatever"});
    EXPECT_EQ(p.result, parse_ok);
    EXPECT_EQ(p.err, "--bikes doesn't do anything anymore\n");
}

TEST(CommandLine, ConnectFillsTheServerHistory) {
    parse({"--connect", "dirtwake:race.example.org"});
    EXPECT_STREQ(g_config.server_name.text, "race.example.org");
    EXPECT_STREQ(g_config.server_name_hist[0].text, "race.example.org");
    EXPECT_STREQ(g_settings.auto_connect, "race.example.org");
    EXPECT_EQ(g_config.server_name_selected, -1);

    // The same server again, with and without the scheme, leaves the history.
    config_defaults();
    text_set(&g_config.server_name_hist[0], "a.example.org");
    text_set(&g_config.server_name_hist[1], "b.example.org");
    startup_settings_defaults();
    char a0[] = "dirtwake", a1[] = "--connect=a.example.org";
    char* argv[] = {a0, a1, nullptr};
    command_line_parse(2, argv);
    EXPECT_STREQ(g_config.server_name_hist[0].text, "a.example.org");
    EXPECT_STREQ(g_config.server_name_hist[1].text, "b.example.org");

    // A new name moves the others down.
    char a2[] = "--connect=c.example.org";
    char* argv2[] = {a0, a2, nullptr};
    command_line_parse(2, argv2);
    EXPECT_STREQ(g_config.server_name_hist[0].text, "c.example.org");
    EXPECT_STREQ(g_config.server_name_hist[1].text, "a.example.org");
    EXPECT_STREQ(g_config.server_name_hist[2].text, "b.example.org");

    // An overlong address is cut to fit, never written past its buffer.
    std::string longname(600, 'h');
    parse({"--connect", longname});
    EXPECT_EQ(strlen(g_config.server_name.text), 127u);
}

TEST(CommandLine, FlagsSetTheirSettings) {
    parse({"--fugly", "--nosound", "--novertexarrays", "--learn", "--practice", "--editor", "--hidden-pause",
           "--hidden-hud", "--accurate-skip", "--glfinish", "--print-orientation", "--record-video", "--super-debug",
           "--track", "testflat", "--password=secret"});
    EXPECT_TRUE(g_settings.flat_shading);
    EXPECT_TRUE(g_startup.no_sound);
    EXPECT_TRUE(g_settings.no_vertex_arrays);
    EXPECT_TRUE(g_settings.learn_lines);
    EXPECT_TRUE(g_settings.practice);
    EXPECT_TRUE(g_settings.editor_allowed);
    EXPECT_FALSE(g_startup.show_paused);
    EXPECT_FALSE(g_startup.show_hud);
    EXPECT_TRUE(g_settings.accurate_skip);
    EXPECT_TRUE(g_startup.glfinish);
    EXPECT_TRUE(g_settings.print_orientation);
    EXPECT_TRUE(g_startup.record_video);
    EXPECT_EQ(g_settings.debug_level, 2);
    EXPECT_STREQ(g_settings.initial_track, "testflat");
    EXPECT_STREQ(g_settings.password, "secret");
    parse({"--learn", "--nolearn", "--nommx"});
    EXPECT_FALSE(g_settings.learn_lines);
    EXPECT_FALSE(g_settings.mmx);
}

}  // namespace
