#pragma once

#include "link/port_map.h"
#include "link/serial_backend.h"

#include <QSerialPort>

#include <functional>
#include <memory>

namespace zef {

// The real serial port. QSerialPort puts the line in raw mode (no translation, no flow control)
// and takes the device exclusively, with a lock file besides the TIOCEXCL flag that root
// would ignore.
//
// A device that fails for good (a read, write or resource error: the adapter pulled out, the
// far side of a pseudo-terminal gone) is let go at once. An open port whose device is gone
// would keep its notifiers armed, and the event loop would retry the pending write and the
// failed read on every pass, busy on one core until the session ends.
class QtSerialBackend final : public SerialBackend {
public:
    explicit QtSerialBackend(std::string devicePath);
    ~QtSerialBackend() override;

    bool open() override;
    void close() override;
    bool configure(std::int32_t baud) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    std::size_t bytesWaiting() override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    bool waitForBytes(std::chrono::steady_clock::time_point deadline) override;
    void setDtr(bool on) override;
    void setRts(bool on) override;
    std::string lastError() const override { return m_error; }
    OpenFailure openFailure() const override { return m_openFailure; }
    std::string name() const override { return m_path; }

    // For tests and the benchmark: whether the system port is open, and the bytes Qt still
    // holds to send.
    [[nodiscard]] bool PortOpen() const { return m_port.isOpen(); }
    [[nodiscard]] std::int64_t BytesPending() const { return m_port.bytesToWrite(); }

private:
    void onError(QSerialPort::SerialPortError error);
    // Closes a port whose device failed; safe only outside QSerialPort's own signals.
    void letGo();
    [[nodiscard]] bool failed() const { return m_lost || !m_port.isOpen(); }
    void clearHarmlessError();

    std::string m_path;
    QSerialPort m_port;
    bool m_lost = false;
    std::string m_error;
    OpenFailure m_openFailure = OpenFailure::Unknown;
};

// Routes each port number through a PortMap: a device path gets the real port, the simulator
// entry gets whatever the factory makes.
class MappedPortDirectory final : public PortDirectory {
public:
    using Factory = std::function<std::unique_ptr<SerialBackend>()>;
    MappedPortDirectory(PortMap map, Factory simulator = {});
    std::unique_ptr<SerialBackend> backendFor(int portNumber) override;
    [[nodiscard]] const PortMap& Map() const { return m_map; }
    // For the window's port dialog: a change applies to the next Open.
    [[nodiscard]] PortMap& Map() { return m_map; }

private:
    PortMap m_map;
    Factory m_simulator;
};

} // namespace zef
