// The configuration reader on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = false;
    if (!ready) {
        config_defaults();
        ready = true;
    }
    std::string text((const char*)data, size);
    config_read_text(text.c_str());
    config_defaults();
    return 0;
}
