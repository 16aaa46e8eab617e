#include "params/conversion.h"

#include "link/register_exchange.h"

#include <cmath>

namespace zef {

ParamValue ShownFromRaw(Conversion conversion, std::uint16_t word) {
    const ParamValue raw = word;
    switch (conversion) {
    case Conversion::CountLessOne:
        return raw + 1;
    case Conversion::Plain:
        return raw;
    case Conversion::Millis:
        return ReplyMillis(Reply{0, word});
    case Conversion::Tenths:
        return raw * kTenth;
    case Conversion::TenthKelvin:
        return raw / 10 - 273;
    case Conversion::TenthKelvinReadout:
        return raw * kTenth - 273;
    }
    return raw;
}

std::uint16_t RawFromShown(Conversion conversion, ParamValue x) {
    switch (conversion) {
    case Conversion::CountLessOne:
        return LowWord(RoundHalfEven(x) - 1);
    case Conversion::Plain:
        return LowWord(RoundHalfEven(x));
    case Conversion::Millis:
        return LowWord(RoundHalfEven(x * 1000));
    case Conversion::Tenths:
        return LowWord(RoundHalfEven(x / kTenth));
    case Conversion::TenthKelvin:
    case Conversion::TenthKelvinReadout: // read-outs are never written; the scale is the same
        return LowWord(RoundHalfEven(x * 10 + 2730));
    }
    return 0;
}

ParamValue RoundHalfEven(ParamValue value) {
    if (!std::isfinite(value))
        return value;
    // Ties to even is symmetric, and on magnitudes the fraction below is exact (the value and
    // its floor are within a factor of two, or the floor is 0), so a tie is a true tie.
    if (value < 0)
        return -RoundHalfEven(-value);
    const ParamValue below = std::floor(value);
    const ParamValue fraction = value - below;
    if (fraction < 0.5L)
        return below;
    if (fraction > 0.5L)
        return below + 1;
    return std::fmod(below, 2.0L) == 0 ? below : below + 1;
}

std::uint16_t LowWord(ParamValue integral) {
    if (!std::isfinite(integral))
        return 0;
    // fmod is exact, so this holds for values far beyond any integer type.
    ParamValue low = std::fmod(integral, 65536.0L);
    if (low < 0)
        low += 65536;
    return static_cast<std::uint16_t>(low);
}

} // namespace zef
