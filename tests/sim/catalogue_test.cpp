// Tests of the bike catalogue: order and names, lookups and the
// substitute rule with its log line, gears, torque curves, table values and
// the display conversions; and the "dwtool bikes" listing.
#include <gtest/gtest.h>

#include "dwtool/commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "base/log.h"
#include "sim/catalogue.h"

namespace {

// The bike table: name, engine class, number of gear ratios
// listed, peak full-throttle torque and its rpm.
struct expected_bike {
    const char* name;
    const char* engine_class;
    int gears;
    float peak;
    int peak_rpm;
};

const expected_bike k_expected[bike_catalogue_size] = {
    {"450sxf(2017)", "450f", 5, 33.96f, 7500},  {"crf450(2017)", "450f", 5, 34.54f, 8000},
    {"fc450(2017)", "450f", 5, 34.51f, 7500},   {"kx450f(2017)", "450f", 5, 32.26f, 6500},
    {"rmz450(2017)", "450f", 5, 32.84f, 7500},  {"yz450f(2017)", "450f", 5, 32.55f, 6500},
    {"350sxf(2017)", "250f", 5, 28.52f, 8500},  {"450sxf(2016)", "450f", 5, 36.2f, 7500},
    {"crf450(2016)", "450f", 5, 34.14f, 7000},  {"kx450f(2016)", "450f", 5, 35.25f, 8000},
    {"rmz450(2016)", "450f", 5, 35.22f, 7500},  {"yz450f(2016)", "450f", 5, 35.06f, 8000},
    {"crf450(2013)", "450f", 5, 31.0f, 7000},   {"kx450f(2013)", "450f", 5, 31.2f, 7000},
    {"rmz450(2013)", "450f", 5, 33.3f, 7500},   {"yz450f(2013)", "450f", 5, 29.7f, 7500},
    {"450sxf(2013)", "450f", 5, 33.9f, 7500},   {"350sxf(2013)", "250f", 5, 27.1f, 8500},
    {"crf450(2011)", "450f", 5, 34.6f, 6500},   {"kx450f(2011)", "450f", 5, 35.8f, 6500},
    {"rmz450(2011)", "450f", 5, 36.1f, 7000},   {"yz450f(2011)", "450f", 5, 33.0f, 7000},
    {"450sxf(2011)", "450f", 5, 35.4f, 7500},   {"350sxf(2011)", "450f", 5, 27.7f, 8000},
    {"250sx(2012)", "250", 5, 32.58f, 8000},    {"cr250(2007)", "250", 5, 32.84f, 7500},
    {"kx250(2006)", "250", 5, 32.07f, 7500},    {"rm250(2008)", "250", 5, 31.51f, 7500},
    {"yz250(2012)", "250", 5, 29.9f, 7500},     {"crf250(2017)", "250f", 5, 19.44f, 8500},
    {"fc250(2017)", "250f", 5, 19.8f, 8500},    {"kx250f(2017)", "250f", 5, 18.43f, 8500},
    {"rmz250(2017)", "250f", 5, 18.26f, 9000},  {"yz250f(2017)", "250f", 5, 19.35f, 9000},
    {"250sxf(2017)", "250f", 5, 19.84f, 8500},  {"crf250(2016)", "250f", 5, 20.29f, 9500},
    {"kx250f(2016)", "250f", 5, 19.77f, 8500},  {"rmz250(2016)", "250f", 5, 18.5f, 9000},
    {"yz250f(2016)", "250f", 5, 19.77f, 8500},  {"250sxf(2016)", "250f", 5, 20.76f, 8500},
    {"crf250(2013)", "250f", 5, 18.65f, 9000},  {"kx250f(2013)", "250f", 5, 19.18f, 8500},
    {"rmz250(2013)", "250f", 5, 18.52f, 8500},  {"yz250f(2013)", "250f", 5, 18.68f, 8000},
    {"250sxf(2013)", "250f", 6, 18.87f, 8500},  {"crf250(2009)", "250f", 5, 20.39f, 8500},
    {"kx250f(2009)", "250f", 5, 19.79f, 8000},  {"rmz250(2009)", "250f", 5, 20.24f, 8500},
    {"yz250f(2009)", "250f", 5, 20.07f, 8500},  {"250sxf(2009)", "250f", 6, 20.19f, 8500},
    {"crf250(2008)", "250f", 5, 19.1f, 9500},   {"kx250f(2008)", "250f", 5, 19.0f, 8500},
    {"rmz250(2008)", "250f", 5, 19.3f, 8500},   {"yz250f(2008)", "250f", 5, 19.0f, 8500},
    {"cr125", "125", 5, 15.97f, 10000},         {"kx125", "125", 6, 16.81f, 9500},
    {"rm125", "125", 6, 16.51f, 10500},         {"yz125", "125", 6, 15.86f, 10000},
    {"125sx", "125", 6, 17.41f, 10500},         {"crf250(2007)", "250f", 5, 19.0f, 8000},
    {"kx250f(2007)", "250f", 5, 19.6f, 8000},   {"rmz250(2007)", "250f", 5, 19.9f, 8000},
    {"yz250f(2007)", "250f", 5, 18.3f, 8000},   {"yz250f_se(2006)", "250f", 5, 18.3f, 8000},
    {"rs50cr", "50", 6, 4.312f, 9500},          {"rs50kx", "50", 6, 4.312f, 9500},
    {"rs50rm", "50", 6, 4.312f, 9500},          {"rs50yz", "50", 6, 4.312f, 9500},
};

const bike_spec* spec_named(const char* name) {
    const bike_spec* spec = bike_find(name);
    EXPECT_NE(spec, nullptr) << name;
    return spec;
}

bool is_two_stroke_250(const char* name) {
    return strcmp(name, "250sx(2012)") == 0 || strcmp(name, "cr250(2007)") == 0 || strcmp(name, "kx250(2006)") == 0 ||
           strcmp(name, "rm250(2008)") == 0 || strcmp(name, "yz250(2012)") == 0;
}

bool is_fifty(const bike_spec* spec) { return strcmp(spec->engine_class, "50") == 0; }

// Runs a call with the log written to a file of its own; returns what the
// call logged (the log's own opening lines included).
template <class F>
std::string logged_by(F call) {
    std::string path = ::testing::TempDir() + "catalogue_test_log.txt";
    setenv("KWIL_LOGFILE", path.c_str(), 1);
    log_reset_for_tests();
    call();
    log_reset_for_tests();  // closes the file
    unsetenv("KWIL_LOGFILE");
    std::string text;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
    }
    remove(path.c_str());
    return text;
}

