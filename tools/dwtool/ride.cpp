// Control scripts and headless rides.
#include "dwtool/ride.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "base/random.h"
#include "dwtool/commands.h"
#include "files/config.h"
#include "files/data.h"
#include "race/gates.h"
#include "sim/bike.h"
#include "sim/collide.h"
#include "sim/contact.h"
#include "sim/drivetrain.h"
#include "sim/rider.h"
#include "sim/roost.h"
#include "sim/shape.h"
#include "sim/steering.h"
#include "sim/world.h"
#include "track/terrain.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double ft_s_to_mph = 0.6818182;
constexpr double degrees = 180 / pi;
constexpr double side_by_side = 4;  // ft between riders started with --at
constexpr double seat_step = 0.25;  // ft the start raises a bike that touches something
constexpr double settle_step = 1.0 / 256;  // ft it then lowers it by until it touches

struct control_column {
    const char* name;
    float least, most;
};
const control_column columns[control_values] = {
    {"steer", -1, 1},  {"throttle", 0, 1}, {"front brake", 0, 1}, {"rear brake", 0, 1}, {"shift", -1, 1},
    {"clutch", 0, 1},  {"sit/dab", 0, 1},  {"back up", 0, 1},     {"lean", -1, 1},
};

void say(char* error, int size, const char* format, ...) __attribute__((format(printf, 3, 4)));
void say(char* error, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(error, (size_t)size, format, args);
    va_end(args);
}

