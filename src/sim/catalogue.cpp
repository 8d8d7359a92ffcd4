// Lookups, the substitute rule and the display conversions of the bike
// catalogue. The table itself is in catalogue_table.cpp.
#include "sim/catalogue.h"

#include <cmath>
#include <cstring>

#include "base/log.h"

namespace {

float clamp_fraction(float f) {
    if (!(f > 0.0f)) return 0.0f;  // also NaN
    return f < 1.0f ? f : 1.0f;
}

float range_at(const bike_range& r, float f) { return r.least + (r.most - r.least) * clamp_fraction(f); }

// The drivetrain's sprocket rule: offset clamped to -2..2, floor, at least 3.
float adjusted_teeth(float teeth, float offset) {
    if (!(offset > -2.0f)) offset = -2.0f;  // also NaN
    if (offset > 2.0f) offset = 2.0f;
    float n = std::floor(teeth + offset);
    return n < 3.0f ? 3.0f : n;
}

}  // namespace

const char* bike_catalogue_name(int index) {
    const bike_spec* spec = bike_catalogue_entry(index);
    return spec ? spec->name : nullptr;
}

int bike_catalogue_index(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < bike_catalogue_size; i++)
        if (strcmp(bike_catalogue_entry(i)->name, name) == 0) return i;
    return -1;
}

const bike_spec* bike_find(const char* name) { return bike_catalogue_entry(bike_catalogue_index(name)); }

const bike_spec* bike_substitute(const char* name) {
    const char* pattern = name && strstr(name, "125") ? "125" : "250f";
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        if (strstr(spec->name, pattern)) return spec;
    }
    return bike_catalogue_entry(0);
}

const bike_spec* bike_find_for_new_bike(const char* name) {
    if (!name) name = "";
    if (const bike_spec* spec = bike_find(name)) return spec;
    const bike_spec* substitute = bike_substitute(name);
    log_printf("bike info for '%.20s' not found using '%.20s' instead\n", name, substitute->name);
    return substitute;
}

int bike_gear_count(const bike_spec* spec) {
    int count = 0;
    for (float ratio : spec->gear_ratio)
        if (ratio > 0.0f) count++;
    return count;
}

float bike_peak_torque(const bike_spec* spec, int* rpm) {
    int best = 0;
    for (int i = 1; i < bike_curve_points; i++)
        if (spec->full_torque[i] > spec->full_torque[best]) best = i;
    if (rpm) *rpm = best * bike_curve_step_rpm;
    return spec->full_torque[best];
}

float bike_fork_spring_kgf_per_mm(const bike_spec* spec, float f) {
    return range_at(spec->fork_spring_rate, f) * 0.000744082f;
}

float bike_fork_preload_mm(const bike_spec* spec, float f) { return range_at(spec->fork_preload, f) * 304.8f; }

float bike_fork_oil_level_mm(const bike_spec* spec, float f) { return range_at(spec->fork_oil_air_gap, f) * 304.8f; }

float bike_shock_spring_kgf_per_mm(const bike_spec* spec, float f) {
    return range_at(spec->shock_spring_rate, f) * 0.001488164f;
}

float bike_shock_preload_mm(const bike_spec* spec, float f) { return range_at(spec->shock_preload, f) * 304.8f; }

float bike_front_sprocket_teeth(const bike_spec* spec, float offset) {
    return adjusted_teeth(spec->front_teeth, offset);
}

float bike_rear_sprocket_teeth(const bike_spec* spec, float offset) { return adjusted_teeth(spec->rear_teeth, offset); }
