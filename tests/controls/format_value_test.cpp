#include "controls/format_value.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace zef;

namespace {

const QString s16(16, u' ');
const QString s20(20, u' ');

struct Case {
    QString pattern;
    ParamValue value;
    QString expected;
};

std::vector<Case> windowPatterns() {
    return {
        {"#####0.00", 0, "0.00"},
        {"#####0.00 Volt", 4.5L, "4.50 Volt"},
        {"#####0.00 V", 0.4L, "0.40 V"},
        {"#0.0 V", 4, "4.0 V"},
        {"###0 %", 122.5L, "123 %"},
        {"#####0 Об/мин", 1000, "1000 Об/мин"},
        {"##0 град С", 60, "60 град С"},
        {"##0 град С", -5, "-5 град С"},
        {"#0 ц.", 5, "5 ц"},
        {"#0 ц.", 123, "123 ц"},
        {s16 + "0 катушка", 1, s16 + "1 катушка"},
        {s16 + "0 катушка", -1, "-" + s16 + "1 катушка"},
        {s20 + "#####0 цил.", 2, s20 + "2 цил"},
        {"#####0.00 Volt", -0.004L, "0.00 Volt"},
        {"#####0.00 Volt", -0.005L, "-0.01 Volt"},
        // Read-out texts of the window.
        {"#####0.00 Вольт", 0.456L, "0.46 Вольт"},
        {"##0 град.. С", 60, "60 град С"},
        {"#####0.00 ", 0, "0.00 "},
        {"#0.00 mS", 3.5L, "3.50 mS"},
        {"###0 Об/мин", 850, "850 Об/мин"},
    };
}

std::vector<Case> roundingAndLayout() {
    return {
        // Half away from zero after 18 significant digits.
        {"#0.0", 0.25L, "0.3"},
        {"#0.0", -0.25L, "-0.3"},
        {"#####0.00", 4.505L, "4.51"}, // 4.50499999... in binary, 4.505 at 18 digits
        {"#####0.00", 4.501L, "4.50"},
        {"#####0.00", 4.504L, "4.50"},
        {"###0", 0.5L, "1"},
        {"###0", 0.4999L, "0"},
        {"###0", 9999.5L, "10000"},
        {"#0.00", 9.995L, "10.00"},
        {"#####0.00 Volt", 65.535L, "65.54 Volt"},
        {"##0 град С", -273, "-273 град С"},
        {"#####0.00", 1e-10L, "0.00"},
        {"#####0.00", 0.1L + 0.2L, "0.30"},
        // Placeholders that print nothing, and surplus digits at the first place.
        {"#####0", 7, "7"},
        {"##", 0, ""},
        {"0000", 42, "0042"},
        {"#0", 123456, "123456"},
        {"x#0y", 98765, "x98765y"},
        // No placeholders at all; a negative value still gets its sign.
        {"Volt", 3, "Volt"},
        {"Volt", -3, "-Volt"},
        {"", 0, ""},
        // Further points are ignored; "#" decimals print only up to the last non-zero one.
        {"#0.0.0", 1.25L, "1.25"},
        {"#0.##", 1.5L, "1.5"},
        {"#0.##", 2, "2"},
        {"#0.0#", 2, "2.0"},
        {"#0.000", 1e-3L, "0.001"},
        {"#0.000", 1e-4L, "0.000"},
        {"#0.0", 1e20L, "100000000000000000000.0"},
    };
}

void expectAll(const std::vector<Case>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(FormatValue(c.pattern, c.value), c.expected)
            << "pattern \"" << c.pattern.toStdString() << "\" value " << double(c.value);
}

TEST(FormatValue, window_patterns_print_as_the_window_shows_them) {
    expectAll(windowPatterns());
}

TEST(FormatValue, rounding_and_layout) {
    expectAll(roundingAndLayout());
}

// The decimal mark stays "." where the computer's regional settings use a comma.
TEST(FormatValue, ignores_a_decimal_comma_locale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
        GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed";
    ASSERT_EQ(*std::localeconv()->decimal_point, ',');
    expectAll(windowPatterns());
    expectAll(roundingAndLayout());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatValue, non_finite_values_still_give_text) {
    EXPECT_FALSE(FormatValue("#0.00", std::numeric_limits<ParamValue>::infinity()).isEmpty());
    EXPECT_FALSE(FormatValue("#0.00", std::numeric_limits<ParamValue>::quiet_NaN()).isEmpty());
}

} // namespace
