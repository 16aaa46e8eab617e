#pragma once

#include "params/catalogue.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zef {

// Which list item a register word selects.
enum class ChoiceRule : std::uint8_t {
    AtWordOrNone, // the item at the word; past the last item, none
    LowByteFlag,  // item 1 when the low byte is non-zero, else item 0
    AtWordCapped, // the item at the word; past the last item, the last one
};

// A drop-down list: choosing an item writes its position.
struct ChoiceRow {
    std::string_view control;
    std::uint8_t address; // ReadParam and WriteParam
    ChoiceRule rule;
    std::span<const std::string_view> items;
    Place place;
};

inline constexpr std::size_t kChoiceListCount = 4;

// The lists in the order the coil-count init reads them.
[[nodiscard]] std::span<const ChoiceRow> ChoiceRows();
[[nodiscard]] const ChoiceRow* FindChoice(std::string_view control);

[[nodiscard]] std::optional<int> ItemFromWord(const ChoiceRow& row, std::uint16_t word);

// The start-mode list decides what the changeover temperature means, and so the caption of the
// group around that edit.
inline constexpr std::string_view kStartModeControl = "ComboBox3";
inline constexpr std::string_view kStartModeGroup = "GroupBox15";
inline constexpr std::string_view kStartModeDesignCaption = "Переход с пара на жидк. фазу";

// The caption for a start-mode item; nullopt when the caption is to stay as it is.
[[nodiscard]] std::optional<std::string_view> StartModeCaption(std::optional<int> item);

// The oxygen-sensor radio buttons. Register 15 counts only its bit 0.
enum class OxygenSensor : std::uint8_t {
    Unselected, // before the first connection
    Present,
    Absent,
};

struct OxygenButton {
    std::string_view control;
    std::string_view caption;
    std::uint16_t flagWord; // what choosing it writes
};

struct OxygenChoice {
    std::uint8_t address;
    OxygenButton present;
    OxygenButton absent;
    std::string_view readout; // enabled only while the sensor is present
    Place place;
};

inline constexpr OxygenChoice kOxygenSensor = {
    15,
    {"RadioButton1", "есть", 1},
    {"RadioButton2", "нет", 0},
    "ExtText1",
    {Area::Tabs, kEngineTab, kParametersPage, "Датчик кислорода", {}, {}, {}},
};

// What the engine-speed query does with the flag it read.
struct OxygenOutcome {
    OxygenSensor selection;
    // Whether the read-out's enabled state is set again, to selection == Present.
    bool setReadoutEnabled = false;
    // WriteParam to register 15 with this word: the button's click handling, which runs when a
    // read changes the selection.
    std::optional<std::uint16_t> write;
};

// A failed read keeps the selection and writes nothing: the word in the reply record then
// belongs to another register or is half stale, and writing it back would corrupt the flag.
[[nodiscard]] OxygenOutcome FollowOxygenFlag(OxygenSensor previous, bool readSucceeded,
                                             std::uint16_t word);

} // namespace zef
