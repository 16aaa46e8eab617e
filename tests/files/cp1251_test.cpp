#include "files/cp1251.h"

#include <gtest/gtest.h>

#include <iconv.h>

using namespace zef;

namespace {

TEST(Cp1251, every_byte_comes_back_as_itself) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        EXPECT_EQ(UnicodeToCp1251(Cp1251ToUnicode(byte)), byte) << b;
    }
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(EncodeCp1251(DecodeCp1251(all)), all);
}

// The system's own converter is an independent reading of the code page.
TEST(Cp1251, agrees_with_the_system_converter) {
    iconv_t cd = iconv_open("UTF-32LE", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "the C library has no CP1251 converter";
    int compared = 0;
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char32_t out = 0;
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(&out);
        std::size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            continue; // undefined there; ours keeps it as the C1 control of the same number
        EXPECT_EQ(Cp1251ToUnicode(static_cast<std::uint8_t>(b)), out) << b;
        ++compared;
    }
    iconv_close(cd);
    EXPECT_GE(compared, 255);
}

TEST(Cp1251, tells_which_texts_it_can_hold) {
    const std::pair<QString, bool> cases[] = {
        {"ZEF-K7LX SN 05.02 00114 ", true},
        {"Серийный номер №5 «Ёж» — €", true},
        {"ЁёЎўІіЇїЄєҐґ", true},
        {"", true},
        {"ä", false},
        {"Ω", false},
        {QString::fromUtf8("ZEF 😀"), false},
        {"中", false},
    };
    for (const auto& [text, representable] : cases)
        EXPECT_EQ(IsCp1251Representable(text), representable) << text.toStdString();
}

TEST(Cp1251, encodes_one_byte_per_character) {
    const std::pair<QString, QByteArray> cases[] = {
        {"Жук 12", "\xC6\xF3\xEA 12"},
        {"№", "\xB9"},
        {QString::fromUtf8("a😀b"), "a?b"},
        {"aΩb", "a?b"},
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(EncodeCp1251(text), bytes) << text.toStdString();
        if (IsCp1251Representable(text)) {
            EXPECT_EQ(DecodeCp1251(bytes), text) << text.toStdString();
        }
    }
}

} // namespace
