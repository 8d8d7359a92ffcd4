// Formatted reading from a data stream.
//
// The reader sees the stream only through data_peekc and data_getc, so it can
// look at most one byte ahead (the stream's single pushback byte). Numbers are
// therefore matched greedily, one byte at a time, and a byte is taken only
// when it can continue the number's text:
//
// - Integers: optional sign, then digits of the base; "0x"/"0X" before hex
//   digits for %x and %i ("0" then octal digits for %i). "0x" followed by a
//   non-hex byte converts to 0 with the "x" consumed. A sign alone is a
//   matching failure with the sign consumed. Out-of-range values saturate as
//   strtoll (signed conversions) or strtoull (unsigned ones) do, and are then
//   stored truncated to the size of the target.
// - Floats (%f %e %g %a and upper case): optional sign, then a decimal or
//   hex ("0x") mantissa with an optional point, an optional exponent ("e" or
//   "p", optional sign, digits), or "inf", "infinity", "nan", "nan(...)".
//   The value is strtof/strtod/strtold of the longest valid prefix of the
//   bytes taken, so "1e", "1e+" or "1.5ex" convert as "1" or "1.5" with the
//   dangling exponent bytes consumed; a field whose bytes form no number at
//   all ("-", ".", "na") is a matching failure. A float field is at most 1023
//   bytes even without a width; longer digit runs continue as the next field.
//
// %s and %[ must carry a field width: without one the call ends there (and a
// log line says so, once); %*s and %*[ store nothing and need none. %c without a width reads one byte and counts only
// when all of its width was read. %n stores the bytes consumed since the call
// began and is not counted.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "files/data.h"

