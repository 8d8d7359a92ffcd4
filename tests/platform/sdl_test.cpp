// The SDL backend under the offscreen video driver: a real GL context
// without a display server.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/input.h"
#include "platform/window.h"

namespace {

TEST(SdlWindow, OpensDrawsPresentsAndTurnsCloseIntoAnEvent) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    platform_use(&platform_sdl);
    window* w = window_open("Dirtwake test", 320, 200, 32, 0, 16, 0, 0);
    if (!w) GTEST_SKIP() << "no offscreen GL context on this machine";
    ASSERT_TRUE(window_ready(w));
    int width = 0, height = 0;
    ASSERT_TRUE(window_frame(w, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 200);
    glClearColor(50 / 255.0f, 0.6f, 0.8f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_NEAR(pixel[0], 50, 1);
    EXPECT_NEAR(pixel[1], 153, 1);
    EXPECT_TRUE(window_present(w));
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    window_close(w);
    EXPECT_EQ(g_window, nullptr);
    platform_use(&platform_scripted);
}

}  // namespace
