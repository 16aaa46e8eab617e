#pragma once

#include "link/open_failure.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zef {

// One serial device as the channel needs it. Implementations: the real port on QSerialPort and
// the in-process controller simulator.
class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // Opens the device for exclusive use. False when it is absent, in use or not openable;
    // lastError() then says why.
    [[nodiscard]] virtual bool open() = 0;
    virtual void close() = 0;

    // Speed, 8 data bits, no parity, two stop bits; raw bytes, no flow control, no translation.
    virtual bool configure(std::int32_t baud) = 0;

    // Queues the bytes for sending without waiting for them to leave.
    [[nodiscard]] virtual bool write(std::span<const std::uint8_t> bytes) = 0;

    // Received bytes waiting to be taken. Line errors are cleared on the way, not reported.
    [[nodiscard]] virtual std::size_t bytesWaiting() = 0;

    // Takes up to buffer.size() waiting bytes; returns how many were taken.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;

    // Blocks in the operating system until more bytes arrive or the deadline passes. Returns
    // false when the device has failed for good (pulled out, closed on the far side); the
    // caller then stops waiting on it instead of spinning.
    virtual bool waitForBytes(std::chrono::steady_clock::time_point deadline) = 0;

    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;

    // Why the device failed to open or failed for good, in the system's words ("No such file
    // or directory", "Input/output error"); empty while it works. A device that failed for good
    // has let go of the port and dropped whatever was waiting to be sent.
    [[nodiscard]] virtual std::string lastError() const = 0;

    // After open() failed: what kind of failure it was, where the backend can tell.
    [[nodiscard]] virtual OpenFailure openFailure() const { return OpenFailure::Unknown; }

    // A description for messages and logs: a device path or "simulator".
    [[nodiscard]] virtual std::string name() const = 0;
};

// Decides which device stands behind each of the ports 1 to 4.
class PortDirectory {
public:
    virtual ~PortDirectory() = default;
    // nullptr when nothing can stand behind that number.
    [[nodiscard]] virtual std::unique_ptr<SerialBackend> backendFor(int portNumber) = 0;
};

} // namespace zef
