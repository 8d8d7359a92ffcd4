// Runs a call with the log written to a file of its own and returns what the
// call logged, one line per entry without the time stamps.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/log.h"

template <class F>
std::string logged_by(F call) {
    std::string path = ::testing::TempDir() + "platform_test_log_" + std::to_string(getpid()) + ".txt";
    setenv("KWIL_LOGFILE", path.c_str(), 1);
    log_reset_for_tests();
    call();
    log_reset_for_tests();  // closes the file
    unsetenv("KWIL_LOGFILE");
    std::string text, out;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
    }
    remove(path.c_str());
    // Drop the "[h:mm:ss.cc] " stamps.
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        size_t close = line.find("] ");
        if (!line.empty() && line[0] == '[' && close != std::string::npos) line = line.substr(close + 2);
        out += line + "\n";
        at = end + 1;
    }
    return out;
}

inline bool has_line(const std::string& log, const std::string& line) {
    return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
}
