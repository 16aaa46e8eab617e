// The comparison speaks the window's language: its captions, conversions and display patterns.
// The expected texts are written out by hand from the window, not computed by the code under
// test.
#include "archive/compare.h"
#include "files/sim_link.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>

using namespace zef;

namespace {

struct Shown {
    std::uint8_t address;
    std::uint16_t word;
    const char* caption;
    const char* value;
};

// Every register of the settings file, in its order.
const Shown kFileRegisters[] = {
    {0, 1, "Запуск двигателя", "Только на бензине"},
    {3, 7, "Тип клапана паровой фазы", "Нормально закрытый"},
    {4, 9, "Датчик положения др. заслонки", "Конц. выкл. обратный"},
    {5, 0, "Количество катушек зажигания", "1 катушка"},
    // Start mode 1 above captions the changeover group.
    {6, 3130, "Переход с бензина на газ", "40 град С"},
    {7, 2500, "Время открытого состояния инжектора: 500 Об/мин", "2.50 mS"},
    {8, 2850, "Время открытого состояния инжектора: 1000 Об/мин", "2.85 mS"},
    {9, 3305, "Время открытого состояния инжектора: 1500 Об/мин", "3.31 mS"},
    {10, 3800, "Время открытого состояния инжектора: 2000 Об/мин", "3.80 mS"},
    {11, 4600, "Время открытого состояния инжектора: 3000 Об/мин", "4.60 mS"},
    {12, 5300, "Время открытого состояния инжектора: 4000 Об/мин", "5.30 mS"},
    {13, 7950, "Время открытого состояния инжектора: 6000 Об/мин", "7.95 mS"},
    {14, 120, "Регистр 14", "120"},
    {15, 2, "Датчик кислорода", "нет"},
    {17, 30, "Регистр 17", "30"},
    {18, 65535, "Регистр 18", "65535"},
    {19, 256, "Тип клапана бензина", "Нормально закрытый"},
    {20, 650, "Пороговое напряжение ХХ", "0.65 Volt"},
    {21, 1600, "Подхват: Обороты включения ПХХ", "1600 Об/мин"},
    {23, 3800, "Юстировка датчика температуры: Напряжение при холодном двиг.", "3.8 V"},
    {24, 1250, "Юстировка датчика температуры: Напряжение при горячем двиг.", "1.3 V"},
    {25, 1234, "Обогащение при  разгоне", "123 %"},
    {26, 15, "Регистр 26", "15"},
    {28, 155, "Подхват: Обогащение при подхвате", "16 %"},
    {29, 8, "Регистр 29", "8"},
    {34, 1100, "Регистр 34", "1100"},
    {30, 500, "Гистерезис датчика кислорода, правое поле", "0.50 V"},
    {31, 400, "Гистерезис датчика кислорода, левое поле", "0.40 V"},
    {32, 2, "Регистр 32", "2"},
    {71, 5, "Количество цилиндров", "5 цилиндров"},
    {73, 6000, "Ограничение об/мин", "6000 Об/мин"},
};

SettingsValues WordsOf(const Shown (&rows)[31]) {
    SettingsValues values;
    for (const Shown& row : rows)
        values.push_back(row.word);
    return values;
}

TEST(Compare, every_register_shows_the_windows_caption_value_and_unit) {
    // A decimal-comma locale must not change a single text.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const Comparison c = Compare(WordsOf(kFileRegisters), WordsOf(kFileRegisters));
    ASSERT_EQ(c.rows.size(), std::size(kFileRegisters));
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
        const Shown& want = kFileRegisters[i];
        const CompareRow& row = c.rows[i];
        EXPECT_EQ(row.address, want.address) << i;
        EXPECT_EQ(row.caption, QString::fromUtf8(want.caption)) << int(want.address);
        EXPECT_EQ(row.left, QString::fromUtf8(want.value)) << int(want.address);
        EXPECT_EQ(row.right, row.left) << int(want.address);
        EXPECT_EQ(row.leftWord, want.word) << int(want.address);
        EXPECT_FALSE(row.differs) << int(want.address);
    }
    EXPECT_EQ(c.differing, 0);
    std::setlocale(LC_NUMERIC, "C");
}