// --- Order and names ------------------------------------------------------------

TEST(Catalogue, HoldsTheSixtyEightBikesInOrder) {
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        ASSERT_NE(spec, nullptr) << i;
        EXPECT_STREQ(spec->name, k_expected[i].name) << i;
        EXPECT_STREQ(bike_catalogue_name(i), k_expected[i].name) << i;
        EXPECT_STREQ(spec->engine_class, k_expected[i].engine_class) << i;
        EXPECT_EQ(bike_catalogue_index(k_expected[i].name), i);
    }
    EXPECT_EQ(bike_catalogue_entry(-1), nullptr);
    EXPECT_EQ(bike_catalogue_entry(bike_catalogue_size), nullptr);
    EXPECT_EQ(bike_catalogue_name(-1), nullptr);
    EXPECT_EQ(bike_catalogue_name(bike_catalogue_size), nullptr);
}

TEST(Catalogue, NamesAreUnique) {
    std::set<std::string> names;
    for (int i = 0; i < bike_catalogue_size; i++) names.insert(bike_catalogue_name(i));
    EXPECT_EQ(names.size(), size_t(bike_catalogue_size));
}

// --- Lookups and the substitute rule --------------------------------------------

TEST(CatalogueLookup, FindsExactNames) {
    const bike_spec* spec = bike_find("yz250f(2017)");
    ASSERT_NE(spec, nullptr);
    EXPECT_STREQ(spec->name, "yz250f(2017)");
    EXPECT_EQ(spec, bike_catalogue_entry(33));
    EXPECT_EQ(bike_find_for_new_bike("yz250f(2017)"), spec);
}

TEST(CatalogueLookup, CaseMatters) {
    EXPECT_EQ(bike_find("YZ250F(2017)"), nullptr);
    EXPECT_EQ(bike_find("Yz250f(2017)"), nullptr);
    EXPECT_EQ(bike_catalogue_index("YZ250F(2017)"), -1);
}

