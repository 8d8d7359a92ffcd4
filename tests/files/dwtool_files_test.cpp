// dwtool ls, cat, pack, unpack and scramble: a round trip byte for byte, and
// the refusals.
#include <cstring>

#include "data_fixture.h"
#include "dwtool/commands.h"

namespace {

using DwtoolFiles = DataFolders;

int run(int (*command)(int, char**), std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return command((int)argv.size(), argv.data());
}

std::string run_output(int (*command)(int, char**), std::vector<std::string> args, int* code) {
    testing::internal::CaptureStdout();
    *code = run(command, std::move(args));
    return testing::internal::GetCapturedStdout();
}

TEST_F(DwtoolFiles, PackListCatUnpackRoundTrip) {
    std::string src = root + "/src/";
    std::string text = sample(70000, 5), binary;
    for (int i = 0; i < 600; i++) binary += (char)(i * 37);
    write(src + "tracks/hill/terrain.hf.gz", gzip(text));
    write(src + "tracks/hill/desc", "Hill\n");
    write(src + "secret.txt.scram", scramble("hidden words"));
    write(src + "both.gz.scram", scramble(gzip(text)));
    write(src + "bin", binary);
    write(src + "empty", "");

    ASSERT_EQ(chdir(src.c_str()), 0);
    ASSERT_EQ(run(cmd_pack, {"pack", install + "game.saf", "tracks", "secret.txt.scram", "both.gz.scram", "./bin", "empty"}), 0);

    int code = -1;
    std::string listing = run_output(cmd_ls, {"ls"}, &code);
    EXPECT_EQ(code, 0);
    std::string archive = install + "game.saf";
    EXPECT_EQ(listing, "bin -> " + archive + "\nboth.gz.scram -> " + archive + "\nempty -> " + archive +
                           "\ngame.saf -> " + archive + "\nsecret.txt.scram -> " + archive +
                           "\ntracks/hill/desc -> " + archive + "\ntracks/hill/terrain.hf.gz -> " + archive + "\n");

    EXPECT_EQ(run_output(cmd_cat, {"cat", "@tracks/hill/terrain.hf"}, &code), text);
    EXPECT_EQ(run_output(cmd_cat, {"cat", "@secret.txt"}, &code), "hidden words");
    EXPECT_EQ(run_output(cmd_cat, {"cat", "@both"}, &code), text);
    EXPECT_EQ(run_output(cmd_cat, {"cat", "@bin"}, &code), binary);
    EXPECT_EQ(run_output(cmd_cat, {"cat", "@empty"}, &code), "");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(run_output(cmd_cat, {"cat", "@nothing"}, &code), "");
    EXPECT_EQ(code, 1);

    std::string out = root + "/out";
    ASSERT_EQ(run(cmd_unpack, {"unpack", archive, out}), 0);
    for (const char* name : {"tracks/hill/terrain.hf.gz", "tracks/hill/desc", "secret.txt.scram", "both.gz.scram", "bin", "empty"})
        EXPECT_EQ(read(out + "/" + name), read(src + name)) << name;
}

TEST_F(DwtoolFiles, ScrambleThenCat) {
    std::string plain = root + "/plain.txt";
    write(plain, "some words\n");
    ASSERT_EQ(run(cmd_scramble, {"scramble", plain, install + "words.scram"}), 0);
    std::string stored = read(install + "words.scram");
    EXPECT_EQ(stored.substr(0, 4), "DWSC");
    EXPECT_EQ(stored.find("words"), std::string::npos);
    int code = -1;
    EXPECT_EQ(run_output(cmd_cat, {"cat", "@words"}, &code), "some words\n");
    EXPECT_EQ(code, 0);
}

TEST_F(DwtoolFiles, Refusals) {
    std::string bad = root + "/bad.saf";
    std::string out = root + "/out";
    for (const char* header : {"1 ../escape\n-\nx", "1 /abs\n-\nx", "1 ok\n1 a/../../b\n-\nxy"}) {
        write(bad, header);
        EXPECT_EQ(run(cmd_unpack, {"unpack", bad, out}), 1) << header;
        EXPECT_FALSE(exists(out)) << header;  // nothing written at all
    }
    write(bad, "1 a\n");
    EXPECT_EQ(run(cmd_unpack, {"unpack", bad, out}), 1);
    EXPECT_EQ(run(cmd_unpack, {"unpack", root + "/none.saf", out}), 1);

    // Packing refuses names that could not be unpacked, and a missing file
    // leaves an existing archive as it was.
    std::string archive = root + "/a.saf";
    write(archive, "old");
    write(root + "/f", "f");
    EXPECT_EQ(run(cmd_pack, {"pack", archive, root + "/f"}), 1);
    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(run(cmd_pack, {"pack", archive, "f", "missing"}), 1);
    EXPECT_EQ(run(cmd_pack, {"pack", archive, "../" + root.substr(root.rfind('/') + 1) + "/f"}), 1);
    EXPECT_EQ(read(archive), "old");

    EXPECT_EQ(run(cmd_pack, {"pack", archive}), 2);
    EXPECT_EQ(run(cmd_unpack, {"unpack", archive}), 2);
    EXPECT_EQ(run(cmd_scramble, {"scramble", "x"}), 2);
    EXPECT_EQ(run(cmd_cat, {"cat"}), 2);
    EXPECT_EQ(run(cmd_ls, {"ls", "x"}), 2);
    EXPECT_EQ(run(cmd_scramble, {"scramble", root + "/missing", root + "/x"}), 1);
}

}  // namespace
