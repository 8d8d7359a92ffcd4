// The compiled bike catalogue: the 68 bike specs in catalogue
// order, built at compile time from the tables below.
//
// Each bike is one row of the bike table (name, engine class, chassis group,
// model stem, texture, sprockets, primary ratio, gear ratios, full-throttle
// peak and its rpm) plus the engine speed at which its full-throttle curve
// cuts to 0. The chassis group brings the mass and setup figures, the
// closed-throttle shape and the written full-throttle curve whose pattern the
// bike follows; everything else is the same in every spec.
//
// To change a bike, edit its row: its full-throttle curve is rebuilt from the
// row's peak, peak rpm and cut rpm (see make_full_curve), and the checks at
// the end of this file refuse a catalogue whose curves do not peak where the
// rows say.
#include <array>

#include "sim/catalogue.h"

namespace {

// --- Chassis groups ----------------------------------------------------------
//
// The big four-strokes are split in two groups because the 450s and the 350s
// differ in engine inertia (and follow different measured curves).

enum chassis_group {
    chassis_450,              // big four-stroke, 450 engine
    chassis_350,              // big four-stroke, 350 engine (any engine class)
    chassis_250_two_stroke,   // the five two-stroke 250s
    chassis_250_four_stroke,  // crf250, fc250, kx250f, rmz250, yz250f, yz250f_se, 250sxf
    chassis_125,
    chassis_50,
    chassis_group_count
};

struct chassis_values {
    float frame_mass;
    float fork_body_mass;
    bike_range fork_spring_rate;
    float fork_rebound_base;
    float swingarm_mass;
    bike_range shock_spring_rate;
    float shock_rebound_base;
    float engine_inertia;
    float clutch_stiffness, clutch_damping;
    float shift_down_rpm, shift_up_rpm;
    float rider_mass;
};

constexpr chassis_values k_chassis[chassis_group_count] = {
    // chassis_450
    {4.735f, 0.703125f, {376.3026f, 913.8778f}, 32.0f, 0.5025f, {2486.285f, 5174.161f}, 650.0f, 0.0088501f, 7500.0f,
     0.75f, 6000.0f, 10500.0f, 5.46875f},
    // chassis_350
    {4.735f, 0.703125f, {376.3026f, 913.8778f}, 32.0f, 0.5025f, {2486.285f, 5174.161f}, 650.0f, 0.00683594f, 7500.0f,
     0.75f, 6000.0f, 10500.0f, 5.46875f},
    // chassis_250_two_stroke
    {4.365625f, 0.75375f, {322.5451f, 860.1203f}, 30.0f, 0.589375f, {2083.104f, 4770.979f}, 600.0f, 0.00683594f,
     7500.0f, 0.75f, 6000.0f, 9000.0f, 5.46875f},
    // chassis_250_four_stroke
    {4.24f, 0.703125f, {335.9845f, 873.5597f}, 30.0f, 0.504375f, {2217.498f, 4905.374f}, 600.0f, 0.00488281f, 7500.0f,
     0.75f, 8000.0f, 12500.0f, 4.6875f},
    // chassis_125
    {3.65375f, 0.739688f, {322.5451f, 860.1203f}, 30.0f, 0.541875f, {1814.316f, 4502.192f}, 600.0f, 0.00488281f,
     7500.0f, 0.75f, 9400.0f, 12000.0f, 4.6875f},
    // chassis_50
    {3.34125f, 0.739688f, {309.1057f, 846.6809f}, 30.0f, 0.541875f, {1814.316f, 4502.192f}, 600.0f, 0.00119358f,
     1200.0f, 1.0f, 9400.0f, 12000.0f, 4.6875f},
};

// --- Torque curves -------------------------------------------------------------

using curve = std::array<float, bike_curve_points>;

// Closed throttle: every four-stroke and every 125.
constexpr curve k_closed_four_stroke = {
    2.0f, 2.0f, 1.0f, 0.0f, -1.0f, -1.0f, -2.0f, -2.0f, -3.0f, -3.0f,
    -4.0f, -4.0f, -5.0f, -5.0f, -6.0f, -6.0f, -7.0f, -7.0f, -8.0f, -8.0f,
    -9.0f, -9.0f, -10.0f, -10.0f, -11.0f, -11.0f, -12.0f, -12.0f, -13.0f, -13.0f,
    -14.0f, -14.0f, -15.0f, -15.0f, -16.0f, -16.0f, -17.0f, -17.0f, -18.0f, -18.0f,
    -19.0f, -19.0f, -20.0f, -20.0f, -21.0f, -21.0f, -22.0f, -22.0f, -23.0f, -23.0f,
};

// Closed throttle: the five two-stroke 250s.
constexpr curve k_closed_two_stroke = {
    2.0f, 2.0f, 1.0f, 0.0f, -1.0f, -1.2f, -1.4f, -1.6f, -1.8f, -2.0f,
    -2.25f, -2.5f, -2.75f, -3.0f, -3.33f, -3.67f, -4.0f, -5.0f, -6.0f, -7.0f,
    -8.0f, -9.0f, -10.0f, -10.0f, -11.0f, -11.0f, -12.0f, -12.0f, -13.0f, -13.0f,
    -14.0f, -14.0f, -15.0f, -15.0f, -16.0f, -16.0f, -17.0f, -17.0f, -18.0f, -18.0f,
    -19.0f, -19.0f, -20.0f, -20.0f, -21.0f, -21.0f, -22.0f, -22.0f, -23.0f, -23.0f,
};

// Closed throttle: the four 50s, the two-stroke shape with every value from
// the fifth on halved.
constexpr curve make_closed_fifty() {
    curve c = k_closed_two_stroke;
    for (int i = 4; i < bike_curve_points; i++) c[i] = c[i] * 0.5f;
    return c;
}
constexpr curve k_closed_fifty = make_closed_fifty();

// The written full-throttle curves, one per pattern.
constexpr curve k_full_yz250f_2017 = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.18f, 7.36f, 8.54f, 9.72f, 10.9f,
    12.1f, 13.92f, 14.81f, 15.85f, 16.81f, 17.89f, 18.53f, 19.14f, 19.35f, 19.18f,
    18.61f, 17.91f, 17.34f, 16.9f, 16.47f, 15.97f, 15.03f, 7.513f, 0.0f, -13.5f,
    -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f,
    -19.0f, -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f,
};

