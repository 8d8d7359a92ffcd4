// The window service on the scripted backend: the mode list, the full-screen
// choice, switching, the frame, and the order of opening and tear-down.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/logged.h"
#include "platform/window.h"

namespace {

struct ScriptedWindow : ::testing::Test {
    void SetUp() override {
        platform_use(&platform_scripted);
        scripted_reset(10.0);
        scripted_clear_devices();
        if (g_window) window_close(g_window);
    }
    void TearDown() override {
        if (g_window) window_close(g_window);
        scripted_clear_devices();
        // Back to the default display for the other tests.
        const display_mode_info desktop = {1024, 768, 32, 60};
        const display_mode_info modes[] = {{1024, 768, 32, 60}, {800, 600, 32, 60}, {640, 480, 32, 60}};
        scripted_set_modes(&desktop, modes, 3);
    }
};

std::vector<std::vector<int>> listed() {
    std::vector<std::vector<int>> out;
    const display_mode* m = display_modes();
    for (; m->width || m->height || m->bits; m++) out.push_back({m->width, m->height, m->bits});
    return out;
}

TEST_F(ScriptedWindow, ModeListPutsTheDesktopFirstAndSkipsDuplicatesAndOddDepths) {
    const display_mode_info desktop = {1024, 768, 32, 60};
    const display_mode_info desktop_odd = {1024, 768, 4, 60};
    const display_mode_info driver[] = {
        {1280, 720, 32, 60}, {1024, 768, 32, 60}, {1024, 768, 32, 75},  // the same mode at two rates
        {800, 600, 16, 60},  {640, 480, 4, 60},   {0, 0, 0, 0},          // an odd depth; a driver's empty entry
        {1280, 720, 32, 60}, {320, 200, 8, 70},
    };
    struct mode_case {
        const char* what;
        const display_mode_info* desktop;
        std::vector<std::vector<int>> expected;
    } cases[] = {
        {"desktop first", &desktop, {{1024, 768, 32}, {1280, 720, 32}, {800, 600, 16}, {320, 200, 8}}},
        {"desktop of an odd depth", &desktop_odd, {{1280, 720, 32}, {1024, 768, 32}, {800, 600, 16}, {320, 200, 8}}},
        {"desktop unknown", nullptr, {{1280, 720, 32}, {1024, 768, 32}, {800, 600, 16}, {320, 200, 8}}},
    };
    for (const mode_case& c : cases) {
        scripted_set_modes(c.desktop, driver, (int)(sizeof driver / sizeof driver[0]));
        std::string log = logged_by([] { display_modes(); });
        EXPECT_EQ(listed(), c.expected) << c.what;
        // The list ends with an all-zero entry right after the last mode.
        const display_mode* end = display_modes() + c.expected.size();
        EXPECT_TRUE(end->width == 0 && end->height == 0 && end->bits == 0) << c.what;
        EXPECT_TRUE(has_line(log, "Found mode 1024x768x32@75hz")) << log;
        EXPECT_TRUE(has_line(log, "Found mode 640x480x4@60hz (ignored)")) << log;
        EXPECT_TRUE(has_line(log, "Found mode 0x0x0@0hz (ignored)")) << log;
    }
    scripted_set_modes(&desktop_odd, driver, 1);
    EXPECT_TRUE(has_line(logged_by([] { display_modes(); }), "Desktop mode is 1024x768x4@60hz (ignored)"));
    // Built once: a second call does not ask the driver again.
    EXPECT_EQ(logged_by([] { display_modes(); }), "");
}

TEST_F(ScriptedWindow, FullscreenTakesTheListedModeWithTheSmallestExcess) {
    const display_mode_info desktop = {1920, 1080, 32, 60};
    const display_mode_info driver[] = {
        {1024, 768, 32, 60}, {1280, 720, 32, 60}, {1920, 1080, 32, 60},
        {1600, 900, 32, 60}, {1100, 750, 32, 60}, {1050, 800, 32, 60},
    };
    scripted_set_modes(&desktop, driver, 6);
    struct choice_case {
        int width, height;
        int chosen_width, chosen_height;
        bool change;
    } cases[] = {
        {1000, 700, 1024, 768, true},    // excess 92 against 300 for 1280 x 720
        {1040, 700, 1100, 750, true},    // 110 each: the first listed wins
        {0, 0, 1920, 1080, false},       // "Default Fullscreen": the desktop, no mode change
        {0, 700, 1920, 1080, false},
        {1920, 1080, 1920, 1080, false}, // the desktop's own mode changes nothing
        {2560, 1440, 1920, 1080, false}, // larger than every mode: the desktop
        {-5, -5, 1920, 1080, false},
    };
    for (const choice_case& c : cases) {
        int w = -1, h = -1;
        bool change = fullscreen_choose(c.width, c.height, &w, &h);
        EXPECT_EQ(w, c.chosen_width) << c.width << "x" << c.height;
        EXPECT_EQ(h, c.chosen_height) << c.width << "x" << c.height;
        EXPECT_EQ(change, c.change) << c.width << "x" << c.height;
    }

    // Without a readable desktop size, 640 x 480, set as a mode change.
    scripted_set_modes(nullptr, driver, 6);
    int w, h;
    EXPECT_TRUE(fullscreen_choose(0, 0, &w, &h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_FALSE(desktop_size(&w, &h));
}

TEST_F(ScriptedWindow, SwitchWaitsForTheFrameAndSetsTheDisplay) {
    const display_mode_info desktop = {1920, 1080, 32, 60};
    const display_mode_info driver[] = {{1024, 768, 32, 60}, {1280, 720, 32, 60}, {1920, 1080, 32, 60}};
    scripted_set_modes(&desktop, driver, 3);
    window* win = window_open("test", 1000, 700, 32 | window_fullscreen, 0, 16, 0, 0);
    ASSERT_NE(win, nullptr);
    int dw, dh, fw, fh;
    bool changed;
    scripted_display(&dw, &dh, &changed);
    EXPECT_TRUE(win->fullscreen);
    EXPECT_TRUE(changed);
    EXPECT_EQ(dw, 1024);
    EXPECT_EQ(dh, 768);
    ASSERT_TRUE(window_frame(win, &fw, &fh));
    EXPECT_EQ(fw, 1024);
    EXPECT_EQ(fh, 768);

    // Asked for while the frame is out: carried out once it is presented.
    EXPECT_TRUE(window_switch(win, 640, 480, false));
    window_pump(win);
    EXPECT_TRUE(win->fullscreen);
    ASSERT_TRUE(window_present(win));
    window_pump(win);
    EXPECT_FALSE(win->fullscreen);
    scripted_display(&dw, &dh, &changed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(dw, 1920);
    ASSERT_TRUE(window_frame(win, &fw, &fh));
    EXPECT_EQ(fw, 640);
    EXPECT_EQ(fh, 480);
    window_present(win);

    // "Default Fullscreen": the desktop's size without a mode change; a
    // window of 0 x 0 is as large as the desktop.
    window_switch(win, 0, 0, true);
    window_pump(win);
    scripted_display(&dw, &dh, &changed);
    EXPECT_TRUE(win->fullscreen);
    EXPECT_FALSE(changed);
    EXPECT_EQ(win->width, 1920);
    window_switch(win, 0, 0, false);
    window_pump(win);
    EXPECT_EQ(win->width, 1920);
    EXPECT_EQ(win->height, 1080);
}

TEST_F(ScriptedWindow, MinimisedOrNotReadyWindowHandsOutNoFrame) {
    window* win = window_open("test", 320, 200, 32, 0, 16, 0, 0);
    ASSERT_NE(win, nullptr);
    int w, h;
    EXPECT_TRUE(window_frame(win, &w, &h));
    window_present(win);
    scripted_set_frame_available(false);
    EXPECT_FALSE(window_frame(win, &w, &h));
    scripted_set_frame_available(true);
    EXPECT_TRUE(window_frame(win, &w, &h));
    window_present(win);
    scripted_set_never_ready(true);
    EXPECT_FALSE(window_ready(win));
    EXPECT_FALSE(window_frame(win, &w, &h));
    EXPECT_FALSE(window_present(win));
    scripted_set_never_ready(false);
}

TEST_F(ScriptedWindow, OpenRollsCallAndCloseTearsDownInOrder) {
    scripted_add_device("Wheel", 2, 4, false);
    std::string log = logged_by([] {
        window* win = window_open("test", 320, 200, 32, 0, 16, 0, 0);
        ASSERT_NE(win, nullptr);
        int32_t code;
        EXPECT_TRUE(key_code("Wheel button 1", &code));
        window_close(win);
    });
    size_t roll = log.find("Input roll call...\n"), end = log.find("End of input roll call\n");
    size_t context = log.find("Deleting OpenGL context\n"), closing = log.find("Closing input devices\n");
    size_t killing = log.find("Killing Wheel\n"), destroying = log.find("Destroying window\n");
    size_t complete = log.find("Window shutdown complete\n");
    ASSERT_NE(roll, std::string::npos) << log;
    EXPECT_LT(roll, end);
    EXPECT_LT(end, context);
    EXPECT_LT(context, closing);
    EXPECT_LT(closing, killing);
    EXPECT_LT(killing, destroying);
    EXPECT_LT(destroying, complete);
    EXPECT_NE(complete, std::string::npos) << log;
    // The devices went with the window.
    int32_t code;
    EXPECT_FALSE(key_code("Wheel button 1", &code));
    EXPECT_EQ(g_window, nullptr);
}

}  // namespace
