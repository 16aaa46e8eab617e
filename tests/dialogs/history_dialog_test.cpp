#include "archive/compare.h"
#include "dialogs/history_dialog.h"
#include "files/settings_file.h"

#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

using zef::EventKind;

// The history's rows in the registry's order, each calibration told against the one before it
// (not against the controller's first), and a check's verdict in words.
TEST(HistoryDialog, rows_tell_what_each_calibration_changed_against_the_previous_one) {
    std::vector<std::uint16_t> first(zef::kSettingsRegisters.size(), 0);
    first[1] = 3;
    std::vector<std::uint16_t> second = first;
    second[1] = 4;
    const zef::Workplace station{"bench-2", "fitter", "test"};
    std::vector<zef::RegistryEvent> events;
    for (const auto& [kind, words, check] :
         {std::tuple{EventKind::Numbered, std::vector<std::uint16_t>{}, ""},
          std::tuple{EventKind::Loaded, first, ""}, std::tuple{EventKind::Tuned, second, ""},
          std::tuple{EventKind::Saved, second, ""},
          std::tuple{EventKind::Checked, std::vector<std::uint16_t>{}, R"({"pass":false})"}}) {
        zef::RegistryEvent event = zef::NewEvent(station, "ZEF-K7LX SN 05.02 00214", kind);
        event.calibration = words;
        event.checkJson = QString::fromLatin1(check);
        events.push_back(event);
    }
    zef::HistoryDialog dialog("ZEF-K7LX SN 05.02 00214", events);
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 5);
    const auto changes = [&](int row) {
        return table->item(row, 4) ? table->item(row, 4)->text() : QString();
    };
    const zef::CompareRow changed = zef::Compare(first, second).rows[1];
    EXPECT_EQ(changes(0), "");
    EXPECT_EQ(changes(1), "первые установки в истории");
    EXPECT_EQ(changes(2), changed.caption + ": " + changed.left + " → " + changed.right);
    EXPECT_EQ(changes(3), "");
    EXPECT_EQ(table->item(4, 3)->text(), "проверен: не пройдена");
    EXPECT_EQ(table->item(2, 1)->text(), "bench-2");
}

} // namespace
