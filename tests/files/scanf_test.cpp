// data_scanf: conversions, widths, %n, scan sets, the one-byte look-ahead of
// number reading, and refusals of unbounded text conversions.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/data.h"

namespace {

data_stream* text_stream(const std::string& text) {
    FILE* f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    rewind(f);
    return data_open_file(f, -1, false, false);
}

struct integer_case {
    const char* format;  // one 64-bit integer conversion, then %n
    const char* input;
    int result;
    long long value;
    int consumed;
};

TEST(DataScanf, Integers) {
    const integer_case cases[] = {
        {"%lld%n", "  -42abc", 1, -42, 5},
        {"%lld%n", "+7", 1, 7, 2},
        {"%lli%n", "0x1F", 1, 31, 4},
        {"%lli%n", "017", 1, 15, 3},
        {"%lli%n", "0xg", 1, 0, 2},  // "x" consumed, value of "0"
        {"%lli%n", "-0x10", 1, -16, 5},
        {"%llx%n", "0Xff ", 1, 255, 4},
        {"%llx%n", "fF", 1, 255, 2},
        {"%llo%n", "7778", 1, 511, 3},
        {"%llo%n", "8", 0, 0, 0},
        {"%lld%n", "-x", 0, 0, 0},
        {"%lld%n", "", -1, 0, 0},
        {"%lld%n", " \n\t ", -1, 0, 0},
        {"%3lld%n", "12345", 1, 123, 3},
        {"%2lld%n", "-5", 1, -5, 2},
        {"%1lld%n", "-5", 0, 0, 0},  // the sign fills the width
        {"%lld%n", "99999999999999999999", 1, LLONG_MAX, 20},
        {"%lld%n", "-99999999999999999999", 1, LLONG_MIN, 21},
        {"%llu%n", "-1", 1, -1, 2},  // as strtoull: all bits set
        {"%llu%n", "99999999999999999999", 1, -1, 20},
        {"%qd%n", "12", 1, 12, 2},
        {"%jd%n", "-3", 1, -3, 2},
    };
    for (const integer_case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " on \"" + c.input + "\"");
        data_stream* s = text_stream(c.input);
        long long value = 0;
        int consumed = 0;
        EXPECT_EQ(data_scanf(s, c.format, &value, &consumed), c.result);
        if (c.result == 1) {
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(consumed, c.consumed);
        }
        data_close(s);
    }
}

TEST(DataScanf, IntegerSizesStoreOnlyTheirTarget) {
    data_stream* s = text_stream("300 70000 4294967297 -1 5 6");
    struct {
        signed char hh;
        char guard1;
        short h;
        char guard2;
    } small = {0, 'x', 0, 'y'};
    int i = 0;
    unsigned int u = 0;
    size_t z = 0;
    ptrdiff_t t = 0;
    EXPECT_EQ(data_scanf(s, "%hhd %hd %d %u %zu %td", &small.hh, &small.h, &i, &u, &z, &t), 6);
    EXPECT_EQ(small.hh, 44);  // 300 truncated to 8 bits
    EXPECT_EQ(small.h, 4464);
    EXPECT_EQ(small.guard1, 'x');
    EXPECT_EQ(small.guard2, 'y');
    EXPECT_EQ(i, 1);
    EXPECT_EQ(u, UINT_MAX);
    EXPECT_EQ(z, 5u);
    EXPECT_EQ(t, 6);
    data_close(s);
}

struct float_case {
    const char* input;
    int result;
    const char* matched;  // the text whose strtod gives the value
    int consumed;
};