// A number that fills the whole token.
bool whole_number(const char* token, double* value) {
    char* end;
    errno = 0;
    double v = strtod(token, &end);
    if (end == token || *end || errno == ERANGE || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

// "128" (ticks) or "1.5s" (seconds, to the nearest tick).
bool parse_duration(const char* token, int* ticks) {
    char text[64];
    size_t n = strlen(token);
    if (n == 0 || n >= sizeof text) return false;
    memcpy(text, token, n + 1);
    bool seconds = text[n - 1] == 's';
    if (seconds) text[n - 1] = 0;
    double v;
    if (!whole_number(text, &v)) return false;
    if (seconds) v = std::round(v * ticks_per_second);
    else if (v != std::floor(v)) return false;
    if (!(v >= 1) || v > (double)ride_script_max_ticks) return false;
    *ticks = (int)v;
    return true;
}

bool add_segment(ride_script* s, const ride_segment& segment) {
    if (s->count == s->capacity) {
        int capacity = s->capacity ? s->capacity * 2 : 16;
        s->segments = (ride_segment*)mem_realloc_or_die(s->segments, (size_t)capacity * sizeof(ride_segment));
        s->capacity = capacity;
    }
    s->segments[s->count++] = segment;
    return true;
}

// One line without its comment: nothing, or a segment. False with the
// reason in `error` when it is malformed.
bool parse_line(char* line, ride_segment* segment, bool* empty, char* error, int size) {
    char* hash = strchr(line, '#');
    if (hash) *hash = 0;
    char* tokens[control_values + 2];
    int n = 0;
    for (char* t = strtok(line, " \t\r\n"); t; t = strtok(nullptr, " \t\r\n")) {
        if (n == control_values + 1) {
            say(error, size, "more than %d control values", control_values);
            return false;
        }
        tokens[n++] = t;
    }
    *empty = n == 0;
    if (n == 0) return true;
    *segment = ride_segment{};
    if (!parse_duration(tokens[0], &segment->ticks)) {
        say(error, size, "'%.40s' is not a duration: a whole number of ticks (1 to %d) or seconds like 1.5s",
            tokens[0], ride_script_max_ticks);
        return false;
    }
    for (int i = 1; i < n; i++) {
        const control_column& c = columns[i - 1];
        double v;
        if (!whole_number(tokens[i], &v)) {
            say(error, size, "%s value '%.40s' is not a number", c.name, tokens[i]);
            return false;
        }
        if (v < c.least || v > c.most) {
            say(error, size, "%s value %g is outside %g..%g", c.name, v, (double)c.least, (double)c.most);
            return false;
        }
        segment->controls[i - 1] = (float)v;
    }
    return true;
}

struct ride_state {
    bike_state* bikes[max_riders];
    int riders;
    bool world_made;
    bool terrain_loaded;
};
ride_state s_ride;

// Whether any part of the bike touches the ground.
bool touches_ground(bike_state* b) {
    for (int k = 0; k < bike_wheel_count; k++)
        if (contact_wheel_query(b, k, &g_terrain)) return true;
    for (int i = 0; i < bike_body_count; i++) {
        shape_instance* s = b->shapes[i];
        if (!s || i == bike_body_front_wheel || i == bike_body_rear_wheel) continue;
        shape_instance_place(s, dBodyGetPosition(b->bodies[i]), dBodyGetRotation(b->bodies[i]));
        for (int k = 0; k < s->count; k++) {
            ground_hit hit;
            if (contact_sphere_ground(&g_terrain, s->world[k], s->spheres[k].radius, &hit)) return true;
        }
    }
    return false;
}

// The start: the bike at rest, turned to the heading, its own origin (the
// ground under the bike at rest, just behind the front tyre) at the point on
// the ground, raised a quarter foot at a time while anything touches, then
// lowered until the tyres touch.
void seat(bike_state* b, double x, double z, double heading) {
    bike_reset(b);
    double ground = terrain_height(&g_terrain, (float)x, (float)z);
    const double up[3] = {0, 1, 0};
    const double at[3] = {x, std::isfinite(ground) ? ground : 0, z};
    bike_place(b, up, heading, at);
    for (int round = 0; round < 400 && touches_ground(b); round++) {
        const double raise[3] = {0, seat_step, 0};
        bike_translate(b, raise);
    }
    // Then down again until the tyres just touch: a bike that starts in the
    // air in its exact rest pose has its swing arm resting exactly on its
    // stop with nothing moving, a case the rigid-body library's solver cannot
    // resolve while the rider springs push (it logs "LCP internal error" and
    // drops the constraint forces until the bike lands).
    const double lower[3] = {0, -settle_step, 0};
    for (int round = 0; round < 2 * seat_step / settle_step && !touches_ground(b); round++) bike_translate(b, lower);
    for (bike_wheel& w : b->wheels) w.depth = 0;
}

void start_position(const ride_options* o, int n, double* x, double* z, double* heading) {
    if (o->at) {
        double h = o->heading;
        // Side by side, to the first rider's right.
        *x = o->x + n * side_by_side * std::cos(h);
        *z = o->z - n * side_by_side * std::sin(h);
        *heading = h;
        return;
    }
    int spots = g_gates.spot_count;
    if (spots > 0) {
        const gate_spot& s = g_gates.spots[n % spots];
        double row = o->row_spacing > 0 ? o->row_spacing : 10;
        double h = s.heading, back = (n / spots + 0.0625) * row;
        *x = s.position[0] + back * std::sin(h);
        *z = s.position[2] + back * std::cos(h);
        *heading = h;
        return;
    }
    // No starting gate: lined up along x from the middle of the field.
    *x = g_terrain.world_size / 2 + 5.0 * n;
    *z = g_terrain.world_size / 2;
    *heading = 0;
}

}  // namespace

// --- Scripts ---------------------------------------------------------------------------------

bool ride_script_parse(const char* text, const char* name, ride_script* script, char* error, int error_size) {
    *script = ride_script{};
    if (!text) text = "";
    int number = 0;
    long long ticks = 0;
    const char* p = text;
    while (*p) {
        number++;
        const char* end = strchr(p, '\n');
        size_t n = end ? (size_t)(end - p) : strlen(p);
        char line[ride_script_max_line + 1];
        char why[256] = "";
        bool ok = true, empty = true;
        ride_segment segment;
        if (n > ride_script_max_line) {
            say(why, sizeof why, "the line is longer than %d characters", ride_script_max_line);
            ok = false;
        } else if (memchr(p, 0, n)) {
            say(why, sizeof why, "the line holds a zero byte");
            ok = false;
        } else {
            memcpy(line, p, n);
            line[n] = 0;
            ok = parse_line(line, &segment, &empty, why, sizeof why);
        }
        if (ok && !empty) {
            ticks += segment.ticks;
            if (ticks > ride_script_max_ticks) {
                say(why, sizeof why, "the script runs longer than an hour (%d ticks)", ride_script_max_ticks);
                ok = false;
            } else {
                add_segment(script, segment);
            }
        }
        if (!ok) {
            say(error, error_size, "%s:%d: %s", name, number, why);
            ride_script_free(script);
            return false;
        }
        if (!end) break;
        p = end + 1;
    }
    script->ticks = (int)ticks;
    return true;
}

bool ride_script_read(const char* path, ride_script* script, char* error, int error_size) {
    *script = ride_script{};
    FILE* f = fopen(path, "rb");
    if (!f) {
        say(error, error_size, "%s: cannot read the script (%s)", path, strerror(errno));
        return false;
    }
    size_t size = 0, capacity = 4096;
    char* text = (char*)mem_alloc_or_die(capacity);
    size_t got;
    while ((got = fread(text + size, 1, capacity - size - 1, f)) > 0) {
        size += got;
        if (size + 1 == capacity) {
            // A script is a few lines; anything near a megabyte is not one.
            if (capacity >= ((size_t)1 << 24)) break;
            capacity *= 2;
            text = (char*)mem_realloc_or_die(text, capacity);
        }
    }
    bool failed = ferror(f);
    fclose(f);
    text[size] = 0;
    bool ok;
    if (failed) {
        say(error, error_size, "%s: cannot read the script", path);
        ok = false;
    } else if (memchr(text, 0, size)) {
        say(error, error_size, "%s: not a text file (it holds zero bytes)", path);
        ok = false;
    } else if (size + 1 >= ((size_t)1 << 24)) {
        say(error, error_size, "%s: too long for a control script", path);
        ok = false;
    } else {
        ok = ride_script_parse(text, path, script, error, error_size);
    }
    mem_free(text);
    return ok;
}

void ride_script_free(ride_script* script) {
    mem_free(script->segments);
    *script = ride_script{};
}

void ride_script_controls(const ride_script* script, int tick, ride_cursor* cursor, float controls[control_values]) {
    for (int i = 0; i < control_values; i++) controls[i] = 0;
    if (!script || tick < 0) return;
    int segment = cursor->segment, start = cursor->start;
    if (tick < start || segment < 0 || segment > script->count) segment = start = 0;
    while (segment < script->count && tick >= start + script->segments[segment].ticks)
        start += script->segments[segment++].ticks;
    cursor->segment = segment;
    cursor->start = start;
    if (segment < script->count) memcpy(controls, script->segments[segment].controls, sizeof(float) * control_values);
}

// --- Rides ------------------------------------------------------------------------------------

void ride_options_defaults(ride_options* o) { *o = ride_options{1, false, 0, 0, 0, 1, 0, nullptr, 0}; }

bool ride_begin(const char* track, const char* bike, const ride_options* o, char* error, int error_size) {
    // The default setup and settings, whatever the home folder holds.
    config_defaults();
    if (o->setup && !setup_read_file(o->setup)) {
        say(error, error_size, "cannot read the bike setup '%.200s'", o->setup);
        return false;
    }
    return ride_begin_with_setup(track, bike, o, error, error_size);
}

bool ride_begin_with_setup(const char* track, const char* bike, const ride_options* o, char* error,
                           int error_size) {
    ride_end();
    const bike_spec* spec = bike_find(bike);
    if (!spec) {
        say(error, error_size, "no bike named '%.60s' (dwtool bikes lists them)", bike);
        return false;
    }
    game_settings_from_config();
    g_settings.erosion = 0;

    char folder[1024];
    if (!dwtool_load_terrain(track, &g_terrain, folder, sizeof folder)) {
        error[0] = 0;  // said on standard error already
        return false;
    }
    s_ride.terrain_loaded = true;
    char gates[1100];
    snprintf(gates, sizeof gates, "%s/timing_gates", folder);
    gates_read(&g_gates, gates);

    if (g_world) physics_world_destroy();
    if (!physics_world_create()) {
        say(error, error_size, "the rigid-body library cannot simulate (not built for double precision)");
        ride_end();
        return false;
    }
    s_ride.world_made = true;

    race_state& r = g_race;
    r = race_state{};
    for (int i = 0; i < max_riders; i++) r.control_kind[i] = control_replayed;
    r.local_slot = no_slot;
    r.watched_slot = 0;
    r.menu = -1;
    r.track_loaded = true;
    r.tick = 0;
    r.gate_drop_tick = 0;
    random_seed((uint32_t)r.tick);
    roost_clear();
    rider_knockout_clear();
    g_arcade_forbidden = false;

    int riders = o->riders < 1 ? 1 : o->riders > max_riders ? max_riders : o->riders;
    for (int n = 0; n < riders; n++) {
        char number[8];
        snprintf(number, sizeof number, "%d", n + 1);
        bike_state* b = bike_create(spec->name, n, number, nullptr);
        if (!b) {
            say(error, error_size, "cannot build bike '%.60s'", spec->name);
            ride_end();
            return false;
        }
        s_ride.bikes[n] = b;
        s_ride.riders = n + 1;
        r.bikes[n] = b;
        r.control_kind[n] = control_robot;
        double x, z, heading;
        start_position(o, n, &x, &z, &heading);
        seat(b, x, z, heading);
        mechanic_apply(b, &g_setup);
    }
    return true;
}

void ride_tick(const ride_script* script, ride_cursor* cursor) {
    float controls[control_values];
    ride_script_controls(script, g_race.tick, cursor, controls);
    for (int n = 0; n < s_ride.riders; n++) bike_apply_controls(s_ride.bikes[n], controls);
    game_tick();
}

bike_state* ride_bike(int rider) { return rider >= 0 && rider < s_ride.riders ? s_ride.bikes[rider] : nullptr; }

void ride_place(int rider, double x, double z, double heading) {
    bike_state* b = ride_bike(rider);
    if (b && g_terrain.heights) seat(b, x, z, heading);
}

void ride_end() {
    race_state& r = g_race;
    for (int n = 0; n < s_ride.riders; n++) {
        r.bikes[n] = nullptr;
        bike_destroy(s_ride.bikes[n]);
    }
    roost_clear();
    if (s_ride.world_made) physics_world_destroy();
    if (s_ride.terrain_loaded) {
        terrain_free(&g_terrain);
        gates_clear(&g_gates);
    }
    if (s_ride.riders || s_ride.world_made || s_ride.terrain_loaded) {
        r = race_state{};
        r.local_slot = no_slot;
        r.menu = -1;
    }
    s_ride = ride_state{};
}

const char* ride_bad_body(const bike_state* b) {
    static const char* const names[bike_body_count] = {"frame",      "front wheel", "rear wheel", "fork upper",
                                                      "fork lower", "swing arm",   "rider"};
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b->bodies[i];
        const dReal* arrays[4] = {dBodyGetPosition(body), dBodyGetLinearVel(body), dBodyGetAngularVel(body),
                                  dBodyGetQuaternion(body)};
        for (int a = 0; a < 4; a++)
            for (int k = 0; k < (a == 3 ? 4 : 3); k++)
                if (!std::isfinite(arrays[a][k])) return names[i];
    }
    return nullptr;
}