TEST(CatalogueLookup, NearNamesAreNotFound) {
    EXPECT_EQ(bike_find(""), nullptr);
    EXPECT_EQ(bike_find(nullptr), nullptr);
    EXPECT_EQ(bike_find("yz250f"), nullptr);
    EXPECT_EQ(bike_find("yz250f(2017) "), nullptr);
    EXPECT_EQ(bike_find("kx125(2005)"), nullptr);
}

// The substitute rule takes the first name containing "250f"; "crf250(2017)"
// does not contain "250f", so the substitute is kx250f(2017).
TEST(CatalogueLookup, CapitalNameIsReplacedByTheFirst250f) {
    const bike_spec* spec = bike_find_for_new_bike("YZ250F(2017)");
    ASSERT_NE(spec, nullptr);
    EXPECT_STREQ(spec->name, "kx250f(2017)");
    EXPECT_EQ(bike_substitute("YZ250F(2017)"), spec);
}

TEST(CatalogueLookup, Any125IsReplacedByCr125) {
    for (const char* name : {"kx125(2005)", "kx125(1999)", "kx125()", "rm125(2020)", "125", "x125y"}) {
        const bike_spec* spec = bike_find_for_new_bike(name);
        ASSERT_NE(spec, nullptr) << name;
        EXPECT_STREQ(spec->name, "cr125") << name;
    }
}

TEST(CatalogueLookup, EmptyAndNullNamesAreReplacedByTheFirst250f) {
    EXPECT_STREQ(bike_find_for_new_bike("")->name, "kx250f(2017)");
    EXPECT_STREQ(bike_find_for_new_bike(nullptr)->name, "kx250f(2017)");
    EXPECT_STREQ(bike_substitute(nullptr)->name, "kx250f(2017)");
}

TEST(CatalogueLookup, PatternIs125WheneverTheNameHoldsIt) {
    EXPECT_STREQ(bike_substitute("250f125")->name, "cr125");
    EXPECT_STREQ(bike_substitute("crf450(2099)")->name, "kx250f(2017)");
    EXPECT_STREQ(bike_substitute("12 5")->name, "kx250f(2017)");
}

TEST(CatalogueLookup, SubstituteIsLogged) {
    std::string log = logged_by([] { bike_find_for_new_bike("YZ250F(2017)"); });
    EXPECT_NE(log.find("bike info for 'YZ250F(2017)' not found using 'kx250f(2017)' instead\n"), std::string::npos)
        << log;
}

TEST(CatalogueLookup, LoggedNamesAreCutAtTwentyCharacters) {
    std::string log = logged_by([] { bike_find_for_new_bike("abcdefghijklmnopqrstuvwxyz125"); });
    EXPECT_NE(log.find("bike info for 'abcdefghijklmnopqrst' not found using 'cr125' instead\n"), std::string::npos)
        << log;
}

TEST(CatalogueLookup, EmptyNameIsLogged) {
    std::string log = logged_by([] { bike_find_for_new_bike(""); });
    EXPECT_NE(log.find("bike info for '' not found using 'kx250f(2017)' instead\n"), std::string::npos) << log;
}

TEST(CatalogueLookup, FoundNameLogsNothing) {
    std::string log = logged_by([] { bike_find_for_new_bike("cr125"); });
    EXPECT_EQ(log.find("bike info"), std::string::npos) << log;
}

// --- Gears ------------------------------------------------------------------------

TEST(CatalogueGears, FiveSpeedBikesHaveNoSixthGear) {
    int five_speed = 0;
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        EXPECT_EQ(bike_gear_count(spec), k_expected[i].gears) << spec->name;
        for (int g = 0; g < k_expected[i].gears; g++) EXPECT_GT(spec->gear_ratio[g], 0.0f) << spec->name;
        if (k_expected[i].gears == 5) {
            five_speed++;
            EXPECT_LE(spec->gear_ratio[5], 0.0f) << spec->name;
            EXPECT_EQ(spec->gear_ratio[5], -1.0f) << spec->name;
        }
    }
    EXPECT_EQ(five_speed, 58);
}

