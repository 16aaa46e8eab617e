#pragma once

#include "params/catalogue.h"
#include "params/choices.h"

#include <QString>

namespace zef {

// The register's part of the tooltips of the window's value controls, made from their rows of
// the catalogue (the window puts the parameter's caption before it): which register holds the
// value, how the controller's word becomes what is shown, the unit, and the
// limits. A fitter comparing the window with the controller's documentation reads them.
[[nodiscard]] QString EditHint(const EditRow& row);
[[nodiscard]] QString ReadoutHint(const ReadoutRow& row);
[[nodiscard]] QString ChoiceHint(const ChoiceRow& row);
[[nodiscard]] QString OxygenHint(const OxygenChoice& choice);

// The unit a display pattern prints after the number: "Volt" for "#####0.00 Volt"; empty when
// it prints none.
[[nodiscard]] QString UnitOf(std::string_view pattern);

// How a conversion turns the register word into the shown value: "регистр ÷ 1000".
[[nodiscard]] QString ConversionText(Conversion conversion);

} // namespace zef
