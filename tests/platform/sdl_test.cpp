// The SDL backend under the offscreen video driver (a real GL context
// without a display server) and SDL's virtual joysticks.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "base/clock.h"
#include "platform/input.h"
#include "platform/window.h"

namespace {

struct SdlWindow : ::testing::Test {
    window* win = nullptr;
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        clock_install(nullptr);
        if (g_window) window_close(g_window);
        platform_use(&platform_sdl);
        event_clear();
        win = window_open("Dirtwake test", 320, 200, 32, 0, 16, 0, 0);
        if (!win) GTEST_SKIP() << "no offscreen GL context on this machine";
    }
    void TearDown() override {
        if (g_window) window_close(g_window);
        event_clear();
        platform_use(&platform_scripted);
    }
    void push_window_event(Uint8 what) {
        SDL_Event e = {};
        e.type = SDL_WINDOWEVENT;
        e.window.event = what;
        e.window.windowID = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
        SDL_PushEvent(&e);
        window_pump(win);
    }
};

TEST_F(SdlWindow, OpensDrawsPresentsAndTurnsCloseIntoAnEvent) {
    ASSERT_TRUE(window_ready(win));
    int width = 0, height = 0;
    ASSERT_TRUE(window_frame(win, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 200);
    glClearColor(50 / 255.0f, 0.6f, 0.8f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_NEAR(pixel[0], 50, 1);
    EXPECT_NEAR(pixel[1], 153, 1);
    EXPECT_TRUE(window_present(win));
    EXPECT_NE(glGetString(GL_VERSION), nullptr);

    push_window_event(SDL_WINDOWEVENT_CLOSE);
    key_event e;
    ASSERT_TRUE(event_take(&e));
    EXPECT_EQ(e.code, key_close);
    EXPECT_TRUE(e.down);
    window_close(win);
    EXPECT_EQ(g_window, nullptr);
}

TEST_F(SdlWindow, MinimisedOrHiddenWindowHandsOutNoFrame) {
    int w, h;
    push_window_event(SDL_WINDOWEVENT_MINIMIZED);
    EXPECT_FALSE(window_frame(win, &w, &h));
    push_window_event(SDL_WINDOWEVENT_RESTORED);
    ASSERT_TRUE(window_frame(win, &w, &h));
    window_present(win);
    SDL_HideWindow(SDL_GL_GetCurrentWindow());
    window_pump(win);
    EXPECT_FALSE(window_frame(win, &w, &h));
    SDL_ShowWindow(SDL_GL_GetCurrentWindow());
    window_pump(win);
    EXPECT_TRUE(window_frame(win, &w, &h));
    window_present(win);
}

TEST_F(SdlWindow, SwitchesToDesktopFullscreenAndBack) {
    int dw, dh;
    ASSERT_TRUE(desktop_size(&dw, &dh));
    window_switch(win, 0, 0, true);
    window_pump(win);
    int w, h;
    ASSERT_TRUE(window_frame(win, &w, &h));
    EXPECT_TRUE(win->fullscreen);
    EXPECT_EQ(w, dw);
    EXPECT_EQ(h, dh);
    window_present(win);
    window_switch(win, 300, 180, false);
    window_pump(win);
    ASSERT_TRUE(window_frame(win, &w, &h));
    EXPECT_FALSE(win->fullscreen);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 180);
    window_present(win);
}

TEST_F(SdlWindow, MouseMotionMovesThePointerAndTheRelativeMouseAxes) {
    int x = axis_open("mouse-x"), px = axis_open("cursor-x");
    ASSERT_GE(x, 0);
    ASSERT_GE(px, 0);
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = 40;
    e.motion.y = 30;
    e.motion.xrel = 7;
    e.motion.yrel = -3;
    SDL_PushEvent(&e);
    window_pump(win);
    EXPECT_EQ(axis_read(x), 7);
    EXPECT_EQ(axis_read(x), 0);  // no motion since the last read
    EXPECT_EQ(axis_read(px), 40);
    axis_close(x);
    axis_close(px);
}

// Two virtual game controllers of the same name, with the roll call made
// without a window (SDL then hands joystick input out without focus).
struct SdlJoysticks : ::testing::Test {
    std::vector<int> attached;
    void SetUp() override {
        if (g_window) window_close(g_window);
        clock_install(nullptr);
        platform_use(&platform_sdl);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        event_clear();
    }
    void TearDown() override {
        devices_close();
        for (int i = (int)attached.size() - 1; i >= 0; i--) SDL_JoystickDetachVirtual(attached[i]);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        event_clear();
        platform_use(&platform_scripted);
    }
    SDL_Joystick* attach(const char* name, int axes, int buttons, int hats) {
        SDL_VirtualJoystickDesc d;
        SDL_zero(d);
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        d.naxes = (Uint16)axes;
        d.nbuttons = (Uint16)buttons;
        d.nhats = (Uint16)hats;
        d.name = name;
        int index = SDL_JoystickAttachVirtualEx(&d);
        if (index < 0) return nullptr;
        attached.push_back(index);
        return SDL_JoystickOpen(index);  // the test's own reference
    }
    static int32_t code_of(const char* name) {
        int32_t code = -1;
        return key_code(name, &code) ? code : -1;
    }
};

TEST_F(SdlJoysticks, SameNamedControllersBecomeDistinctDevices) {
    SDL_Joystick* first = attach("Gamepad", 2, 8, 1);
    SDL_Joystick* second = attach("Gamepad", 2, 8, 1);
    if (!first || !second) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
    devices_roll_call();
    int32_t a = code_of("Gamepad button 5"), b = code_of("Gamepad#2 button 5");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a - 5, b - 5);
    EXPECT_STREQ(key_name(a), "Gamepad button 5");
    EXPECT_EQ(code_of("Gamepad.key[5]"), a);
    EXPECT_EQ(code_of("joystick-b-1"), b - 5);
    EXPECT_EQ(code_of("Gamepad button 11"), a - 5 + 11);  // the hat's four directions follow the buttons
    EXPECT_EQ(code_of("Gamepad button 12"), -1);
    int count = 0;
    const char* const* names = axis_names(&count);
    std::vector<std::string> listed(names, names + count);
    EXPECT_EQ(listed, (std::vector<std::string>{"Gamepad axis 0", "Gamepad axis 1", "Gamepad#2 axis 0", "Gamepad#2 axis 1"}));
    SDL_JoystickClose(first);
    SDL_JoystickClose(second);
}