namespace {

enum scan_size { size_hh, size_h, size_none, size_l, size_ll, size_L, size_j, size_z, size_t_ };

enum { float_field_max = 1023 };

struct scan_input {
    data_stream* s;
    int64_t consumed;
};

int peek(scan_input* in) { return data_peekc(in->s); }

int take(scan_input* in) {
    int c = data_getc(in->s);
    if (c >= 0) in->consumed++;
    return c;
}

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skip_space(scan_input* in) {
    while (is_space(peek(in))) take(in);
}

int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

int lower(int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Says once per kind of refusal why a call ended early.
void refuse(int kind, const char* text) {
    static bool said[3];
    if (kind < 0 || kind >= 3 || said[kind]) return;
    said[kind] = true;
    log_text(text);
}

// Outcome of one conversion.
enum scan_result { scan_ok, scan_no_match, scan_input_end };

// Integer text: returns the value as strtoll/strtoull would (64 bits).
scan_result scan_integer(scan_input* in, int base, bool is_signed, int width, uint64_t* out) {
    skip_space(in);
    int c = peek(in);
    if (c < 0) return scan_input_end;
    bool negative = false;
    if ((c == '+' || c == '-') && width > 0) {
        negative = c == '-';
        take(in);
        width--;
    }
    bool have_digit = false;
    if ((base == 0 || base == 16) && width > 0 && peek(in) == '0') {
        take(in);
        width--;
        have_digit = true;
        if (width > 0 && (peek(in) == 'x' || peek(in) == 'X')) {
            take(in);
            width--;
            base = 16;
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0) base = 10;
    uint64_t value = 0;
    bool overflow = false;
    while (width > 0) {
        int d = digit_value(peek(in));
        if (d >= base) break;
        take(in);
        width--;
        have_digit = true;
        if (value > (UINT64_MAX - (uint64_t)d) / (uint64_t)base) overflow = true;
        else value = value * (uint64_t)base + (uint64_t)d;
    }
    if (!have_digit) return scan_no_match;
    if (is_signed) {
        uint64_t limit = negative ? (uint64_t)INT64_MAX + 1 : (uint64_t)INT64_MAX;
        if (overflow || value > limit) value = limit;
        *out = negative ? (uint64_t)0 - value : value;
    } else {
        *out = overflow ? UINT64_MAX : negative ? (uint64_t)0 - value : value;
    }
    return scan_ok;
}

// Float text: the bytes taken go to text (terminated); *valid is the length
// of the longest prefix that is a complete number.
struct float_text {
    char text[float_field_max + 1];
    int length;
    int valid;
    int width;
};

bool float_take_if(scan_input* in, float_text* f, bool (*accept)(int)) {
    if (f->width <= 0) return false;
    int c = peek(in);
    if (c < 0 || !accept(c)) return false;
    take(in);
    f->text[f->length++] = (char)c;
    f->text[f->length] = 0;
    f->width--;
    return true;
}

bool float_take_char(scan_input* in, float_text* f, char wanted) {
    if (f->width <= 0) return false;
    int c = peek(in);
    if (c < 0 || lower(c) != wanted) return false;
    take(in);
    f->text[f->length++] = (char)c;
    f->text[f->length] = 0;
    f->width--;
    return true;
}

bool accept_sign(int c) { return c == '+' || c == '-'; }
bool accept_decimal(int c) { return c >= '0' && c <= '9'; }
bool accept_hex(int c) { return digit_value(c) < 16; }
bool accept_nan_char(int c) { return digit_value(c) < 36 || c == '_'; }

// Takes the letters of word one by one; true when all of them were taken.
bool float_take_word(scan_input* in, float_text* f, const char* word) {
    for (const char* p = word; *p; p++)
        if (!float_take_char(in, f, *p)) return false;
    return true;
}

scan_result scan_float_text(scan_input* in, int width, float_text* f) {
    skip_space(in);
    f->length = 0;
    f->valid = 0;
    f->text[0] = 0;
    f->width = width > 0 && width < float_field_max ? width : float_field_max;
    if (peek(in) < 0) return scan_input_end;
    float_take_if(in, f, accept_sign);
    int c = lower(peek(in));
    if (c == 'i') {
        if (float_take_word(in, f, "inf")) {
            f->valid = f->length;
            if (float_take_word(in, f, "inity")) f->valid = f->length;
        }
    } else if (c == 'n') {
        if (float_take_word(in, f, "nan")) {
            f->valid = f->length;
            if (float_take_char(in, f, '(')) {
                while (float_take_if(in, f, accept_nan_char)) {
                }
                if (float_take_char(in, f, ')')) f->valid = f->length;
            }
        }
    } else {
        bool hex = false, digits = false;
        bool (*accept_digit)(int) = accept_decimal;
        if (float_take_char(in, f, '0')) {
            f->valid = f->length;
            digits = true;
            if (float_take_char(in, f, 'x')) {
                hex = true;
                digits = false;
                accept_digit = accept_hex;
            }
        }
        while (float_take_if(in, f, accept_digit)) {
            digits = true;
            f->valid = f->length;
        }
        if (float_take_char(in, f, '.')) {
            if (digits) f->valid = f->length;
            while (float_take_if(in, f, accept_digit)) {
                digits = true;
                f->valid = f->length;
            }
        }
        if (digits && float_take_char(in, f, hex ? 'p' : 'e')) {
            float_take_if(in, f, accept_sign);
            while (float_take_if(in, f, accept_decimal)) f->valid = f->length;
        }
    }
    if (f->valid == 0) return scan_no_match;
    f->text[f->valid] = 0;
    return scan_ok;
}

void store_integer(void* target, scan_size size, uint64_t v) {
    switch (size) {
    case size_hh: *(unsigned char*)target = (unsigned char)v; break;
    case size_h: *(unsigned short*)target = (unsigned short)v; break;
    case size_none: *(unsigned int*)target = (unsigned int)v; break;
    case size_l: *(unsigned long*)target = (unsigned long)v; break;
    case size_ll:
    case size_L: *(unsigned long long*)target = (unsigned long long)v; break;
    case size_j: *(uintmax_t*)target = (uintmax_t)v; break;
    case size_z: *(size_t*)target = (size_t)v; break;
    case size_t_: *(ptrdiff_t*)target = (ptrdiff_t)v; break;
    }
}

void store_float(void* target, scan_size size, const char* text) {
    if (size == size_l) *(double*)target = strtod(text, nullptr);
    else if (size == size_L || size == size_ll) *(long double*)target = strtold(text, nullptr);
    else *(float*)target = strtof(text, nullptr);
}

// Reads the scan set after "[" (and "^"); returns the format after the
// closing "]", or null when there is none.
const char* parse_scan_set(const char* f, bool set[256]) {
    bool negate = false;
    if (*f == '^') {
        negate = true;
        f++;
    }
    memset(set, 0, 256 * sizeof(bool));
    const char* start = f;
    while (*f && (*f != ']' || f == start)) {
        unsigned char a = (unsigned char)*f;
        if (f[1] == '-' && f[2] && f[2] != ']' && (unsigned char)f[2] >= a) {
            for (int c = a; c <= (unsigned char)f[2]; c++) set[c] = true;
            f += 3;
        } else {
            set[a] = true;
            f++;
        }
    }
    if (*f != ']') return nullptr;
    if (negate)
        for (int c = 0; c < 256; c++) set[c] = !set[c];
    return f + 1;
}

}  // namespace

int data_scanf(data_stream* s, const char* format, ...) {
    va_list args;
    va_start(args, format);
    scan_input in = {s, 0};
    int assigned = 0;
    bool converted = false;  // a conversion (assigned or suppressed) has completed
    const char* f = format;
    scan_result failure = scan_ok;

    while (*f && failure == scan_ok) {
        unsigned char fc = (unsigned char)*f;
        if (is_space(fc)) {
            while (is_space((unsigned char)*f)) f++;
            skip_space(&in);
            continue;
        }
        if (fc != '%' || f[1] == '%') {
            if (fc == '%') {
                f++;
                skip_space(&in);
            }
            int c = peek(&in);
            if (c < 0) failure = scan_input_end;
            else if (c != (unsigned char)*f) failure = scan_no_match;
            else take(&in);
            f++;
            continue;
        }

        // A conversion: %[*][width][size]letter
        f++;
        bool suppress = false;
        if (*f == '*') {
            suppress = true;
            f++;
        }
        int width = 0;
        while (*f >= '0' && *f <= '9') {
            if (width < 100000000) width = width * 10 + (*f - '0');
            f++;
        }
        scan_size size = size_none;
        if (f[0] == 'h' && f[1] == 'h') size = size_hh, f += 2;
        else if (f[0] == 'l' && f[1] == 'l') size = size_ll, f += 2;
        else if (*f == 'h') size = size_h, f++;
        else if (*f == 'l') size = size_l, f++;
        else if (*f == 'L' || *f == 'q') size = size_L, f++;
        else if (*f == 'j') size = size_j, f++;
        else if (*f == 'z') size = size_z, f++;
        else if (*f == 't') size = size_t_, f++;
        char letter = *f;
        if (!letter) break;
        f++;
        bool is_text = letter == 's' || letter == 'c' || letter == '[';
        if (is_text && size != size_none) {
            refuse(1, "data_scanf: wide-character conversions are not supported\n");
            break;
        }

        switch (letter) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            int base = letter == 'd' || letter == 'u' ? 10 : letter == 'i' ? 0 : letter == 'o' ? 8 : 16;
            bool is_signed = letter == 'd' || letter == 'i';
            uint64_t v = 0;
            failure = scan_integer(&in, base, is_signed, width > 0 ? width : INT32_MAX, &v);
            if (failure != scan_ok) break;
            converted = true;
            if (!suppress) {
                store_integer(va_arg(args, void*), size, v);
                assigned++;
            }
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            float_text text;
            failure = scan_float_text(&in, width, &text);
            if (failure != scan_ok) break;
            converted = true;
            if (!suppress) {
                store_float(va_arg(args, void*), size, text.text);
                assigned++;
            }
            break;
        }
        case 's': {
            if (width <= 0 && suppress) width = INT32_MAX;
            if (width <= 0) {
                refuse(0, "data_scanf: %s and %[ without a field width are refused\n");
                failure = scan_no_match;
                break;
            }
            skip_space(&in);
            if (peek(&in) < 0) {
                failure = scan_input_end;
                break;
            }
            char* out = suppress ? nullptr : va_arg(args, char*);
            int n = 0;
            int c;
            while (n < width && (c = peek(&in)) >= 0 && !is_space(c)) {
                take(&in);
                if (out) out[n] = (char)c;
                n++;
            }
            if (out) out[n] = 0;
            converted = true;
            if (out) assigned++;
            break;
        }
        case 'c': {
            if (width <= 0) width = 1;
            if (peek(&in) < 0) {
                failure = scan_input_end;
                break;
            }
            char* out = suppress ? nullptr : va_arg(args, char*);
            int n = 0;
            int c;
            while (n < width && (c = take(&in)) >= 0) {
                if (out) out[n] = (char)c;
                n++;
            }
            if (n < width) {
                failure = scan_input_end;
                break;
            }
            converted = true;
            if (out) assigned++;
            break;
        }
        case '[': {
            bool set[256];
            const char* after = parse_scan_set(f, set);
            if (!after) {
                refuse(2, "data_scanf: unsupported or malformed conversion in the format\n");
                failure = scan_no_match;
                break;
            }
            f = after;
            if (width <= 0 && suppress) width = INT32_MAX;
            if (width <= 0) {
                refuse(0, "data_scanf: %s and %[ without a field width are refused\n");
                failure = scan_no_match;
                break;
            }
            if (peek(&in) < 0) {
                failure = scan_input_end;
                break;
            }
            char* out = suppress ? nullptr : va_arg(args, char*);
            int n = 0;
            int c;
            while (n < width && (c = peek(&in)) >= 0 && set[c]) {
                take(&in);
                if (out) out[n] = (char)c;
                n++;
            }
            if (n == 0) {
                failure = scan_no_match;
                break;
            }
            if (out) out[n] = 0;
            converted = true;
            if (out) assigned++;
            break;
        }
        case 'n':
            if (!suppress) store_integer(va_arg(args, void*), size, (uint64_t)in.consumed);
            break;
        default:
            refuse(2, "data_scanf: unsupported or malformed conversion in the format\n");
            failure = scan_no_match;
            break;
        }
    }
    va_end(args);
    if (failure == scan_input_end && !converted) return -1;
    return assigned;
}
