#pragma once

namespace zef {

// What zef-cli tells a script by its exit status.
enum class ExitStatus : int {
    Success = 0,
    Differs = 1,       // a difference, a failed check, a value the controller did not take
    BadUsage = 2,      // the command line or a value given on it cannot be used
    NoLink = 3,        // no controller, or the link failed on the way
    FileError = 4,     // a file could not be read or written
    RegistryError = 5, // the production registry cannot be reached or refused the change
};

[[nodiscard]] constexpr int Code(ExitStatus status) {
    return static_cast<int>(status);
}

} // namespace zef
