#pragma once

#include <QFont>

namespace zef {

// The windows are laid out for an 8-point sans serif of the width of the classic desktop
// fonts. Liberation Sans has Arial's widths and a Cyrillic alphabet; where it is missing the
// desktop's sans serif stands in.
[[nodiscard]] inline QFont FormFont(int points = 8) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    return font;
}

// Liberation Mono has the widths of Courier New, which the serial number and the status line
// are laid out for.
[[nodiscard]] inline QFont FormMonoFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")});
    font.setStyleHint(QFont::Monospace);
    return font;
}

} // namespace zef
