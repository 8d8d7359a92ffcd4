#include "base/options.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"

namespace {

bool s_read = false;
char* s_text = nullptr;  // kept for the whole run

const char* variable() {
    if (!s_read) {
        s_read = true;
        const char* v = getenv("KWIL_OPTIONS");
        s_text = mem_strdup(v ? v : "");
    }
    return s_text ? s_text : "";
}

// The text after "[name:", or null.
const char* find_value(const char* name) {
    char key[64];
    snprintf(key, sizeof key, "[%.60s:", name);
    const char* at = strstr(variable(), key);
    return at ? at + strlen(key) : nullptr;
}

}  // namespace

bool option_bool(const char* name, bool default_value) {
    const char* v = find_value(name);
    if (!v) return default_value;
    if (!strncmp(v, "yes]", 4) || !strncmp(v, "on]", 3)) return true;
    if (!strncmp(v, "no]", 3) || !strncmp(v, "off]", 4)) return false;
    log_printf("unrecognized setting for %.60s\n", name);
    return default_value;
}

int option_int(const char* name, int default_value) {
    const char* v = find_value(name);
    if (!v) return default_value;
    const char* p = v;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '+' || *p == '-') p++;
    if (!isdigit((unsigned char)*p)) {
        log_printf("unrecognized setting for %.60s\n", name);
        return default_value;
    }
    long value = strtol(v, nullptr, 10);
    if (value > 2147483647L) value = 2147483647L;
    if (value < -2147483647L - 1) value = -2147483647L - 1;
    return (int)value;
}

void options_reset_for_tests() {
    mem_free(s_text);
    s_text = nullptr;
    s_read = false;
}
