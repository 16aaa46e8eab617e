#pragma once

// Why a command on the controller could not be done, told apart by what a caller can do
// about it: retry, call the operator, or fix the command line.

#include <QString>

#include <array>
#include <string_view>

namespace zef {

enum class FailureKind {
    NoPort,        // no such device
    PortBusy,      // another program holds the port
    NoPermission,  // this user may not open the port
    NotSerialPort, // the path is something else than a serial port
    NoAnswer,      // the port opened, nothing answered
    LinkLost,      // the controller stopped answering on the way
    File,          // a file could not be read or written
    Usage,         // the command line, or a file it names, cannot be used
    Registry,      // the production registry cannot be reached or refused the change
};

inline constexpr std::array kFailureKinds = {
    FailureKind::NoPort,        FailureKind::PortBusy, FailureKind::NoPermission,
    FailureKind::NotSerialPort, FailureKind::NoAnswer, FailureKind::LinkLost,
    FailureKind::File,          FailureKind::Usage,    FailureKind::Registry,
};

// The kind's word in machine-read output; these never change once published.
[[nodiscard]] constexpr std::string_view KindText(FailureKind kind) {
    switch (kind) {
    case FailureKind::NoPort:
        return "no_port";
    case FailureKind::PortBusy:
        return "port_busy";
    case FailureKind::NoPermission:
        return "no_permission";
    case FailureKind::NotSerialPort:
        return "not_serial_port";
    case FailureKind::NoAnswer:
        return "no_answer";
    case FailureKind::LinkLost:
        return "link_lost";
    case FailureKind::File:
        return "file";
    case FailureKind::Usage:
        return "usage";
    case FailureKind::Registry:
        return "registry";
    }
    return "unknown";
}

struct CommandFailure {
    FailureKind kind = FailureKind::Usage;
    QString message;
};

} // namespace zef