constexpr curve k_full_yz450f_2017 = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 7.808f, 10.62f, 13.42f, 16.23f, 19.04f,
    21.85f, 29.06f, 31.15f, 32.55f, 32.38f, 31.8f, 31.63f, 31.06f, 29.75f, 28.46f,
    27.36f, 26.14f, 23.74f, 11.87f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,
};

constexpr curve k_full_350sxf_2017 = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 8.0f, 11.0f, 15.5f, 17.7f, 18.1f,
    19.34f, 21.51f, 23.13f, 25.11f, 26.48f, 27.54f, 28.09f, 28.52f, 27.66f, 27.62f,
    26.52f, 26.04f, 25.15f, 24.32f, 23.44f, 22.58f, 21.25f, 0.0f, -13.0f, -14.0f,
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,
};

constexpr curve k_full_cr250_2007 = {
    5.0f, 5.0f, 5.0f, 5.0f, 7.5f, 12.5f, 17.51f, 20.56f, 22.45f, 21.83f,
    25.74f, 28.07f, 28.62f, 30.14f, 31.59f, 32.84f, 30.79f, 27.87f, 22.99f, 17.03f,
    9.401f, 0.0f, -10.0f, -10.5f, -11.0f, -11.5f, -12.0f, -12.5f, -13.0f, -13.5f,
    -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f,
    -19.0f, -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f,
};

constexpr curve k_full_cr125 = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.7f, 6.4f, 7.2f, 7.9f, 8.6f,
    9.454f, 10.22f, 10.33f, 10.67f, 11.4f, 12.47f, 13.26f, 14.15f, 14.76f, 15.81f,
    15.97f, 15.91f, 15.76f, 15.12f, 12.74f, 2.101f, 0.0f, 0.0f, -1.0f, -1.0f,
    -2.0f, -2.0f, -3.0f, -3.0f, -4.0f, -4.0f, -5.0f, -5.0f, -6.0f, -6.0f,
    -7.0f, -7.0f, -8.0f, -8.0f, -9.0f, -9.0f, -10.0f, -10.0f, -11.0f, -11.0f,
};

constexpr curve k_full_rs50 = {
    1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f,
    1.101f, 1.91f, 1.751f, 2.02f, 2.101f, 2.311f, 2.823f, 3.584f, 4.143f, 4.312f,
    3.729f, 3.601f, 3.772f, 3.562f, 2.67f, 1.681f, 0.808f, 0.0f, -0.5f, -0.5f,
    -1.0f, -1.0f, -1.5f, -1.5f, -2.0f, -2.0f, -2.5f, -2.5f, -3.0f, -3.0f,
    -3.5f, -3.5f, -4.0f, -4.0f, -4.5f, -4.5f, -5.0f, -5.0f, -5.5f, -5.5f,
};

// What each chassis group takes from the curve tables.
struct chassis_curves {
    const curve* closed;
    const curve* full_pattern;
};

constexpr chassis_curves k_chassis_curves[chassis_group_count] = {
    {&k_closed_four_stroke, &k_full_yz450f_2017},  // chassis_450
    {&k_closed_four_stroke, &k_full_350sxf_2017},  // chassis_350
    {&k_closed_two_stroke, &k_full_cr250_2007},    // chassis_250_two_stroke
    {&k_closed_four_stroke, &k_full_yz250f_2017},  // chassis_250_four_stroke
    {&k_closed_four_stroke, &k_full_cr125},        // chassis_125
    {&k_closed_fifty, &k_full_rs50},               // chassis_50
};

// Landmarks of a measured curve, as curve indices: the last entry of the flat
// start, the peak (first highest entry) and the cut (first entry after the
// peak that is 0 or less).
struct curve_landmarks {
    int flat_end, peak, cut;
};

constexpr curve_landmarks landmarks_of(const curve& c) {
    curve_landmarks m{0, 0, bike_curve_points - 1};
    while (m.flat_end + 1 < bike_curve_points && c[m.flat_end + 1] == c[0]) m.flat_end++;
    for (int i = 1; i < bike_curve_points; i++)
        if (c[i] > c[m.peak]) m.peak = i;
    for (int i = m.peak + 1; i < bike_curve_points; i++)
        if (c[i] <= 0.0f) {
            m.cut = i;
            break;
        }
    return m;
}

// The measured curve at index i; past its last entry the negative tail goes
// on falling by c[49] - c[47] every two entries, which carries on both kinds
// of written tail (one step every entry, or one step every second entry).
constexpr float pattern_at(const curve& c, int i) {
    if (i < bike_curve_points) return c[i];
    int laps = (i - (bike_curve_points - 1) + 1) / 2;
    float step = c[bike_curve_points - 1] - c[bike_curve_points - 3];
    return c[i - 2 * laps] + float(laps) * step;
}

