// The calls the main loop makes into the subsystems above it (drawing, menus,
// editor, replay, network, sound). Each subsystem fills in its entries when
// it starts; an empty entry is skipped, so the loop runs headless in tests.
#pragma once

#include <cstdint>

struct frame_hooks {
    // Per frame
    void (*draw)(int width, int height);  // scene, HUD, menus for the view mode
    void (*record_frame)(int width, int height);  // --record-video: the frame to standard output
    void (*finish)();                     // glFinish after the frame
    void (*mix_sound)();                  // engine sounds for every rider
    void (*menu_pointer)(bool button_held);
    void (*terrain_update)();
    void (*warp_restart)();  // warp: restart the race once the leader is done

    // Per event
    void (*menu_key)(int32_t code);
    bool (*editor_key)(int32_t code, bool down);  // true when the editor took the key
    void (*capture_key)(int32_t code, double game_clock);  // controls menu capture
    void (*seek)(double seconds);                          // rewind and skip
    void (*screenshot)();
    void (*select_track_camera)(int digit);
    void (*leave_editor)();  // refresh the ground and re-seat the riders
    bool (*server_race_running)();
    bool (*spectating)();

    // Per tick
    void (*watch_pots)();
    void (*editor_tick)();
    void (*player_controls)(const float* controls);
    void (*fly_track_camera)(const float* controls);
    void (*network_tick)();
    void (*after_tick)();  // e.g. appending the recorded audio block
};

extern frame_hooks g_frame_hooks;
