// Internals of the GOST R 34.10-94 primitives (zq/gost_sign.h), for the zq
// library and its tests: the procedures run from given starting values, and
// signing and key generation with their random source passed in, so that the
// standard's worked example and published parameter sets can be reproduced.
#pragma once

#include <cstdint>

#include "zq/gost_sign.h"
#include "zq/random_internal.h"

namespace nc::zq {

// GOSSignGenPQA's work from the starting values x0 and c instead of random
// ones: procedure A or B (A' or B' with kGosPqaVariant in the flags) for the
// context's bits, then a. Same results and callback as GOSSignGenPQA; also
// kGosPqaBadRequest (outputs zero) when x0 is not in 1 .. 2^w - 1 or c is not
// odd and below 2^w (w = 16 for A and B, 32 for A' and B').
int32_t GeneratePqaFrom(GOSPQAContext* context, uint32_t x0, uint32_t c);

// GOSSignGen with k drawn from `draw`: each try takes ceil(bits(q) / 8)
// bytes, read as a little-endian number and cut to bits(q) bits; a value of
// 0 or q and above is drawn again. GOSSignGen passes the strong generator.
void SignWithRandom(GOSSignContext* context, RandomBytes draw, void* draw_context);

// GOSSignGenPair with x drawn from `draw` the same way.
void GeneratePairWithRandom(GOSPairContext* context, RandomBytes draw, void* draw_context);

}  // namespace nc::zq