// The measured curve read between entries, linearly.
constexpr float pattern_sample(const curve& c, float t) {
    int n = int(t);
    if (n >= bike_curve_points - 1) return c[bike_curve_points - 1];
    return c[n] + (c[n + 1] - c[n]) * (t - float(n));
}

// The full-throttle curve of a bike, made from the measured curve of its
// pattern so that it peaks at the given value and rpm and cuts to 0 at the
// given rpm. The measured curve is stretched along the rpm axis piece by piece
// between its landmarks, which land on the bike's:
//   - the flat start is kept as written;
//   - the rise, from the end of the flat start to the peak, is stretched onto
//     the bike's rise and scaled about the flat value so that it meets the
//     bike's peak;
//   - the peak entry is the bike's peak exactly;
//   - the fall, from the peak to the last entry before the cut (the sharp
//     drop included), is stretched onto the bike's fall and scaled by the
//     ratio of the peaks so that it still ends near 0;
//   - the cut entry is 0, and the negative tail follows it as written.
// A bike whose peak, peak rpm and cut rpm are the measured curve's own gets
// the measured curve unchanged.
constexpr curve make_full_curve(const curve& c, float peak, int peak_rpm, int cut_rpm) {
    const curve_landmarks m = landmarks_of(c);
    const int peak_at = peak_rpm / bike_curve_step_rpm;
    const int cut_at = cut_rpm / bike_curve_step_rpm;
    if (peak_at == m.peak && cut_at == m.cut && peak == c[m.peak]) return c;
    const float flat = c[0];
    const float rise_scale = (peak - flat) / (c[m.peak] - flat);
    const float fall_scale = peak / c[m.peak];
    curve out{};
    for (int j = 0; j < bike_curve_points; j++) {
        if (j <= m.flat_end) {
            out[j] = c[j];
        } else if (j < peak_at) {
            float t = float(m.flat_end) +
                      float(j - m.flat_end) * float(m.peak - m.flat_end) / float(peak_at - m.flat_end);
            out[j] = flat + (pattern_sample(c, t) - flat) * rise_scale;
        } else if (j == peak_at) {
            out[j] = peak;
        } else if (j < cut_at) {
            float t = float(m.peak) + float(j - peak_at) * float(m.cut - 1 - m.peak) / float(cut_at - 1 - peak_at);
            out[j] = pattern_sample(c, t) * fall_scale;
        } else if (j == cut_at) {
            out[j] = 0.0f;
        } else {
            out[j] = pattern_at(c, m.cut + (j - cut_at));
        }
    }
    return out;
}

// --- The bike table ------------------------------------------------------------

struct bike_row {
    const char* name;
    const char* engine_class;
    chassis_group chassis;
    const char* frame_model;
    const char* fork_upper_model;
    const char* fork_lower_model;
    const char* swingarm_model;
    const char* side_plates_model;
    const char* front_plate_model;
    const char* texture;
    float front_teeth, rear_teeth;
    float primary_ratio;
    float gear_ratio[bike_gear_slots];
    float peak_torque;  // highest value of the full-throttle curve
    int peak_rpm;       // where it stands
    int cut_rpm;        // where the full-throttle curve cuts to 0
};

// The data names of a bike's own parts are "@" + model stem + the part's
// suffix; its texture is "@" + the texture column.
#define BIKE_ROW(name, engine_class, chassis, stem, texture, front, rear, primary, g1, g2, g3, g4, g5, g6, peak, \
                 peak_rpm, cut_rpm)                                                                             \
    {name, engine_class, chassis, "@" stem "_frame.jm", "@" stem "_fork_upper.jm", "@" stem "_fork_lower.jm", \
     "@" stem "_swingarm.jm", "@" stem "_side_plates.jm", "@" stem "_front_plate.jm", "@" texture, front, rear, \
     primary, {g1, g2, g3, g4, g5, g6}, peak, peak_rpm, cut_rpm}