TEST(CatalogueGears, SpotChecks) {
    const bike_spec* yz = spec_named("yz250f(2017)");
    const float yz_ratios[6] = {2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f, -1.0f};
    for (int g = 0; g < 6; g++) EXPECT_EQ(yz->gear_ratio[g], yz_ratios[g]) << g;
    const bike_spec* rm = spec_named("rm125");
    const float rm_ratios[6] = {2.0714f, 1.6875f, 1.4444f, 1.2f, 1.0526f, 0.95f};
    for (int g = 0; g < 6; g++) EXPECT_EQ(rm->gear_ratio[g], rm_ratios[g]) << g;
}

// --- Torque curves ---------------------------------------------------------------------

TEST(CatalogueCurves, EveryFullThrottleCurvePeaksWhereTheTableSays) {
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        const int at = k_expected[i].peak_rpm / 500;
        EXPECT_EQ(spec->full_torque[at], k_expected[i].peak) << spec->name;
        for (int j = 0; j < bike_curve_points; j++) {
            if (j == at) continue;
            EXPECT_LT(spec->full_torque[j], spec->full_torque[at]) << spec->name << " entry " << j;
        }
        int rpm = -1;
        EXPECT_EQ(bike_peak_torque(spec, &rpm), k_expected[i].peak) << spec->name;
        EXPECT_EQ(rpm, k_expected[i].peak_rpm) << spec->name;
    }
}

struct written_curve {
    const char* name;
    float values[bike_curve_points];
};

// The measured full-throttle curves.
const written_curve k_written[] = {
    {"yz250f(2017)", {5,     5,     5,     5,     5,     6.18,  7.36,  8.54,  9.72,  10.9,  12.1,  13.92, 14.81,
                      15.85, 16.81, 17.89, 18.53, 19.14, 19.35, 19.18, 18.61, 17.91, 17.34, 16.9,  16.47, 15.97,
                      15.03, 7.513, 0,     -13.5, -14,   -14.5, -15,   -15.5, -16,   -16.5, -17,   -17.5, -18,
                      -18.5, -19,   -19.5, -20,   -20.5, -21,   -21.5, -22,   -22.5, -23,   -23.5}},
    {"yz450f(2017)", {5,     5,     5,     5,     5,     7.808, 10.62, 13.42, 16.23, 19.04, 21.85, 29.06, 31.15,
                      32.55, 32.38, 31.8,  31.63, 31.06, 29.75, 28.46, 27.36, 26.14, 23.74, 11.87, 0,     -10,
                      -11,   -12,   -13,   -14,   -15,   -16,   -17,   -18,   -19,   -20,   -21,   -22,   -23,
                      -24,   -25,   -26,   -27,   -28,   -29,   -30,   -31,   -32,   -33,   -34}},
    {"350sxf(2017)", {5,     5,     5,     5,     5,     8,     11,    15.5,  17.7,  18.1,  19.34, 21.51, 23.13,
                      25.11, 26.48, 27.54, 28.09, 28.52, 27.66, 27.62, 26.52, 26.04, 25.15, 24.32, 23.44, 22.58,
                      21.25, 0,     -13,   -14,   -15,   -16,   -17,   -18,   -19,   -20,   -21,   -22,   -23,
                      -24,   -25,   -26,   -27,   -28,   -29,   -30,   -31,   -32,   -33,   -34}},
    {"cr250(2007)", {5,     5,     5,     5,     7.5,   12.5,  17.51, 20.56, 22.45, 21.83, 25.74, 28.07, 28.62,
                     30.14, 31.59, 32.84, 30.79, 27.87, 22.99, 17.03, 9.401, 0,     -10,   -10.5, -11,   -11.5,
                     -12,   -12.5, -13,   -13.5, -14,   -14.5, -15,   -15.5, -16,   -16.5, -17,   -17.5, -18,
                     -18.5, -19,   -19.5, -20,   -20.5, -21,   -21.5, -22,   -22.5, -23,   -23.5}},
    {"cr125", {5,     5,     5,     5,     5,     5.7,   6.4,   7.2,   7.9,   8.6,   9.454, 10.22, 10.33,
               10.67, 11.4,  12.47, 13.26, 14.15, 14.76, 15.81, 15.97, 15.91, 15.76, 15.12, 12.74, 2.101,
               0,     0,     -1,    -1,    -2,    -2,    -3,    -3,    -4,    -4,    -5,    -5,    -6,
               -6,    -7,    -7,    -8,    -8,    -9,    -9,    -10,   -10,   -11,   -11}},
};

