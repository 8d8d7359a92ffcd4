// The program clock: seconds since the clock's start (the first reading).
//
// The real clock is monotonic. Tests and the scripted platform backend may
// replace it with a function of their own; the log stamps its entries and
// the main loop measures frames with whatever is installed.
#pragma once

double clock_seconds();

// Replaces the clock; null restores the real one.
void clock_install(double (*now)());

// The real monotonic clock, whatever is installed.
double clock_real_seconds();
