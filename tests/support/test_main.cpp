// Test entry: the tests run with the scripted platform clock unless a test
// installs another, and never open a real log unless they ask for one.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