const float k_written_fifty[bike_curve_points] = {
    1,     1,     1,     1,     1,     1,    1,     1,     1,    1,    1.101, 1.91, 1.751, 2.02, 2.101, 2.311, 2.823,
    3.584, 4.143, 4.312, 3.729, 3.601, 3.772, 3.562, 2.67, 1.681, 0.808, 0,    -0.5,  -0.5, -1,    -1,   -1.5,  -1.5,
    -2,    -2,    -2.5,  -2.5,  -3,    -3,   -3.5,  -3.5,  -4,   -4,   -4.5,  -4.5, -5,    -5,   -5.5,  -5.5,
};

TEST(CatalogueCurves, WrittenCurvesAreKeptAsWritten) {
    for (const written_curve& w : k_written) {
        const bike_spec* spec = spec_named(w.name);
        for (int j = 0; j < bike_curve_points; j++)
            EXPECT_EQ(spec->full_torque[j], (float)w.values[j]) << w.name << " entry " << j;
    }
    for (const char* name : {"rs50cr", "rs50kx", "rs50rm", "rs50yz"}) {
        const bike_spec* spec = spec_named(name);
        for (int j = 0; j < bike_curve_points; j++)
            EXPECT_EQ(spec->full_torque[j], k_written_fifty[j]) << name << " entry " << j;
    }
}

// The engine speed at which a bike's full-throttle curve first reaches 0
// after its peak.
int cut_rpm(const bike_spec* spec) {
    int peak_rpm = 0;
    bike_peak_torque(spec, &peak_rpm);
    for (int j = peak_rpm / 500; j < bike_curve_points; j++)
        if (spec->full_torque[j] <= 0.0f) return j * 500;
    return -1;
}

TEST(CatalogueCurves, GeneratedCurvesFollowTheWrittenPattern) {
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        const char* name = spec->name;
        const float* c = spec->full_torque;
        const float flat = is_fifty(spec) ? 1.0f : 5.0f;
        const int flat_end = is_fifty(spec) ? 9 : is_two_stroke_250(name) ? 3 : 4;
        for (int j = 0; j <= flat_end; j++) EXPECT_EQ(c[j], flat) << name << " entry " << j;

        // The cut, where the row puts it.
        const int cut = cut_rpm(spec);
        const bool four_stroke_250_or_350 =
            strcmp(spec->engine_class, "250f") == 0 || strncmp(name, "350sxf", 6) == 0;
        if (strcmp(name, "450sxf(2011)") == 0) {
            EXPECT_EQ(cut, 12500);
        } else if (four_stroke_250_or_350) {
            EXPECT_TRUE(cut == 13500 || cut == 14000) << name << " cuts at " << cut;
        } else if (strcmp(spec->engine_class, "450f") == 0) {
            EXPECT_EQ(cut, 12000) << name;
        } else if (is_two_stroke_250(name)) {
            EXPECT_EQ(cut, 10500) << name;
        } else if (strcmp(name, "rm125") == 0) {
            EXPECT_EQ(cut, 14000);
        } else if (strcmp(spec->engine_class, "125") == 0) {
            EXPECT_EQ(cut, 13000) << name;
        } else {
            EXPECT_EQ(cut, 13500) << name;
        }

        // Positive between the flat start and the cut, still above a third of
        // the peak two entries before the cut (a sharp cut), then a tail that
        // never rises and ends at -10 or below (-5 for the 50s).
        for (int j = flat_end + 1; j < cut / 500; j++) EXPECT_GT(c[j], 0.0f) << name << " entry " << j;
        EXPECT_GT(c[cut / 500 - 2], bike_peak_torque(spec, nullptr) / 3.0f) << name << ": no sharp cut";
        EXPECT_EQ(c[cut / 500], 0.0f) << name;
        for (int j = cut / 500 + 1; j < bike_curve_points; j++) EXPECT_LE(c[j], c[j - 1]) << name << " entry " << j;
        EXPECT_LE(c[bike_curve_points - 1], is_fifty(spec) ? -5.0f : -10.0f) << name;
    }
}

