// Reading and writing "timing_gates".
#include "race/gates.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/strpool.h"
#include "files/data.h"
#include "frame/game.h"

timing_gates g_gates;

namespace {

const char default_model[] = "@startgate.jm";
const char default_texture[] = "@startgate.ppm";
const char default_shape[] = "@startgate.shp";

const char* skip_blanks(const char* p) {
    while (*p && isspace((unsigned char)*p)) p++;
    return p;
}

// A keyword counts only when white space or the end of the text follows it.
bool starts_with_keyword(const char* text, const char* keyword) {
    size_t n = strlen(keyword);
    return strncmp(text, keyword, n) == 0 && (text[n] == 0 || isspace((unsigned char)text[n]));
}

const char* name_or_default(const char* read, const char* fallback) {
    if (!read[0]) return string_shared(fallback);
    if (strcmp(read, "null") == 0) return nullptr;
    return string_shared(read);
}

// Reads lines of spots; returns the line that ended the list (in line), or
// an empty line at the end of the file.
void read_spots(timing_gates* g, data_stream* s, char* line, int size) {
    line[0] = 0;
    while (g->spot_count < max_gate_spots && data_gets(s, line, size)) {
        if (starts_with_keyword(skip_blanks(line), "checkpoints:")) return;
        float x, y, z, h;
        char model[1024] = "", texture[1024] = "", shape[1024] = "";
        int n = sscanf(line, " [ %f %f %f ] %f %1023s %1023s %1023s", &x, &y, &z, &h, model, texture, shape);
        if (n < 4 || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(h)) return;
        gate_spot& spot = g->spots[g->spot_count++];
        spot.position[0] = x;
        spot.position[1] = y;
        spot.position[2] = z;
        spot.heading = gates_wrap_heading(h);
        spot.model = name_or_default(model, default_model);
        spot.texture = name_or_default(texture, default_texture);
        spot.shape = name_or_default(shape, default_shape);
        spot.gate_object = -1;
        spot.gate_angle = 1;
        spot.gate_speed = 0;
        line[0] = 0;
    }
}

void read_checkpoints(timing_gates* g, data_stream* s) {
    while (g->checkpoint_count < max_checkpoints) {
        float v[7];
        if (data_scanf(s, "%f [ %f %f %f ] [ %f %f %f ] ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) != 7) return;
        bool finite = true;
        for (float f : v) finite = finite && std::isfinite(f);
        if (!finite) return;
        checkpoint& c = g->checkpoints[g->checkpoint_count++];
        c.radius = v[0];
        memcpy(c.point, v + 1, sizeof c.point);
        memcpy(c.direction, v + 4, sizeof c.direction);
    }
}

int read_list(data_stream* s, int* list) {
    int n = 0;
    while (n < max_lap_entries && data_scanf(s, "%d", &list[n]) == 1) n++;
    return n;
}

int normalise(int e, int checkpoints) {
    if (e < 0) e = 0;
    int flag = e >= lap_entry_no_segment ? lap_entry_no_segment : 0;
    int index = e % lap_entry_no_segment;
    if (index > checkpoints - 1) index = checkpoints - 1;
    return flag + index;
}

int segments(const int* list, int n) {
    int count = 0;
    for (int i = 0; i < n; i++)
        if (list[i] < lap_entry_no_segment) count++;
    return count;
}

void drop_timing(timing_gates* g) {
    g->checkpoint_count = 0;
    g->first_count = g->normal_count = 0;
    g->first_segments = g->normal_segments = 0;
    g->timed = false;
}

}  // namespace

float gates_wrap_heading(float h) {
    if (h >= -(float)M_PI && h <= (float)M_PI) return h;
    double w = std::fmod((double)h + M_PI, 2 * M_PI);
    if (w < 0) w += 2 * M_PI;
    return (float)(w - M_PI);
}

void gates_clear(timing_gates* g) {
    g->spot_count = 0;
    drop_timing(g);
}

bool gates_read(timing_gates* g, const char* path) {
    gates_clear(g);
    data_stream* s = data_open(path, "rb");
    if (!s) return false;

    char word[81] = "";
    char line[4096] = "";
    if (data_scanf(s, "%80s", word) == 1 && starts_with_keyword(word, "startinggate:")) {
        data_gets(s, line, sizeof line);  // the rest of the keyword's line
        read_spots(g, s, line, sizeof line);
        snprintf(word, sizeof word, "%.80s", skip_blanks(line));
        // A keyword line may carry more than the keyword: only the word counts.
        char* end = word;
        while (*end && !isspace((unsigned char)*end)) end++;
        *end = 0;
    }
    if (strcmp(word, "checkpoints:") == 0) {
        read_checkpoints(g, s);
        word[0] = 0;
        data_scanf(s, "%80s", word);
    }
    if (strcmp(word, "firstlap:") == 0) {
        g->first_count = read_list(s, g->first_lap);
        word[0] = 0;
        data_scanf(s, "%80s", word);
        if (strcmp(word, "normallap:") == 0) g->normal_count = read_list(s, g->normal_lap);
    }
    data_close(s);

    for (int i = 0; i < g->first_count; i++) g->first_lap[i] = normalise(g->first_lap[i], g->checkpoint_count);
    for (int i = 0; i < g->normal_count; i++) g->normal_lap[i] = normalise(g->normal_lap[i], g->checkpoint_count);
    g->first_segments = segments(g->first_lap, g->first_count);
    g->normal_segments = segments(g->normal_lap, g->normal_count);
    g->timed = g->checkpoint_count > 0 && g->first_count > 0 && g->normal_count > 0 && g->first_segments > 0 &&
               g->normal_segments > 0;
    if (!g->timed) {
        drop_timing(g);
    } else if (g_settings.debug_level >= 1) {
        log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", g->checkpoint_count,
                   g->first_count, g->normal_count);
    }
    return true;
}

bool gates_write(const timing_gates* g, const char* path) {
    data_stream* s = data_open_replace(path);
    if (!s) {
        message_add("Can't open 'timing_gates'\n");
        return false;
    }
    if (g->spot_count > 0) {
        data_puts(s, "startinggate:\n");
        for (int i = 0; i < g->spot_count; i++) {
            const gate_spot& p = g->spots[i];
            data_printf(s, "[%f %f %f] %f", p.position[0], p.position[1], p.position[2], p.heading);
            bool defaults = p.model && p.texture && p.shape && strcmp(p.model, default_model) == 0 &&
                            strcmp(p.texture, default_texture) == 0 && strcmp(p.shape, default_shape) == 0;
            if (defaults)
                data_puts(s, "\n");
            else
                data_printf(s, " %s %s %s\n", p.model ? p.model : "null", p.texture ? p.texture : "null",
                            p.shape ? p.shape : "null");
        }
    }
    if (g->checkpoint_count > 0) {
        data_puts(s, "checkpoints:\n");
        for (int i = 0; i < g->checkpoint_count; i++) {
            const checkpoint& c = g->checkpoints[i];
            data_printf(s, "%f [%f %f %f] [%f %f %f]\n", c.radius, c.point[0], c.point[1], c.point[2], c.direction[0],
                        c.direction[1], c.direction[2]);
        }
    }
    if (g->first_count > 0) {
        data_puts(s, "firstlap:\n");
        for (int i = 0; i < g->first_count; i++) data_printf(s, "%d ", g->first_lap[i]);
        data_puts(s, "\n");
    }
    if (g->normal_count > 0) {
        data_puts(s, "normallap:\n");
        for (int i = 0; i < g->normal_count; i++) data_printf(s, "%d ", g->normal_lap[i]);
        data_puts(s, "\n");
    }
    if (!data_close_replace(s)) {
        message_add("Can't open 'timing_gates'\n");
        return false;
    }
    return true;
}

int gates_course_entry(const timing_gates* g, int p) {
    if (!g->timed || p < 0) return -1;
    if (p < g->first_count) return g->first_lap[p];
    return g->normal_lap[(p - g->first_count) % g->normal_count];
}

int gates_course_checkpoint(const timing_gates* g, int p) {
    int e = gates_course_entry(g, p);
    return e < 0 ? -1 : e % lap_entry_no_segment;
}

bool gates_is_lap_line(const timing_gates* g, int p) {
    if (!g->timed) return false;
    int k = p + 1 - g->first_count;
    return k >= 0 && k % g->normal_count == 0;
}
