#include "controls/format_value.h"
#include "params/catalogue.h"
#include "params/choices.h"

#include <gtest/gtest.h>

#include <set>

using namespace zef;

namespace {

QString Spaces(int n) {
    return QString(n, u' ');
}
QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(params_coil_pattern, singular_only_for_one_coil_with_two_more_spaces_than_the_design) {
    struct Case {
        ParamValue count;
        const char* printed;
    };
    const Case cases[] = {
        {1, "1 катушка"},    {2, "2 катушки"},
        {6, "6 катушки"},                         // a stored 5 is shown as read, past the limit
        {1.4L, "1 катушка"}, {1.5L, "2 катушки"}, // written as 1, so it reads back as two coils
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatValue(ToQString(CoilPattern(c.count)), c.count),
                  Spaces(18) + Text(c.printed))
            << static_cast<double>(c.count);

    const EditRow* coils = FindEdit("SpinExtEdit9");
    ASSERT_NE(coils, nullptr);
    EXPECT_EQ(FormatValue(ToQString(coils->ValueFormat), coils->Value),
              Spaces(16) + Text("1 катушка"));
}

TEST(params_cylinder_pattern, plural_switches_at_five) {
    struct Case {
        ParamValue count;
        const char* printed;
    };
    const Case cases[] = {
        {2, "2 цилиндра"},  {4, "4 цилиндра"},    {5, "5 цилиндров"},
        {8, "8 цилиндров"}, {12, "12 цилиндров"}, {4.4L, "4 цилиндра"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatValue(ToQString(CylinderPattern(c.count)), c.count),
                  Spaces(16) + Text(c.printed))
            << static_cast<double>(c.count);
}

// A typed 4.6 is displayed as 5, and the word has to agree with the digit beside it.
TEST(params_cylinder_pattern, word_agrees_with_the_displayed_number_for_typed_fractions) {
    for (int tenths = 20; tenths <= 80; ++tenths) {
        const ParamValue x = tenths / 10.0L;
        const QString text = FormatValue(ToQString(CylinderPattern(x)), x).trimmed();
        const int shown = text.section(u' ', 0, 0).toInt();
        const bool plural = text.endsWith(Text("цилиндров"));
        EXPECT_EQ(plural, shown >= 5) << text.toStdString();
    }
}

TEST(params_choice_lists, words_select_items_by_each_lists_rule) {
    struct Case {
        std::string_view control;
        std::uint16_t word;
        std::optional<int> item;
        const char* text; // the selected item's text, when there is one
    };
    const Case cases[] = {
        {"ComboBox1", 256, 0, "Нормально закрытый"}, // only the low byte counts
        {"ComboBox1", 1, 1, "Нормально открытый"},
        {"ComboBox2", 7, 1, "Нормально закрытый"},
        {"ComboBox2", 0x0300, 0, "Нормально открытый"},
        {"ComboBox4", 2, 2, "Конц. выкл. прямой"},
        {"ComboBox4", 3, 3, "Конц. выкл. обратный"},
        {"ComboBox4", 9, 3, "Конц. выкл. обратный"},
        {"ComboBox4", 0xFFFF, 3, "Конц. выкл. обратный"},
        {"ComboBox3", 0, 0, "На газе или бензине"},
        {"ComboBox3", 1, 1, "Только на бензине"},
        {"ComboBox3", 2, 2, "Автоопределение"},
        {"ComboBox3", 3, std::nullopt, nullptr},
        {"ComboBox3", 5, std::nullopt, nullptr},
        {"ComboBox3", 0x0100, std::nullopt, nullptr},
    };
    for (const auto& c : cases) {
        const ChoiceRow* row = FindChoice(c.control);
        ASSERT_NE(row, nullptr) << c.control;
        const auto item = ItemFromWord(*row, c.word);
        EXPECT_EQ(item, c.item) << c.control << " " << c.word;
        if (item && c.text) {
            EXPECT_EQ(ToQString(row->items[static_cast<std::size_t>(*item)]), Text(c.text))
                << c.control << " " << c.word;
        }
    }
}

TEST(params_start_mode_caption, follows_the_selected_start_mode_and_stays_without_one) {
    const ChoiceRow* startMode = FindChoice(kStartModeControl);
    ASSERT_NE(startMode, nullptr);
    struct Case {
        std::uint16_t word;
        const char* caption; // nullptr: unchanged
    };
    const Case cases[] = {
        {0, "Переход с пара на жидкую фазу"},
        {1, "Переход с бензина на газ"},
        {2, "Переход с бензина на газ"},
        {5, nullptr},
    };
    for (const auto& c : cases) {
        const auto caption = StartModeCaption(ItemFromWord(*startMode, c.word));
        if (c.caption == nullptr)
            EXPECT_FALSE(caption.has_value()) << c.word;
        else
            EXPECT_EQ(ToQString(caption.value_or("")), Text(c.caption)) << c.word;
    }
    EXPECT_NE(ToQString(kStartModeDesignCaption), Text("Переход с пара на жидкую фазу"));
}

TEST(params_oxygen_flag, a_read_selects_by_bit_zero_and_writes_only_on_a_change) {
    using enum OxygenSensor;
    struct Case {
        OxygenSensor previous;
        bool readSucceeded;
        std::uint16_t word;
        OxygenSensor selection;
        bool setsReadout;
        std::optional<std::uint16_t> write;
    };
    const Case cases[] = {
        // The first connection always selects, and so always writes the bit just read.
        {Unselected, true, 3, Present, true, 1},
        {Unselected, true, 2, Absent, true, 0},
        {Present, true, 3, Present, true, std::nullopt},
        {Present, true, 2, Absent, true, 0},
        {Absent, true, 0x0101, Present, true, 1},
        {Present, true, 0x0100, Absent, true, 0},
        // A failed read carries some other register's word: nothing changes, nothing is written.
        {Absent, false, 1, Absent, false, std::nullopt},
        {Present, false, 0, Present, false, std::nullopt},
        {Unselected, false, 1, Unselected, false, std::nullopt},
    };
    for (const auto& c : cases) {
        const OxygenOutcome o = FollowOxygenFlag(c.previous, c.readSucceeded, c.word);
        EXPECT_EQ(o.selection, c.selection) << c.word;
        EXPECT_EQ(o.setReadoutEnabled, c.setsReadout) << c.word;
        EXPECT_EQ(o.write, c.write) << c.word;
    }
}

// The window finds its handlers by control name; a duplicate would wire one control twice.
TEST(params_catalogue, every_control_name_is_found_and_unique) {
    std::set<std::string_view> names;
    for (const EditRow& row : EditRows()) {
        EXPECT_TRUE(names.insert(row.control).second) << row.control;
        EXPECT_EQ(FindEdit(row.control), &row);
        EXPECT_NE(FindEdit(row.handlersOf.empty() ? row.control : row.handlersOf), nullptr);
    }
    for (const ReadoutRow& row : ReadoutRows()) {
        EXPECT_TRUE(names.insert(row.control).second) << row.control;
        EXPECT_EQ(FindReadout(row.control), &row);
    }
    for (const ChoiceRow& row : ChoiceRows()) {
        EXPECT_TRUE(names.insert(row.control).second) << row.control;
        EXPECT_EQ(FindChoice(row.control), &row);
    }
    EXPECT_TRUE(names.insert(kOxygenSensor.present.control).second);
    EXPECT_TRUE(names.insert(kOxygenSensor.absent.control).second);
    EXPECT_EQ(FindEdit("SpinExtEdit7"), nullptr);
    EXPECT_EQ(FindReadout("SpinExtEdit9"), nullptr);
}

} // namespace
