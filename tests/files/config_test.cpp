// The configuration file: values, clamps, bindings, round trip and a file
// that cannot be trusted.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "files/config.h"
#include "files/data.h"

namespace {

struct ConfigTest : ::testing::Test {
    std::string home;
    void SetUp() override {
        home = std::string(testing::TempDir()) + "dwconfig_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        data_reset_for_tests();
        config_defaults();
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        data_reset_for_tests();
    }
    std::string config_path() { return home + "/Dirtwake/config"; }
    void write_config(const std::string& text) {
        data_make_folders(config_path().c_str());
        std::ofstream(config_path(), std::ios::binary) << text;
    }
    std::string read_config() {
        std::ifstream in(config_path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(ConfigTest, ValuesClampAndBadValuesLeaveDefaults) {
    config_read_text("laps=80\nminutes=abc\nrecord=yes\nskill=Expert\nxres=1024\nyres=wide\n"
                     "fov=1e9\nmap_scale=0.01\nmessage_lines=5000\nno_equals_sign\nunknown_key=3\n"
                     "ghost_fade_distance=nan\nstability=-4\n");
    EXPECT_EQ(g_config.laps.value, 50);
    EXPECT_EQ(g_config.minutes.value, 0);
    EXPECT_EQ(g_config.record.index, 0);  // only the exact text "Yes"
    EXPECT_STREQ(choice_text(&g_config.skill), "Expert");
    EXPECT_EQ(g_config.xres, 1024);
    EXPECT_EQ(g_config.yres, 480);
    EXPECT_EQ(g_config.fov.value, 170);
    EXPECT_EQ(g_config.map_scale, 0.125);
    EXPECT_EQ(g_config.message_lines, 1000);
    EXPECT_EQ(g_config.ghost_fade_distance.value, 10);
    EXPECT_EQ(g_setup.stability.value, 0);
    config_read_text("record=Yes\nlaps=x\n");
    EXPECT_EQ(g_config.record.index, 1);
    EXPECT_EQ(g_config.laps.value, 50);
}

TEST_F(ConfigTest, BindingForms) {
    config_read_text("throttle_key=(-0.5,0.75)Joystick1.axis[2]\nfront_brake_key=(k)space\nrear_brake_key=  q\n"
                     "clutch_key=(0.5,0.5)Joystick1.axis[1]\n");
    const control_binding& t = g_config.bindings[bind_throttle];
    ASSERT_NE(t.axis_name, nullptr);
    EXPECT_STREQ(t.axis_name, "Joystick1.axis[2]");
    EXPECT_DOUBLE_EQ(t.low, -0.5);
    EXPECT_DOUBLE_EQ(t.high, 0.75);
    EXPECT_STREQ(g_config.bindings[bind_front_brake].key_name, "space");
    EXPECT_EQ(g_config.bindings[bind_front_brake].axis_name, nullptr);
    EXPECT_STREQ(g_config.bindings[bind_rear_brake].key_name, "q");
    // Equal ends would divide by zero: the axis keeps 0..1.
    EXPECT_EQ(g_config.bindings[bind_clutch].low, 0);
    EXPECT_EQ(g_config.bindings[bind_clutch].high, 1);
}

TEST_F(ConfigTest, DefaultsOfTheLineup) {
    config_read_text("slot00=Robot\nslot05=Nonsense\n");
    EXPECT_STREQ(choice_text(&g_config.slots[19]), "Human");
    for (int n : {17, 18, 20, 21, 22}) EXPECT_STREQ(choice_text(&g_config.slots[n]), "Robot") << n;
    EXPECT_STREQ(choice_text(&g_config.slots[0]), "Robot");
    EXPECT_STREQ(choice_text(&g_config.slots[5]), "Empty");
}

TEST_F(ConfigTest, RoundTripKeepsEveryValue) {
    config_read_text("laps=7\nskill=Amateur\ntrack=testflat\nslot03=Robot (4 stroke)\nserver_name_hist02=x.org\n"
                     "fork_preload_adjustment=12\narcade=No\nbike=cr125(2017)\nuse_fbo=No\nmap_scale=2.5\n"
                     "lean_forward_key=(0.25,1)cursor.axis[0]\nname=Ann\n");
    ASSERT_TRUE(config_write());
    std::string written = read_config();
    config_defaults();
    config_read();
    EXPECT_EQ(g_config.laps.value, 7);
    EXPECT_STREQ(choice_text(&g_config.skill), "Amateur");
    EXPECT_STREQ(g_config.track, "testflat");
    EXPECT_STREQ(choice_text(&g_config.slots[3]), "Robot (4 stroke)");
    EXPECT_STREQ(g_config.server_name_hist[2].text, "x.org");
    EXPECT_EQ(g_setup.fork_preload_adjustment.value, 12);
    EXPECT_STREQ(choice_text(&g_setup.arcade), "No");
    EXPECT_STREQ(g_setup.bike.text, "cr125(2017)");
    EXPECT_STREQ(g_setup.name.text, "Ann");
    EXPECT_STREQ(choice_text(&g_config.use_fbo), "No");
    EXPECT_EQ(g_config.map_scale, 2.5);
    EXPECT_STREQ(g_config.bindings[bind_lean_forward].axis_name, "cursor.axis[0]");
    EXPECT_EQ(g_config.bindings[bind_lean_forward].low, 0.25);
    // Written again, the file is the same byte for byte.
    ASSERT_TRUE(config_write());
    EXPECT_EQ(read_config(), written);
    // Order: the setup keys sit between time_trial_abort and video_mode.
    EXPECT_LT(written.find("time_trial_abort="), written.find("bike="));
    EXPECT_LT(written.find("rider_mass_distribution="), written.find("video_mode="));
    EXPECT_NE(written.find("throttle_key=(k)x\n"), std::string::npos);
    EXPECT_NE(written.find("lean_forward_key=(0.250000,1.000000)cursor.axis[0]\n"), std::string::npos);
}

TEST_F(ConfigTest, CarriageReturnsReadLikeLineFeeds) {
    write_config("laps=9\r\nskill=Expert\r\n");
    config_read();
    EXPECT_EQ(g_config.laps.value, 9);
    EXPECT_STREQ(choice_text(&g_config.skill), "Expert");
}

TEST_F(ConfigTest, UnreadableFileIsKeptNotOverwritten) {
    std::string garbage("laps=9\n\0\0\x01" "binary", 17);
    write_config(garbage);
    config_read();
    EXPECT_TRUE(config_write_blocked());
    EXPECT_FALSE(config_write());
    EXPECT_EQ(read_config(), garbage);
    // A numbered copy is kept beside it.
    std::ifstream backup(config_path() + ".~1~", std::ios::binary);
    std::stringstream copy;
    copy << backup.rdbuf();
    EXPECT_EQ(copy.str(), garbage);
}

TEST_F(ConfigTest, SetupFileRoundTrip) {
    std::string path = home + "/setups/mine.txt";
    g_setup.brake_torque.value = 320;
    choice_set(&g_setup.stop_wheelies, "Front Only");
    ASSERT_TRUE(setup_write_file(path.c_str()));
    g_setup = g_setup_defaults;
    ASSERT_TRUE(setup_read_file(path.c_str()));
    EXPECT_EQ(g_setup.brake_torque.value, 320);
    EXPECT_STREQ(choice_text(&g_setup.stop_wheelies), "Front Only");
    EXPECT_FALSE(setup_read_file((home + "/missing").c_str()));
}

}  // namespace