// Catalogue order. A five-speed bike holds -1 as its sixth ratio.
//
// Cut engine speeds: 12000 for the 450s (12500 for 450sxf(2011)),
// 10500 for the two-stroke 250s, 13000 for the 125s (14000 for rm125), 13500
// for the 50s. The 250 four-strokes and the 350s cut at 13500 or 14000: each takes its peak rpm + 5000 held to that span, which gives the
// measured curves' own cuts (yz250f(2017): 9000 -> 14000; 350sxf(2017): 8500
// -> 13500).
//
// clang-format off
constexpr bike_row k_rows[] = {
    //        name              class   chassis group            model stem     texture            teeth   primary  gear ratios 1 to 6                                          peak      rpm   cut
    BIKE_ROW("450sxf(2017)",    "450f", chassis_450,             "450sxfv2016", "450sxfv2016.png", 13, 48, 2.4516f, 2.0f,     1.6667f,  1.4f,     1.1818f,  1.0f,     -1.0f,    33.96f,  7500, 12000),  // 0
    BIKE_ROW("crf450(2017)",    "450f", chassis_450,             "crf450v2017", "crf450v2017.png", 13, 49, 2.3214f, 2.1333f,  1.7059f,  1.4211f,  1.2105f,  1.0435f,  -1.0f,    34.54f,  8000, 12000),  // 1
    BIKE_ROW("fc450(2017)",     "450f", chassis_450,             "fc450v2016",  "fc450v2016.png",  13, 48, 2.4516f, 2.0f,     1.6667f,  1.4f,     1.1818f,  1.0f,     -1.0f,    34.51f,  7500, 12000),  // 2
    BIKE_ROW("kx450f(2017)",    "450f", chassis_450,             "kx450fv2016", "kx450fv2016.png", 13, 50, 2.7273f, 1.75f,    1.4118f,  1.1875f,  1.0f,     0.875f,   -1.0f,    32.26f,  6500, 12000),  // 3
    BIKE_ROW("rmz450(2017)",    "450f", chassis_450,             "rmz450",      "rmz450.png",      13, 50, 2.625f,  1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    32.84f,  7500, 12000),  // 4
    BIKE_ROW("yz450f(2017)",    "450f", chassis_450,             "yz450fv2014", "yz450fv2014.png", 13, 48, 2.6087f, 1.9286f,  1.5333f,  1.3f,     1.0909f,  0.95238f, -1.0f,    32.55f,  6500, 12000),  // 5
    BIKE_ROW("350sxf(2017)",    "250f", chassis_350,             "350sxfv2016", "350sxfv2016.png", 14, 50, 3.0417f, 2.0f,     1.625f,   1.3333f,  1.1429f,  0.95455f, -1.0f,    28.52f,  8500, 13500),  // 6
    BIKE_ROW("450sxf(2016)",    "450f", chassis_450,             "450sxfv2016", "450sxfv2016.png", 13, 48, 2.4516f, 2.0f,     1.6667f,  1.4f,     1.1818f,  1.0f,     -1.0f,    36.2f,   7500, 12000),  // 7
    BIKE_ROW("crf450(2016)",    "450f", chassis_450,             "crf450v2013", "crf450v2013.png", 13, 48, 2.7391f, 1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    34.14f,  7000, 12000),  // 8
    BIKE_ROW("kx450f(2016)",    "450f", chassis_450,             "kx450fv2016", "kx450fv2016.png", 13, 50, 2.7273f, 1.75f,    1.4118f,  1.1875f,  1.0f,     0.875f,   -1.0f,    35.25f,  8000, 12000),  // 9
    BIKE_ROW("rmz450(2016)",    "450f", chassis_450,             "rmz450",      "rmz450.png",      13, 50, 2.625f,  1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    35.22f,  7500, 12000),  // 10
    BIKE_ROW("yz450f(2016)",    "450f", chassis_450,             "yz450fv2014", "yz450fv2014.png", 13, 48, 2.6087f, 1.9286f,  1.5333f,  1.3f,     1.0909f,  0.95238f, -1.0f,    35.06f,  8000, 12000),  // 11
    BIKE_ROW("crf450(2013)",    "450f", chassis_450,             "crf450v2013", "crf450v2013.png", 13, 48, 2.7391f, 1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    31.0f,   7000, 12000),  // 12
    BIKE_ROW("kx450f(2013)",    "450f", chassis_450,             "kx450f",      "kx450f.png",      13, 50, 2.7273f, 1.75f,    1.4118f,  1.1875f,  1.0f,     0.875f,   -1.0f,    31.2f,   7000, 12000),  // 13
    BIKE_ROW("rmz450(2013)",    "450f", chassis_450,             "rmz450",      "rmz450.png",      13, 50, 2.625f,  1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    33.3f,   7500, 12000),  // 14
    BIKE_ROW("yz450f(2013)",    "450f", chassis_450,             "yz450f",      "yz450f.png",      13, 48, 2.6522f, 1.9286f,  1.5333f,  1.2778f,  1.0909f,  0.95238f, -1.0f,    29.7f,   7500, 12000),  // 15
    BIKE_ROW("450sxf(2013)",    "450f", chassis_450,             "450sxfv2013", "450sxfv2013.png", 14, 50, 2.375f,  2.0f,     1.6667f,  1.4f,     1.1818f,  1.0f,     -1.0f,    33.9f,   7500, 12000),  // 16
    BIKE_ROW("350sxf(2013)",    "250f", chassis_350,             "350sxfv2013", "350sxfv2013.png", 14, 50, 3.0417f, 2.0f,     1.625f,   1.3333f,  1.1429f,  0.95455f, -1.0f,    27.1f,   8500, 13500),  // 17
    BIKE_ROW("crf450(2011)",    "450f", chassis_450,             "crf450",      "crf450.png",      13, 48, 2.7391f, 1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    34.6f,   6500, 12000),  // 18
    BIKE_ROW("kx450f(2011)",    "450f", chassis_450,             "kx450f",      "kx450f.png",      13, 50, 2.7273f, 1.75f,    1.4118f,  1.1875f,  1.0f,     0.875f,   -1.0f,    35.8f,   6500, 12000),  // 19
    BIKE_ROW("rmz450(2011)",    "450f", chassis_450,             "rmz450",      "rmz450.png",      13, 50, 2.625f,  1.8f,     1.4706f,  1.2353f,  1.05f,    0.90909f, -1.0f,    36.1f,   7000, 12000),  // 20
    BIKE_ROW("yz450f(2011)",    "450f", chassis_450,             "yz450f",      "yz450f.png",      13, 48, 2.6522f, 1.9286f,  1.5333f,  1.2778f,  1.0909f,  0.95238f, -1.0f,    33.0f,   7000, 12000),  // 21
    BIKE_ROW("450sxf(2011)",    "450f", chassis_450,             "450sxf",      "450sxf.png",      14, 52, 2.5517f, 2.125f,   1.6316f,  1.3f,     1.087f,   0.92308f, -1.0f,    35.4f,   7500, 12500),  // 22
    BIKE_ROW("350sxf(2011)",    "450f", chassis_350,             "350sxf",      "350sxf.png",      14, 50, 3.0417f, 2.0f,     1.625f,   1.3333f,  1.1429f,  0.95455f, -1.0f,    27.7f,   8000, 13500),  // 23
    BIKE_ROW("250sx(2012)",     "250",  chassis_250_two_stroke,  "250sx",       "250sx.png",       13, 48, 2.7692f, 2.0f,     1.6f,     1.3333f,  1.1429f,  0.95455f, -1.0f,    32.58f,  8000, 10500),  // 24
    BIKE_ROW("cr250(2007)",     "250",  chassis_250_two_stroke,  "cr250",       "cr250.png",       13, 49, 3.0f,    1.8f,     1.4706f,  1.2105f,  1.0f,     0.86957f, -1.0f,    32.84f,  7500, 10500),  // 25
    BIKE_ROW("kx250(2006)",     "250",  chassis_250_two_stroke,  "kx250",       "kx250.png",       13, 51, 3.0f,    1.8f,     1.4375f,  1.1765f,  1.0f,     0.86957f, -1.0f,    32.07f,  7500, 10500),  // 26
    BIKE_ROW("rm250(2008)",     "250",  chassis_250_two_stroke,  "rm250",       "rm250.png",       13, 50, 3.0f,    1.8f,     1.4706f,  1.2105f,  1.0f,     0.86957f, -1.0f,    31.51f,  7500, 10500),  // 27
    BIKE_ROW("yz250(2012)",     "250",  chassis_250_two_stroke,  "yz250",       "yz250.png",       14, 50, 3.0f,    1.9286f,  1.5333f,  1.2778f,  1.0909f,  0.95238f, -1.0f,    29.9f,   7500, 10500),  // 28
    BIKE_ROW("crf250(2017)",    "250f", chassis_250_four_stroke, "crf250v2014", "crf250v2014.png", 13, 49, 3.1667f, 2.3571f,  1.8889f,  1.5556f,  1.3333f,  1.1364f,  -1.0f,    19.44f,  8500, 13500),  // 29
    BIKE_ROW("fc250(2017)",     "250f", chassis_250_four_stroke, "fc250v2016",  "fc250v2016.png",  13, 50, 3.0417f, 2.4615f,  2.0f,     1.6471f,  1.3684f,  1.1905f,  -1.0f,    19.8f,   8500, 13500),  // 30
    BIKE_ROW("kx250f(2017)",    "250f", chassis_250_four_stroke, "kx250fv2017", "kx250fv2017.png", 13, 50, 3.35f,   2.1429f,  1.75f,    1.4444f,  1.2353f,  1.0455f,  -1.0f,    18.43f,  8500, 13500),  // 31
    BIKE_ROW("rmz250(2017)",    "250f", chassis_250_four_stroke, "rmz250v2010", "rmz250v2010.png", 13, 49, 3.3158f, 2.1538f,  1.7647f,  1.4706f,  1.2381f,  1.0909f,  -1.0f,    18.26f,  9000, 14000),  // 32
    BIKE_ROW("yz250f(2017)",    "250f", chassis_250_four_stroke, "yz250fv2014", "yz250fv2014.png", 13, 50, 3.3529f, 2.1429f,  1.75f,    1.4444f,  1.2222f,  1.0417f,  -1.0f,    19.35f,  9000, 14000),  // 33
    BIKE_ROW("250sxf(2017)",    "250f", chassis_250_four_stroke, "250sxfv2016", "250sxfv2016.png", 13, 50, 3.0417f, 2.4615f,  2.0f,     1.6471f,  1.3684f,  1.1905f,  -1.0f,    19.84f,  8500, 13500),  // 34
    BIKE_ROW("crf250(2016)",    "250f", chassis_250_four_stroke, "crf250v2014", "crf250v2014.png", 13, 49, 3.1667f, 2.3571f,  1.8889f,  1.5556f,  1.3333f,  1.1364f,  -1.0f,    20.29f,  9500, 14000),  // 35
    BIKE_ROW("kx250f(2016)",    "250f", chassis_250_four_stroke, "kx250fv2013", "kx250fv2013.png", 13, 50, 3.35f,   2.1429f,  1.75f,    1.4444f,  1.2353f,  1.0455f,  -1.0f,    19.77f,  8500, 13500),  // 36
    BIKE_ROW("rmz250(2016)",    "250f", chassis_250_four_stroke, "rmz250v2010", "rmz250v2010.png", 13, 49, 3.3158f, 2.1538f,  1.7647f,  1.4706f,  1.2381f,  1.0909f,  -1.0f,    18.5f,   9000, 14000),  // 37
    BIKE_ROW("yz250f(2016)",    "250f", chassis_250_four_stroke, "yz250fv2014", "yz250fv2014.png", 13, 50, 3.3529f, 2.1429f,  1.75f,    1.4444f,  1.2222f,  1.0417f,  -1.0f,    19.77f,  8500, 13500),  // 38
    BIKE_ROW("250sxf(2016)",    "250f", chassis_250_four_stroke, "250sxfv2016", "250sxfv2016.png", 13, 50, 3.0417f, 2.4615f,  2.0f,     1.6471f,  1.3684f,  1.1905f,  -1.0f,    20.76f,  8500, 13500),  // 39
    BIKE_ROW("crf250(2013)",    "250f", chassis_250_four_stroke, "crf250v2010", "crf250v2010.png", 13, 49, 3.1667f, 2.3571f,  1.8824f,  1.55f,    1.3333f,  1.1364f,  -1.0f,    18.65f,  9000, 14000),  // 40
    BIKE_ROW("kx250f(2013)",    "250f", chassis_250_four_stroke, "kx250fv2013", "kx250fv2013.png", 13, 50, 3.35f,   2.1429f,  1.75f,    1.4444f,  1.2353f,  1.0455f,  -1.0f,    19.18f,  8500, 13500),  // 41
    BIKE_ROW("rmz250(2013)",    "250f", chassis_250_four_stroke, "rmz250v2010", "rmz250v2010.png", 13, 49, 3.3158f, 2.1538f,  1.7647f,  1.4706f,  1.2381f,  1.0909f,  -1.0f,    18.52f,  8500, 13500),  // 42
    BIKE_ROW("yz250f(2013)",    "250f", chassis_250_four_stroke, "yz250fv2010", "yz250fv2010.png", 13, 50, 3.3529f, 2.1429f,  1.75f,    1.4444f,  1.2222f,  1.0417f,  -1.0f,    18.68f,  8000, 13500),  // 43
    BIKE_ROW("250sxf(2013)",    "250f", chassis_250_four_stroke, "250sxfv2013", "250sxfv2013.png", 13, 50, 3.0417f, 2.4615f,  2.0f,     1.6471f,  1.3684f,  1.1905f,  1.0909f,  18.87f,  8500, 13500),  // 44
    BIKE_ROW("crf250(2009)",    "250f", chassis_250_four_stroke, "crf250",      "crf250.png",      13, 51, 3.1667f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    20.39f,  8500, 13500),  // 45
    BIKE_ROW("kx250f(2009)",    "250f", chassis_250_four_stroke, "kx250f",      "kx250f.png",      13, 48, 3.35f,   2.1429f,  1.7857f,  1.4444f,  1.2f,     1.0526f,  -1.0f,    19.79f,  8000, 13500),  // 46
    BIKE_ROW("rmz250(2009)",    "250f", chassis_250_four_stroke, "rmz250",      "rmz250.png",      13, 48, 3.2105f, 2.1538f,  1.7647f,  1.4706f,  1.2381f,  1.0909f,  -1.0f,    20.24f,  8500, 13500),  // 47
    BIKE_ROW("yz250f(2009)",    "250f", chassis_250_four_stroke, "yz250f",      "yz250f.png",      13, 48, 3.3529f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    20.07f,  8500, 13500),  // 48
    BIKE_ROW("250sxf(2009)",    "250f", chassis_250_four_stroke, "250sxf",      "250sxf.png",      13, 48, 3.0909f, 2.4615f,  2.0f,     1.6471f,  1.3684f,  1.1905f,  1.0909f,  20.19f,  8500, 13500),  // 49
    BIKE_ROW("crf250(2008)",    "250f", chassis_250_four_stroke, "crf250",      "crf250.png",      13, 51, 3.1667f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    19.1f,   9500, 14000),  // 50
    BIKE_ROW("kx250f(2008)",    "250f", chassis_250_four_stroke, "kx250f",      "kx250f.png",      13, 48, 3.35f,   2.1429f,  1.7857f,  1.4444f,  1.2f,     1.0526f,  -1.0f,    19.0f,   8500, 13500),  // 51
    BIKE_ROW("rmz250(2008)",    "250f", chassis_250_four_stroke, "rmz250",      "rmz250.png",      13, 48, 3.2105f, 2.1538f,  1.7647f,  1.4706f,  1.2381f,  1.0909f,  -1.0f,    19.3f,   8500, 13500),  // 52
    BIKE_ROW("yz250f(2008)",    "250f", chassis_250_four_stroke, "yz250f",      "yz250f.png",      13, 48, 3.3529f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    19.0f,   8500, 13500),  // 53
    BIKE_ROW("cr125",           "125",  chassis_125,             "cr125",       "cr125.png",       13, 52, 3.15f,   2.3571f,  1.8667f,  1.5789f,  1.2941f,  1.1333f,  -1.0f,    15.97f, 10000, 13000),  // 54
    BIKE_ROW("kx125",           "125",  chassis_125,             "kx125",       "kx125.png",       13, 51, 3.2f,    2.3846f,  1.8571f,  1.5294f,  1.2941f,  1.125f,   1.0f,     16.81f,  9500, 13000),  // 55
    BIKE_ROW("rm125",           "125",  chassis_125,             "rm125",       "rm125.png",       12, 50, 3.3684f, 2.0714f,  1.6875f,  1.4444f,  1.2f,     1.0526f,  0.95f,    16.51f, 10500, 14000),  // 56
    BIKE_ROW("yz125",           "125",  chassis_125,             "yz125",       "yz125.png",       13, 48, 3.3684f, 2.3846f,  1.9333f,  1.5882f,  1.3529f,  1.2f,     1.0952f,  15.86f, 10000, 13000),  // 57
    BIKE_ROW("125sx",           "125",  chassis_125,             "125sx",       "125sx.png",       13, 50, 3.0435f, 2.4615f,  2.0f,     1.6471f,  1.4f,     1.2105f,  1.0909f,  17.41f, 10500, 13000),  // 58
    BIKE_ROW("crf250(2007)",    "250f", chassis_250_four_stroke, "crf250",      "crf250.png",      13, 51, 3.1667f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    19.0f,   8000, 13500),  // 59
    BIKE_ROW("kx250f(2007)",    "250f", chassis_250_four_stroke, "kx250f",      "kx250f.png",      13, 48, 3.35f,   2.1429f,  1.7857f,  1.4444f,  1.2f,     1.0526f,  -1.0f,    19.6f,   8000, 13500),  // 60
    BIKE_ROW("rmz250(2007)",    "250f", chassis_250_four_stroke, "rmz250",      "rmz250.png",      13, 48, 3.2105f, 2.1538f,  1.7647f,  1.4706f,  1.2381f,  1.0909f,  -1.0f,    19.9f,   8000, 13500),  // 61
    BIKE_ROW("yz250f(2007)",    "250f", chassis_250_four_stroke, "yz250f",      "yz250f.png",      13, 48, 3.3529f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    18.3f,   8000, 13500),  // 62
    BIKE_ROW("yz250f_se(2006)", "250f", chassis_250_four_stroke, "yz250f",      "yz250f_se.png",   13, 48, 3.3529f, 2.1429f,  1.75f,    1.45f,    1.2273f,  1.0417f,  -1.0f,    18.3f,   8000, 13500),  // 63
    BIKE_ROW("rs50cr",          "50",   chassis_50,              "cr125",       "cr125.png",       12, 55, 3.7143f, 3.0909f,  2.0f,     1.5f,     1.2f,     1.0455f,  0.95652f, 4.312f,  9500, 13500),  // 64
    BIKE_ROW("rs50kx",          "50",   chassis_50,              "kx125",       "kx125.png",       12, 55, 3.7143f, 3.0909f,  2.0f,     1.5f,     1.2f,     1.0455f,  0.95652f, 4.312f,  9500, 13500),  // 65
    BIKE_ROW("rs50rm",          "50",   chassis_50,              "rm125",       "rm125.png",       12, 55, 3.7143f, 3.0909f,  2.0f,     1.5f,     1.2f,     1.0455f,  0.95652f, 4.312f,  9500, 13500),  // 66
    BIKE_ROW("rs50yz",          "50",   chassis_50,              "yz125",       "yz125.png",       12, 55, 3.7143f, 3.0909f,  2.0f,     1.5f,     1.2f,     1.0455f,  0.95652f, 4.312f,  9500, 13500),  // 67
};
// clang-format on