TEST(DataScanf, FloatsGiveTheValueOfStrtodOnTheMatchedText) {
    const float_case cases[] = {
        {"3.25xyz", 1, "3.25", 4},
        {"1e", 1, "1", 2},  // the dangling exponent is consumed
        {"1e+", 1, "1", 3},
        {"1.5e-3,", 1, "1.5e-3", 6},
        {"2.E2", 1, "2.E2", 4},
        {"-.5", 1, "-.5", 3},
        {".", 0, nullptr, 0},
        {"-", 0, nullptr, 0},
        {"+z", 0, nullptr, 0},
        {"0x1.8p1", 1, "0x1.8p1", 7},
        {"0x", 1, "0", 2},
        {"0x.p", 1, "0", 3},
        {"0x1p", 1, "0x1", 4},
        {"0x1e3", 1, "0x1e3", 5},
        {"inf", 1, "inf", 3},
        {"-Infinity!", 1, "-Infinity", 9},
        {"infinite", 1, "inf", 7},
        {"nan(12_ab)", 1, "nan(12_ab)", 10},
        {"nan(", 1, "nan", 4},
        {"na", 0, nullptr, 0},
        {"0.1000000000000000055511151231257827021181583404541015625", 1,
         "0.1000000000000000055511151231257827021181583404541015625", 57},
        {"2.4703282292062327e-324", 1, "2.4703282292062327e-324", 23},
        {"1e99999", 1, "1e99999", 7},
        {"", -1, nullptr, 0},
    };
    for (const float_case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.input + "\"");
        data_stream* s = text_stream(c.input);
        double value = 0;
        int consumed = 0;
        ASSERT_EQ(data_scanf(s, "%lf%n", &value, &consumed), c.result);
        if (c.result == 1) {
            double expected = strtod(c.matched, nullptr);
            if (std::isnan(expected)) EXPECT_TRUE(std::isnan(value));
            else EXPECT_EQ(memcmp(&value, &expected, sizeof value), 0) << value << " vs " << expected;
            EXPECT_EQ(consumed, c.consumed);
        }
        data_close(s);
    }
}

TEST(DataScanf, FloatSizesAndSynonyms) {
    data_stream* s = text_stream("0.1 0.1 0.1 1e-2 0x1p-3 7 5.5e5");
    float f = 0;
    double d = 0;
    long double ld = 0;
    float e = 0, a = 0, g = 0, w = 0;
    EXPECT_EQ(data_scanf(s, "%f %lf %Lf %e %a %g %3G", &f, &d, &ld, &e, &a, &g, &w), 7);
    EXPECT_EQ(f, strtof("0.1", nullptr));
    EXPECT_EQ(d, strtod("0.1", nullptr));
    EXPECT_EQ(ld, strtold("0.1", nullptr));
    EXPECT_EQ(e, 0.01f);
    EXPECT_EQ(a, 0.125f);
    EXPECT_EQ(g, 7.0f);
    EXPECT_EQ(w, 5.5f);  // width 3: "5.5"
    EXPECT_EQ(data_getc(s), 'e');
    data_close(s);
}

TEST(DataScanf, LongNumberFieldIsCutAt1023Bytes) {
    std::string digits = "1" + std::string(1500, '0');
    data_stream* s = text_stream(digits);
    double first = 0, second = 0;
    int consumed = 0;
    EXPECT_EQ(data_scanf(s, "%lf%n%lf", &first, &consumed, &second), 2);
    EXPECT_EQ(consumed, 1023);
    EXPECT_EQ(first, strtod(digits.substr(0, 1023).c_str(), nullptr));
    EXPECT_EQ(second, 0.0);
    data_close(s);
}

TEST(DataScanf, NumbersReadAtMostOneByteAhead) {
    // The byte after the number stays in the stream.
    data_stream* s = text_stream("12;0x;3.5e+;");
    int i = 0, j = 0;
    float f = 0;
    EXPECT_EQ(data_scanf(s, "%d", &i), 1);
    EXPECT_EQ(data_getc(s), ';');
    EXPECT_EQ(data_scanf(s, "%x", &j), 1);
    EXPECT_EQ(j, 0);
    EXPECT_EQ(data_getc(s), ';');
    EXPECT_EQ(data_scanf(s, "%f", &f), 1);
    EXPECT_EQ(f, 3.5f);
    EXPECT_EQ(data_getc(s), ';');
    EXPECT_EQ(data_getc(s), -1);
    data_close(s);
}

