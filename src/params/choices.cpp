#include "params/choices.h"

#include <algorithm>
#include <array>

namespace zef {

namespace {

constexpr std::array<std::string_view, 3> kStartModes = {"На газе или бензине", "Только на бензине",
                                                         "Автоопределение"};
// The two valve lists run in opposite orders on the controller.
constexpr std::array<std::string_view, 2> kPetrolValves = {"Нормально закрытый",
                                                           "Нормально открытый"};
constexpr std::array<std::string_view, 2> kVapourValves = {"Нормально открытый",
                                                           "Нормально закрытый"};
constexpr std::array<std::string_view, 4> kThrottleSensors = {
    "Потенциометр прямой", "Потенциометр обратный", "Конц. выкл. прямой", "Конц. выкл. обратный"};

constexpr Place OnPage(std::string_view page, std::string_view group) {
    return {Area::Tabs, kEngineTab, page, group, {}, {}, {}};
}

constexpr std::array<ChoiceRow, kChoiceListCount> kChoices = {{
    {"ComboBox1", 19, ChoiceRule::LowByteFlag, kPetrolValves,
     OnPage(kParametersPage, "Тип клапана бензина")},
    {"ComboBox4", 4, ChoiceRule::AtWordCapped, kThrottleSensors,
     OnPage(kThrottlePage, "Датчик положения др. заслонки")},
    {"ComboBox2", 3, ChoiceRule::LowByteFlag, kVapourValves,
     OnPage(kParametersPage, "Тип клапана паровой фазы")},
    {kStartModeControl, 0, ChoiceRule::AtWordOrNone, kStartModes,
     OnPage(kParametersPage, "Запуск двигателя")},
}};

} // namespace

std::span<const ChoiceRow> ChoiceRows() {
    return kChoices;
}

const ChoiceRow* FindChoice(std::string_view control) {
    const auto it = std::find_if(kChoices.begin(), kChoices.end(),
                                 [&](const ChoiceRow& row) { return row.control == control; });
    return it == kChoices.end() ? nullptr : &*it;
}

std::optional<int> ItemFromWord(const ChoiceRow& row, std::uint16_t word) {
    const int last = static_cast<int>(row.items.size()) - 1;
    switch (row.rule) {
    case ChoiceRule::AtWordOrNone:
        if (word > last)
            return std::nullopt;
        return word;
    case ChoiceRule::LowByteFlag:
        return (word & 0xFF) != 0 ? 1 : 0;
    case ChoiceRule::AtWordCapped:
        return std::min<int>(word, last);
    }
    return std::nullopt;
}

std::optional<std::string_view> StartModeCaption(std::optional<int> item) {
    if (!item)
        return std::nullopt;
    switch (*item) {
    case 0:
        return "Переход с пара на жидкую фазу";
    case 1:
    case 2:
        return "Переход с бензина на газ";
    default:
        return std::nullopt;
    }
}

OxygenOutcome FollowOxygenFlag(OxygenSensor previous, bool readSucceeded, std::uint16_t word) {
    if (!readSucceeded)
        return {previous, false, std::nullopt};
    const bool present = (word & 1) != 0;
    const OxygenSensor selection = present ? OxygenSensor::Present : OxygenSensor::Absent;
    OxygenOutcome outcome{selection, true, std::nullopt};
    if (selection != previous)
        outcome.write = present ? kOxygenSensor.present.flagWord : kOxygenSensor.absent.flagWord;
    return outcome;
}

} // namespace zef
