// Input devices on the scripted backend: the roll call, device names and
// ids, device buttons by name, axes, button events and aliases.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "base/options.h"
#include "platform/input.h"
#include "platform/logged.h"
#include "platform/window.h"

namespace {

struct Devices : ::testing::Test {
    void SetUp() override {
        platform_use(&platform_scripted);
        scripted_reset(50.0);
        scripted_clear_devices();
        event_clear();
    }
    void TearDown() override {
        devices_close();
        scripted_clear_devices();
        event_clear();
    }
    static int32_t code_of(const char* name) {
        int32_t code = -1;
        return key_code(name, &code) ? code : -1;
    }
};

TEST_F(Devices, NamesAreMadeUniqueAndIdsDiffer) {
    scripted_add_device("Gamepad", 2, 8, false);
    scripted_add_device("Gamepad", 2, 8, false);
    scripted_add_device(" Joy Stick 1.0 ", 1, 2, false);
    // Equal sums of the characters at even and at odd positions: one id.
    scripted_add_device("AxBy", 0, 1, false);
    scripted_add_device("ByAx", 0, 1, false);
    scripted_add_device("...", 0, 1, false);
    scripted_add_device("cursor", 0, 1, false);  // the pointer's name is taken
    devices_roll_call();

    const char* names[] = {"Gamepad", "Gamepad#2", "JoyStick10", "AxBy", "ByAx", "Device", "cursor#2"};
    int32_t ids[7];
    for (int i = 0; i < 7; i++) {
        std::string button = std::string(names[i]) + " button 0";
        int32_t code = code_of(button.c_str());
        ASSERT_GE(code, 0) << names[i];
        ids[i] = code;
        EXPECT_EQ(code % key_device_unit, 0) << names[i];
        EXPECT_GT(code, 0) << names[i];
        EXPECT_STREQ(key_name(code), button.c_str());
        for (int j = 0; j < i; j++) EXPECT_NE(ids[i], ids[j]) << names[i] << " and " << names[j];
    }
    EXPECT_STREQ(key_name(ids[0] + 5), "Gamepad button 5");
    EXPECT_STREQ(key_name(ids[1] + 5), "Gamepad#2 button 5");
    int32_t unused = key_device_unit;
    for (int i = 0; i < 7; i++)
        if (ids[i] == unused) unused += key_device_unit, i = -1;
    EXPECT_EQ(key_name(unused + 5), nullptr);  // nobody has that id
}

TEST_F(Devices, ButtonNamesResolveByBothPatternsWithinRange) {
    scripted_add_device("Joystick1", 2, 300, false);
    scripted_add_device("Pad", 2, 4, false);
    devices_roll_call();
    int32_t base = code_of("Joystick1.key[0]");
    ASSERT_GE(base, 0);
    struct name_case {
        const char* name;
        int32_t offset;  // -1: no code
    } cases[] = {
        {"Joystick1.key[3]", 3},     {"Joystick1 button 3", 3}, {"Joystick1.key[255]", 255},
        {"Joystick1.key[256]", -1},  // beyond the codes a device has
        {"Joystick1 button -1", -1}, {"Joystick1.key[x]", -1},   {"Joystick1.key", -1},
        {"Nobody.key[0]", -1},       {"Pad.key[4]", -1},         // Pad has four buttons
        {".key[0]", -1},             {"Joystick1 button", -1},
    };
    for (const name_case& c : cases) {
        int32_t code = -1;
        bool ok = key_code(c.name, &code);
        EXPECT_EQ(ok, c.offset >= 0) << c.name;
        if (ok && c.offset >= 0) {
            EXPECT_EQ(code, base + c.offset) << c.name;
        }
    }
    // Names of any length and make do not break the parse.
    std::string long_name(5000, 'J');
    EXPECT_EQ(code_of((long_name + ".key[1]").c_str()), -1);
    EXPECT_EQ(code_of((long_name + " button 1").c_str()), -1);
    EXPECT_EQ(axis_open((long_name + ".axis[0]").c_str()), -1);
    EXPECT_EQ(code_of("%s%n.key[1]"), -1);
}

TEST_F(Devices, JoystickAliasesNameTheControllersInOrder) {
    scripted_add_device("Mouse", 3, 5, true);
    scripted_add_device("Wheel", 3, 12, false);
    scripted_add_device("Pedals", 3, 2, false);
    devices_roll_call();
    EXPECT_EQ(code_of("joystick-a-2"), code_of("Wheel.key[1]"));
    EXPECT_EQ(code_of("joystick-b-1"), code_of("Pedals.key[0]"));
    EXPECT_EQ(code_of("mouse-right"), code_of("Mouse.key[1]"));
    int a = axis_open("joystick-b-y");
    ASSERT_GE(a, 0);
    scripted_device_axis(2, 1, -40000);  // beyond the range: held at its end
    EXPECT_EQ(axis_read(a), -32767);
    scripted_device_axis(2, 1, 1234);
    EXPECT_EQ(axis_read(a), 1234);
    axis_close(a);
}

TEST_F(Devices, RelativeAxisGivesTheMotionSinceTheLastRead) {
    scripted_add_device("Mouse", 3, 5, true);
    devices_roll_call();
    int x = axis_open("mouse-x");
    int y = axis_open("Mouse axis 1");
    ASSERT_GE(x, 0);
    ASSERT_GE(y, 0);
    scripted_device_axis(0, 0, 5);
    scripted_device_axis(0, 0, -2);
    scripted_device_axis(0, 1, 7);
    EXPECT_EQ(axis_read(x), 3);
    EXPECT_EQ(axis_read(x), 0);  // no motion since
    EXPECT_EQ(axis_read(y), 7);
    axis_close(x);
    axis_close(y);
}

TEST_F(Devices, AxisNamesListTheAbsoluteAxesInRollCallOrder) {
    scripted_add_device("Mouse", 2, 3, true);
    scripted_add_device("Wheel", 2, 1, false);
    scripted_add_device("Nothing", 0, 0, false);
    scripted_add_device("Pedals", 1, 0, false);
    std::string log = logged_by([] { devices_roll_call(); });
    int count = 0;
    const char* const* names = axis_names(&count);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(names[0], "Wheel axis 0");
    EXPECT_STREQ(names[1], "Wheel axis 1");
    EXPECT_STREQ(names[2], "Pedals axis 0");
    for (int i = 0; i < count; i++) {
        int h = axis_open(names[i]);
        EXPECT_GE(h, 0) << names[i];
        axis_close(h);
    }
    for (const char* line : {"Input roll call...", "Mouse (scripted device 0)", "2 axes, 3 keys", "axis 1 is relative",
                             "axis 0 is absolute", "Adding axis \"Wheel axis 1\"", "Ignoring Dunsel device",
                             "End of input roll call"})
        EXPECT_TRUE(has_line(log, line)) << line << "\n" << log;
    EXPECT_EQ(log.find("Adding axis \"Mouse"), std::string::npos);

    devices_close();
    axis_names(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(Devices, AxisHandlesNeedAnAxisAndAnAcquiredDeviceAndDieWithTheDevices) {
    int wheel = scripted_add_device("Wheel", 2, 1, false);
    int stuck = scripted_add_device("Stuck", 2, 1, false);
    scripted_set_acquire_fails(stuck, true);
    devices_roll_call();
    EXPECT_EQ(axis_open("Wheel.axis[2]"), -1);
    EXPECT_EQ(axis_open("Wheel.axis[-1]"), -1);
    EXPECT_EQ(axis_open("Stuck.axis[0]"), -1);
    int h = axis_open("Wheel.axis[1]");
    ASSERT_GE(h, 0);
    scripted_device_axis(wheel, 1, 900);
    EXPECT_EQ(axis_read(h), 900);
    devices_close();
    EXPECT_EQ(axis_read(h), 0);
    axis_close(h);
    axis_close(h);  // closing twice, or a handle never made, is harmless
    axis_close(12345);
    EXPECT_EQ(axis_read(-1), 0);
}

TEST_F(Devices, BoundButtonsPostStampedEventsInOrder) {
    int pad = scripted_add_device("Gamepad", 2, 8, false);
    int other = scripted_add_device("Other", 2, 8, false);
    devices_roll_call();
    int32_t fire = code_of("Gamepad button 1");  // binding a button collects the device's presses
    ASSERT_GE(fire, 0);
    scripted_device_button(pad, 1, true, 49.0);
    scripted_device_button(other, 1, true, 49.1);  // nothing of Other is bound
    scripted_device_button(pad, 1, true, 49.2);    // no change: no event
    scripted_device_button(pad, 4, true, 49.3);
    scripted_device_button(pad, 1, false, 49.5);

    key_event e;
    EXPECT_FALSE(event_take_due(48.0, &e));  // collected, but none is due yet
    struct expected {
        int32_t code;
        bool down;
        double time;
    } order[] = {{fire, true, 49.0}, {fire + 3, true, 49.3}, {fire, false, 49.5}};
    for (const expected& x : order) {
        ASSERT_TRUE(event_take(&e));
        EXPECT_EQ(e.code, x.code);
        EXPECT_EQ(e.down, x.down);
        EXPECT_DOUBLE_EQ(e.time, x.time);
    }
    EXPECT_FALSE(event_take(&e));

    // A stamp ahead of the clock is stamped now, and later stamps of that
    // device are moved back by as much.
    scripted_device_button(pad, 2, true, 50.25);
    ASSERT_TRUE(event_take(&e));
    EXPECT_DOUBLE_EQ(e.time, 50.0);
    scripted_advance(1.0);
    scripted_device_button(pad, 2, false, 50.75);
    ASSERT_TRUE(event_take(&e));
    EXPECT_DOUBLE_EQ(e.time, 50.5);
    std::string log = logged_by([] { devices_close(); });
    EXPECT_TRUE(has_line(log, "Killing Gamepad")) << log;
    EXPECT_TRUE(has_line(log, "Timestamp adjustment was 250")) << log;
    EXPECT_TRUE(has_line(log, "Killing Other")) << log;
}

TEST_F(Devices, SecondAliasIsRefused) {
    std::string log = logged_by([] {
        key_alias("horn-key", "h");
        key_alias("horn-key", "j");
        key_alias("cursor-x", "cursor.axis[1]");
    });
    EXPECT_TRUE(has_line(log, "Second alias for 'horn-key' ('j') ignored")) << log;
    EXPECT_TRUE(has_line(log, "Second alias for 'cursor-x' ('cursor.axis[1]') ignored")) << log;
    EXPECT_EQ(code_of("horn-key"), code_of("H"));
}

TEST_F(Devices, DinputSwitchOffDisablesControllers) {
    scripted_add_device("Gamepad", 2, 8, false);
    setenv("KWIL_OPTIONS", "[dinput:off]", 1);
    options_reset_for_tests();
    std::string log = logged_by([] { devices_roll_call(); });
    unsetenv("KWIL_OPTIONS");
    options_reset_for_tests();
    EXPECT_TRUE(has_line(log, "Controllers disabled")) << log;
    EXPECT_EQ(log.find("Input roll call"), std::string::npos) << log;
    EXPECT_EQ(code_of("Gamepad button 0"), -1);
}

TEST_F(Devices, OversizedDeviceKeepsTheFirstHundredAxesAndFiveHundredButtons) {
    scripted_add_device("Cockpit", 150, 600, false);
    std::string log = logged_by([] { devices_roll_call(); });
    EXPECT_TRUE(has_line(log, "150 axes, 600 keys")) << log;
    EXPECT_NE(log.find("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"Axis 100\"\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Wow! This thing has a lot of buttons!\n"), std::string::npos) << log;
    int count;
    axis_names(&count);
    EXPECT_EQ(count, 100);
    int last = axis_open("Cockpit.axis[99]");
    EXPECT_GE(last, 0);
    axis_close(last);
    EXPECT_EQ(axis_open("Cockpit.axis[100]"), -1);
    EXPECT_GE(code_of("Cockpit.key[255]"), 0);
}

}  // namespace
