// The log file modes, the announcement, the message ring, the option
// switches, tracked allocation and the string pool.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "base/digest.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/options.h"
#include "base/strpool.h"

namespace {

std::string temp_path(const char* name) {
    return std::string(testing::TempDir()) + "dwlog_" + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const char* text) { std::ofstream(path) << text; }

// Lines of the log without their time stamps.
std::string unstamped(const std::string& text) {
    std::string out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t close = line.find("] ");
        out += (line[0] == '[' && close != std::string::npos ? line.substr(close + 2) : line) + "\n";
    }
    return out;
}

struct LogTest : ::testing::Test {
    void TearDown() override {
        unsetenv("KWIL_LOGFILE");
        unsetenv("KWIL_LOGFILE_FLAGS");
        log_reset_for_tests();
    }
    void open_with(const char* logfile, const char* flags) {
        if (logfile) setenv("KWIL_LOGFILE", logfile, 1); else unsetenv("KWIL_LOGFILE");
        if (flags) setenv("KWIL_LOGFILE_FLAGS", flags, 1); else unsetenv("KWIL_LOGFILE_FLAGS");
        log_reset_for_tests();
    }
};

TEST_F(LogTest, ModesTruncateAppendAndFlagsOverride) {
    std::string path = temp_path("modes.txt");
    struct mode_case {
        std::string logfile;
        const char* flags;
        bool keeps_old;
    } cases[] = {
        {path, nullptr, false},
        {">" + path, nullptr, false},
        {">>" + path, nullptr, true},
        {">>" + path, "w", false},
        {path, "a", true},
    };
    for (const mode_case& c : cases) {
        write_file(path, "old line\n");
        open_with(c.logfile.c_str(), c.flags);
        log_printf("new %d\n", 1);
        log_close();
        std::string text = unstamped(slurp(path));
        EXPECT_EQ(text.find("old line") != std::string::npos, c.keeps_old) << c.logfile << " " << (c.flags ? c.flags : "");
        EXPECT_NE(text.find("Logfile \"" + path + "\" opened\nKWIL 0.31\nnew 1\n"), std::string::npos) << text;
    }
}

TEST_F(LogTest, AnnouncementNamesTheFileAndIsNotWritten) {
    std::string path = temp_path("announced.txt");
    open_with(nullptr, nullptr);
    log_text(("KWIL_LOGFILE=" + path).c_str());
    log_text("after\n");
    log_close();
    EXPECT_EQ(unstamped(slurp(path)), "Logfile \"" + path + "\" opened\nKWIL 0.31\nafter\n");

    // With KWIL_LOGFILE set, an announcement only opens the named file.
    std::string other = temp_path("named.txt");
    open_with(other.c_str(), nullptr);
    log_text(("KWIL_LOGFILE=" + path).c_str());
    log_close();
    EXPECT_NE(slurp(other).find("KWIL 0.31"), std::string::npos);
}

TEST_F(LogTest, EntriesAreStampedAndHiddenOnesDropped) {
    std::string path = temp_path("stamps.txt");
    open_with(path.c_str(), nullptr);
    log_text("\x13hidden\n");
    log_error("disk on fire");
    log_close();
    log_text("after close\n");
    std::string text = slurp(path);
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
    EXPECT_STREQ(log_last_error(), "disk on fire");
    // "[h:mm:ss.hh] " in front of every entry.
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        int h, m, s, c;
        EXPECT_EQ(sscanf(line.c_str(), "[%d:%2d:%2d.%2d] ", &h, &m, &s, &c), 4) << line;
    }
    EXPECT_NE(text.find("Error: disk on fire\n"), std::string::npos);
}

TEST_F(LogTest, UnopenableFileDropsEntriesQuietly) {
    open_with("/nonexistent-folder/log.txt", nullptr);
    log_text("nowhere\n");  // must not crash
    SUCCEED();
}

TEST_F(LogTest, MessagesFillTheRingAndAreLoggedWhole) {
    std::string path = temp_path("messages.txt");
    open_with(path.c_str(), nullptr);
    message_clear();
    g_messages.limit = 5;
    std::string long_text(200, 'm');
    message_add(long_text.c_str());
    EXPECT_EQ(strlen(g_messages.lines[0]), 127u);
    EXPECT_EQ(g_messages.visible, 1);
    for (int i = 1; i <= 1000; i++) message_printf("line %d", i);
    EXPECT_STREQ(g_messages.lines[0], "line 1000");  // the 1001st message
    EXPECT_EQ(g_messages.next, 1);
    EXPECT_EQ(g_messages.visible, 5);
    message_add("\x1b[31mred\n");
    log_close();
    std::string text = slurp(path);
    EXPECT_NE(text.find(long_text + "\n"), std::string::npos);
    EXPECT_NE(text.find("\x1b[31mred\n\x1b[0m"), std::string::npos);
}

TEST_F(LogTest, VisibleMessagesExpireOneAtATime) {
    message_clear();
    g_messages.limit = 5;
    message_expire(10.0);
    message_add("a");
    message_add("b");
    EXPECT_EQ(g_messages.visible, 2);
    message_expire(11.0);
    EXPECT_EQ(g_messages.visible, 2);  // shown for 2 s
    message_expire(12.5);
    EXPECT_EQ(g_messages.visible, 1);
    message_expire(13.0);
    EXPECT_EQ(g_messages.visible, 1);  // the next goes 5 s later
    message_expire(17.6);
    EXPECT_EQ(g_messages.visible, 0);
}

struct OptionsTest : ::testing::Test {
    void set(const char* value) {
        setenv("KWIL_OPTIONS", value, 1);
        options_reset_for_tests();
    }
    void TearDown() override {
        unsetenv("KWIL_OPTIONS");
        options_reset_for_tests();
    }
};