#undef BIKE_ROW

static_assert(sizeof k_rows / sizeof k_rows[0] == bike_catalogue_size, "the catalogue holds 68 bikes");

// --- Values that are the same in every spec ---------------------------------------

constexpr bike_vec3 k_rest_centres[bike_rest_centres] = {
    {-1.456f, 0.875f, 0.01f}, {1.456f, 0.875f, 0.01f},   {-0.556f, 0.875f, 0.01f},
    {0.556f, 0.875f, 0.01f},  {-0.269f, -2.208f, 0.01f}, {0.269f, -2.208f, 0.01f},
    {-0.269f, -0.88f, 0.01f}, {0.269f, -0.88f, 0.01f},   {0.0f, -0.88f, 0.01f},
};

constexpr bike_spec make_spec(const bike_row& r) {
    const chassis_values& ch = k_chassis[r.chassis];
    const chassis_curves& cc = k_chassis_curves[r.chassis];
    bike_spec s{};
    s.name = r.name;
    s.engine_class = r.engine_class;
    s.front_wheel = {{0.0f, 1.09f, 1.11f}, 0.833333f, 0.333333f, 0.40625f, 0.5f, 0.15625f};
    s.rear_wheel = {{0.0f, 1.04f, 6.0f}, 0.75f, 0.333333f, 0.46875f, 0.5f, 0.3125f};
    s.frame_position = {0.0f, 1.98f, 3.6f};
    s.frame_mass = ch.frame_mass;
    s.frame_box = {0.833333f, 1.666667f, 1.666667f};
    s.fork_upper_position = {0.0f, 2.9f, 2.16f};
    s.swingarm_position = {0.0f, 1.34f, 4.99f};
    s.swingarm_pivot = {0.0f, 1.6f, 4.08f};
    s.fork_lower_position = {0.0f, 1.77f, 1.59f};
    s.fork_tube_spacing = 0.833333f;
    s.fork_tube_length_factor = 3.0f;
    s.fork_body_mass = ch.fork_body_mass;
    s.fork_spring_rate = ch.fork_spring_rate;
    s.fork_preload = {0.0f, 0.0833333f};
    s.fork_oil_air_gap = {0.416667f, 0.25f};
    s.fork_compression_base = 60.0f;
    s.fork_slow_compression_range = 60.0f;
    s.fork_rebound_base = ch.fork_rebound_base;
    s.fork_slow_rebound_range = 30.0f;
    s.fork_travel = 1.0f;
    s.swingarm_mass = ch.swingarm_mass;
    s.shock_spring_rate = ch.shock_spring_rate;
    s.shock_preload = {0.0f, 0.333333f};
    s.shock_compression_base = 800.0f;
    s.shock_slow_compression_range = 200.0f;
    s.shock_rebound_base = ch.shock_rebound_base;
    s.shock_slow_rebound_range = 150.0f;
    s.linkage = {0.283652f, 0.413386f, 0.530304f, 0.75f, 0.315039f, 0.460479f, 0.607049f};
    s.primary_ratio = r.primary_ratio;
    s.front_teeth = r.front_teeth;
    s.rear_teeth = r.rear_teeth;
    for (int g = 0; g < bike_gear_slots; g++) s.gear_ratio[g] = r.gear_ratio[g];
    s.engine_inertia = ch.engine_inertia;
    s.clutch_stiffness = ch.clutch_stiffness;
    s.clutch_damping = ch.clutch_damping;
    const curve full = make_full_curve(*cc.full_pattern, r.peak_torque, r.peak_rpm, r.cut_rpm);
    for (int i = 0; i < bike_curve_points; i++) {
        s.closed_torque[i] = (*cc.closed)[i];
        s.full_torque[i] = full[i];
    }
    s.shift_down_rpm = ch.shift_down_rpm;
    s.shift_up_rpm = ch.shift_up_rpm;
    s.rider_slide_direction = {0.0f, 0.0833333f, 0.0833333f};
    s.rider_position = {0.0f, 4.5f, 4.12f};
    s.rider_slide = {-0.666667f, 0.5f};
    s.rider_mass = ch.rider_mass;
    s.data_names[bike_data_frame_model] = r.frame_model;
    s.data_names[bike_data_frame_shape] = "@generic_frame.shp";
    s.data_names[bike_data_bike_texture] = r.texture;
    s.data_names[bike_data_fork_upper_model] = r.fork_upper_model;
    s.data_names[bike_data_fork_upper_shape] = "@generic_fork_upper.shp";
    s.data_names[bike_data_fork_lower_model] = r.fork_lower_model;
    s.data_names[bike_data_fork_lower_shape] = "@generic_fork_lower.shp";
    s.data_names[bike_data_swingarm_model] = r.swingarm_model;
    s.data_names[bike_data_swingarm_shape] = "@generic_swingarm.shp";
    s.data_names[bike_data_front_wheel_model] = "@front_wheel.jm";
    s.data_names[bike_data_front_wheel_shape] = "@front_wheel.shp";
    s.data_names[bike_data_rear_wheel_model] = "@rear_wheel.jm";
    s.data_names[bike_data_rear_wheel_shape] = "@rear_wheel.shp";
    s.data_names[bike_data_wheel_texture] = "@wheels.png";
    s.data_names[bike_data_rider_head_model] = "@rider_head.jm";
    s.data_names[bike_data_rider_head_texture] = "@rider_head.png";
    s.data_names[bike_data_rider_body_model] = "@rider_body.jm";
    s.data_names[bike_data_rider_body_fp_model] = "@rider_body_fp.jm";
    s.data_names[bike_data_rider_shape] = "@generic_rider.shp";
    s.data_names[bike_data_rider_body_texture] = "@rider_body.png";
    s.data_names[bike_data_side_plates_model] = r.side_plates_model;
    s.data_names[bike_data_front_plate_model] = r.front_plate_model;
    s.data_names[bike_data_rider_plate_model] = "@rider_plate.jm";
    s.skeleton = {{
                      {0.0f, 0.808383f, -0.943369f},      // P0 head
                      {-0.556f, 0.580375f, -0.654514f},   // P1 left shoulder
                      {0.556f, 0.580375f, -0.654514f},    // P2 right shoulder
                      {-0.269f, -0.570887f, 0.670607f},   // P3 left hip
                      {0.269f, -0.570887f, 0.670607f},    // P4 right hip
                      {-1.097f, 1.145f, 0.753f},          // P5 left hand
                      {1.097f, 1.145f, 0.753f},           // P6 right hand
                      {-0.6f, -0.557f, 0.584f},           // P7 left foot
                      {0.6f, -0.557f, 0.584f},            // P8 right foot
                  },
                  0.9f,
                  1.15f,
                  1.328f,
                  1.701f,
                  k_rest_centres};
    return s;
}

