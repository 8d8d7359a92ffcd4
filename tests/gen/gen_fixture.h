// The generated data set for the tests: the one the build writes beside the
// game (DW_DATA_DIR, target "gamedata"). GameData points the game's data
// folders at it, with an empty home folder so that nothing the player keeps
// can hide it; the tests write their own files into a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "files/data.h"

// A temporary folder of this test process.
inline std::string gen_temp_root() { return std::string(testing::TempDir()) + "dwgen_" + std::to_string(getpid()); }

// Runs dwgen into folder; its exit code (-1 when it could not run).
inline int run_dwgen(const std::string& folder) {
    std::string command = "'" DW_DWGEN "' '" + folder + "' > /dev/null";
    int status = system(command.c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct GameData : ::testing::Test {
    std::string data = DW_DATA_DIR;
    std::string temp = gen_temp_root();
    void SetUp() override {
        data_make_folders((temp + "/home/").c_str());
        setenv("XDG_DATA_HOME", (temp + "/home").c_str(), 1);
        setenv("DW_HOME", data.c_str(), 1);
        data_reset_for_tests();
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("DW_HOME");
        data_reset_for_tests();
        std::string wipe = "rm -rf '" + temp + "'";
        (void)system(wipe.c_str());
    }
};
