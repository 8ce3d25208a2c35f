// Sine and cosine in extended precision that give the same bits on every
// system. C libraries differ in the last bits (the x87 instructions behind
// some of them lose most bits near the zeros), and a replay must not: these
// are computed in software in quadruple precision and rounded once to
// extended precision.
#pragma once

namespace kelvora {

long double SinExtended(long double radians);
long double CosExtended(long double radians);

}  // namespace kelvora
