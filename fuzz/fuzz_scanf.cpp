// data_scanf against arbitrary input with the formats the game's files use.
// Every text target has exactly the size its width allows, so a write past it
// is caught.
#include <stdio.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/data.h"

namespace {

const char* const formats[] = {
    "%d", "%f", "[ %f %f %f ]", "%1023s", "%15[^,\n]%n", "%lli %llx %llo", "%5c", "%*s %Lf %hhd",
    "%3[a-z0-9_-]%%%2c", " %n%lf%n", "%i%n%u", "%a %e %g", "%zd %jd %td %hd %lu", "%s", "%[abc]", "%c",
};
const int format_count = sizeof formats / sizeof formats[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int first = data[0];
    std::vector<unsigned char> bytes(data + 1, data + size);
    bytes.push_back(0);
    FILE* f = fmemopen(bytes.data(), bytes.size() - 1 ? bytes.size() - 1 : 1, "rb");
    if (!f) return 0;
    data_stream* s = data_open_file(f, (int64_t)bytes.size() - 1, false, false);
    if (!s) return 0;
    char* name = (char*)malloc(1024);
    char* set = (char*)malloc(16);
    char* small = (char*)malloc(4);
    char* chars = (char*)malloc(5);
    for (int round = 0; round < 10000; round++) {
        const char* format = formats[(first + round) % format_count];
        int i = 0, n1 = -1, n2 = -1;
        unsigned u = 0;
        long long a = 0, b = 0, c = 0;
        float x = 0, y = 0, z = 0;
        double d = 0;
        long double ld = 0;
        signed char hh = 0;
        short h = 0;
        size_t zs = 0;
        intmax_t j = 0;
        ptrdiff_t t = 0;
        unsigned long lu = 0;
        int r = -1;
        switch ((first + round) % format_count) {
        case 0: r = data_scanf(s, format, &i); break;
        case 1: r = data_scanf(s, format, &x); break;
        case 2: r = data_scanf(s, format, &x, &y, &z); break;
        case 3: r = data_scanf(s, format, name); break;
        case 4: r = data_scanf(s, format, set, &n1); break;
        case 5: r = data_scanf(s, format, &a, &b, &c); break;
        case 6: r = data_scanf(s, format, chars); break;
        case 7: r = data_scanf(s, format, &ld, &hh); break;
        case 8: r = data_scanf(s, format, small, chars); break;
        case 9: r = data_scanf(s, format, &n1, &d, &n2); break;
        case 10: r = data_scanf(s, format, &i, &n1, &u); break;
        case 11: r = data_scanf(s, format, &x, &y, &z); break;
        case 12: r = data_scanf(s, format, &zs, &j, &t, &h, &lu); break;
        case 13: r = data_scanf(s, format, name); break;
        case 14: r = data_scanf(s, format, name); break;
        case 15: r = data_scanf(s, format, chars); break;
        }
        if (r < -1 || r > 5) abort();
        if (data_getc(s) < 0) break;  // always make progress
    }
    free(name);
    free(set);
    free(small);
    free(chars);
    data_close(s);
    return 0;
}
