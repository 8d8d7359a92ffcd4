// The race's random numbers: one MT19937 generator, seeded with the tick
// counter at every race reset.
#pragma once

#include <cstdint>

void random_seed(uint32_t seed);
uint32_t random_next();
// A uniform double in [0, 1).
double random_unit();
