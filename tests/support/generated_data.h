// The game data the build generates (DW_DATA_DIR) as the tests' data
// folder, with an empty home folder of the test process in front of it so
// nothing a player keeps can hide it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/data.h"

// Points the data folders there; fails when the generated tracks are missing.
// The home folder's path goes to *home.
inline ::testing::AssertionResult use_generated_data(const char* tag, std::string* home) {
    std::string data = DW_DATA_DIR;
    struct stat st;
    if (stat((data + "/testflat/terrain.hf").c_str(), &st) != 0)
        return ::testing::AssertionFailure() << "the generated tracks are missing from " << data
                                             << ": build the gamedata target";
    *home = std::string(testing::TempDir()) + tag + "_" + std::to_string(getpid());
    data_make_folders((*home + "/").c_str());
    setenv("DW_HOME", data.c_str(), 1);
    setenv("XDG_DATA_HOME", home->c_str(), 1);
    data_reset_for_tests();
    return ::testing::AssertionSuccess();
}

// Forgets the data folders again.
inline void release_generated_data() {
    unsetenv("DW_HOME");
    unsetenv("XDG_DATA_HOME");
    data_reset_for_tests();
}
