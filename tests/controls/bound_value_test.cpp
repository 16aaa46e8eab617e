#include "controls/bound_value.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace zef;

namespace {

constexpr ParamValue kInf = std::numeric_limits<ParamValue>::infinity();
constexpr ParamValue kNaN = std::numeric_limits<ParamValue>::quiet_NaN();

struct ParseCase {
    const char* text;
    std::optional<ParamValue> expected; // nothing: the text is no number
};

std::vector<ParseCase> parseCases() {
    return {
        // The control's own text reads back to its value.
        {" 4.50 Volt", 4.5L},
        {" 1000 Об/мин", 1000},
        {" -5 град С", -5},
        {"3.3", 3.3L},
        // A comma is a decimal mark as well; a second mark of either kind spoils the number.
        {"1,5", 1.5L},
        {" 1,50 Volt", 1.5L},
        {",5", 0.5L},
        {",", 0},
        {"1,2.3", std::nullopt},
        {"1.2,3", std::nullopt},
        {"1.2.3", std::nullopt},
        // A sign right after the exponent letter belongs to the exponent.
        {"1e-3", 0.001L},
        {"2,5E+2", 250},
        {"-1e-3 V", -0.001L},
        {"1e--3", 0.001L}, // the second sign follows a sign, not the letter
        {"1E3", 1000},
        {"1e3x", 1000},
        {"1e", std::nullopt},
        {"1e-", std::nullopt},
        {"1e5e3", std::nullopt},
        // A sign elsewhere inside the number is skipped, as other stray characters are.
        {"4-5", 45},
        {"1/2", 12},
        // The start of the number and its end.
        {"2 3", 2},
        {"V 3.3", 3.3L},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {".", 0},
        {"-.", 0},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"- 5", std::nullopt}, // the space ends the number at the sign
        {"-e5", 0},
        {"+1e+2", 100},
        {"0.1", 0.1L},
        {"007", 7},
        // Out of range: the nearest the value can hold.
        {"1e99999", kInf},
        {"-1e99999", -kInf},
        {"1e-99999", 0},
        {"0.00000000000000000000000000000000000000000000000000000000001e99999", kInf},
        {"1e999999999999999999999999", kInf},
    };
}

void expectParses(const std::vector<ParseCase>& cases) {
    for (const auto& c : cases) {
        const auto got = ParseValueText(QString::fromUtf8(c.text));
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << "text \"" << c.text << "\"";
        if (got) {
            EXPECT_EQ(*got, *c.expected) << "text \"" << c.text << "\"";
        }
    }
}

TEST(controls_parse, reads_a_number_out_of_the_text) {
    expectParses(parseCases());
}

// The reading must not follow the computer's decimal comma locale either way.
TEST(controls_parse, ignores_a_decimal_comma_locale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
        GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed";
    expectParses(parseCases());
    std::setlocale(LC_ALL, saved.c_str());
}

struct LimitCase {
    ParamValue x, min, max, expected;
};

TEST(controls_limit, limits_then_snaps_to_zero) {
    const LimitCase cases[] = {
        {0.5L, -1, 1, 0.5L},
        {5000, 1000, 4000, 4000},
        {10, 1000, 4000, 1000},
        {4000, 1000, 4000, 4000},
        // With min above max the lower limit wins for every value.
        {3, 5, 1, 5},
        {-3, 5, 1, 5},
        {kNaN, 1000, 4000, 4000},
        {kInf, -1, 1, 1},
        {-kInf, -1, 1, -1},
        // The snap comes after the limits: a limit this close to zero is zero.
        {0, 1e-11L, 1, 0},
        {9.9e-11L, -1, 1, 0},
        {-9.9e-11L, -1, 1, 0},
        {1e-10L, -1, 1, 1e-10L},
        {0.0001L, 0.0001L, 5, 0.0001L},
    };
    for (const auto& c : cases) {
        const ParamValue got = LimitValue(c.x, c.min, c.max);
        EXPECT_EQ(got, c.expected)
            << double(c.x) << " in " << double(c.min) << ".." << double(c.max);
        EXPECT_FALSE(std::signbit(got) && got == 0) << "a snapped value is positive zero";
    }
}

