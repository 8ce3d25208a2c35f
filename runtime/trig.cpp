#include "runtime/trig.h"

#include <quadmath.h>

long double SinExtended(long double radians)
{
    if (radians == 0) return radians;  // the common unrotated case, sign kept
    return static_cast<long double>(sinq(static_cast<__float128>(radians)));
}

long double CosExtended(long double radians)
{
    if (radians == 0) return 1.0L;
    return static_cast<long double>(cosq(static_cast<__float128>(radians)));
}
