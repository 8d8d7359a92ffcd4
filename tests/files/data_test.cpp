// Data folders, the file list, archives, gzip and scrambled streams, backups
// and safe replacement.
#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "data_fixture.h"

namespace {

using Folders = DataFolders;

TEST_F(Folders, DwHomeReplacesTheProgramFolder) {
    EXPECT_EQ(data_folder_count(), 2);
    EXPECT_EQ(std::string(data_folder(0)), home);
    EXPECT_EQ(std::string(data_folder(1)), install);
    EXPECT_EQ(data_folder(2), nullptr);
    EXPECT_EQ(data_folder(-1), nullptr);

    unsetenv("DW_HOME");
    data_reset_for_tests();
    ASSERT_EQ(data_folder_count(), 2);
    char exe[1024];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    *(strrchr(exe, '/') + 1) = 0;
    EXPECT_STREQ(data_folder(1), exe);
}

TEST_F(Folders, HomeVariantsComeBeforeTheInstallation) {
    std::string terrain = sample(3000);
    write(home + "tracks/hill/terrain.hf.gz", gzip("home " + terrain));
    write(install + "tracks/hill/terrain.hf", "installed");
    EXPECT_EQ(read_name("@tracks/hill/terrain.hf"), "home " + terrain);
    // In one folder the plain file comes first, then .gz, .scram, .gz.scram.
    write(install + "a", "plain");
    write(install + "a.gz", gzip("gz"));
    write(install + "b.scram", scramble("scrambled"));
    write(install + "b.gz.scram", scramble(gzip("both")));
    write(install + "c.gz.scram", scramble(gzip("both")));
    EXPECT_EQ(read_name("@a"), "plain");
    EXPECT_EQ(read_name("@b"), "scrambled");
    EXPECT_EQ(read_name("@c"), "both");
    EXPECT_EQ(read_name("@missing"), "<none>");
    EXPECT_EQ(read_name("@../install/a"), "<none>");
}

TEST_F(Folders, FileListOrderAndArchivePrecedence) {
    write(install + "B.saf", saf({{"shared.txt", "from B"}, {"sub//only_b.txt", "b"}, {"plain.txt", "archived"}}));
    write(install + "a.saf", saf({{"shared.txt", "from a"}, {"Zed.txt", "z"}}));
    write(install + "plain.txt", "plain");
    write(home + "Sub/nested.txt", "n");
    // A folder that links to itself must not trap the scan.
    ASSERT_EQ(symlink(".", (install + "loop").c_str()), 0);

    std::vector<std::string> names;
    for (const char* const* p = file_list_names(); (*p)[0]; p++) names.push_back(*p);
    EXPECT_EQ(names, (std::vector<std::string>{"a.saf", "B.saf", "plain.txt", "shared.txt", "Sub/nested.txt",
                                               "sub/only_b.txt", "Zed.txt"}));
    // The archive whose name sorts first wins; a plain file beats both.
    EXPECT_EQ(read_name("@shared.txt"), "from a");
    EXPECT_EQ(read_name("@SHARED.TXT"), "from a");
    EXPECT_EQ(read_name("@plain.txt"), "plain");
    EXPECT_EQ(read_name("@sub/only_b.txt"), "b");

    const file_entry* e = file_list_find("shared.txt");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->source_rank, 2);  // two folders, then archive ordinal 0
    EXPECT_EQ(std::string(e->open_path), install + "a.saf");
    e = file_list_find("sub/only_b.txt");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->source_rank, 3);
    EXPECT_EQ(e->offset, (int64_t)strlen("6 shared.txt\n1 sub//only_b.txt\n8 plain.txt\n-\n") + 6);

    char line[1024];
    int record = -1;
    for (int i = 0; i < file_list_count(); i++)
        if (strcmp(file_list_entry(i)->name, "Zed.txt") == 0) record = i;
    ASSERT_GE(record, 0);
    ASSERT_TRUE(file_list_describe(record, line, sizeof line));
    EXPECT_EQ(std::string(line), "Zed.txt -> " + install + "a.saf");
    char small[10];
    ASSERT_TRUE(file_list_describe(record, small, sizeof small));
    EXPECT_STREQ(small, "Zed.txt -");
    EXPECT_FALSE(file_list_describe(file_list_count(), line, sizeof line));
}

