// Key names and codes, and the event queue.
#include <gtest/gtest.h>

#include <string>

#include "platform/input.h"

namespace {

TEST(KeyNames, NamesResolveToCodes) {
    struct name_case {
        const char* name;
        int32_t code;
    } cases[] = {
        {"x", 0x102D},          {"X", 0x102D},          {"0x2d", 0x102D},         {"right ctrl", 0x111D},
        {"right_ctrl", 0x111D}, {"Right Ctrl", 0x111D}, {"cursor-left", 0x2000},  {"Mouse Middle", 0x2001},
        {"close", 0xDEAD},      {"esc", 0x1001},        {"keypad enter", 0x111C}, {"page up", 0x1149},
        {"\\", 0x102B},         {" ", 0x1039},          {"space", 0x1039},        {"pause", 0x1045},
        {"0x1ff", 0x11FF},      {"F12", 0x1058},        {"Keypad .", 0x1053},
    };
    for (const name_case& c : cases) {
        int32_t code = -1;
        EXPECT_TRUE(key_code(c.name, &code)) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
    }
    for (const char* bad : {"0x200", "nokey", "", "Joystick1.key[3]"}) {
        int32_t code;
        EXPECT_FALSE(key_code(bad, &code)) << bad;
    }
}

TEST(KeyNames, CodesNameThemselves) {
    EXPECT_STREQ(key_name(0x2001), "Mouse Middle");
    EXPECT_STREQ(key_name(0xDEAD), "Close");
    EXPECT_STREQ(key_name(0x102D), "X");
    EXPECT_STREQ(key_name(0x1039), "Space");
    EXPECT_STREQ(key_name(0x1100), "0x100");  // a scan code with no name
    EXPECT_EQ(key_name(0x50000), nullptr);   // no such device
}

TEST(EventQueue, OrderDueTimesAndOverflow) {
    event_clear();
    event_post(1, true, 1.0);
    event_post(2, false, 2.0);
    key_event e;
    EXPECT_FALSE(event_take_due(0.5, &e));
    ASSERT_TRUE(event_take_due(1.0, &e));
    EXPECT_EQ(e.code, 1);
    EXPECT_TRUE(e.down);
    EXPECT_FALSE(event_take_due(1.5, &e));
    ASSERT_TRUE(event_take(&e));
    EXPECT_EQ(e.code, 2);
    EXPECT_FALSE(e.down);
    EXPECT_FALSE(event_take(&e));

    for (int i = 0; i < 300; i++) event_post(i, true, i);
    EXPECT_EQ(event_count(), 256);  // the newest are dropped
    for (int i = 0; i < 256; i++) {
        ASSERT_TRUE(event_take(&e));
        EXPECT_EQ(e.code, i);
    }
}

TEST(Axes, PointerAxesByNameAndAlias) {
    int x = axis_open("cursor-x");
    int y = axis_open("cursor axis 1");
    ASSERT_GE(x, 0);
    ASSERT_GE(y, 0);
    pointer_set(320, 200);
    EXPECT_EQ(axis_read(x), 320);
    EXPECT_EQ(axis_read(y), 200);
    EXPECT_EQ(axis_open("cursor.axis[2]"), -1);
    EXPECT_EQ(axis_open("Joystick1.axis[0]"), -1);
    axis_close(x);
    axis_close(y);
    EXPECT_EQ(axis_read(x), 0);
}

}  // namespace
