// A headless game frame for tests: the scripted platform (fake clock, a
// window that is always there), default configuration, resolved key bindings.
#pragma once

#include "files/config.h"
#include "frame/game.h"
#include "frame/hooks.h"
#include "platform/input.h"
#include "platform/window.h"

inline void scripted_game_begin(double start = 100.0) {
    platform_use(&platform_scripted);
    scripted_reset(start);
    game_reset_for_tests();
    config_defaults();
    startup_settings_defaults();
    for (control_binding& b : g_config.bindings) {
        int32_t code;
        b.code = key_code(b.key_name, &code) ? code : -1;
    }
    event_clear();
    if (!g_window) window_open("test", 640, 480, 32, 0, 16, 0, 0);
    main_loop_begin();
}

inline int32_t test_key(const char* name) {
    int32_t code = -1;
    key_code(name, &code);
    return code;
}
