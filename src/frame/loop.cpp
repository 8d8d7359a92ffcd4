// The main loop: one pass draws and presents a frame, measures the real time
// it took, and runs as many game ticks as that time owes, delivering each
// tick the input events stamped up to its due time.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/log.h"
#include "files/config.h"
#include "frame/game.h"
#include "frame/hooks.h"
#include "platform/input.h"
#include "platform/window.h"
#include "sim/rider.h"

race_state g_race;
frame_timing g_timing;
frame_hooks g_frame_hooks;

namespace {

constexpr double credit_cap = 0.125;  // seconds: a stall costs at most 16 ticks
constexpr int warp_ticks = 100;

double s_now = 0;  // the clock reading of this frame

// Which accumulator each control binding adds to, and with what scale.
struct binding_feed {
    int binding;
    int control;
    float scale;
};
const binding_feed binding_feeds[] = {
    {bind_left, control_steer, +1},          {bind_right, control_steer, -1},
    {bind_throttle, control_throttle, +1},   {bind_front_brake, control_front_brake, +1},
    {bind_rear_brake, control_rear_brake, +1}, {bind_upshift, control_shift, +1},
    {bind_downshift, control_shift, -1},     {bind_clutch, control_clutch, +1},
    {bind_dab, control_dab, +1},             {bind_back_up, control_back_up, +1},
    {bind_lean_backward, control_lean, +1},  {bind_lean_forward, control_lean, -1},
};

bool watched_is_local() {
    int w = g_race.watched_slot;
    return w >= 0 && w < max_riders && g_race.bikes[w] && g_race.control_kind[w] == control_local;
}

bool key_is(const key_event& e, int binding) {
    const control_binding& b = g_config.bindings[binding];
    return !b.axis_name && b.code >= 0 && b.code == e.code;
}

int32_t fixed_key(const char* name) {
    int32_t code;
    return key_code(name, &code) ? code : -1;
}

// Tab: the view-mode cycle.
void cycle_view_mode() {
    switch (g_race.view_mode) {
    case view_editor:
        if (g_frame_hooks.leave_editor) g_frame_hooks.leave_editor();
        g_race.view_mode = view_chase;
        break;
    case view_rider: g_race.view_mode = g_settings.editor_allowed ? view_editor : view_chase; break;
    case view_spectator: g_race.view_mode = view_rider; break;
    case view_chase: g_race.view_mode = view_track_camera; break;
    case view_track_camera: g_race.view_mode = view_rider; break;
    default: break;
    }
}

// Moves the watched slot to the previous or next entry of the running order.
void watch_neighbour(int direction) {
    int at = -1;
    for (int i = 0; i < g_race.running_count; i++)
        if (g_race.running_order[i].slot == g_race.watched_slot) at = i;
    int to = at + direction;
    if (at < 0 || to < 0 || to >= g_race.running_count) return;
    g_race.watched_slot = g_race.running_order[to].slot;
}

void deliver_event(const key_event& e, int* previous_menu) {
    race_state& r = g_race;
    if (e.code == key_close) r.quit = true;
    if (r.menu != *previous_menu) r.menu_changed = true;
    *previous_menu = r.menu;

    for (int i = 0; i < binding_count; i++) {
        control_binding& b = g_config.bindings[i];
        if (!b.axis_name && b.code >= 0 && b.code == e.code) b.value = e.down ? 1 : 0;
    }
    if (e.code == key_mouse_left) r.mouse_button = e.down;

    static const int32_t esc = fixed_key("esc");
    if (r.watching_pots) {
        if (e.code == esc && e.down) {
            r.watching_pots = false;
            if (g_settings.debug_level >= 1) log_text("Done watching pots\n");
        } else if (e.down && g_frame_hooks.capture_key) {
            g_frame_hooks.capture_key(e.code, r.game_clock);
        }
        return;
    }
    if (e.code == esc && e.down) {
        r.menu = r.menu < 0 ? 0 : -1;
        return;
    }
    if (r.menu >= 0) {
        if (e.down && g_frame_hooks.menu_key) g_frame_hooks.menu_key(e.code);
        if (!r.track_loaded) r.view_mode = view_no_track;
        return;
    }
    if (key_is(e, bind_console) && e.down && r.view_mode != view_editor) {
        r.menu = 16;
        return;
    }
    if (r.view_mode == view_no_track) return;
    if (r.view_mode == view_editor && g_frame_hooks.editor_key && g_frame_hooks.editor_key(e.code, e.down)) return;
    if (key_is(e, bind_pause) && e.down) {
        if (!r.on_server) r.paused = !r.paused;
        return;
    }
    if (key_is(e, bind_step) && e.down) {
        if (r.paused) game_tick();
        return;
    }
    if (e.code == key_tab_char) {
        cycle_view_mode();
        return;
    }
    if (key_is(e, bind_rewind) && e.down) {
        if (g_frame_hooks.seek) g_frame_hooks.seek(-1.0);
        return;
    }
    if (key_is(e, bind_skip) && e.down) {
        if (g_frame_hooks.seek) g_frame_hooks.seek(+1.0);
        return;
    }
    if ((key_is(e, bind_prev) || key_is(e, bind_next)) && e.down) {
        bool locked = watched_is_local() && (!r.on_server || (g_frame_hooks.server_race_running &&
                                                               g_frame_hooks.server_race_running())) &&
                      !(g_frame_hooks.spectating && g_frame_hooks.spectating());
        if (!locked) watch_neighbour(key_is(e, bind_prev) ? -1 : +1);
        return;
    }
    if (key_is(e, bind_screenshot) && e.down) {
        if (r.view_mode != view_editor && g_frame_hooks.screenshot) g_frame_hooks.screenshot();
        return;
    }
    if (e.code >= '0' && e.code <= '9' && e.down) {
        if (g_frame_hooks.select_track_camera) g_frame_hooks.select_track_camera(e.code - '0');
        return;
    }
}

void update_axis_bindings() {
    for (int i = 0; i < binding_count; i++) {
        control_binding& b = g_config.bindings[i];
        if (!b.axis_name || b.axis < 0) continue;
        double raw = axis_read(b.axis) / 32768.0;
        double span = b.high - b.low;
        double v = span != 0 ? (raw - b.low) / span : 0;
        b.value = v < 0 ? 0 : (v > 1 ? 1 : v);
    }
}

// Runs the ticks owed by the frame credit.
void run_ticks() {
    race_state& r = g_race;
    int previous_menu = r.menu;
    while (g_timing.ticks_run * tick_length < g_timing.owed) {
        g_timing.ticks_run++;
        double simulated = g_timing.ticks_run * tick_length;
        double due = (float)(s_now - (g_timing.owed - simulated));

        for (float& c : r.controls) c = 0;

        key_event e;
        while (due < s_now ? event_take_due(due, &e) : event_take(&e)) deliver_event(e, &previous_menu);

        if (r.watching_pots && g_frame_hooks.watch_pots) g_frame_hooks.watch_pots();

        update_axis_bindings();
        for (const binding_feed& f : binding_feeds) r.controls[f.control] += (float)(g_config.bindings[f.binding].value * f.scale);

        if (r.menu >= 0 && watched_is_local() && !r.on_server) continue;
        if (r.view_mode == view_editor) {
            if (g_frame_hooks.editor_tick) g_frame_hooks.editor_tick();
            if (!r.on_server) continue;
            r.paused = false;
        } else if (r.menu < 0 && r.view_mode != view_no_track) {
            if (watched_is_local()) {
                bike_apply_controls(r.bikes[r.watched_slot], r.controls);
                if (g_frame_hooks.player_controls) g_frame_hooks.player_controls(r.controls);
            } else if (r.view_mode == view_chase) {
                startup_settings& s = g_startup;
                s.chase_heading += r.controls[control_steer] * M_PI / 512;
                if (s.chase_heading > M_PI) s.chase_heading -= 2 * M_PI;
                if (s.chase_heading < -M_PI) s.chase_heading += 2 * M_PI;
                if (r.controls[control_throttle] > 0.5) {
                    s.chase_distance -= 1.0 / 64;
                    if (s.chase_distance < 0.25) s.chase_distance = 0.25;
                }
                if (r.controls[control_front_brake] > 0.5) s.chase_distance += 1.0 / 64;
                s.chase_height += tick_length * r.controls[control_shift];
            } else if (r.view_mode == view_track_camera && g_frame_hooks.fly_track_camera) {
                g_frame_hooks.fly_track_camera(r.controls);
            }
            if (r.on_server) r.paused = false;
        }

        if (g_frame_hooks.network_tick) g_frame_hooks.network_tick();
        if (!r.track_loaded) r.view_mode = view_no_track;

        if (r.paused || r.view_mode == view_no_track) continue;
        if (r.on_server && g_timing.newest_server_tick < 0) continue;
        game_tick();
        if (g_frame_hooks.after_tick) g_frame_hooks.after_tick();
    }
}

}  // namespace

