#pragma once

#include "link/param_value.h"

#include <cstdint>
#include <functional>

class QWidget;

namespace zef {

// Asks the owner for a control's value. `Value` holds the control's current value on entry;
// whatever the handler leaves there is the answer. QueryCod and ValueAdr are the control's own
// properties, handed over unchanged.
using TQueryEvent = std::function<void(QWidget* Sender, std::int32_t QueryCod,
                                       std::int32_t ValueAdr, ParamValue& Value)>;

// Tells the owner that a set value changed what the control shows.
using TChangeEvent = std::function<void(QWidget* Sender, ParamValue OldValue, ParamValue NewValue)>;

} // namespace zef
