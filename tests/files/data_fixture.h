// Temporary data folders for the game-file tests: a home folder (through
// XDG_DATA_HOME) and an installation folder (DW_HOME), and helpers that make
// plain, gzip, scrambled and archived files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "files/data.h"

struct DataFolders : ::testing::Test {
    std::string root, home, install;
    char cwd[4096] = "/";

    void SetUp() override {
        if (!getcwd(cwd, sizeof cwd)) strcpy(cwd, "/");
        root = std::string(testing::TempDir()) + "dwdata_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string wipe = "rm -rf '" + root + "'";
        ASSERT_EQ(system(wipe.c_str()), 0);
        home = root + "/xdg/Dirtwake/";
        install = root + "/install/";
        setenv("XDG_DATA_HOME", (root + "/xdg").c_str(), 1);
        setenv("DW_HOME", (root + "/install").c_str(), 1);
        data_make_folders(home.c_str());
        data_make_folders(install.c_str());
        data_reset_for_tests();
    }
    void TearDown() override {
        if (chdir(cwd) != 0) ADD_FAILURE() << "can't return to " << cwd;
        unsetenv("XDG_DATA_HOME");
        unsetenv("DW_HOME");
        data_reset_for_tests();
        std::string wipe = "rm -rf '" + root + "'";
        (void)system(wipe.c_str());
    }

    static void write(const std::string& path, const std::string& bytes) {
        data_make_folders(path.c_str());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static bool exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    // A gzip file (zlib's gzip wrapper) of the bytes.
    static std::string gzip(const std::string& bytes) {
        z_stream z = {};
        deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&z, bytes.size()) + 64, '\0');
        z.next_in = (Bytef*)bytes.data();
        z.avail_in = (uInt)bytes.size();
        z.next_out = (Bytef*)out.data();
        z.avail_out = (uInt)out.size();
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }
    static std::string scramble(const std::string& bytes, uint64_t nonce = 0x1234) {
        unsigned char header[scramble_header_size];
        scramble_make_header(nonce, header);
        std::string body = bytes;
        scramble_key key;
        scramble_start(&key, nonce);
        scramble_apply(&key, body.data(), body.size());
        return std::string((const char*)header, sizeof header) + body;
    }
    // A ".saf" archive of (name, bytes) members.
    static std::string saf(const std::vector<std::pair<std::string, std::string>>& members) {
        std::string header, data;
        for (const auto& m : members) {
            header += std::to_string(m.second.size()) + " " + m.first + "\n";
            data += m.second;
        }
        return header + "-\n" + data;
    }
    // Bytes that compress but are not trivially repetitive.
    static std::string sample(size_t n, unsigned seed = 1) {
        std::string s(n, '\0');
        unsigned x = seed;
        for (size_t i = 0; i < n; i++) {
            x = x * 1103515245u + 12345u;
            s[i] = (char)("abcdefgh\n 0123"[(x >> 16) % 15]);
        }
        return s;
    }

    // Everything a stream delivers, read in chunks of the given size.
    static std::string drain(data_stream* s, size_t chunk = 4096) {
        std::string out;
        std::vector<char> buffer(chunk);
        size_t n;
        while ((n = data_read(s, buffer.data(), chunk)) > 0) out.append(buffer.data(), n);
        return out;
    }
    static std::string read_name(const char* name) {
        data_stream* s = data_open(name, "rb");
        if (!s) return "<none>";
        std::string out = drain(s);
        data_close(s);
        return out;
    }
};
