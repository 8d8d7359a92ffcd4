// The rigid-body world: gravity (0, -32, 0) ft/s², one contact joint group
// emptied after every step, one standard step per tick.
#pragma once

#include <ode/ode.h>

extern dWorldID g_world;
extern dJointGroupID g_contact_group;

// Starts ODE (once per process) and checks that it computes in double
// precision; false, with a log line, when it does not.
bool physics_init();
// Creates the world and the contact group; false when ODE is unusable.
bool physics_world_create();
void physics_world_destroy();
// One tick: step the world and empty the contact group.
void physics_world_step(double seconds);
