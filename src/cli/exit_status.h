#pragma once

#include "session/failure.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zef {

// What zef-cli tells a script by its exit status.
enum class ExitStatus : int {
    Success = 0,
    Differs = 1,         // a difference, a failed check, a value the controller did not take
    BadUsage = 2,        // the command line or a file it names cannot be used
    NoLink = 3,          // the controller did not answer or the link was lost: try again
    FileError = 4,       // a file could not be read or written
    PortUnavailable = 5, // the port is missing, busy, refused or no serial port: call the operator
    RegistryError = 6,   // the production registry cannot be reached or refused the change
};

[[nodiscard]] constexpr int Code(ExitStatus status) {
    return static_cast<int>(status);
}

// The one place a failure's kind becomes an exit status.
inline constexpr std::array<std::pair<FailureKind, ExitStatus>, 9> kKindStatus = {{
    {FailureKind::NoPort, ExitStatus::PortUnavailable},
    {FailureKind::PortBusy, ExitStatus::PortUnavailable},
    {FailureKind::NoPermission, ExitStatus::PortUnavailable},
    {FailureKind::NotSerialPort, ExitStatus::PortUnavailable},
    {FailureKind::NoAnswer, ExitStatus::NoLink},
    {FailureKind::LinkLost, ExitStatus::NoLink},
    {FailureKind::File, ExitStatus::FileError},
    {FailureKind::Usage, ExitStatus::BadUsage},
    {FailureKind::Registry, ExitStatus::RegistryError},
}};

[[nodiscard]] constexpr ExitStatus StatusOf(FailureKind kind) {
    const auto* it = std::find_if(kKindStatus.begin(), kKindStatus.end(),
                                  [kind](const auto& row) { return row.first == kind; });
    return it == kKindStatus.end() ? ExitStatus::BadUsage : it->second;
}

static_assert(std::all_of(kFailureKinds.begin(), kFailureKinds.end(),
                          [](FailureKind kind) {
                              return std::any_of(
                                  kKindStatus.begin(), kKindStatus.end(),
                                  [kind](const auto& row) { return row.first == kind; });
                          }),
              "every failure kind has its exit status");

} // namespace zef
