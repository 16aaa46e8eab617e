#pragma once

#include <QFont>

namespace zef {

// The windows are laid out for an 8-point sans serif of the width of the classic desktop
// fonts. Liberation Sans has Arial's widths and a Cyrillic alphabet; where it is missing the
// desktop's sans serif stands in. (The "Courier New" of the serial number and the status line
// is Liberation Mono by the same fontconfig rule.)
[[nodiscard]] inline QFont FormFont(int points = 8) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    return font;
}

} // namespace zef
