#include "params/hints.h"

#include <gtest/gtest.h>

using namespace zef;

namespace {

std::string text(const QString& s) {
    return s.toStdString();
}

TEST(Hints, units_are_what_the_pattern_prints_after_the_number) {
    struct Case {
        std::string_view pattern;
        const char* unit;
    };
    const Case cases[] = {
        {"#####0.00 Volt", "Volt"},
        {"#####0 Об/мин", "Об/мин"},
        {"###0 %", "%"},
        {"#0.0 V", "V"},
        {"##0 град С", "град С"},
        {"#0.00 mS", "mS"},
        {"#####0.00", ""},
        // The first "." is the decimal point even after the unit: the unit shows without it.
        {"#0 ц.", "ц"},
        {"##0 град.. С", "град С"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(UnitOf(c.pattern)), c.unit) << c.pattern;
}

// Each hint is built from the control's row: a wrong register, conversion or limit in the
// catalogue shows here as it would to a fitter.
TEST(Hints, say_register_conversion_unit_and_limits_of_each_control) {
    struct Case {
        std::string_view control;
        const char* hint;
    };
    const Case edits[] = {
        {"SpinExtEdit19", "Регистр 20 (чтение и запись); показано = регистр ÷ 1000\n"
                          "Пределы: 0.0001 … 5 Volt, шаг 0.05"},
        {"SpinExtEdit20", "Регистр 25 (чтение и запись); показано = регистр × 0.1\n"
                          "Пределы: 0.0001 … 500 %, шаг 1"},
        {"SpinExtEdit22", "Регистр 6 (чтение и запись); показано = регистр ÷ 10 − 273\n"
                          "Пределы: 20 … 100 град С, шаг 1"},
        // A count's pattern ends in a noun, not a unit.
        {"SpinExtEdit9", "Регистр 5 (чтение и запись); показано = регистр + 1\n"
                         "Пределы: 1 … 2, шаг 1"},
        {"SpinExtEdit13", "Не записывается в контроллер\nПределы: 1 … 50 ц, шаг 1"},
    };
    for (const auto& c : edits)
        EXPECT_EQ(text(EditHint(*FindEdit(c.control))), c.hint) << c.control;

    const Case readouts[] = {
        {"ExtText1",
         "Регистр текущих значений 166 (опрос каждые 500 мс); показано = регистр ÷ 1000\n"
         "Диапазон: 0 … 65.535 Вольт"},
        {"ExtText2", "Регистр текущих значений 162 (опрос каждые 500 мс); показано = регистр\n"
                     "Диапазон: 0 … 65535 Об/мин"},
        {"ExtText9",
         "Регистр текущих значений 198 (опрос каждые 1000 мс); показано = регистр × 0.1 − 273\n"
         "Диапазон: -273 … 6280.5 град С"},
    };
    for (const auto& c : readouts)
        EXPECT_EQ(text(ReadoutHint(*FindReadout(c.control))), c.hint) << c.control;

    EXPECT_EQ(text(ChoiceHint(*FindChoice("ComboBox4"))),
              "Регистр 4 (чтение и запись): номер пункта списка, от 0 до 3");
    EXPECT_EQ(text(OxygenHint(kOxygenSensor)),
              "Регистр 15 (чтение и запись): бит 0, «есть» = 1, «нет» = 0");
}

TEST(Hints, every_conversion_has_words) {
    for (const EditRow& row : EditRows())
        EXPECT_FALSE(ConversionText(row.conversion).isEmpty()) << row.control;
    for (const ReadoutRow& row : ReadoutRows())
        EXPECT_FALSE(ConversionText(row.conversion).isEmpty()) << row.control;
}

} // namespace
