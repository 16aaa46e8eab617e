#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace zef {

// The controller and the production log hold text as single bytes of the Windows Cyrillic code
// page. Qt Core cannot be relied on to convert it (that depends on ICU), so the table is ours.
// All 256 bytes map to a character and back; 0x98, which the code page leaves undefined, maps to
// U+0098 as on Windows, so whatever a controller holds survives being read and written again.

[[nodiscard]] char32_t Cp1251ToUnicode(std::uint8_t byte);
[[nodiscard]] std::optional<std::uint8_t> UnicodeToCp1251(char32_t codePoint);

[[nodiscard]] QString DecodeCp1251(QByteArrayView bytes);

// One byte per character; a character the code page cannot hold becomes `replacement`.
[[nodiscard]] QByteArray EncodeCp1251(const QString& text, char replacement = '?');

// Whether every character of text has a byte in the code page: what an edit that feeds the
// controller may accept.
[[nodiscard]] bool IsCp1251Representable(const QString& text);

} // namespace zef