// The words that switch a unit word, fall off a list, or swing a caption.
TEST(Compare, values_follow_the_windows_rules_at_their_edges) {
    const Shown cases[] = {
        {5, 1, "", "2 катушки"},
        {5, 5, "", "6 катушки"},
        {71, 4, "", "4 цилиндра"},
        {0, 5, "", "—"},
        {4, 3, "", "Конц. выкл. обратный"},
        {3, 0, "", "Нормально открытый"},
        {19, 1, "", "Нормально открытый"},
        {15, 3, "", "есть"},
        {6, 0, "", "-273 град С"},
        {20, 65535, "", "65.54 Volt"},
        {13, 8000, "", "8.00 mS"},
    };
    for (const Shown& c : cases)
        EXPECT_EQ(ShownValue(c.address, c.word), QString::fromUtf8(c.value)) << int(c.address);

    const struct {
        std::optional<std::uint16_t> startMode;
        const char* caption;
    } captions[] = {
        {0, "Переход с пара на жидкую фазу"},
        {2, "Переход с бензина на газ"},
        {3, "Переход с пара на жидк. фазу"},
        {std::nullopt, "Переход с пара на жидк. фазу"},
    };
    for (const auto& c : captions)
        EXPECT_EQ(RegisterCaption(6, c.startMode), QString::fromUtf8(c.caption));
}

TEST(Compare, differences_are_counted_by_raw_word_and_filtered) {
    SettingsValues left = WordsOf(kFileRegisters);
    SettingsValues right = left;
    right[21] = 1231; // register 25: 123.1 % shows as 123 % on both sides, still a difference
    right[30] = 4;    // register 73
    const Comparison c = Compare(left, right);
    EXPECT_EQ(c.differing, 2);
    const auto shown = VisibleRows(c, true);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].address, 25);
    EXPECT_EQ(shown[0].left, shown[0].right);
    EXPECT_EQ(shown[1].address, 73);
    EXPECT_EQ(shown[1].right, "4 Об/мин");
    EXPECT_EQ(VisibleRows(c, false).size(), 31u);
    EXPECT_EQ(ComparisonTitle("Контроллер", "golf.zef", c),
              "Контроллер — golf.zef: отличий 2 из 31");
    EXPECT_EQ(ComparisonTitle("a", "b", Compare(left, left)), "a — b: отличий нет");

    // A short file has no value past its end; those registers differ from any value.
    const Comparison shortFile = Compare(left, SettingsValues(left.begin(), left.begin() + 5));
    EXPECT_EQ(shortFile.differing, 26);
    EXPECT_EQ(shortFile.rows[5].right, "—");
    EXPECT_EQ(shortFile.rows[5].rightWord, std::nullopt);
    EXPECT_FALSE(shortFile.rows[4].differs);
}

TEST(Compare, two_files_compare_without_a_controller) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.zef"), b = dir.filePath("b.zef"), bad = dir.filePath("c.zef");
    SettingsValues values = WordsOf(kFileRegisters);
    ASSERT_TRUE(test::WriteFile(a, FormatSettings(values)));
    values[0] = 2;
    ASSERT_TRUE(test::WriteFile(b, FormatSettings(values)));
    ASSERT_TRUE(test::WriteFile(bad, "0\r\n1500rpm\r\n"));

    const auto c = CompareFiles(a, b);
    ASSERT_TRUE(c) << c.error().toStdString();
    EXPECT_EQ(c->differing, 1);
    EXPECT_EQ(c->rows[0].right, "Автоопределение");
    EXPECT_EQ(c->rows[4].caption, "Переход с бензина на газ"); // by the left side's start mode

    for (const auto& [left, right] :
         {std::pair(a, bad), std::pair(bad, a), std::pair(a, dir.filePath("missing.zef"))}) {
        const auto failed = CompareFiles(left, right);
        ASSERT_FALSE(failed);
        EXPECT_TRUE(failed.error().contains(QDir::toNativeSeparators(left == a ? right : left)))
            << failed.error().toStdString();
    }
}

} // namespace
