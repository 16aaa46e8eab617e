#pragma once

// Two calibrations side by side, register by register in file order, in the words a fitter
// reads on the window: its captions, its conversions and display patterns.

#include "files/outcome.h"
#include "files/settings_file.h"
#include "params/catalogue.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zef {

struct CompareRow {
    std::uint8_t address = 0;
    QString caption;
    QString left, right; // shown values; "—" where a side holds no value
    std::optional<std::uint16_t> leftWord, rightWord;
    bool differs = false; // the raw words differ: two words may show alike, the controller
                          // still holds different values
};

struct Comparison {
    std::vector<CompareRow> rows; // one per register of the settings file, in its order
    int differing = 0;
};

// The register's caption as the window shows it. The changeover temperature's group is
// captioned by the start mode, so that word is given where known. Registers no control shows
// are named by number.
[[nodiscard]] QString RegisterCaption(std::uint8_t address,
                                      std::optional<std::uint16_t> startMode = std::nullopt);

// The control that shows a register, by its name in the window ("SpinExtEdit3", "ComboBox3",
// "RadioButton1" for the oxygen-sensor pair); the map's points are "map500" ... "map6000",
// registers no control shows "reg<address>". Scripts name parameters by it.
[[nodiscard]] QString RegisterName(std::uint8_t address);

// The spin edit a register is changed through, with its conversion and limits; nullptr for a
// register another kind of control shows.
[[nodiscard]] const EditRow* EditOfRegister(std::uint8_t address);

// A word as the window shows its register, unit included.
[[nodiscard]] QString ShownValue(std::uint8_t address, std::uint16_t word);

// A short file leaves the registers past its end without a value on its side.
[[nodiscard]] Comparison Compare(const SettingsValues& left, const SettingsValues& right);

[[nodiscard]] std::vector<CompareRow> VisibleRows(const Comparison& comparison,
                                                  bool onlyDifferences);

// "golf.zef — polo.zef: отличий 3 из 31"
[[nodiscard]] QString ComparisonTitle(const QString& left, const QString& right,
                                      const Comparison& comparison);

// Two settings files, neither needing a controller.
[[nodiscard]] Expected<Comparison> CompareFiles(const QString& left, const QString& right);

} // namespace zef