TEST(SafHeader, MalformedHeadersDropEveryMember) {
    const std::string too_long = "1 " + std::string(1022, 'n') + "\n";
    const struct {
        const char* why;
        std::string header;
        int64_t archive_size;
    } cases[] = {
        {"no number after good lines", "1 a\nxx b\n-\n", 100},
        {"negative size", "-5 a\n-\n", 100},
        {"overflowing size", "99999999999999999999 a\n-\n", 100},
        {"no separator", "5a\n-\n", 100},
        {"tab separator", "5\ta\n-\n", 100},
        {"empty name", "5 \n-\n", 100},
        {"no terminator", "1 a\n", 100},
        {"terminator without line feed", "1 a\n-", 100},
        {"member past the end", "1 a\n50 b\n-\n", 60},
        {"offsets overflow", "9223372036854775807 a\n1 b\n-\n", INT64_MAX},
        {"line too long", too_long + "-\n", 5000},
        {"NUL in a name", std::string("1 a\0b\n-\n", 8), 100},
        {"empty line", "\n-\n", 100},
        {"terminator with carriage return", "1 a\n-\r\n", 100},
    };
    for (const auto& c : cases) {
        saf_member* members = (saf_member*)1;
        EXPECT_EQ(saf_read_header_memory(c.header.data(), c.header.size(), c.archive_size, &members), -1) << c.why;
        EXPECT_EQ(members, nullptr) << c.why;
    }
}

TEST(SafHeader, MemberLines) {
    std::string header = "  +3 a//b\n-0 c\r\n2  lead\n-\n";
    saf_member* members = nullptr;
    ASSERT_EQ(saf_read_header_memory(header.data(), header.size(), (int64_t)header.size() + 5, &members), 3);
    EXPECT_STREQ(members[0].name, "a/b");
    EXPECT_EQ(members[0].offset, (int64_t)header.size());
    EXPECT_EQ(members[0].size, 3);
    EXPECT_STREQ(members[1].name, "c\r");  // a carriage return belongs to the name
    EXPECT_EQ(members[1].size, 0);
    EXPECT_STREQ(members[2].name, " lead");
    EXPECT_EQ(members[2].offset, (int64_t)header.size() + 3);
    saf_free_members(members, 3);
    // The largest line that fits: 1023 bytes with its line feed.
    std::string longest = "0 " + std::string(1020, 'n') + "\n-\n";
    EXPECT_EQ(saf_read_header_memory(longest.data(), longest.size(), 2000, &members), 1);
    saf_free_members(members, 1);
}

TEST_F(Folders, BadArchiveKeepsItsOwnNameOnly) {
    write(install + "bad.saf", "3 first\nnot_a_number x\n-\nabcx");
    write(install + "short.saf", "3 a\n100 b\n-\nabc");
    write(install + "good.saf", saf({{"kept", "yes"}}));
    std::vector<std::string> names;
    for (const char* const* p = file_list_names(); (*p)[0]; p++) names.push_back(*p);
    EXPECT_EQ(names, (std::vector<std::string>{"bad.saf", "good.saf", "kept", "short.saf"}));
}