TEST(DataScanf, TextConversions) {
    char a[8], b[8];
    int n = 0;
    data_stream* s = text_stream("  hello world");
    EXPECT_EQ(data_scanf(s, "%5s%n", a, &n), 1);
    EXPECT_STREQ(a, "hello");
    EXPECT_EQ(n, 7);
    data_close(s);

    s = text_stream("abcdefg");
    memset(b, 'z', sizeof b);
    EXPECT_EQ(data_scanf(s, "%3s%3s", a, b), 2);
    EXPECT_STREQ(a, "abc");
    EXPECT_STREQ(b, "def");
    data_close(s);

    // %c: no white-space skip, one byte without a width, exactly its width.
    s = text_stream(" xyz");
    char c = 0;
    memset(a, 'q', sizeof a);
    EXPECT_EQ(data_scanf(s, "%c%2c", &c, a), 2);
    EXPECT_EQ(c, ' ');
    EXPECT_EQ(memcmp(a, "xyq", 3), 0);  // two bytes, no terminator
    EXPECT_EQ(data_scanf(s, "%3c", a), -1);  // only "z" is left
    data_close(s);

    std::string name(2000, 'n');
    s = text_stream(name + " next");
    char big[1024];
    EXPECT_EQ(data_scanf(s, "%1023s%n", big, &n), 1);
    EXPECT_EQ(strlen(big), 1023u);
    EXPECT_EQ(n, 1023);
    data_close(s);
}

struct set_case {
    const char* format;  // one scan set with width 7, then %n
    const char* input;
    int result;
    const char* text;
};

TEST(DataScanf, ScanSets) {
    const set_case cases[] = {
        {"%7[a-c]%n", "abcabd", 1, "abcab"},
        {"%7[^,]%n", "name x,5", 1, "name x"},
        {"%7[]a]%n", "]a]b", 1, "]a]"},
        {"%7[^]]%n", "ab]c", 1, "ab"},
        {"%7[a-]%n", "a-a-b", 1, "a-a-"},
        {"%7[0-9a-f]%n", "3fz", 1, "3f"},
        {"%7[^\n]%n", "\nrest", 0, nullptr},
        {"%7[a-z]%n", "abcdefghij", 1, "abcdefg"},
        {"%7[a-z]%n", "", -1, nullptr},
    };
    for (const set_case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " on \"" + c.input + "\"");
        data_stream* s = text_stream(c.input);
        char text[8] = "unset";
        int n = -1;
        EXPECT_EQ(data_scanf(s, c.format, text, &n), c.result);
        if (c.result == 1) {
            EXPECT_STREQ(text, c.text);
            EXPECT_EQ(n, (int)strlen(c.text));
        }
        data_close(s);
    }
}

TEST(DataScanf, UnboundedTextIsRefusedWithoutWriting) {
    char text[4] = "abc";
    int i = 0;
    for (const char* format : {"%d %s", "%d %[a-z]", "%d %ls"}) {
        data_stream* s = text_stream("5 overlong_word_that_would_overflow");
        EXPECT_EQ(data_scanf(s, format, &i, text), 1) << format;
        EXPECT_STREQ(text, "abc");
        data_close(s);
    }
}

TEST(DataScanf, FormatDirectives) {
    struct {
        const char* format;
        const char* input;
        int result;
    } cases[] = {
        {"%*d %d", "1 2", 1},
        {"%d%%%d", "5%6", 2},
        {"%d %%%d", "5 \t%6", 2},
        {"x%d", "y5", 0},
        {"x%d", "", -1},
        {"x%d", "x", -1},
        {"%d %d", "5", 1},
        {"%d,%d", "5 ,6", 1},
        {"%d%", "5", 1},
        {"%d %y", "5 6", 1},
        {"%*d %*d", "1 2", 0},
        {"%*s %d", "skipped_word 7", 1},
        {"%*[^=]=%d", "any key=9", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " on \"" + c.input + "\"");
        data_stream* s = text_stream(c.input);
        int a = 0, b = 0;
        EXPECT_EQ(data_scanf(s, c.format, &a, &b), c.result);
        data_close(s);
    }
}

TEST(DataScanf, RecordNotation) {
    data_stream* s = text_stream("[ 1 2.5 -3e1 ] rock_01\n[1,2,3]\n");
    float v[3] = {};
    char name[1024];
    int n = 0;
    EXPECT_EQ(data_scanf(s, "[ %f %f %f ] %1023s%n", &v[0], &v[1], &v[2], name, &n), 4);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(v[1], 2.5f);
    EXPECT_EQ(v[2], -30.0f);
    EXPECT_STREQ(name, "rock_01");
    EXPECT_EQ(n, 22);
    EXPECT_EQ(data_scanf(s, " [ %f %f %f ]", &v[0], &v[1], &v[2]), 1);  // stops at the comma
    EXPECT_EQ(data_getc(s), ',');
    data_close(s);
}

}  // namespace
