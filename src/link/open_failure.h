#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace zef {

class SerialChannel;

// Why a port did not open, as far as the user can do something about it.
enum class OpenFailure {
    Unknown,      // the system's reason is all there is
    Absent,       // no such device
    NoPermission, // this user may not open it
    Busy,         // another program holds it
    NotSerial,    // the path exists and is something else (a file, /dev/null)
};

// What the system says about a device path, learnt without opening it: opening a real serial
// port raises its modem lines.
struct DeviceFacts {
    bool exists = false;
    bool characterDevice = false;
    std::optional<bool> terminal{}; // whether a terminal driver serves it; nothing when unknown
    bool accessible = true;         // this user may read and write it
    std::string group{};            // the group that owns it, by name
    std::string owner{};            // the user that owns it, by name
    std::optional<unsigned> mode{}; // its permission bits
};

[[nodiscard]] DeviceFacts ExamineDevice(const std::string& path);

// `refused` is the port's own word that access was refused, which covers both a permission
// the user lacks and a port another program holds (its lock file, or the exclusive flag).
[[nodiscard]] OpenFailure ClassifyOpenFailure(const DeviceFacts& facts, bool refused);

struct OpenFailureReport {
    int portNumber = 0;
    std::string device{};
    OpenFailure failure = OpenFailure::Unknown;
    std::string reason{}; // the system's words, may be empty
    std::string group{};  // owner of the device, for a permission failure
    std::optional<std::vector<std::string>> existingPorts{}; // nothing: not known
    std::string owner{};            // the user that owns the device, for a permission failure
    std::optional<unsigned> mode{}; // its permission bits; nothing: not known
};

// The group a user may join to get at the device: only one that may read and write it, and
// never root, whose membership would give far more than a port. Empty when there is none.
[[nodiscard]] std::string GroupToJoin(const OpenFailureReport& report);

// The message for a port that did not open: the window's own first line, then the device and
// the reason, then what to do about it.
[[nodiscard]] QString OpenFailureText(const OpenFailureReport& report);

// The report on the channel's last failed Open, with the device's owner looked up.
[[nodiscard]] OpenFailureReport
ReportOpenFailure(int portNumber, const SerialChannel& channel,
                  std::optional<std::vector<std::string>> existingPorts);

// The message for a port that opened but where nothing answered.
[[nodiscard]] QString NoControllerText(int portNumber, const std::string& device);

} // namespace zef
