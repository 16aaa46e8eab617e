#include "controls/format_value.h"

#include <charconv>
#include <cmath>
#include <string>

namespace zef {

namespace {

bool isPlaceholder(QChar c) {
    return c == u'0' || c == u'#';
}

// Adds one unit at the last digit of a decimal digit string; returns true when it carried out
// of the leftmost digit.
bool incrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    return true;
}

} // namespace

RoundedDecimal RoundDecimal(ParamValue value, int decimals) {
    RoundedDecimal out;
    if (!std::isfinite(value)) {
        out.finite = false;
        out.isZero = false;
        out.integer = std::isnan(value) ? "NAN" : "INF";
        out.fraction.assign(static_cast<size_t>(decimals), '0');
        return out;
    }
    const ParamValue magnitude = std::fabs(value);

    // 18 significant digits, nearest: d.ddddddddddddddddde±x, from which the digit string and
    // the position of the decimal point follow. to_chars ignores the locale.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 17);
    std::string text(buf, res.ptr);
    const auto ePos = text.find('e');
    std::string digits;
    for (size_t i = 0; i < ePos; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            digits.push_back(text[i]);
    }
    const int exponent = std::stoi(text.substr(ePos + 1));
    int point = exponent + 1; // digits before the decimal point

    if (magnitude == 0) {
        digits = "0";
        point = 1;
    }

    // Keep the digits up to the wanted decimal and round half away from zero on the next one.
    const int keep = point + decimals;
    if (keep <= 0) {
        // Every kept digit is zero; only the first dropped one can round up to one unit of the
        // last decimal.
        out.fraction.assign(static_cast<size_t>(decimals), '0');
        const bool roundUp = keep == 0 && digits[0] >= '5';
        if (roundUp && decimals == 0)
            out.integer = "1";
        else if (roundUp)
            out.fraction.back() = '1';
        out.isZero = !roundUp;
        return out;
    }
    std::string kept = digits.substr(0, std::min<size_t>(digits.size(), static_cast<size_t>(keep)));
    kept.resize(static_cast<size_t>(keep), '0');
    if (static_cast<size_t>(keep) < digits.size() && digits[static_cast<size_t>(keep)] >= '5') {
        if (incrementDigits(kept)) {
            kept.insert(kept.begin(), '1');
            ++point;
        }
    }

    // Split at the decimal point; point may be zero or negative when decimals pad the front.
    if (point <= 0) {
        kept.insert(0, static_cast<size_t>(-point), '0');
        point = 0;
    }
    out.integer = kept.substr(0, static_cast<size_t>(point));
    out.fraction = kept.substr(static_cast<size_t>(point));
    const auto firstNonZero = out.integer.find_first_not_of('0');
    out.integer =
        firstNonZero == std::string::npos ? std::string() : out.integer.substr(firstNonZero);
    out.isZero = out.integer.empty() && out.fraction.find_first_not_of('0') == std::string::npos;
    return out;
}

QString FormatValue(const QString& pattern, ParamValue value) {
    const qsizetype pointIndex = pattern.indexOf(u'.');

    int intPlaces = 0;
    int decPlaces = 0;
    qsizetype firstZeroPlace = -1; // among the integer places, counted from 0
    int lastZeroDecimal = -1;      // among the decimal places
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (!isPlaceholder(c))
            continue;
        if (pointIndex < 0 || i < pointIndex) {
            if (c == u'0' && firstZeroPlace < 0)
                firstZeroPlace = intPlaces;
            ++intPlaces;
        } else {
            if (c == u'0')
                lastZeroDecimal = decPlaces;
            ++decPlaces;
        }
    }

    const RoundedDecimal r = RoundDecimal(value, decPlaces);
    const std::string& intDigits = r.integer;
    const int intLen = static_cast<int>(intDigits.size());

    // A "#" decimal place prints only up to the last non-zero decimal; a "0" always prints.
    int lastNonZero = -1;
    for (int i = 0; i < static_cast<int>(r.fraction.size()); ++i) {
        if (r.fraction[static_cast<size_t>(i)] != '0')
            lastNonZero = i;
    }
    const int decimalsShown = std::max(lastZeroDecimal, lastNonZero) + 1;

    QString out;
    if (value < 0 && !r.isZero)
        out += u'-';

    int intPlace = 0;
    int decPlace = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'.')
            continue; // the first marks the point, the others are ignored
        if (!isPlaceholder(c)) {
            out += c;
            continue;
        }
        if (pointIndex < 0 || i < pointIndex) {
            // Right-align the integer digits on the last integer place; surplus leading digits
            // all go to the first place.
            const int digitIndex = intLen - (intPlaces - intPlace);
            if (intPlace == 0 && digitIndex > 0)
                out += QString::fromLatin1(intDigits.data(), digitIndex);
            if (digitIndex >= 0)
                out += QLatin1Char(intDigits[static_cast<size_t>(digitIndex)]);
            else if (firstZeroPlace >= 0 && intPlace >= firstZeroPlace)
                out += u'0';
            ++intPlace;
        } else {
            if (decPlace == 0 && intPlaces == 0 && intLen > 0)
                out += QString::fromLatin1(intDigits.data(), intLen);
            if (decPlace < decimalsShown) {
                if (decPlace == 0)
                    out += u'.';
                out += QLatin1Char(r.fraction[static_cast<size_t>(decPlace)]);
            }
            ++decPlace;
        }
    }
    return out;
}

} // namespace zef
