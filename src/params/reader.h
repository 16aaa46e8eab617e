#pragma once

#include "link/register_exchange.h"
#include "params/catalogue.h"
#include "params/choices.h"

#include <array>
#include <optional>
#include <string_view>

namespace zef {

// The exchanges behind the window's parameter handlers, kept apart from the widgets: the window
// hands in a control's current value and shows what comes back.

struct ChoiceReading {
    const ChoiceRow* row;
    std::optional<int> item; // none: the list shows no item
    bool answered = true;    // unanswered: the list keeps what it shows
};

struct ChoiceReadings {
    std::array<ChoiceReading, kChoiceListCount> lists; // in ChoiceRows() order
    std::optional<std::string_view> startModeCaption;  // none: the caption stays
};

// Reads the four lists. A list whose read went unanswered keeps what it shows; nothing is
// written back.
[[nodiscard]] ChoiceReadings ReadChoiceLists(RegisterExchange& link);

struct EditInit {
    ParamValue value;
    std::optional<std::string_view> ValueFormat; // a replacement pattern
    std::optional<ChoiceReadings> choices;       // the coil-count init reads the lists as well
};

// One init of a spin edit. The value is shown as returned, not limited to the control's range.
[[nodiscard]] EditInit InitEdit(RegisterExchange& link, const EditRow& row, ParamValue current);

// One change of a spin edit: writes the converted value and returns a replacement pattern when
// the handler switches its unit word. The write's result is not looked at and nothing is read
// back; the control goes on showing x.
std::optional<std::string_view> ChangeEdit(RegisterExchange& link, const EditRow& row,
                                           ParamValue x);

struct FlagRead {
    bool succeeded;
    std::uint16_t word;
};

struct ReadoutQuery {
    ParamValue value;
    std::optional<FlagRead> oxygenFlag; // for FollowOxygenFlag
    bool answered = true;               // the read-out's own register answered
};

[[nodiscard]] ReadoutQuery QueryReadout(RegisterExchange& link, const ReadoutRow& row,
                                        ParamValue current);

// A user's pick in a list. No item, or a position that is not one of the list's items, writes
// nothing: the register only ever receives an item's position.
void WriteChoice(RegisterExchange& link, const ChoiceRow& row, std::optional<int> item);

// The click handling of an oxygen-sensor button; nothing for Unselected.
void WriteOxygenSelection(RegisterExchange& link, OxygenSensor selection);

} // namespace zef
