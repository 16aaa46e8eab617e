#include "controls/bound_value.h"

#include "controls/format_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace zef {

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isMark(QChar c) {
    return c == u'.' || c == u',';
}
bool isSign(QChar c) {
    return c == u'+' || c == u'-';
}
bool isExponent(QChar c) {
    return c == u'e' || c == u'E';
}

// The characters of `text` that may make up the number, with either decimal mark as ".". The
// number starts at the first digit, sign or mark; after that only digits, marks and exponent
// letters count, and a sign only where it follows an exponent letter.
std::string collectNumber(const QString& text) {
    std::string s;
    qsizetype p = 0;
    for (; p < text.size(); ++p) {
        const QChar ch = text[p];
        if (isDigit(ch) || isSign(ch) || isMark(ch)) {
            s.push_back(isMark(ch) ? '.' : static_cast<char>(ch.unicode()));
            ++p;
            break;
        }
    }
    for (; p < text.size(); ++p) {
        const QChar ch = text[p];
        if (ch == u' ')
            break;
        if (isMark(ch))
            s.push_back('.');
        else if (isDigit(ch) || isExponent(ch) || (isSign(ch) && isExponent(text[p - 1])))
            s.push_back(static_cast<char>(ch.unicode()));
    }
    return s;
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits typed by hand can ask for any exponent; this keeps the arithmetic on it finite while
// staying far beyond the range of ParamValue.
constexpr long long kExponentCap = 1'000'000'000LL;

std::optional<ParamValue> convertNumber(const std::string& s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    std::string intDigits;
    std::string fracDigits;
    bool point = false;
    for (; i < s.size() && (isAsciiDigit(s[i]) || s[i] == '.'); ++i) {
        if (s[i] == '.') {
            if (point)
                return std::nullopt;
            point = true;
        } else {
            (point ? fracDigits : intDigits).push_back(s[i]);
        }
    }
    const bool hasMantissa = point || !intDigits.empty();
    long long exponent = 0;
    bool hasExponent = false;
    if (i < s.size()) {
        if (s[i] != 'e' && s[i] != 'E')
            return std::nullopt;
        ++i;
        bool exponentNegative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            exponentNegative = s[i] == '-';
            ++i;
        }
        const size_t exponentStart = i;
        for (; i < s.size() && isAsciiDigit(s[i]); ++i)
            exponent = std::min(exponent * 10 + (s[i] - '0'), kExponentCap);
        if (i == exponentStart || i != s.size())
            return std::nullopt;
        if (exponentNegative)
            exponent = -exponent;
        hasExponent = true;
    }
    if (!hasMantissa && !hasExponent)
        return std::nullopt; // empty, or a sign alone

    const auto intStart = intDigits.find_first_not_of('0');
    const auto fracStart = fracDigits.find_first_not_of('0');
    if (intStart == std::string::npos && fracStart == std::string::npos)
        return ParamValue{0};

    // The decimal order of the number decides between infinity and zero when it lies outside
    // the range of ParamValue.
    const long long order = intStart != std::string::npos
                                ? static_cast<long long>(intDigits.size() - intStart) + exponent
                                : exponent - static_cast<long long>(fracStart);
    constexpr ParamValue kInfinity = std::numeric_limits<ParamValue>::infinity();
    const ParamValue outside = order > 0 ? kInfinity : ParamValue{0};
    ParamValue magnitude = outside;
    if (std::abs(order) <= 2 * std::numeric_limits<ParamValue>::max_exponent10) {
        std::string normal = intDigits.empty() ? std::string("0") : intDigits;
        if (!fracDigits.empty())
            normal += "." + fracDigits;
        normal += "e" + std::to_string(exponent);
        // from_chars ignores the locale, so a comma locale does not change the reading.
        const auto res = std::from_chars(normal.data(), normal.data() + normal.size(), magnitude);
        if (res.ec != std::errc{})
            magnitude = outside;
    }
    return negative ? -magnitude : magnitude;
}

} // namespace

ParamValue LimitValue(ParamValue x, ParamValue min, ParamValue max) {
    ParamValue v = x;
    if (!(v <= max))
        v = max;
    if (v < min)
        v = min;
    if (std::fabs(v) < kZeroSnap)
        v = 0;
    return v;
}

std::optional<ParamValue> ParseValueText(const QString& text) {
    return convertNumber(collectNumber(text));
}

QString EditText(const QString& pattern, ParamValue value) {
    return u' ' + FormatValue(pattern, value);
}

QString ReadoutText(const QString& caption, const QString& pattern, ParamValue value) {
    return u' ' + caption + u' ' + FormatValue(pattern, value) + u' ';
}

std::optional<int> FontPointsForHeight(int heightPx) {
    const int points = heightPx * 2 / 3;
    if (points <= 0)
        return std::nullopt;
    return points;
}

int InkCentredLineTop(int areaHeight, int ascent, int capHeight, int descent) {
    const int inkHeight = capHeight + descent;
    const int spare = areaHeight - inkHeight;
    // Floor, not truncation: an odd shortfall puts the extra pixel below.
    const int above = spare >= 0 ? spare / 2 : -((1 - spare) / 2);
    return above - (ascent - capHeight);
}

int LineEditTopMargin(int areaHeight, int lineHeight, int wantTop) {
    // What the line edit does with a top margin m: the rest of the area, centred, rounding
    // towards zero as integer division does.
    const auto lineTop = [&](int m) { return m + (areaHeight - m - lineHeight + 1) / 2; };
    const int guess = 2 * (wantTop - lineTop(0));
    for (int m : {guess, guess + 1, guess - 1}) {
        if (lineTop(m) == wantTop)
            return m;
    }
    return guess;
}

QRect LayOutSpinButton(int editWidth, int editHeight) {
    const int height = std::max(0, editHeight - 3);
    const int width = std::max(height / 2, kSpinMinWidth);
    return {editWidth - width - 3, 0, width, height};
}

SpinHalves SplitSpinButton(QSize size) {
    const int upHeight = size.height() / 2;
    // The halves share one pixel row so that their borders do not double up.
    const int downTop = std::max(0, upHeight - 1);
    return {QRect(0, 0, size.width(), upHeight),
            QRect(0, downTop, size.width(), size.height() - downTop)};
}

} // namespace zef
