#pragma once

#include <limits>

namespace zef {

// Conversions between register words and engineering units are computed in x87 extended
// precision; the rounding of displayed and written values depends on it.
using ParamValue = long double;

static_assert(std::numeric_limits<ParamValue>::digits == 64,
              "ParamValue needs a 64-bit mantissa (x86 extended precision)");

} // namespace zef
