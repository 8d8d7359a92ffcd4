#include "sim/world.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"

dWorldID g_world = nullptr;
dJointGroupID g_contact_group = nullptr;

namespace {

// Working memory of the world step, had at once, and the share added when
// it must grow.
constexpr unsigned step_reserve_bytes = 4u << 20;
constexpr float step_reserve_factor = 1.5f;
// Contact joints (and motors, which are no larger) a tick of a full field
// makes: about 16 a rider.
constexpr int reserved_joints = 160 * 16;

bool s_initialised = false;
bool s_usable = false;

// ODE's messages go to the log; a burst of the same message (the solver can
// repeat one every step) is logged a few times, then counted.
int s_messages_logged = 0;

void ode_report(const char* kind, int number, const char* format, va_list args) {
    if (s_messages_logged >= 64) return;
    char text[512];
    vsnprintf(text, sizeof text, format, args);
    log_printf("ODE %s %d: %s\n", kind, number, text);
    if (++s_messages_logged == 64) log_text("ODE: further messages are not logged\n");
}

void ode_message(int number, const char* format, va_list args) { ode_report("message", number, format, args); }
void ode_debug(int number, const char* format, va_list args) { ode_report("debug", number, format, args); }
void ode_error(int number, const char* format, va_list args) { ode_report("error", number, format, args); }

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
    dSetMessageHandler(ode_message);
    dSetDebugHandler(ode_debug);
    dSetErrorHandler(ode_error);
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
    // The game tick should not allocate once a race runs: the step's working
    // memory and the contact group's blocks are had up front for a full
    // field (the library keeps both between steps, and grows them only when
    // a pile-up needs more).
    dWorldStepReserveInfo reserve = {sizeof reserve, step_reserve_factor, step_reserve_bytes};
    dWorldSetStepMemoryReservationPolicy(g_world, &reserve);
    dContact blank;
    memset(&blank, 0, sizeof blank);
    for (int i = 0; i < reserved_joints; i++) dJointCreateContact(g_world, g_contact_group, &blank);
    dJointGroupEmpty(g_contact_group);
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