TEST(CatalogueCurves, ClosedThrottleShapes) {
    const float four_stroke[bike_curve_points] = {
        2,   2,   1,   0,   -1,  -1,  -2,  -2,  -3,  -3,  -4,  -4,  -5,  -5,  -6,  -6,  -7,
        -7,  -8,  -8,  -9,  -9,  -10, -10, -11, -11, -12, -12, -13, -13, -14, -14, -15, -15,
        -16, -16, -17, -17, -18, -18, -19, -19, -20, -20, -21, -21, -22, -22, -23, -23,
    };
    const float two_stroke[bike_curve_points] = {
        2,   2,   1,   0,   -1,  -1.2, -1.4, -1.6, -1.8, -2,  -2.25, -2.5, -2.75, -3,  -3.33, -3.67, -4,
        -5,  -6,  -7,  -8,  -9,  -10,  -10,  -11,  -11,  -12, -12,   -13,  -13,   -14, -14,   -15,   -15,
        -16, -16, -17, -17, -18, -18,  -19,  -19,  -20,  -20, -21,   -21,  -22,   -22, -23,   -23,
    };

    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* spec = bike_catalogue_entry(i);
        for (int j = 0; j < bike_curve_points; j++) {
            float want;
            if (is_two_stroke_250(spec->name))
                want = two_stroke[j];
            else if (is_fifty(spec))
                want = j >= 4 ? two_stroke[j] * 0.5f : two_stroke[j];
            else
                want = four_stroke[j];
            EXPECT_EQ(spec->closed_torque[j], want) << spec->name << " entry " << j;
        }
    }
    const bike_spec* fifty = spec_named("rs50yz");
    EXPECT_EQ(fifty->closed_torque[4], -0.5f);
    EXPECT_EQ(fifty->closed_torque[5], -0.6f);
    EXPECT_EQ(fifty->closed_torque[49], -11.5f);
}

// --- Table values --------------------------------------------------------------------------

TEST(CatalogueValues, Yz250f2017) {
    const bike_spec* s = spec_named("yz250f(2017)");
    EXPECT_STREQ(s->engine_class, "250f");
    EXPECT_EQ(s->front_teeth, 13.0f);
    EXPECT_EQ(s->rear_teeth, 50.0f);
    EXPECT_EQ(s->primary_ratio, 3.3529f);
    EXPECT_STREQ(s->data_names[bike_data_frame_model], "@yz250fv2014_frame.jm");
    EXPECT_STREQ(s->data_names[bike_data_fork_upper_model], "@yz250fv2014_fork_upper.jm");
    EXPECT_STREQ(s->data_names[bike_data_fork_lower_model], "@yz250fv2014_fork_lower.jm");
    EXPECT_STREQ(s->data_names[bike_data_swingarm_model], "@yz250fv2014_swingarm.jm");
    EXPECT_STREQ(s->data_names[bike_data_side_plates_model], "@yz250fv2014_side_plates.jm");
    EXPECT_STREQ(s->data_names[bike_data_front_plate_model], "@yz250fv2014_front_plate.jm");
    EXPECT_STREQ(s->data_names[bike_data_bike_texture], "@yz250fv2014.png");
    // 250 four-stroke chassis group.
    EXPECT_EQ(s->frame_mass, 4.24f);
    EXPECT_EQ(s->fork_spring_rate.least, 335.9845f);
    EXPECT_EQ(s->fork_spring_rate.most, 873.5597f);
    EXPECT_EQ(s->shock_spring_rate.least, 2217.498f);
    EXPECT_EQ(s->shock_rebound_base, 600.0f);
    EXPECT_EQ(s->engine_inertia, 0.00488281f);
    EXPECT_EQ(s->shift_down_rpm, 8000.0f);
    EXPECT_EQ(s->shift_up_rpm, 12500.0f);
    EXPECT_EQ(s->rider_mass, 4.6875f);
}

