/// @file
/// The one seeded pseudo-random generator of the program (multiplier 48271,
/// modulus 2^31 - 1) and degree-based trigonometry. The same seed gives the
/// same numbers on every system; a game that records and replays its runs
/// seeds it at start and draws every number from it.
#pragma once

namespace kelvora {

/// The seed the generator starts with.
constexpr int RND_DEFAULT_SEED = 4660;

/// Restarts the sequence: the low 31 bits of seed (0 and 2^31 - 1 give
/// RND_DEFAULT_SEED).
void SeedRnd(int seed);
/// The generator's state, which SeedRnd takes back to go on from here.
int RndSeed();
/// Uniform in [0, 1), two generator steps.
double RndDouble();
/// Uniform in [0, 1), one generator step, single precision.
float RndFloat();
/// Uniform real between min and max, in either order; Rnd() is [0, 1).
double Rnd(double min = 1.0, double max = 0.0);
/// Uniform whole number from min to max inclusive, in either order; Rand(n)
/// is 1..n.
int Rand(int min, int max = 1);

/// Sine of an angle in degrees, the same to the bit on every system.
double Sin(double degrees);
/// Cosine of an angle in degrees, the same to the bit on every system.
double Cos(double degrees);

}  // namespace kelvora