TEST_F(Folders, MemberReadsExactlyItsSize) {
    std::string a = "0123456789", b = "after the member";
    write(install + "m.saf", saf({{"a", a}, {"b", b}}));
    data_stream* s = data_open("@a", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(data_peekc(s), '0');
    char buffer[64];
    EXPECT_EQ(data_read(s, buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer, 10), a);
    EXPECT_EQ(data_getc(s), -1);
    EXPECT_EQ(data_gets(s, buffer, sizeof buffer), nullptr);
    // Seeking stays inside the member.
    EXPECT_TRUE(data_seek(s, 9));
    EXPECT_EQ(data_getc(s), '9');
    EXPECT_FALSE(data_seek(s, 10));
    EXPECT_FALSE(data_seek(s, -1));
    EXPECT_TRUE(data_seek(s, 2));
    EXPECT_EQ(data_gets(s, buffer, 4), buffer);
    EXPECT_STREQ(buffer, "234");
    EXPECT_FALSE(data_error(s));
    data_close(s);
}

TEST_F(Folders, CompressedMemberSpansManyRefillsAndStaysInsideItsSize) {
    std::string big = sample(300000, 7);  // several input blocks, hundreds of output buffers
    std::string packed = gzip(big);
    ASSERT_GT(packed.size(), 40000u);
    size_t half = packed.size() / 2;
    write(install + "z.saf", saf({{"big.gz", packed},
                                  {"cut.gz", packed.substr(0, half)},
                                  {"rest", packed.substr(half)},
                                  {"tiny.gz", gzip("tiny")}}));
    for (size_t chunk : {1u, 1000u, 1024u, 1500u, 70000u}) {
        data_stream* s = data_open("@big", "rb");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(drain(s, chunk), big) << "chunk " << chunk;
        EXPECT_FALSE(data_error(s));
        data_close(s);
    }
    // A member cut short must end where its bytes end, although the rest of
    // the deflate data follows in the archive.
    data_stream* s = data_open("@cut", "rb");
    ASSERT_NE(s, nullptr);
    std::string got = drain(s, 777);
    EXPECT_LT(got.size(), big.size());
    EXPECT_EQ(got, big.substr(0, got.size()));
    EXPECT_EQ(data_getc(s), -1);
    EXPECT_TRUE(data_error(s));
    data_close(s);
    EXPECT_EQ(read_name("@tiny"), "tiny");
}

TEST_F(Folders, DamagedGzipEndsTheStream) {
    std::string original = sample(50000, 3);
    std::string packed = gzip(original);
    write(install + "truncated.gz", packed.substr(0, packed.size() / 3));
    std::string corrupt = packed;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 64; i++) corrupt[i] = (char)(corrupt[i] ^ 0x5a);
    write(install + "corrupt.gz", corrupt);
    for (const char* name : {"@truncated", "@corrupt"}) {
        data_stream* s = data_open(name, "rb");
        ASSERT_NE(s, nullptr) << name;
        std::string got = drain(s, 100);
        EXPECT_LT(got.size(), original.size()) << name;
        EXPECT_EQ(data_getc(s), -1);
        EXPECT_EQ(data_read(s, &got[0], 1), 0u);
        EXPECT_TRUE(data_error(s)) << name;
        data_close(s);
    }
}

TEST_F(Folders, GzipHeaders) {
    std::string body = gzip("payload").substr(10);  // raw deflate data and trailer
    auto header = [](int flags) { return std::string("\x1f\x8b\x08", 3) + (char)flags + std::string(6, '\0'); };
    const struct {
        const char* why;
        std::string bytes;
        bool opens;
    } cases[] = {
        {"all optional fields", header(2 | 4 | 8 | 16) + std::string("\x03\x00xyz", 5) + "name" + '\0' + "note" + '\0' + "cc" + body, true},
        {"too short", std::string("\x1f\x8b\x08\x00\x00", 5), false},
        {"empty", "", false},
        {"wrong magic", "\x1f\x8c" + header(0).substr(2) + body, false},
        {"wrong method", std::string("\x1f\x8b\x07", 3) + header(0).substr(3) + body, false},
        {"reserved flag", header(32) + body, false},
        {"extra length past the data", header(4) + std::string("\xff\x00", 2) + "abc", false},
        {"extra length cut", header(4) + std::string("\x05", 1), false},
        {"name without its zero", header(8) + "unterminated", false},
        {"comment without its zero", header(16) + "unterminated", false},
        {"header crc cut", header(2) + "x", false},
    };
    for (const auto& c : cases) {
        write(install + "h.gz", c.bytes);
        data_reset_for_tests();
        data_stream* s = data_open("@h", "rb");
        EXPECT_EQ(s != nullptr, c.opens) << c.why;
        if (s) {
            EXPECT_EQ(drain(s), "payload") << c.why;
            data_close(s);
        }
    }
}

TEST_F(Folders, SeekRefusalsLeaveTheStreamAsItWas) {
    write(install + "p", "abcdef");
    write(install + "c.gz", gzip("abcdef"));
    write(install + "s.scram", scramble("abcdef"));
    for (const char* name : {"@p", "@c", "@s"}) {
        data_stream* s = data_open(name, "rb");
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(data_is_scrambled(s), name[1] == 's');
        EXPECT_EQ(data_getc(s), 'a');
        EXPECT_EQ(data_peekc(s), 'b');
        EXPECT_FALSE(data_seek(s, 2147483647));  // at the limit
        EXPECT_FALSE(data_seek(s, -3));
        if (name[1] != 'p') {
            EXPECT_FALSE(data_seek(s, 0)) << name;
        }
        EXPECT_EQ(data_getc(s), 'b') << name;
        EXPECT_EQ(data_getc(s), 'c') << name;
        data_close(s);
    }
}

