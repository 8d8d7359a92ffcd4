// Control scripts and dwtool ride: parsing and its messages, the tool's
// arguments and exit codes, the trace, and rides that repeat byte for byte
// in one process and in another.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "dwtool/commands.h"
#include "ride_fixture.h"

namespace ride_test {
namespace {

std::string scripts_dir() { return std::string(DW_SOURCE_DIR) + "/tools/scripts/"; }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

TEST(RideScript, ParsesDurationsCommentsAndMissingValues) {
    const char* text =
        "# warm up\n"
        "\n"
        "128 0 1\t# a second at full throttle\n"
        "0.5s -0.25 0.5 0 0 1 0 0 0 -1\n"
        "   2s\r\n"
        "1";
    ride_script s;
    char error[256];
    ASSERT_TRUE(ride_script_parse(text, "t", &s, error, sizeof error)) << error;
    ASSERT_EQ(s.count, 4);
    EXPECT_EQ(s.ticks, 128 + 64 + 256 + 1);
    EXPECT_EQ(s.segments[1].ticks, 64);
    EXPECT_EQ(s.segments[1].controls[control_steer], -0.25f);
    EXPECT_EQ(s.segments[1].controls[control_shift], 1);
    EXPECT_EQ(s.segments[1].controls[control_lean], -1);
    EXPECT_EQ(s.segments[2].controls[control_throttle], 0) << "values left out are 0";

    // Walking through it tick by tick, and jumping back.
    ride_cursor cursor = {0, 0};
    float c[control_values];
    struct at {
        int tick;
        float throttle, steer;
    } walk[] = {{0, 1, 0}, {127, 1, 0}, {128, 0.5f, -0.25f}, {191, 0.5f, -0.25f}, {192, 0, 0}, {10, 1, 0}, {449, 0, 0}};
    for (const at& w : walk) {
        ride_script_controls(&s, w.tick, &cursor, c);
        EXPECT_EQ(c[control_throttle], w.throttle) << w.tick;
        EXPECT_EQ(c[control_steer], w.steer) << w.tick;
    }
    ride_script_controls(&s, 5000, &cursor, c);
    for (float v : c) EXPECT_EQ(v, 0) << "after the end";
    ride_script_free(&s);
}

TEST(RideScript, MalformedLinesNameTheLineAndTheFault) {
    struct bad {
        const char* text;
        const char* message;
    } cases[] = {
        {"10 0 1\nfast 0 1\n", "s:2: 'fast' is not a duration"},
        {"0 0 1\n", "s:1: '0' is not a duration"},
        {"1.5 0 1\n", "s:1: '1.5' is not a duration"},
        {"-3s\n", "s:1: '-3s' is not a duration"},
        {"10 0 1.5\n", "s:1: throttle value 1.5 is outside 0..1"},
        {"\n\n10 -2\n", "s:3: steer value -2 is outside -1..1"},
        {"10 0 0 0 0 0 0 0 0 2\n", "s:1: lean value 2 is outside -1..1"},
        {"10 0 x\n", "s:1: throttle value 'x' is not a number"},
        {"10 0 nan\n", "s:1: throttle value 'nan' is not a number"},
        {"10 0 0 0 0 0 0 0 0 0 0\n", "s:1: more than 9 control values"},
        {"400000 0\n100000 0\n", "s:2: the script runs longer than an hour"},
        {"10 0 1e999\n", "s:1: throttle value '1e999' is not a number"},
    };
    for (const bad& c : cases) {
        ride_script s;
        char error[256] = "";
        EXPECT_FALSE(ride_script_parse(c.text, "s", &s, error, sizeof error)) << c.text;
        EXPECT_EQ(std::string(error).rfind(c.message, 0), 0u) << "got: " << error;
        EXPECT_EQ(s.count, 0);
        EXPECT_EQ(s.segments, nullptr);
    }
    std::string longline(2000, ' ');
    ride_script s;
    char error[256];
    EXPECT_FALSE(ride_script_parse(("1\n" + longline + "\n").c_str(), "s", &s, error, sizeof error));
    EXPECT_STREQ(error, "s:2: the line is longer than 1024 characters");
}

TEST(RideScript, ProjectScriptsParse) {
    for (const char* name : {"full_throttle_launch.txt", "hard_stop.txt", "slalom.txt", "standstill.txt",
                             "table_top.txt"}) {
        ride_script s;
        char error[256];
        EXPECT_TRUE(ride_script_read((scripts_dir() + name).c_str(), &s, error, sizeof error)) << error;
        EXPECT_GT(s.ticks, 0) << name;
        ride_script_free(&s);
    }
}

int run(std::vector<std::string> args, std::string* out, std::string* err) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = cmd_ride((int)argv.size(), argv.data());
    *out = testing::internal::GetCapturedStdout();
    *err = testing::internal::GetCapturedStderr();
    return code;
}

TEST_F(RideTest, ToolRefusesBadArgumentsAndScripts) {
    std::string good = scripts_dir() + "standstill.txt";
    std::string broken = home + "/broken.txt";
    write_file(broken, "# a script\n10 0 1\n10 0 2\n");
    std::string empty = home + "/empty.txt";
    write_file(empty, "# nothing\n");
    struct call {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"ride", "testflat", test_bike}, 2, "usage: dwtool ride"},
        {{"ride", "testflat", test_bike, good, "--riders", "0"}, 2, "bad argument '--riders'"},
        {{"ride", "testflat", test_bike, good, "--riders", "17"}, 2, "bad argument '--riders'"},
        {{"ride", "testflat", test_bike, good, "--every"}, 2, "bad argument '--every'"},
        {{"ride", "testflat", test_bike, good, "--at", "1", "2"}, 2, "bad argument '--at'"},
        {{"ride", "testflat", test_bike, good, "--at", "1", "2", "east"}, 2, "bad argument '--at'"},
        {{"ride", "testflat", test_bike, good, "--ticks", "-5"}, 2, "bad argument '--ticks'"},
        {{"ride", "testflat", test_bike, good, "--fast"}, 2, "bad argument '--fast'"},
        {{"ride", "testflat", test_bike, broken}, 2, "broken.txt:3: throttle value 2 is outside 0..1"},
        {{"ride", "testflat", test_bike, home + "/missing.txt"}, 2, "cannot read the script"},
        {{"ride", "testflat", test_bike, empty}, 2, "holds no control lines"},
        {{"ride", "testflat", "pushbike", good}, 1, "no bike named 'pushbike'"},
        {{"ride", "nowhere", test_bike, good}, 1, "cannot load the terrain of '@nowhere'"},
        {{"ride", "testflat", test_bike, good, "--setup", home + "/none.setup"}, 1, "cannot read the bike setup"},
    };
    for (call& c : cases) {
        std::string out, err;
        EXPECT_EQ(run(c.args, &out, &err), c.code) << c.args.back();
        EXPECT_NE(err.find(c.says), std::string::npos) << "got: " << err;
        if (c.code == 2) {
            EXPECT_EQ(out, "");
        }
    }
}

