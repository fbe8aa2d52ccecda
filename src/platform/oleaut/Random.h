#pragma once
// The runtime's timer and pseudo-random numbers. The generator is per thread.

#include "platform/oleaut/Numbers.h"

namespace kelvane::oleaut {

// Seconds since local midnight, with fractions, in single precision.
Single Timer();

// Seeds the calling thread's generator; the same seed gives the same numbers.
void Randomize(Single seed);

// The next number of the calling thread's generator, uniform in [0, 1),
// in steps of 2^-24.
Single Rnd();

}  // namespace kelvane::oleaut