TEST(CatalogueValues, OtherRowsAndGroups) {
    const bike_spec* se = spec_named("yz250f_se(2006)");
    EXPECT_STREQ(se->data_names[bike_data_frame_model], "@yz250f_frame.jm");
    EXPECT_STREQ(se->data_names[bike_data_bike_texture], "@yz250f_se.png");

    const bike_spec* kx = spec_named("kx450f(2016)");
    EXPECT_EQ(kx->rear_teeth, 50.0f);
    EXPECT_EQ(kx->primary_ratio, 2.7273f);
    EXPECT_EQ(kx->frame_mass, 4.735f);
    EXPECT_EQ(kx->fork_rebound_base, 32.0f);
    EXPECT_EQ(kx->shock_rebound_base, 650.0f);
    EXPECT_EQ(kx->engine_inertia, 0.0088501f);
    EXPECT_EQ(kx->rider_mass, 5.46875f);

    const bike_spec* cr = spec_named("cr250(2007)");
    EXPECT_EQ(cr->frame_mass, 4.365625f);
    EXPECT_EQ(cr->shift_up_rpm, 9000.0f);

    const bike_spec* rs = spec_named("rs50rm");
    EXPECT_EQ(rs->front_teeth, 12.0f);
    EXPECT_EQ(rs->rear_teeth, 55.0f);
    EXPECT_EQ(rs->clutch_stiffness, 1200.0f);
    EXPECT_EQ(rs->clutch_damping, 1.0f);
    EXPECT_EQ(rs->engine_inertia, 0.00119358f);
    EXPECT_STREQ(rs->data_names[bike_data_frame_model], "@rm125_frame.jm");
}

TEST(CatalogueValues, The350sUseTheBigFourStrokeChassis) {
    const char* classes[3] = {"250f", "250f", "450f"};
    const char* names[3] = {"350sxf(2017)", "350sxf(2013)", "350sxf(2011)"};
    for (int i = 0; i < 3; i++) {
        const bike_spec* s = spec_named(names[i]);
        EXPECT_STREQ(s->engine_class, classes[i]);
        EXPECT_EQ(s->frame_mass, 4.735f) << names[i];
        EXPECT_EQ(s->fork_spring_rate.least, 376.3026f) << names[i];
        EXPECT_EQ(s->shock_spring_rate.most, 5174.161f) << names[i];
        EXPECT_EQ(s->shock_rebound_base, 650.0f) << names[i];
        EXPECT_EQ(s->engine_inertia, 0.00683594f) << names[i];
        EXPECT_EQ(s->shift_up_rpm, 10500.0f) << names[i];
        EXPECT_EQ(s->rider_mass, 5.46875f) << names[i];
    }
}

TEST(CatalogueValues, SharedByEveryBike) {
    const bike_spec* first = bike_catalogue_entry(0);
    for (int i = 0; i < bike_catalogue_size; i++) {
        const bike_spec* s = bike_catalogue_entry(i);
        EXPECT_EQ(s->front_wheel.position.z, 1.11f);
        EXPECT_EQ(s->front_wheel.ring_radius, 0.833333f);
        EXPECT_EQ(s->rear_wheel.position.z, 6.0f);
        EXPECT_EQ(s->rear_wheel.hub_mass, 0.3125f);
        EXPECT_EQ(s->fork_upper_position.y, 2.9f);
        EXPECT_EQ(s->fork_oil_air_gap.least, 0.416667f);
        EXPECT_EQ(s->fork_oil_air_gap.most, 0.25f);
        EXPECT_EQ(s->linkage.swingarm_travel, 0.530304f);
        EXPECT_EQ(s->linkage.slope_full, 0.607049f);
        EXPECT_EQ(s->rider_slide.least, -0.666667f);
        EXPECT_EQ(s->data_names[bike_data_rider_shape], std::string("@generic_rider.shp"));
        EXPECT_EQ(s->data_names[bike_data_wheel_texture], std::string("@wheels.png"));
        EXPECT_EQ(s->skeleton.rest_centres, first->skeleton.rest_centres);
        EXPECT_EQ(memcmp(&s->skeleton.points, &first->skeleton.points, sizeof s->skeleton.points), 0);
    }
    const bike_skeleton_spec& k = first->skeleton;
    EXPECT_EQ(k.points[bike_skeleton_right_shoulder].x, -k.points[bike_skeleton_left_shoulder].x);
    EXPECT_EQ(k.points[bike_skeleton_right_foot].x, 0.6f);
    EXPECT_EQ(k.thigh, 1.328f);
    EXPECT_EQ(k.rest_centres[4].y, -2.208f);
    EXPECT_EQ(k.rest_centres[8].x, 0.0f);
}