TEST_F(SdlJoysticks, ButtonsAndHatsReachTheQueueInOrderWithTimeStamps) {
    SDL_Joystick* pad = attach("Gamepad", 2, 8, 1);
    if (!pad) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
    devices_roll_call();
    int32_t base = code_of("Gamepad.key[3]") - 3;
    ASSERT_GE(base, 0);

    double before = clock_seconds();
    SDL_JoystickSetVirtualButton(pad, 3, 1);
    key_event e;
    ASSERT_TRUE(event_take(&e));
    EXPECT_EQ(e.code, base + 3);
    EXPECT_TRUE(e.down);
    EXPECT_GE(e.time, before - 0.002);
    EXPECT_LE(e.time, clock_seconds());
    double last = e.time;

    SDL_JoystickSetVirtualButton(pad, 3, 0);
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_UP | SDL_HAT_LEFT);
    struct expected {
        int32_t code;
        bool down;
    } order[] = {{base + 3, false}, {base + 8, true}, {base + 11, true}};
    for (const expected& x : order) {
        ASSERT_TRUE(event_take(&e));
        EXPECT_EQ(e.code, x.code);
        EXPECT_EQ(e.down, x.down);
        EXPECT_GE(e.time, last);
        last = e.time;
    }
    EXPECT_FALSE(event_take(&e));

    int axis = axis_open("Gamepad axis 1");
    ASSERT_GE(axis, 0);
    SDL_JoystickSetVirtualAxis(pad, 1, -32768);
    EXPECT_EQ(axis_read(axis), -32767);
    SDL_JoystickSetVirtualAxis(pad, 1, 12000);
    EXPECT_EQ(axis_read(axis), 12000);
    axis_close(axis);
    SDL_JoystickClose(pad);
}

}  // namespace
