// Shut-down: closes everything in a fixed order with a status line per step.
#include "base/log.h"
#include "base/mem.h"
#include "files/config.h"
#include "files/data.h"
#include "frame/game.h"
#include "frame/startup.h"
#include "platform/window.h"
#include "sim/shape.h"
#include "sim/world.h"

namespace {

void status(const char* text) { log_printf("%s\n", text); }

}  // namespace

int game_shutdown() {
    physics_world_destroy();

    status("Freeing memory (1)");
    status("Closing input devices");
    bindings_close();
    status("Closing audio");
    status("Writing config files");
    config_write();
    status("Freeing memory (2)");
    status("Freeing memory (3)");
    startup_free_catalogues();
    status("Freeing file list");
    file_list_free();
    status("Freeing memory (4)");
    shape_cache_free();
    status("Deleting textures");
    status("Deleting models");

    window_close(g_window);
    log_close();
    mem_report();
    sleep_for(1.0);
    return 0;
}