// --- Display conversions ----------------------------------------------------------------------

TEST(CatalogueDisplay, ConversionsInterpolateTheSpecRanges) {
    const bike_spec* s = spec_named("yz450f(2017)");
    EXPECT_FLOAT_EQ(bike_fork_spring_kgf_per_mm(s, 0.0f), 376.3026f * 0.000744082f);
    EXPECT_FLOAT_EQ(bike_fork_spring_kgf_per_mm(s, 1.0f), 913.8778f * 0.000744082f);
    EXPECT_FLOAT_EQ(bike_shock_spring_kgf_per_mm(s, 0.5f), (2486.285f + 5174.161f) * 0.5f * 0.001488164f);
    EXPECT_FLOAT_EQ(bike_fork_preload_mm(s, 1.0f), 0.0833333f * 304.8f);
    EXPECT_FLOAT_EQ(bike_shock_preload_mm(s, 1.0f), 0.333333f * 304.8f);
    EXPECT_NEAR(bike_fork_oil_level_mm(s, 0.0f), 127.0f, 0.001f);
    EXPECT_NEAR(bike_fork_oil_level_mm(s, 1.0f), 76.2f, 0.001f);
}

TEST(CatalogueDisplay, FractionsAreClamped) {
    const bike_spec* s = spec_named("cr125");
    EXPECT_EQ(bike_fork_spring_kgf_per_mm(s, 2.0f), bike_fork_spring_kgf_per_mm(s, 1.0f));
    EXPECT_EQ(bike_fork_spring_kgf_per_mm(s, -1.0f), bike_fork_spring_kgf_per_mm(s, 0.0f));
    EXPECT_EQ(bike_shock_preload_mm(s, -3.0f), 0.0f);
    EXPECT_EQ(bike_shock_preload_mm(s, NAN), 0.0f);
}

TEST(CatalogueDisplay, SprocketTeeth) {
    const bike_spec* s = spec_named("yz250f(2017)");
    EXPECT_EQ(bike_front_sprocket_teeth(s, 0.0f), 13.0f);
    EXPECT_EQ(bike_rear_sprocket_teeth(s, 0.0f), 50.0f);
    EXPECT_EQ(bike_front_sprocket_teeth(s, 1.5f), 14.0f);
    EXPECT_EQ(bike_rear_sprocket_teeth(s, -0.5f), 49.0f);
    EXPECT_EQ(bike_rear_sprocket_teeth(s, 9.0f), 52.0f);
    EXPECT_EQ(bike_front_sprocket_teeth(s, -9.0f), 11.0f);
}

}  // namespace

// --- dwtool bikes -------------------------------------------------------------------------------

namespace {

TEST(DwtoolBikes, ListsTheCatalogueInOrder) {
    char arg0[] = "bikes";
    char* argv[] = {arg0, nullptr};
    ::testing::internal::CaptureStdout();
    int rc = cmd_bikes(1, argv);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    size_t pos = 0;
    for (int i = 0; i < bike_catalogue_size; i++) {
        size_t end = out.find('\n', pos);
        ASSERT_NE(end, std::string::npos) << i;
        std::string line = out.substr(pos, end - pos);
        pos = end + 1;
        char name[64], engine_class[16];
        int gears = 0, rpm = 0;
        float peak = 0;
        ASSERT_EQ(sscanf(line.c_str(), "%63s %15s %d %f %d", name, engine_class, &gears, &peak, &rpm), 5) << line;
        EXPECT_STREQ(name, k_expected[i].name);
        EXPECT_STREQ(engine_class, k_expected[i].engine_class);
        EXPECT_EQ(gears, k_expected[i].gears) << line;
        EXPECT_EQ(peak, k_expected[i].peak) << line;
        EXPECT_EQ(rpm, k_expected[i].peak_rpm) << line;
    }
    EXPECT_EQ(pos, out.size());
}

TEST(DwtoolBikes, WrongUsage) {
    char arg0[] = "bikes", arg1[] = "extra";
    char* argv[] = {arg0, arg1, nullptr};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int rc = cmd_bikes(2, argv);
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "usage: dwtool bikes\n");
}

}  // namespace