TEST_F(Folders, ScrambledFilesNeedTheirHeader) {
    std::string text = sample(5000, 9);
    write(install + "ok.scram", scramble(text, 77));
    std::string wrong = scramble(text, 77);
    wrong[0] = 'X';
    write(install + "wrong.scram", wrong);
    write(install + "short.scram", "DWSC1234");
    write(install + "arch.saf", saf({{"m.scram", scramble("member", 5)}, {"after", "zzzz"}}));
    EXPECT_EQ(read_name("@ok"), text);
    EXPECT_EQ(read_name("@wrong"), "<none>");
    EXPECT_EQ(read_name("@short"), "<none>");
    EXPECT_EQ(read_name("@m"), "member");  // ends with the member, not the archive
    // Another nonce gives other bytes for the same text.
    EXPECT_NE(scramble(text, 1).substr(12), scramble(text, 2).substr(12));
}

TEST_F(Folders, WritingGoesToTheHomeFolderCreatingFolders) {
    data_stream* s = data_open("@a/b/file.txt", "wb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(data_puts(s, "line\n"), 1);
    EXPECT_EQ(data_printf(s, "%d %s\n", 42, "x"), 5);
    EXPECT_EQ(data_putc(s, 'z'), 'z');
    EXPECT_EQ(data_write(s, "yz", 2), 2u);
    EXPECT_TRUE(data_flush(s));
    EXPECT_FALSE(data_error(s));
    data_close(s);
    EXPECT_EQ(read(home + "a/b/file.txt"), "line\n42 x\nzyz");
    EXPECT_FALSE(exists(install + "a"));

    for (const char* refused : {"@../escape", "@a/../../escape", "@/abs", "@"}) EXPECT_EQ(data_open(refused, "wb"), nullptr) << refused;
    // A plain path gets its folders too.
    s = data_open((root + "/p/q/r.txt").c_str(), "w");
    ASSERT_NE(s, nullptr);
    data_close(s);
    EXPECT_TRUE(exists(root + "/p/q/r.txt"));
    // Folders are not files.
    EXPECT_EQ(data_open((root + "/p").c_str(), "rb"), nullptr);
}

TEST_F(Folders, BackupsAreNumbered) {
    const std::string path = root + "/saves/demo.dwdemo";
    for (const char* text : {"first", "second", "third"}) {
        data_stream* s = data_open(path.c_str(), "~wb");
        ASSERT_NE(s, nullptr);
        data_puts(s, text);
        data_close(s);
    }
    EXPECT_EQ(read(path), "third");
    EXPECT_EQ(read(path + ".~1~"), "first");
    EXPECT_EQ(read(path + ".~2~"), "second");
    EXPECT_FALSE(exists(path + ".~3~"));
    // A gap is filled first.
    ASSERT_EQ(remove((path + ".~1~").c_str()), 0);
    data_close(data_open(path.c_str(), "~ab"));
    EXPECT_EQ(read(path + ".~1~"), "third");
    // Data names back up in the home folder.
    write(home + "config", "old");
    data_close(data_open("@config", "~ab"));
    EXPECT_EQ(read(home + "config.~1~"), "old");
}

TEST_F(Folders, ReplacementIsAllOrNothing) {
    const std::string target = home + "kept.txt";
    write(target, "old contents");
    chmod(target.c_str(), 0640);

    data_stream* s = data_open_replace("@kept.txt");
    ASSERT_NE(s, nullptr);
    data_puts(s, "new contents");
    ASSERT_TRUE(data_close_replace(s));
    EXPECT_EQ(read(target), "new contents");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Abandoned: the target stays.
    s = data_open_replace("@kept.txt");
    ASSERT_NE(s, nullptr);
    data_puts(s, "abandoned");
    data_close(s);
    EXPECT_EQ(read(target), "new contents");

    // A write that fails (the file size limit) keeps the old file.
    struct rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    s = data_open_replace("@kept.txt");
    bool ok = true;
    if (s) {
        std::string lots(100000, 'x');
        data_write(s, lots.data(), lots.size());
        ok = data_close_replace(s);
    }
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(read(target), "new contents");

    // No temporary file is left behind.
    std::string list = "ls -a '" + home + "' | grep -c tmp > '" + root + "/count'";
    (void)system(list.c_str());
    EXPECT_EQ(read(root + "/count"), "0\n");
    EXPECT_EQ(data_open_replace("@../outside"), nullptr);
}

}  // namespace
