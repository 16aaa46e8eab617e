#include "link/qt_serial_backend.h"

#include <cmath>

namespace zef {

QtSerialBackend::QtSerialBackend(std::string devicePath) : m_path(std::move(devicePath)) {
    m_port.setPortName(QString::fromStdString(m_path));
}

QtSerialBackend::~QtSerialBackend() { close(); }

bool QtSerialBackend::open() { return m_port.open(QIODevice::ReadWrite); }

void QtSerialBackend::close() {
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialBackend::configure(std::int32_t baud) {
    bool ok = m_port.setBaudRate(baud);
    ok = m_port.setDataBits(QSerialPort::Data8) && ok;
    ok = m_port.setParity(QSerialPort::NoParity) && ok;
    ok = m_port.setStopBits(QSerialPort::TwoStop) && ok;
    ok = m_port.setFlowControl(QSerialPort::NoFlowControl) && ok;
    // A pseudo-terminal has no line speed; the refusal must not read as a failed device.
    if (!failed())
        m_port.clearError();
    return ok;
}

bool QtSerialBackend::failed() const {
    return !m_port.isOpen() || m_port.error() == QSerialPort::ResourceError;
}

bool QtSerialBackend::write(std::span<const std::uint8_t> bytes) {
    if (failed())
        return false;
    const auto n = m_port.write(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qint64>(bytes.size()));
    // Without an event loop nothing else pushes the bytes out of Qt's buffer.
    m_port.flush();
    return n == static_cast<qint64>(bytes.size());
}

std::size_t QtSerialBackend::bytesWaiting() {
    if (m_port.isOpen() && !failed())
        m_port.waitForReadyRead(0); // moves what the system holds into Qt's buffer
    if (m_port.error() == QSerialPort::TimeoutError)
        m_port.clearError();
    return m_port.isOpen() ? static_cast<std::size_t>(m_port.bytesAvailable()) : 0;
}

std::size_t QtSerialBackend::read(std::span<std::uint8_t> buffer) {
    if (!m_port.isOpen())
        return 0;
    const auto n =
        m_port.read(reinterpret_cast<char*>(buffer.data()), static_cast<qint64>(buffer.size()));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool QtSerialBackend::waitForBytes(std::chrono::steady_clock::time_point deadline) {
    if (failed())
        return false;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return true;
    // Round up, or the last fraction of a millisecond would be spent in zero-length waits.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    m_port.waitForReadyRead(static_cast<int>(ms));
    if (m_port.error() == QSerialPort::TimeoutError)
        m_port.clearError();
    return !failed();
}

void QtSerialBackend::setDtr(bool on) {
    m_port.setDataTerminalReady(on);
    if (!failed())
        m_port.clearError(); // pseudo-terminals have no modem lines
}

void QtSerialBackend::setRts(bool on) {
    m_port.setRequestToSend(on);
    if (!failed())
        m_port.clearError();
}

MappedPortDirectory::MappedPortDirectory(PortMap map, Factory simulator)
    : m_map(std::move(map)), m_simulator(std::move(simulator)) {}

std::unique_ptr<SerialBackend> MappedPortDirectory::backendFor(int portNumber) {
    const auto target = m_map.Target(portNumber);
    if (!target)
        return nullptr;
    if (m_map.IsSimulator(portNumber))
        return m_simulator ? m_simulator() : nullptr;
    return std::make_unique<QtSerialBackend>(*target);
}

} // namespace zef
