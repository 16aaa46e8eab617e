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
    std::string name() const override { return m_path; }

private:
    [[nodiscard]] bool failed() const;

    std::string m_path;
    QSerialPort m_port;
};

// Routes each port number through a PortMap: a device path gets the real port, the simulator
// entry gets whatever the factory makes.
class MappedPortDirectory final : public PortDirectory {
public:
    using Factory = std::function<std::unique_ptr<SerialBackend>()>;
    MappedPortDirectory(PortMap map, Factory simulator = {});
    std::unique_ptr<SerialBackend> backendFor(int portNumber) override;
    [[nodiscard]] const PortMap& Map() const { return m_map; }

private:
    PortMap m_map;
    Factory m_simulator;
};

} // namespace zef