void ride_trace_header(FILE* out, int riders) {
    fprintf(out, "tick,%sx,y,z,heading_deg,speed_mph,rpm,gear,pitch_deg,roll_deg,crashed\n",
            riders > 1 ? "rider," : "");
}

void ride_trace_row(FILE* out, int riders, int rider, const bike_state* b) {
    dBodyID frame = b->bodies[bike_body_frame];
    const dReal* p = dBodyGetPosition(frame);
    const dReal* m = dBodyGetRotation(frame);
    const dReal* v = dBodyGetLinearVel(frame);
    // Forward is the frame's -z axis.
    double fx = -m[2], fy = -m[6], fz = -m[10];
    double heading = std::atan2(-fx, -fz);
    double pitch = std::atan2(fy, std::sqrt(fx * fx + fz * fz));
    double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * ft_s_to_mph;
    fprintf(out, "%d,", g_race.tick);
    if (riders > 1) fprintf(out, "%d,", rider);
    fprintf(out, "%.3f,%.3f,%.3f,%.2f,%.2f,%.0f,%d,%.2f,%.2f,%d\n", p[0], p[1], p[2], heading * degrees, speed,
            drivetrain_rpm(b), b->controls.gear + 1, pitch * degrees, steering_lean(b) * degrees,
            b->crash_timer > 0 ? 1 : 0);
}

