#include "controls/format_value.h"
#include "params/catalogue.h"
#include "params/conversion.h"

#include "rows.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

using namespace zef;

namespace {

constexpr Conversion kAll[] = {Conversion::CountLessOne, Conversion::Plain,
                               Conversion::Millis,       Conversion::Tenths,
                               Conversion::TenthKelvin,  Conversion::TenthKelvinReadout};

using test::Edit;
using test::Readout;

// A value read and written straight back must not drift: the fitter who only looks at a
// parameter would otherwise change it.
TEST(params_conversion, every_word_comes_back_unchanged_through_show_and_write) {
    for (const Conversion c : kAll) {
        int drifted = 0;
        for (std::uint32_t w = 0; w <= 0xFFFF; ++w) {
            const auto word = static_cast<std::uint16_t>(w);
            if (RawFromShown(c, ShownFromRaw(c, word)) != word && ++drifted <= 3)
                ADD_FAILURE() << "conversion " << int(c) << " word " << w;
        }
        EXPECT_EQ(drifted, 0) << "conversion " << int(c);
    }
}

TEST(params_conversion, stored_words_show_in_engineering_units) {
    struct Case {
        std::string_view control;
        std::uint16_t word;
        const char* text; // through the control's own pattern
    };
    const Case edits[] = {
        {"SpinExtEdit20", 1234, "123 %"}, // 123.4 on a whole-number pattern
        {"SpinExtEdit24", 5, "1 %"},      // 0.5 rounds away from zero on screen
        {"SpinExtEdit19", 650, "0.65 Volt"},
        {"SpinExtEdit16", 65535, "65.5 V"},
        {"SpinExtEdit22", 3330, "60 град С"},
        {"SpinExtEdit22", 0, "-273 град С"},
        {"SpinExtEdit18", 1600, "1600 Об/мин"},
    };
    for (const auto& c : edits) {
        const EditRow& row = Edit(c.control);
        EXPECT_EQ(FormatValue(ToQString(row.ValueFormat), ShownFromRaw(row.conversion, c.word)),
                  QString::fromUtf8(c.text))
            << c.control << " " << c.word;
    }
    const Case readouts[] = {
        {"ExtText9", 0, "-273 град С"},     {"ExtText9", 3130, "40 град С"},
        {"ExtText1", 65535, "65.54 Вольт"}, {"ExtText4", 2850, "2.85 mS"},
        {"ExtText2", 851, "851 Об/мин"},
    };
    for (const auto& c : readouts) {
        const ReadoutRow& row = Readout(c.control);
        EXPECT_EQ(FormatValue(ToQString(row.ValueFormat), ShownFromRaw(row.conversion, c.word)),
                  QString::fromUtf8(c.text))
            << c.control << " " << c.word;
    }
}

TEST(params_conversion, exact_values_behind_the_text) {
    EXPECT_EQ(ShownFromRaw(Edit("SpinExtEdit19").conversion, 65535), 65.535L);
    EXPECT_EQ(ShownFromRaw(Edit("SpinExtEdit9").conversion, 0), 1);
    EXPECT_EQ(ShownFromRaw(Edit("SpinExtEdit9").conversion, 5), 6);
    EXPECT_EQ(ShownFromRaw(Readout("ExtText9").conversion, 0), -273);
    EXPECT_NEAR(ShownFromRaw(Edit("SpinExtEdit20").conversion, 1234), 123.4L, 1e-15L);
}

TEST(params_conversion, shown_values_write_the_controllers_units) {
    struct Case {
        std::string_view control;
        ParamValue shown;
        std::uint16_t word;
    };
    const Case cases[] = {
        {"SpinExtEdit9", 2, 1},
        {"SpinExtEdit9", 1, 0},
        {"SpinExtEdit2", 5, 5},
        {"SpinExtEdit20", 0.0001L, 0},
        {"SpinExtEdit20", 500, 5000},
        // Divided by the nearest tenth, 1.55 lands just below 15.5; times ten it would be 16.
        {"SpinExtEdit24", 1.55L, 15},
        {"SpinExtEdit19", 0.0001L, 0},
        {"SpinExtEdit19", 5, 5000},
        {"SpinExtEdit19", 1.55L, 1550},
        {"SpinExtEdit22", 20, 2930},
        {"SpinExtEdit22", 100, 3730},
        {"SpinExtEdit22", 75, 3480},
        {"SpinExtEdit1", 4.5L, 4500},
        {"SpinExtEdit3", 6000, 6000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RawFromShown(Edit(c.control).conversion, c.shown), c.word)
            << c.control << " " << static_cast<double>(c.shown);
}

TEST(params_conversion, halves_go_to_the_even_neighbour) {
    struct Case {
        Conversion conversion;
        ParamValue shown; // each converts to an exact half in extended precision
        std::uint16_t word;
    };
    const Case cases[] = {
        {Conversion::Plain, 2.5L, 2},           {Conversion::Plain, 3.5L, 4},
        {Conversion::Plain, 0.5L, 0},           {Conversion::Millis, 0.0025L, 2},
        {Conversion::Millis, 0.0035L, 4},       {Conversion::Millis, 0.0625L, 62},
        {Conversion::Millis, 0.1875L, 188},     {Conversion::TenthKelvin, 0.25L, 2732},
        {Conversion::TenthKelvin, 0.75L, 2738}, {Conversion::CountLessOne, 1.5L, 1},
        {Conversion::CountLessOne, 2.5L, 1},    {Conversion::Tenths, 0.25L, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RawFromShown(c.conversion, c.shown), c.word)
            << int(c.conversion) << " " << static_cast<double>(c.shown);
}

TEST(params_round_half_even, only_exact_halves_are_ties_on_either_side_of_zero) {
    const ParamValue tiny = std::ldexp(1.0L, -62);
    struct Case {
        ParamValue value;
        ParamValue rounded;
    };
    const Case cases[] = {
        {2.5L, 2},
        {-2.5L, -2},
        {2.5L + 4 * tiny, 3},
        {2.5L - 2 * tiny, 2},
        {-0.5L, 0},
        {-0.5L - tiny, -1},
        {-1.5L, -2},
        {1e-30L, 0},
        {-1e-30L, 0},
        {0.49999999999999999995L, 0},
        {std::ldexp(1.0L, 63) + 1, std::ldexp(1.0L, 63) + 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c.value), c.rounded) << static_cast<double>(c.value);
}

// The window never changes the rounding mode, but a library it loads might.
TEST(params_round_half_even, ignores_the_floating_point_rounding_mode) {
    const int saved = std::fegetround();
    for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        EXPECT_EQ(RoundHalfEven(2.5L), 2) << mode;
        EXPECT_EQ(RoundHalfEven(3.5L), 4) << mode;
        EXPECT_EQ(RoundHalfEven(-2.5L), -2) << mode;
        EXPECT_EQ(RoundHalfEven(2.4L), 2) << mode;
        EXPECT_EQ(RoundHalfEven(-2.6L), -3) << mode;
    }
    std::fesetround(saved);
}

TEST(params_conversion, results_outside_a_word_send_their_low_sixteen_bits) {
    struct Case {
        Conversion conversion;
        ParamValue shown;
        std::uint16_t word;
    };
    const Case cases[] = {
        {Conversion::CountLessOne, 0, 0xFFFF}, // 0 coils: -1
        {Conversion::Plain, 65536, 0},
        {Conversion::Plain, 70000, 4464},
        {Conversion::Plain, -2, 0xFFFE},
        {Conversion::Millis, 65.536L, 0},
        {Conversion::TenthKelvin, -300, 0xFEF2}, // -270
        {Conversion::Tenths, 6553.7L, 1},
        {Conversion::Plain, std::ldexp(1.0L, 40) + 7, 7},
        {Conversion::Plain, -std::ldexp(1.0L, 40) - 1, 0xFFFF},
        {Conversion::Plain, std::ldexp(1.0L, 80), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RawFromShown(c.conversion, c.shown), c.word)
            << int(c.conversion) << " " << static_cast<double>(c.shown);
}

TEST(params_low_word, has_nothing_to_send_for_values_without_bits) {
    EXPECT_EQ(LowWord(std::numeric_limits<ParamValue>::quiet_NaN()), 0);
    EXPECT_EQ(LowWord(std::numeric_limits<ParamValue>::infinity()), 0);
    EXPECT_EQ(LowWord(-std::numeric_limits<ParamValue>::infinity()), 0);
}

} // namespace
