#pragma once

#include "link/param_value.h"

#include <QString>

#include <cstdint>

namespace zef {

// The running controller's two status registers, read with ReadLive at every monitor tick and
// for every datalog row.
inline constexpr std::uint8_t kSetupModeRegister = 76;
inline constexpr std::uint8_t kCorrectionSourceRegister = 77;
// The mixture correction in force: from the oxygen sensor, or the manual one.
inline constexpr std::uint8_t kOxygenCorrectionRegister = 186;
inline constexpr std::uint8_t kManualCorrectionRegister = 182;

// Setup mode: the low byte of register 76 above 127.
[[nodiscard]] bool SetupModeFrom(std::uint16_t word);
// The controller corrects the mixture from the oxygen sensor: bit 1 of register 77's low byte.
[[nodiscard]] bool OxygenFeedbackFrom(std::uint16_t word);
// A correction register as a percentage: (raw - 1024) / 10.
[[nodiscard]] ParamValue CorrectionPercent(std::uint16_t word);

// The status line of the main window: setup mode, or the correction in force with its source.
[[nodiscard]] QString StatusLineText(bool setupMode, bool oxygenFeedback, ParamValue percent);

} // namespace zef