double frame_credit() {
    race_state& r = g_race;
    double credit;
    bool first = true;
    while (true) {
        s_now = clock_seconds();
        double x = s_now - g_timing.previous;
        if (first) {
            int b = 0;
            while (b < 7 && !(tick_length * (1 << b) > x)) b++;
            g_timing.histogram[b]++;
            first = false;
        }
        if (!r.on_server && g_startup.lock_rate > 0) {
            double period = 1.0 / g_startup.lock_rate;
            if (x < period) sleep_for(period - x);
            s_now = clock_seconds();
            credit = period;
            break;
        }
        if (!r.on_server && g_startup.warp) {
            credit = warp_ticks * tick_length;
            break;
        }
        if (x < tick_length) {
            sleep_for(tick_length - x);
            continue;
        }
        credit = x < credit_cap ? x : credit_cap;
        break;
    }
    if (credit < g_timing.shortest_credit) g_timing.shortest_credit = credit;
    if (credit > g_timing.longest_credit) g_timing.longest_credit = credit;

    if (r.on_server) {
        // Stay in step with the server: run faster when behind, slower when ahead.
        double ahead = (g_timing.newest_server_tick - r.tick - 1) * tick_length;
        auto clamp01 = [](double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); };
        if (ahead >= 0 && r.tick >= r.gate_drop_tick)
            credit *= 1 + clamp01(8 * ahead) * 0.125;
        else if (ahead >= 0)
            credit *= 1 + clamp01(ahead) * 3;
        else
            credit *= 0.5 + 0.5 * clamp01(ahead + 1);
    }
    g_timing.previous = s_now;
    g_timing.owed += credit;
    r.game_clock += credit;
    return credit;
}