using catalogue = std::array<bike_spec, bike_catalogue_size>;

constexpr catalogue make_catalogue() {
    catalogue c{};
    for (int i = 0; i < bike_catalogue_size; i++) c[i] = make_spec(k_rows[i]);
    return c;
}

constexpr catalogue k_catalogue = make_catalogue();

// --- Compile-time checks of the table ------------------------------------------------

constexpr bool same_text(const char* a, const char* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

// Every row's landmarks fit its pattern: peak and cut on curve entries, the
// peak after the flat start, at least one entry between peak and cut.
constexpr bool rows_fit_patterns() {
    for (const bike_row& r : k_rows) {
        const curve_landmarks m = landmarks_of(*k_chassis_curves[r.chassis].full_pattern);
        if (r.peak_rpm % bike_curve_step_rpm != 0 || r.cut_rpm % bike_curve_step_rpm != 0) return false;
        int peak_at = r.peak_rpm / bike_curve_step_rpm, cut_at = r.cut_rpm / bike_curve_step_rpm;
        if (peak_at <= m.flat_end || cut_at <= peak_at + 1 || cut_at >= bike_curve_points) return false;
        if (!(r.peak_torque > (*k_chassis_curves[r.chassis].full_pattern)[0])) return false;
    }
    return true;
}
static_assert(rows_fit_patterns(), "a row's peak or cut does not fit its measured curve");

// Every full-throttle curve has its one highest entry where its row says,
// holding the row's peak value, and is 0 at the row's cut.
constexpr bool curves_peak_where_rows_say() {
    for (int b = 0; b < bike_catalogue_size; b++) {
        const bike_row& r = k_rows[b];
        const float* c = k_catalogue[b].full_torque;
        int peak_at = r.peak_rpm / bike_curve_step_rpm;
        if (c[peak_at] != r.peak_torque) return false;
        for (int i = 0; i < bike_curve_points; i++)
            if (i != peak_at && !(c[i] < c[peak_at])) return false;
        if (c[r.cut_rpm / bike_curve_step_rpm] != 0.0f) return false;
    }
    return true;
}
static_assert(curves_peak_where_rows_say(), "a full-throttle curve does not peak where its row says");

constexpr bool names_unique() {
    for (int a = 0; a < bike_catalogue_size; a++)
        for (int b = a + 1; b < bike_catalogue_size; b++)
            if (same_text(k_rows[a].name, k_rows[b].name)) return false;
    return true;
}
static_assert(names_unique(), "two bikes share a name");

}  // namespace

const bike_spec* bike_catalogue_entry(int index) {
    if (index < 0 || index >= bike_catalogue_size) return nullptr;
    return &k_catalogue[index];
}