TEST(controls_limit, three_steps_up_and_down_from_zero_come_back_to_zero) {
    ParamValue raw = 0;
    ParamValue held = 0;
    for (ParamValue step : {0.1L, 0.1L, 0.1L, -0.1L, -0.1L, -0.1L}) {
        raw += step;
        held = LimitValue(held + step, -1, 1);
    }
    ASSERT_NE(raw, 0) << "the binary remainder this guards against";
    EXPECT_LT(std::fabs(raw), 1e-18L);
    EXPECT_EQ(held, 0);
}

TEST(controls_text, edit_and_readout_texts) {
    const QString s2 = QStringLiteral("  ");
    EXPECT_EQ(EditText("#####0.00 Volt", 4.5L), " 4.50 Volt");
    EXPECT_EQ(EditText("#####0.00", 0), " 0.00");
    EXPECT_EQ(ReadoutText(QString::fromUtf8("Напряжение датчика"),
                          QString::fromUtf8("#####0.00 Вольт"), 0.456L),
              QString::fromUtf8(" Напряжение датчика 0.46 Вольт "));
    EXPECT_EQ(ReadoutText({}, QString::fromUtf8("##0 град.. С"), 60),
              s2 + QString::fromUtf8("60 град С "));
    EXPECT_EQ(ReadoutText({}, "#####0.00 ", 0), s2 + "0.00" + s2);
}

TEST(controls_layout, font_follows_the_height) {
    const std::pair<int, std::optional<int>> cases[] = {
        {25, 16}, {21, 14}, {40, 26}, {3, 2}, {2, 1}, {1, std::nullopt}, {0, std::nullopt},
    };
    for (const auto& [height, points] : cases)
        EXPECT_EQ(FontPointsForHeight(height), points) << "height " << height;
}

TEST(controls_layout, spin_button_sits_at_the_right_edge) {
    struct Case {
        int width, height;
        QRect button;
    };
    const Case cases[] = {
        {121, 25, {103, 0, 15, 22}}, {100, 21, {82, 0, 15, 18}},
        {100, 33, {82, 0, 15, 30}}, // 15 wide in every edit lower than 33
        {100, 35, {81, 0, 16, 32}},  {200, 40, {179, 0, 18, 37}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LayOutSpinButton(c.width, c.height), c.button) << c.width << "x" << c.height;
}

TEST(controls_layout, spin_halves_overlap_by_one_row) {
    struct Case {
        QSize size;
        QRect up, down;
    };
    const Case cases[] = {
        {{15, 22}, {0, 0, 15, 11}, {0, 10, 15, 12}},
        {{15, 18}, {0, 0, 15, 9}, {0, 8, 15, 10}},
        {{18, 37}, {0, 0, 18, 18}, {0, 17, 18, 20}},
    };
    for (const auto& c : cases) {
        const SpinHalves halves = SplitSpinButton(c.size);
        EXPECT_EQ(halves.up, c.up);
        EXPECT_EQ(halves.down, c.down);
        EXPECT_EQ(halves.down.bottom(), c.size.height() - 1) << "the down half reaches the end";
    }
}

TEST(controls_layout, ink_centred_line_top) {
    struct Case {
        int areaHeight, ascent, capHeight, descent, top;
    };
    const Case cases[] = {
        {23, 20, 16, 5, -3}, // 16 pt in a 25 pixel box: the line box reaches into the border
        {21, 18, 14, 4, -3},
        {40, 20, 16, 5, 5},
        {20, 20, 16, 5, -5}, // one row short: the extra row goes below
    };
    for (const auto& c : cases)
        EXPECT_EQ(InkCentredLineTop(c.areaHeight, c.ascent, c.capHeight, c.descent), c.top)
            << "area " << c.areaHeight;
}

TEST(controls_layout, line_edit_margin_reaches_the_wanted_top) {
    for (int areaHeight : {17, 20, 23, 38}) {
        for (int lineHeight : {19, 25, 41}) {
            for (int want = -6; want <= 6; ++want) {
                const int m = LineEditTopMargin(areaHeight, lineHeight, want);
                EXPECT_EQ(m + (areaHeight - m - lineHeight + 1) / 2, want)
                    << areaHeight << " " << lineHeight << " " << want;
            }
        }
    }
}

} // namespace
