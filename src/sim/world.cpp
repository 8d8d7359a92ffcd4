#include "sim/world.h"

#include <cstring>

#include "base/log.h"
#include "base/mem.h"

dWorldID g_world = nullptr;
dJointGroupID g_contact_group = nullptr;

namespace {

bool s_initialised = false;
bool s_usable = false;

// ODE's own allocations go through the tracked calls too.
void* ode_alloc(dsizeint size) { return mem_alloc_or_die(size); }
void* ode_realloc(void* block, dsizeint, dsizeint size) { return mem_realloc_or_die(block, size); }
void ode_free(void* block, dsizeint) { mem_free(block); }

}  // namespace

bool physics_init() {
    if (s_initialised) return s_usable;
    s_initialised = true;
    const char* config = dGetConfiguration();
    if (!config || !strstr(config, "ODE_double_precision")) {
        log_printf("The rigid-body library is not built for double precision (%s): can't simulate\n",
                   config ? config : "no configuration");
        s_usable = false;
        return false;
    }
    dSetAllocHandler(ode_alloc);
    dSetReallocHandler(ode_realloc);
    dSetFreeHandler(ode_free);
    dInitODE2(0);
    s_usable = true;
    return true;
}

bool physics_world_create() {
    if (!physics_init()) return false;
    if (g_world) return true;
    g_world = dWorldCreate();
    dWorldSetGravity(g_world, 0, -32, 0);
    g_contact_group = dJointGroupCreate(0);
    return true;
}

void physics_world_destroy() {
    if (g_contact_group) dJointGroupDestroy(g_contact_group);
    if (g_world) dWorldDestroy(g_world);
    g_contact_group = nullptr;
    g_world = nullptr;
}

void physics_world_step(double seconds) {
    dWorldStep(g_world, seconds);
    dJointGroupEmpty(g_contact_group);
}
