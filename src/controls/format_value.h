#pragma once

#include "link/param_value.h"

#include <QString>

namespace zef {

// Turns a value into text by a picture pattern: "0" and "#" are digit places, the first "."
// marks the decimal point, every other character is printed as it stands. The decimal mark is
// always ".", whatever the locale, because fitters compare these texts with the controller's
// documentation.
[[nodiscard]] QString FormatValue(const QString& pattern, ParamValue value);

// The decimal digits of |value| rounded half away from zero at `decimals` places, after the
// value has first been taken to 18 significant digits. `integer` has no leading zeros and is
// empty for a zero integer part; `fraction` has exactly `decimals` digits.
struct RoundedDecimal {
    std::string integer;
    std::string fraction;
    bool isZero = true;
    bool finite = true;
};
[[nodiscard]] RoundedDecimal RoundDecimal(ParamValue value, int decimals);

} // namespace zef
