// A track folder in a temporary directory, and the bytes of its files, for
// the terrain and tile tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "files/data.h"

struct TrackFolder : ::testing::Test {
    std::string home;    // the data home folder of the test (the log goes there)
    std::string folder;  // the track folder, without a trailing "/"

    void SetUp() override {
        home = std::string(testing::TempDir()) + "dwtrack_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = home + "/track";
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        data_reset_for_tests();
        data_make_folders((folder + "/x").c_str());
        message_clear();
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        data_reset_for_tests();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }

    std::string path(const std::string& file) const { return folder + "/" + file; }
    void put(const std::string& file, const std::string& bytes) const {
        std::ofstream(path(file), std::ios::binary) << bytes;
    }
    void remove_file(const std::string& file) const { ::remove(path(file).c_str()); }

    // The newest line of the message display ("" when none).
    static std::string last_message(int back = 0) {
        const message_list& m = g_messages;
        return m.lines[(m.next + message_ring_lines - 1 - back) % message_ring_lines];
    }
    // Whether any line of the message display holds the text.
    static bool shown(const std::string& text) {
        for (const auto& line : g_messages.lines)
            if (text == line) return true;
        return false;
    }
};

// "terrain.hf" with the samples inline (row by row, low byte first).
inline std::string hf_inline(int n, float spacing, float lo, float hi, const std::vector<uint16_t>& samples) {
    char header[128];
    snprintf(header, sizeof header, "%d %g %g %g\n:", n, (double)spacing, (double)lo, (double)hi);
    std::string s = header;
    for (uint16_t v : samples) {
        s.push_back((char)(v & 255));
        s.push_back((char)(v >> 8));
    }
    return s;
}

// A binary PPM ("P6") or PGM ("P5") of size x size pixels, every sample v.
inline std::string netpbm(bool colour, int width, int height, int v) {
    std::string s = std::string(colour ? "P6" : "P5") + "\n" + std::to_string(width) + " " + std::to_string(height) +
                    "\n255\n";
    s.append((size_t)width * height * (colour ? 3 : 1), (char)v);
    return s;
}

// The files of a complete track with a (2^(n+1)+1)-sample field besides
// "terrain.hf": half-intensity shading, one tile, a tile map of zeros.
inline void put_track_basics(const TrackFolder& t, int n) {
    int size = (1 << (n + 1)) + 1;
    t.put("shadingx2.ppm", netpbm(true, size, size, 64));
    t.put("tileinfo", "addtile\n");
    t.put("tilemap", std::string((size_t)1 << (2 * n), '\0'));
}
