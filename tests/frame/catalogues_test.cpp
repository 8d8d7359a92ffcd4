// The track and demo lists built from the file list.
#include <gtest/gtest.h>

#include <string>

#include "files/data_fixture.h"
#include "frame/catalogues.h"

namespace {

struct Catalogues : DataFolders {
    void TearDown() override {
        track_list_free();
        demo_list_free();
        DataFolders::TearDown();
    }
};

TEST_F(Catalogues, TracksAreFoldersWithAHeightFieldSortedByDisplayName) {
    write(install + "zeta/terrain.hf", "x");
    write(install + "zeta/desc", "Alpine Loop\r\nsecond line");
    write(install + "beta/terrain.hf.gz", "x");  // no desc: the folder names it
    write(install + "gamma/terrain.hf", "x");
    write(home + "gamma/terrain.hf.gz", "x");    // one track, whatever variants
    write(install + "gamma/desc", "alpine loop");  // equal but for case: scan order kept
    write(install + "notatrack/desc", "Nope");
    write(install + "deep/er/terrain.hf.scram", "x");
    track_list_build();
    ASSERT_EQ(g_track_count, 4);
    EXPECT_STREQ(g_tracks[0].display, "alpine loop");  // "gamma" sorts before "zeta" in the file list
    EXPECT_STREQ(g_tracks[0].folder, "gamma");
    EXPECT_STREQ(g_tracks[1].display, "Alpine Loop");
    EXPECT_STREQ(g_tracks[1].folder, "zeta");
    EXPECT_STREQ(g_tracks[2].display, "beta");
    EXPECT_STREQ(g_tracks[3].folder, "deep/er");
    EXPECT_EQ(track_find("zeta"), 1);
    EXPECT_EQ(track_find("notatrack"), -1);
}

TEST_F(Catalogues, NoTracksLeavesAnEmptyList) {
    track_list_build();
    EXPECT_EQ(g_track_count, 0);
}

TEST_F(Catalogues, DemosAreNamedWithoutFolderAndExtension) {
    write(home + "demos/race one.dwdemo", "d");
    write(home + "demos/old/two.v2.dwdemo", "d");
    write(home + "demos/notes.txt", "n");
    write(install + "elsewhere/three.dwdemo", "d");
    demo_list_build();
    ASSERT_EQ(g_demo_count, 2);
    EXPECT_STREQ(g_demos[0].data_name, "@demos/old/two.v2.dwdemo");
    EXPECT_STREQ(g_demos[0].display, "two.v2");
    EXPECT_STREQ(g_demos[1].display, "race one");
}

}  // namespace
