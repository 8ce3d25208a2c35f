// The one seeded pseudo-random generator of the program (multiplier 48271,
// modulus 2^31 - 1) and degree-based trigonometry.
#pragma once

namespace kelvora {

constexpr int RND_DEFAULT_SEED = 4660;

void SeedRnd(int seed);
int RndSeed();
// Uniform in [0, 1), two generator steps.
double RndDouble();
// Uniform in [0, 1), one generator step, single precision.
float RndFloat();
// Uniform real between min and max, in either order.
double Rnd(double min = 1.0, double max = 0.0);
// Uniform whole number from min to max inclusive, in either order.
int Rand(int min, int max = 1);

double Sin(double degrees);
double Cos(double degrees);

}  // namespace kelvora
