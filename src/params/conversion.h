#pragma once

#include "link/param_value.h"

#include <cstdint>

namespace zef {

// How a register word and the value a control shows relate. The controller keeps integers in
// its own units; the window shows engineering units.
enum class Conversion : std::uint8_t {
    CountLessOne, // shown raw + 1, written round(x) - 1: the coil count is stored less one
    Plain,        // shown raw, written round(x)
    Millis,       // shown raw / 1000, written round(x * 1000): mV as V, us as ms
    Tenths,       // shown raw * 0.1, written round(x / 0.1): tenths of a percent
    TenthKelvin,  // shown raw / 10 - 273, written round(x * 10 + 2730): tenths of a kelvin
    // The engine temperature read-out: raw * 0.1 - 273. Same scale as TenthKelvin, computed the
    // other way round, which can differ in the last bit.
    TenthKelvinReadout,
};

// The extended-precision value nearest to one tenth. Enrichment is written as x divided by it,
// which is not always round(x * 10): 1.55 gives 15, not 16.
inline constexpr ParamValue kTenth = 0.1L;

[[nodiscard]] ParamValue ShownFromRaw(Conversion conversion, std::uint16_t word);

// The word sent for a shown value: the converted value rounded to the nearest integer, halves to
// the even neighbour, and of that integer the low 16 bits, so -1 goes out as 65535.
[[nodiscard]] std::uint16_t RawFromShown(Conversion conversion, ParamValue shown);

// Nearest integer, halves to even, whatever the floating-point rounding mode is set to.
// Non-finite values stay as they are.
[[nodiscard]] ParamValue RoundHalfEven(ParamValue value);

// The low 16 bits, in two's complement, of an integral value of any size. Not-a-number and
// infinities give 0, since they have no bits to send.
[[nodiscard]] std::uint16_t LowWord(ParamValue integral);

} // namespace zef
