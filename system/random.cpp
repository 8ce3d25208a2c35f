#include "kelvora/system/random.h"

#include <cmath>

#include "runtime/trig.h"

namespace kelvora {

namespace {
int rnd_state = RND_DEFAULT_SEED;

// One step of the minimal-standard generator by Schrage's method, so no
// intermediate leaves 32 bits.
int Step()
{
    constexpr int A = 48271, M = 0x7FFFFFFF, Q = 44488, R = 3399;
    rnd_state = (rnd_state % Q) * A - (rnd_state / Q) * R;
    if (rnd_state < 0) rnd_state += M;
    return rnd_state;
}
}  // namespace

void SeedRnd(int seed)
{
    rnd_state = seed & 0x7FFFFFFF;
    if (rnd_state == 0 || rnd_state == 0x7FFFFFFF) rnd_state = RND_DEFAULT_SEED;
}

int RndSeed() { return rnd_state; }

double RndDouble()
{
    double a = Step() & 0x1FFFFFFC;
    double b = Step() & 0x1FFFFFF8;
    return (a + b / 134217728.0) / 536870912.0;
}

float RndFloat() { return float(Step() & 0x0FFFFFF0) / 268435456.0f; }

double Rnd(double min, double max)
{
    double u = RndDouble();
    return max > min ? min + u * (max - min) : max + u * (min - max);
}

int Rand(int min, int max)
{
    // 64-bit range so extreme bounds cannot overflow.
    long long d = (long long)max - min;
    double u = RndDouble();
    if (d > 0) return int(min + (long long)(u * double(d + 1)));
    return int(max + (long long)(u * double(1 - d)));
}

double Sin(double degrees) { return double(SinExtended((long double)degrees * 0.017453292519943295L)); }
double Cos(double degrees) { return double(CosExtended((long double)degrees * 0.017453292519943295L)); }

}  // namespace kelvora
