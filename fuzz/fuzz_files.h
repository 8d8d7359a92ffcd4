// Shared by the fuzz targets: the input goes into a file of a private
// folder (the readers take data streams over files), and the log goes
// nowhere so warnings do not fill a disk.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "files/data.h"

// The private folder, without a trailing "/", created on first use.
inline const char* fuzz_folder() {
    static char folder[256];
    if (!folder[0]) {
        snprintf(folder, sizeof folder, "/tmp/dwfuzz_%d", (int)getpid());
        mkdir(folder, 0700);
        setenv("KWIL_LOGFILE", "/dev/null", 1);
        setenv("XDG_DATA_HOME", folder, 1);
    }
    return folder;
}

// Writes the bytes to the named file of the private folder; returns its path.
inline const char* fuzz_write(const char* file, const uint8_t* data, size_t size) {
    static char path[512];
    snprintf(path, sizeof path, "%s/%s", fuzz_folder(), file);
    FILE* f = fopen(path, "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
    return path;
}

// Opens the bytes as a data stream (closed by the caller).
inline data_stream* fuzz_stream(const char* file, const uint8_t* data, size_t size) {
    data_stream* s = data_open(fuzz_write(file, data, size), "rb");
    if (!s) abort();
    return s;
}