TEST_F(RideTest, ToolTracesEveryRiderFromTheStart) {
    std::string out, err;
    ASSERT_EQ(run({"ride", "testflat", test_bike, scripts_dir() + "full_throttle_launch.txt", "--riders", "2",
                   "--every", "128", "--ticks", "300", "--at", "100", "150", "90"},
                  &out, &err),
              0)
        << err;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "tick,rider,x,y,z,heading_deg,speed_mph,rpm,gear,pitch_deg,roll_deg,crashed");
    std::vector<std::string> rows;
    while (std::getline(lines, line)) rows.push_back(line);
    // Ticks 0, 128, 256 and the last, 300, for both riders.
    ASSERT_EQ(rows.size(), 8u);
    // The trace follows the frame, 3.6 ft behind the bike's origin.
    EXPECT_EQ(rows[0].rfind("0,0,103.600,", 0), 0u) << rows[0];
    EXPECT_EQ(rows[6].rfind("300,0,", 0), 0u);
    EXPECT_EQ(rows[7].rfind("300,1,", 0), 0u);
    // Facing -x (90 degrees): the first rider rode off towards -x, the
    // second started 4 ft to his right (-z).
    double x, y, z, h, speed, rpm, pitch, roll;
    int tick, rider, gear, crashed;
    ASSERT_EQ(sscanf(rows[6].c_str(), "%d,%d,%lf,%lf,%lf,%lf,%lf,%lf,%d,%lf,%lf,%d", &tick, &rider, &x, &y, &z, &h,
                     &speed, &rpm, &gear, &pitch, &roll, &crashed),
              12);
    EXPECT_LT(x, 80);
    EXPECT_NEAR(z, 150, 1);
    EXPECT_NEAR(h, 90, 2);
    EXPECT_GT(speed, 20);
    EXPECT_GT(rpm, 5000);
    EXPECT_EQ(crashed, 0);
    EXPECT_EQ(rows[1].rfind("0,1,103.600,", 0), 0u);
    EXPECT_NE(rows[1].find(",146.000,"), std::string::npos) << rows[1];
}

// The same ride twice in this process, and once more in a fresh process
// (this test program run again for this test alone, which writes its trace
// where the variable says): the traces agree byte for byte.
std::string slalom_trace() {
    ride_script s;
    char error[256];
    EXPECT_TRUE(ride_script_read((scripts_dir() + "slalom.txt").c_str(), &s, error, sizeof error)) << error;
    ride_options o;
    ride_options_defaults(&o);
    o.riders = 2;
    o.every = 4;
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    int code = ride_run("testflat", test_bike, &s, &o, out, stderr);
    fclose(out);
    EXPECT_EQ(code, 0);
    std::string trace(text, size);
    free(text);
    ride_script_free(&s);
    return trace;
}

TEST_F(RideTest, SameRideGivesTheSameTraceInThisProcessAndAnother) {
    std::string first = slalom_trace();
    std::string second = slalom_trace();
    EXPECT_GT(first.size(), 10000u);
    EXPECT_TRUE(first == second) << "two rides in one process differ";
    if (const char* path = getenv("DW_RIDE_TRACE_OUT")) {
        write_file(path, first);
        return;
    }
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string path = home + "/trace_from_another_process.csv";
    std::string command = "DW_RIDE_TRACE_OUT='" + path + "' '" + self +
                          "' --gtest_filter=RideTest.SameRideGivesTheSameTraceInThisProcessAndAnother > /dev/null 2>&1";
    ASSERT_EQ(system(command.c_str()), 0);
    EXPECT_TRUE(read_file(path) == first) << "a ride in another process differs";
}

}  // namespace
}  // namespace ride_test
