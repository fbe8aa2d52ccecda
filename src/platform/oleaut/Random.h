#pragma once
// The runtime's timer and pseudo-random numbers. The generator is per thread:
// a 24-bit linear congruential generator whose sequence, seeds included, is
// the runtime's own, so a page seeded the same way draws the same numbers.

#include "platform/oleaut/Numbers.h"

namespace kelvane::oleaut {

// Seconds since local midnight, with fractions, in single precision.
Single Timer();

// Mixes `seed` into the calling thread's generator: the same state and seed
// give the same numbers after.
void Randomize(double seed);

// The next number of the calling thread's generator, uniform in [0, 1), in
// steps of 2^-24.
Single Rnd();

// Rnd with an argument: a negative `n` first restarts the generator from
// `n` (the same `n`, the same number), zero repeats the last number drawn,
// anything else draws the next.
Single Rnd(Single n);

}  // namespace kelvane::oleaut
