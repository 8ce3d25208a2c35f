#include "runtime/trig.h"

#if KV_QUAD_TRIG
#include <quadmath.h>
#else
#include <cmath>
#endif

namespace kelvora {

#if KV_QUAD_TRIG

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
#else
// Compilers without libquadmath (clang, which builds the fuzz targets and the
// browser's WebAssembly) take the C library's long double functions.
long double SinExtended(long double radians) { return std::sin(radians); }

long double CosExtended(long double radians) { return std::cos(radians); }
#endif

}  // namespace kelvora
