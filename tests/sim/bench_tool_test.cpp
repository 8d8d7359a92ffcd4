// dwtool bench sim with a few riders for a few ticks: the figures it prints
// (no timing is judged), its CSV line, its refusals, and the starting grid
// it lines the riders up on.
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "dwtool/commands.h"
#include "race/gates.h"
#include "ride_fixture.h"

namespace ride_test {
namespace {

int bench(std::vector<std::string> args, std::string* out, std::string* err) {
    args.insert(args.begin(), "bench");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = cmd_bench((int)argv.size(), argv.data());
    *out = testing::internal::GetCapturedStdout();
    *err = testing::internal::GetCapturedStderr();
    return code;
}

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> parts;
    std::stringstream s(line);
    std::string part;
    while (std::getline(s, part, by)) parts.push_back(part);
    return parts;
}

// A field's value as a number; NaN when it is not one.
double number(const std::string& text) {
    char* end;
    double v = strtod(text.c_str(), &end);
    return end != text.c_str() && *end == 0 ? v : NAN;
}

TEST_F(RideTest, BenchPrintsEveryFigure) {
    std::string out, err;
    ASSERT_EQ(bench({"sim", "--track", "testflat", "--riders", "3", "--ticks", "24", "--erode", "10"}, &out, &err), 0)
        << err;
    for (const char* field : {"3 riders on kx250f(2017), 24 ticks, erosion 10", "tick:", "mean", "99th percentile",
                              "world step:", "% of the tick", "tick / world step:", "per rider-tick:",
                              "real-time factor:", "peak resident:", "KiB", "ground contacts", "rider pairs",
                              "deformation", "bike steps", "allocations:", "state digest:"})
        EXPECT_NE(out.find(field), std::string::npos) << "missing '" << field << "' in\n" << out;
}

TEST_F(RideTest, BenchCsvLineMatchesItsHeaderAndRepeats) {
    std::string out, err;
    std::vector<std::string> args = {"sim", "--track", "testflat", "--riders", "2", "--ticks", "16", "--csv-header"};
    ASSERT_EQ(bench(args, &out, &err), 0) << err;
    std::vector<std::string> lines = split(out, '\n');
    ASSERT_EQ(lines.size(), 2u) << out;
    std::vector<std::string> names = split(lines[0], ','), values = split(lines[1], ',');
    ASSERT_EQ(names.size(), values.size());
    auto value = [&](const char* name) -> std::string {
        for (size_t i = 0; i < names.size(); i++)
            if (names[i] == name) return values[i];
        ADD_FAILURE() << "no column " << name;
        return "";
    };
    EXPECT_EQ(value("track"), "testflat");
    EXPECT_EQ(value("riders"), "2");
    EXPECT_EQ(value("ticks"), "16");
    for (const char* name : {"tick_mean_us", "tick_p99_us", "step_mean_us", "tick_over_step", "rider_tick_us",
                             "realtime_factor", "peak_rss_kib"})
        EXPECT_GT(number(value(name)), 0) << name;
    // The tick holds the world step.
    EXPECT_GE(number(value("tick_over_step")), 1);
    // The ratio of the two means (printed to 0.1 us, hence the tolerance).
    double ratio = number(value("tick_mean_us")) / number(value("step_mean_us"));
    EXPECT_NEAR(ratio, number(value("tick_over_step")), 0.03 * ratio);
    EXPECT_EQ(value("state_digest").size(), 16u);

    // --csv alone: the same line without the header, and the same ride ends
    // in the same state.
    args.back() = "--csv";
    std::string again;
    ASSERT_EQ(bench(args, &again, &err), 0) << err;
    std::vector<std::string> second = split(again, '\n');
    ASSERT_EQ(second.size(), 1u) << again;
    EXPECT_EQ(split(second[0], ',').back(), values.back()) << "the same ride ended elsewhere";
}

TEST_F(RideTest, BenchRefusesBadArguments) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {},
             {"run"},
             {"sim", "--riders", "0"},
             {"sim", "--riders", "161"},
             {"sim", "--ticks", "0"},
             {"sim", "--erode", "101"},
             {"sim", "--track"},
             {"sim", "--fast"},
         }) {
        std::string out, err;
        EXPECT_EQ(bench(args, &out, &err), 2) << (args.empty() ? "" : args.back());
        EXPECT_NE(err.find("usage: dwtool bench"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
    std::string out, err;
    EXPECT_EQ(bench({"sim", "--track", "testflat", "--bike", "no such bike", "--ticks", "1"}, &out, &err), 1);
    EXPECT_NE(err.find("no bike named"), std::string::npos) << err;
}

// Past the starting gate's spots the riders line up in rows behind them, a
// row's spacing apart along the spot's heading.
TEST_F(RideTest, RidersBeyondTheGateLineUpInRowsBehindIt) {
    config_defaults();
    ride_options o;
    ride_options_defaults(&o);
    o.riders = 30;
    o.row_spacing = 8;
    char error[512];
    ASSERT_TRUE(ride_begin_with_setup("rabbithill", test_bike, &o, error, sizeof error)) << error;
    int spots = g_gates.spot_count;
    ASSERT_GT(spots, 0);
    ASSERT_LT(spots, 30);
    for (int n = spots; n < 30; n++) {
        const gate_spot& s = g_gates.spots[n % spots];
        double x = position(bike(n))[0] - position(bike(n - spots))[0];
        double z = position(bike(n))[2] - position(bike(n - spots))[2];
        // (sin h, cos h) points back from the gate.
        EXPECT_NEAR(x, 8 * std::sin(s.heading), 0.05) << n;
        EXPECT_NEAR(z, 8 * std::cos(s.heading), 0.05) << n;
    }
}

}  // namespace
}  // namespace ride_test
