#include "base/random.h"

#include <random>

namespace {
std::mt19937 s_generator(5489u);
}

void random_seed(uint32_t seed) { s_generator.seed(seed); }
uint32_t random_next() { return (uint32_t)s_generator(); }
double random_unit() { return random_next() * (1.0 / 4294967296.0); }