TEST_F(OptionsTest, BooleanAndIntegerSwitches) {
    set("[dsnd:off][waveout:yes][threaded:on][dinput:no][fullscreen:maybe][sound-rate:44100Hz][sound-channels: -3]"
        "[sound-mixahead:x]");
    EXPECT_FALSE(option_bool("dsnd", true));
    EXPECT_TRUE(option_bool("waveout", false));
    EXPECT_TRUE(option_bool("threaded", false));
    EXPECT_FALSE(option_bool("dinput", true));
    EXPECT_TRUE(option_bool("fullscreen", true));  // unrecognised: the default
    EXPECT_FALSE(option_bool("fullscreen", false));
    EXPECT_EQ(option_int("sound-rate", 22050), 44100);
    EXPECT_EQ(option_int("sound-channels", 16), -3);
    EXPECT_EQ(option_int("sound-mixahead", 125), 125);
    EXPECT_TRUE(option_bool("dinputsticksonly", true));  // absent
    set("");
    EXPECT_EQ(option_int("sound-rate", 22050), 22050);
}

struct AllocTest : ::testing::Test {
    void SetUp() override {
        setenv("DW_CHECK_ALLOC", "1", 1);
        mem_reset_for_tests();
    }
    void TearDown() override {
        unsetenv("DW_CHECK_ALLOC");
        mem_reset_for_tests();
    }
};

TEST_F(AllocTest, DoubleReleaseIsReportedAndNotFreedAgain) {
    ASSERT_TRUE(mem_tracking());
    int before = mem_tracked_count();
    void* block = mem_alloc(32);
    EXPECT_EQ(mem_tracked_count(), before + 1);
    mem_free(block);
    EXPECT_EQ(mem_tracked_count(), before);
    testing::internal::CaptureStderr();
    mem_free(block);
    std::string err = testing::internal::GetCapturedStderr();
    char expected[64];
    snprintf(expected, sizeof expected, "Allocation not found for %p!\n", block);
    EXPECT_EQ(err, expected);
}

TEST_F(AllocTest, ResizeMovesTheEntryAndAFailedResizeKeepsIt) {
    char* block = (char*)mem_alloc(16);
    block = (char*)mem_realloc(block, 4096);
    ASSERT_NE(block, nullptr);
    int count = mem_tracked_count();
    // A request no allocator can meet: the old block stays live and tracked.
    void* failed = mem_realloc(block, SIZE_MAX / 2);
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(mem_tracked_count(), count);
    testing::internal::CaptureStderr();
    mem_free(block);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(AllocTest, ReportListsLiveBlocksOldestFirst) {
    void* a = mem_alloc(8);
    void* b = mem_alloc(8);
    testing::internal::CaptureStderr();
    mem_report();
    std::string report = testing::internal::GetCapturedStderr();
    char line_a[64], line_b[64];
    snprintf(line_a, sizeof line_a, "%p:0\n", a);
    snprintf(line_b, sizeof line_b, "%p:1\n", b);
    EXPECT_EQ(report, std::string(line_a) + line_b);
    mem_free(a);
    mem_free(b);
}

TEST(StringPool, EqualTextsShareOneCopy) {
    char text[] = "rabbithill";
    const char* a = string_shared(text);
    text[0] = 'R';
    const char* b = string_shared("rabbithill");
    EXPECT_EQ(a, b);
    EXPECT_STRNE(string_shared(text), a);
    for (int i = 0; i < 100; i++) string_shared(std::to_string(i).c_str());  // grows past its first capacity
    EXPECT_EQ(string_shared("rabbithill"), a);
}

TEST(Digest, KnownSha1Values) {
    struct vector_case {
        std::string input;
        const char* hex;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const vector_case& c : cases) {
        sha1_context ctx;
        sha1_begin(&ctx);
        // Fed in uneven pieces to cross block boundaries.
        for (size_t at = 0; at < c.input.size(); at += 37) sha1_add(&ctx, c.input.data() + at, std::min<size_t>(37, c.input.size() - at));
        uint8_t digest[20];
        char hex[41];
        sha1_end(&ctx, digest);
        sha1_hex(digest, hex);
        EXPECT_STREQ(hex, c.hex) << c.input.substr(0, 20);
    }
}

}  // namespace

namespace {

TEST(FatalPath, OutOfMemoryExitsWithCodeOneAndSaysSo) {
    // Without a display the text goes to standard error.
    g_fatal_hooks = {nullptr, nullptr, nullptr};
    EXPECT_EXIT(fatal_out_of_memory(), testing::ExitedWithCode(1), "Out of virtual memory");
    EXPECT_EXIT(mem_calloc_or_die(SIZE_MAX / 2, 4), testing::ExitedWithCode(1), "Out of virtual memory");
}

bool g_audio_closed_first = false;
bool g_window_closed = false;
void close_audio_hook() { g_audio_closed_first = !g_window_closed; }
void close_window_hook() { g_window_closed = true; }
bool box_hook(const char* title, const char* text) {
    fprintf(stderr, "box %s/%s audio-first=%d\n", title, text, g_audio_closed_first);
    return true;
}

TEST(FatalPath, ClosesAudioThenWindowThenShowsTheBox) {
    g_fatal_hooks = {close_audio_hook, close_window_hook, box_hook};
    EXPECT_EXIT(fatal_out_of_memory(), testing::ExitedWithCode(1), "box Error/Out of virtual memory audio-first=1");
    g_fatal_hooks = {nullptr, nullptr, nullptr};
}

}  // namespace
