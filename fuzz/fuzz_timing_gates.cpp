// "timing_gates": whatever the bytes, the tables stay within their limits and
// every lap-list entry names a checkpoint.
#include <cmath>

#include "fuzz_files.h"
#include "race/gates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static timing_gates g;
    gates_read(&g, fuzz_write("timing_gates", data, size));
    if (g.spot_count < 0 || g.spot_count > max_gate_spots) abort();
    if (g.checkpoint_count < 0 || g.checkpoint_count > max_checkpoints) abort();
    for (int i = 0; i < g.spot_count; i++)
        if (!(std::fabs(g.spots[i].heading) <= (float)M_PI + 1e-6f)) abort();
    if (g.timed) {
        for (int p = 0; p < 600; p++) {
            int c = gates_course_checkpoint(&g, p);
            if (c < 0 || c >= g.checkpoint_count) abort();
        }
    } else if (g.checkpoint_count || g.first_count || g.normal_count) {
        abort();
    }
    return 0;
}
