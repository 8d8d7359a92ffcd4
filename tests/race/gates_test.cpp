// The "timing_gates" file: spots, checkpoints, lap lists, acceptance, the
// course position of a sequence index, and the written form.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "files/data_fixture.h"
#include "race/gates.h"

namespace {

struct Gates : DataFolders {
    timing_gates g;
    bool read_text(const std::string& text) {
        write(install + "t/timing_gates", text);
        return gates_read(&g, "@t/timing_gates");
    }
};

const char gate_file[] =
    "startinggate:\n"
    "[ 10 1 20 ] 0\n"
    "  [11 1.5 20] 4.0 @gate.jm @gate.png null\n"
    "[ 12 1 20 ] -0.5\n"
    "checkpoints:\n"
    "30 [ 0 0 0 ] [ 1 0 0 ]\n"
    "25.5 [100 2 0] [0 0 -1]\n"
    "20 [ 100 0 100 ] [ -1 0 0 ]\n"
    "firstlap:\n"
    "1 100002 0\n"
    "normallap:\n"
    "1 2 0 -7 900\n";

TEST_F(Gates, ReadsSpotsCheckpointsAndLists) {
    ASSERT_TRUE(read_text(gate_file));
    ASSERT_EQ(g.spot_count, 3);
    EXPECT_FLOAT_EQ(g.spots[0].position[0], 10);
    EXPECT_STREQ(g.spots[0].model, "@startgate.jm");
    EXPECT_STREQ(g.spots[0].shape, "@startgate.shp");
    EXPECT_NEAR(g.spots[1].heading, 4.0 - 2 * M_PI, 1e-6);
    EXPECT_STREQ(g.spots[1].model, "@gate.jm");
    EXPECT_STREQ(g.spots[1].texture, "@gate.png");
    EXPECT_EQ(g.spots[1].shape, nullptr);  // "null": no shape
    EXPECT_FLOAT_EQ(g.spots[2].heading, -0.5f);

    ASSERT_EQ(g.checkpoint_count, 3);
    EXPECT_FLOAT_EQ(g.checkpoints[1].radius, 25.5f);
    EXPECT_FLOAT_EQ(g.checkpoints[1].point[0], 100);
    EXPECT_FLOAT_EQ(g.checkpoints[1].direction[2], -1);

    ASSERT_TRUE(g.timed);
    ASSERT_EQ(g.first_count, 3);
    EXPECT_EQ(g.first_lap[1], 100002);
    ASSERT_EQ(g.normal_count, 5);
    EXPECT_EQ(g.normal_lap[3], 0);  // negative becomes 0
    EXPECT_EQ(g.normal_lap[4], 2);  // clamped to the last checkpoint
    EXPECT_EQ(g.first_segments, 2);
    EXPECT_EQ(g.normal_segments, 5);
}

TEST_F(Gates, CoursePositionsAndLapLines) {
    ASSERT_TRUE(read_text(gate_file));
    // F = 3, N = 5: indices 2, 7, 12 end laps.
    int expected[] = {1, 2, 0, 1, 2, 0, 0, 2, 1, 2};
    for (int p = 0; p < 10; p++) EXPECT_EQ(gates_course_checkpoint(&g, p), expected[p]) << p;
    for (int p = 0; p < 14; p++) EXPECT_EQ(gates_is_lap_line(&g, p), p == 2 || p == 7 || p == 12) << p;
    EXPECT_EQ(gates_course_entry(&g, 1), 100002);
}

TEST_F(Gates, UnacceptableTimingIsDroppedButSpotsStay) {
    const char* bad[] = {
        // The normal lap holds only entries that end no segment.
        "startinggate:\n[0 0 0] 0\ncheckpoints:\n10 [0 0 0] [1 0 0]\nfirstlap:\n0\nnormallap:\n100000 100000\n",
        // No normal lap at all.
        "startinggate:\n[0 0 0] 0\ncheckpoints:\n10 [0 0 0] [1 0 0]\nfirstlap:\n0\n",
        // No checkpoints.
        "startinggate:\n[0 0 0] 0\nfirstlap:\n0\nnormallap:\n0\n",
    };
    for (const char* text : bad) {
        ASSERT_TRUE(read_text(text));
        EXPECT_EQ(g.spot_count, 1) << text;
        EXPECT_FALSE(g.timed) << text;
        EXPECT_EQ(g.checkpoint_count, 0) << text;
        EXPECT_EQ(gates_course_checkpoint(&g, 0), -1);
    }
}

TEST_F(Gates, MalformedLinesEndTheirLists) {
    ASSERT_TRUE(read_text("startinggate:\n[1 2 3] 0\n[1 2] 0\n[4 5 6] 0\ncheckpoints:\n10 [0 0 0] [1 0 0]\n"));
    EXPECT_EQ(g.spot_count, 1);  // the short line ends the spots, and the rest is not read as timing
    EXPECT_FALSE(g.timed);
    ASSERT_TRUE(read_text("checkpoints:\n10 [0 0 0] [1 0 0]\n10 [0 nan 0] [1 0 0]\n10 [5 0 0] [1 0 0]\n"
                          "firstlap:\n0\nnormallap:\n0\n"));
    EXPECT_EQ(g.checkpoint_count, 0);  // the lists were never reached: no timing
    EXPECT_FALSE(read_text("") && g.spot_count != 0);
    EXPECT_FALSE(gates_read(&g, "@t/missing"));
    EXPECT_EQ(g.spot_count, 0);
}

TEST_F(Gates, WrittenFileReadsBackTheSame) {
    ASSERT_TRUE(read_text(gate_file));
    timing_gates first = g;
    ASSERT_TRUE(gates_write(&first, (install + "t/timing_gates").c_str()));
    std::string text = read(install + "t/timing_gates");
    EXPECT_NE(text.find("startinggate:\n[10.000000 1.000000 20.000000] 0.000000\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" @gate.jm @gate.png null\n"), std::string::npos) << text;
    EXPECT_NE(text.find("firstlap:\n1 100002 0 \n"), std::string::npos) << text;
    ASSERT_TRUE(gates_read(&g, "@t/timing_gates"));
    EXPECT_EQ(g.spot_count, first.spot_count);
    EXPECT_EQ(g.checkpoint_count, first.checkpoint_count);
    EXPECT_EQ(g.normal_count, first.normal_count);
    for (int i = 0; i < g.normal_count; i++) EXPECT_EQ(g.normal_lap[i], first.normal_lap[i]);
    EXPECT_EQ(g.spots[1].shape, nullptr);
    EXPECT_NEAR(g.spots[1].heading, first.spots[1].heading, 1e-6);
}

TEST(GateHeadings, WrapIntoMinusPiToPi) {
    EXPECT_NEAR(gates_wrap_heading(4.0f), 4.0 - 2 * M_PI, 1e-6);
    EXPECT_NEAR(gates_wrap_heading(-4.0f), -4.0 + 2 * M_PI, 1e-6);
    EXPECT_FLOAT_EQ(gates_wrap_heading(1.0f), 1.0f);
    EXPECT_NEAR(gates_wrap_heading(13.0f), 13.0 - 4 * M_PI, 1e-5);
}

}  // namespace
