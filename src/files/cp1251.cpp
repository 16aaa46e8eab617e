#include "files/cp1251.h"

#include <QList>
#include <QStringView>

#include <array>

namespace zef {

namespace {

constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

// 0xC0 to 0xFF are А to я in Unicode order.
constexpr char32_t kCyrillicA = 0x0410;
constexpr std::uint8_t kCyrillicStart = 0xC0;

} // namespace

char32_t Cp1251ToUnicode(std::uint8_t byte) {
    if (byte < 0x80)
        return byte;
    if (byte >= kCyrillicStart)
        return kCyrillicA + (byte - kCyrillicStart);
    return kUpperHalf[byte - 0x80];
}

std::optional<std::uint8_t> UnicodeToCp1251(char32_t codePoint) {
    if (codePoint < 0x80)
        return static_cast<std::uint8_t>(codePoint);
    if (codePoint >= kCyrillicA && codePoint < kCyrillicA + 64)
        return static_cast<std::uint8_t>(kCyrillicStart + (codePoint - kCyrillicA));
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i)
        if (kUpperHalf[i] == codePoint)
            return static_cast<std::uint8_t>(0x80 + i);
    return std::nullopt;
}

QString DecodeCp1251(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        text.append(QChar(static_cast<char16_t>(Cp1251ToUnicode(static_cast<std::uint8_t>(byte)))));
    return text;
}

QByteArray EncodeCp1251(const QString& text, char replacement) {
    QByteArray bytes;
    bytes.reserve(text.size());
    // By code point, so a character outside the basic plane costs one replacement, not two.
    for (const char32_t codePoint : QStringView(text).toUcs4()) {
        const auto byte = UnicodeToCp1251(codePoint);
        bytes.append(byte ? static_cast<char>(*byte) : replacement);
    }
    return bytes;
}

bool IsCp1251Representable(const QString& text) {
    for (const char32_t codePoint : QStringView(text).toUcs4())
        if (!UnicodeToCp1251(codePoint))
            return false;
    return true;
}

} // namespace zef