void main_loop_begin() {
    g_timing.previous = clock_seconds();
    g_timing.owed = 0;
    g_timing.ticks_run = 0;
    memset(g_timing.histogram, 0, sizeof g_timing.histogram);
    g_timing.shortest_credit = 1.0;
    g_timing.longest_credit = 0.0;
}

bool main_loop_frame() {
    race_state& r = g_race;

    // The view follows what there is to watch.
    bool has_rider = r.watched_slot >= 0 && r.watched_slot < max_riders && r.bikes[r.watched_slot];
    if (r.track_loaded && r.view_mode == view_no_track) r.view_mode = view_rider;
    if (watched_is_local() && (r.view_mode == view_spectator || r.view_mode == view_track_camera ||
                               r.view_mode == view_no_track))
        r.view_mode = view_rider;
    if (!has_rider && r.track_loaded) r.view_mode = view_track_camera;
    if (!r.track_loaded) r.view_mode = view_no_track;

    int width, height;
    if (window_frame(g_window, &width, &height)) {
        if (!g_window->fullscreen) {
            g_config.xres = width;
            g_config.yres = height;
        }
        if (g_frame_hooks.draw) g_frame_hooks.draw(width, height);
        if (g_startup.record_video && !r.paused && r.view_mode != view_no_track && g_frame_hooks.record_frame)
            g_frame_hooks.record_frame(width, height);
        if (g_startup.glfinish && g_frame_hooks.finish) g_frame_hooks.finish();
        if (!window_present(g_window)) return false;
    }
    if (g_frame_hooks.mix_sound) g_frame_hooks.mix_sound();

    frame_credit();

    if (r.menu >= 0 && g_frame_hooks.menu_pointer) g_frame_hooks.menu_pointer(r.mouse_button);
    r.menu_changed = false;

    run_ticks();

    if (g_startup.warp && r.track_loaded && g_frame_hooks.warp_restart) g_frame_hooks.warp_restart();
    if (r.view_mode != view_no_track && g_frame_hooks.terrain_update) g_frame_hooks.terrain_update();
    message_expire(r.game_clock);
    return !r.quit;
}

void main_loop_run() {
    main_loop_begin();
    while (main_loop_frame()) {
    }
}

void game_reset_for_tests() {
    race_state& r = g_race;
    memset(&r, 0, sizeof r);
    for (int i = 0; i < max_riders; i++) r.control_kind[i] = control_replayed;
    r.local_slot = no_slot;
    r.menu = -1;
    r.view_mode = view_no_track;
    memset(&g_timing, 0, sizeof g_timing);
    g_timing.newest_server_tick = -1;
    memset(&g_frame_hooks, 0, sizeof g_frame_hooks);
}
