#include "link/qt_serial_backend.h"

#include <filesystem>
#include <system_error>

namespace zef {

QtSerialBackend::QtSerialBackend(std::string devicePath) : m_path(std::move(devicePath)) {
    m_port.setPortName(QString::fromStdString(m_path));
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialBackend::~QtSerialBackend() {
    close();
}

bool QtSerialBackend::open() {
    m_lost = false;
    m_error.clear();
    m_openFailure = OpenFailure::Unknown;
    if (m_port.open(QIODevice::ReadWrite))
        return true;
    m_error = m_port.errorString().toStdString();
    // Qt words a refusal the same whether the user lacks the permission or another program
    // holds the port; the device's own facts tell them apart.
    m_openFailure =
        ClassifyOpenFailure(ExamineDevice(m_path), m_port.error() == QSerialPort::PermissionError);
    return false;
}

void QtSerialBackend::close() {
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialBackend::onError(QSerialPort::SerialPortError error) {
    if (m_lost || !m_port.isOpen())
        return;
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        break;
    default:
        return; // time-outs and settings a pseudo-terminal does not have
    }
    m_lost = true;
    // A read at end of input reports whatever errno happened to hold; a device node that has
    // gone says more than that.
    std::error_code gone;
    if (m_path.find('/') != std::string::npos &&
        std::filesystem::status(m_path, gone).type() == std::filesystem::file_type::not_found)
        m_error = gone.message();
    else
        m_error = m_port.errorString().toStdString();
    if (m_error.empty())
        m_error = "the device failed";
    // QSerialPort goes on with its own work after it reports the error, so the port is closed
    // afterwards: by the event loop next, or first thing in the channel's next call.
    QMetaObject::invokeMethod(
        &m_port, [this] { letGo(); }, Qt::QueuedConnection);
}

void QtSerialBackend::letGo() {
    if (m_lost && m_port.isOpen())
        m_port.close(); // also drops the unsent request
}

void QtSerialBackend::clearHarmlessError() {
    if (!m_lost && m_port.isOpen() && m_port.error() != QSerialPort::NoError)
        m_port.clearError();
}

bool QtSerialBackend::configure(std::int32_t baud) {
    bool ok = m_port.setBaudRate(baud);
    ok = m_port.setDataBits(QSerialPort::Data8) && ok;
    ok = m_port.setParity(QSerialPort::NoParity) && ok;
    ok = m_port.setStopBits(QSerialPort::TwoStop) && ok;
    ok = m_port.setFlowControl(QSerialPort::NoFlowControl) && ok;
    // A pseudo-terminal has no line speed; the refusal must not read as a failed device.
    clearHarmlessError();
    return ok;
}

bool QtSerialBackend::write(std::span<const std::uint8_t> bytes) {
    letGo();
    if (failed())
        return false;
    const auto n = m_port.write(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qint64>(bytes.size()));
    // Without an event loop nothing else pushes the bytes out of Qt's buffer.
    m_port.flush();
    letGo();
    return !failed() && n == static_cast<qint64>(bytes.size());
}

std::size_t QtSerialBackend::bytesWaiting() {
    letGo();
    if (failed())
        return 0;
    m_port.waitForReadyRead(0); // moves what the system holds into Qt's buffer
    letGo();
    clearHarmlessError();
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
    letGo();
    if (failed())
        return false;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return true;
    // Round up, or the last fraction of a millisecond would be spent in zero-length waits.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    m_port.waitForReadyRead(static_cast<int>(ms));
    letGo();
    clearHarmlessError();
    return !failed();
}

void QtSerialBackend::setDtr(bool on) {
    m_port.setDataTerminalReady(on);
    clearHarmlessError(); // pseudo-terminals have no modem lines
}

void QtSerialBackend::setRts(bool on) {
    m_port.setRequestToSend(on);
    clearHarmlessError();
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