int ride_run(const char* track, const char* bike, const ride_script* script, const ride_options* o, FILE* out,
             FILE* err) {
    char error[512];
    if (!ride_begin(track, bike, o, error, sizeof error)) {
        if (error[0]) fprintf(err, "dwtool: %s\n", error);
        return 1;
    }
    int riders = s_ride.riders;
    int ticks = o->ticks > 0 ? o->ticks : script->ticks;
    int every = o->every > 0 ? o->every : 1;
    ride_trace_header(out, riders);
    for (int n = 0; n < riders; n++) ride_trace_row(out, riders, n, s_ride.bikes[n]);
    ride_cursor cursor = {0, 0};
    int code = 0;
    for (int t = 1; t <= ticks && code == 0; t++) {
        ride_tick(script, &cursor);
        for (int n = 0; n < riders; n++) {
            const char* bad = ride_bad_body(s_ride.bikes[n]);
            if (bad) {
                fprintf(err, "dwtool: the simulation stopped being finite at tick %d: rider %d's %s\n", g_race.tick,
                        n, bad);
                code = 1;
                break;
            }
        }
        if (code == 0 && (t % every == 0 || t == ticks))
            for (int n = 0; n < riders; n++) ride_trace_row(out, riders, n, s_ride.bikes[n]);
    }
    ride_end();
    return code;
}
