#pragma once

#include "files/identity.h"
#include "link/register_exchange.h"
#include "support/sim_ports.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

namespace zef::test {

// A register exchange opened on the simulated controller, with what a test asks of it.
class SimLink {
public:
    explicit SimLink(sim::Simulator::Options options = {},
                     std::chrono::milliseconds step = std::chrono::milliseconds(5))
        : ports(options), channel(ports, step) {
        opened = channel.Open(1, 19200);
    }

    using Write = std::pair<int, int>; // register, value

    // Every parameter write the controller received, in order.
    [[nodiscard]] std::vector<Write> Writes() const {
        std::vector<Write> writes;
        for (const Frame& f : ports.sim->Frames())
            if (f[0] == static_cast<std::uint8_t>(Command::WriteParam))
                writes.emplace_back(f[1], f[2] | (f[3] << 8));
        return writes;
    }

    [[nodiscard]] std::array<std::uint16_t, 256> Params() const {
        return ports.sim->WithModel([](const sim::ControllerModel& m) {
            std::array<std::uint16_t, 256> params{};
            for (int a = 0; a < 256; ++a)
                params[a] = m.Param(static_cast<std::uint8_t>(a));
            return params;
        });
    }

    void SetParam(int address, std::uint16_t value) {
        ports.sim->WithModel([&](sim::ControllerModel& m) {
            m.SetParam(static_cast<std::uint8_t>(address), value);
            return 0;
        });
    }

    [[nodiscard]] std::string Serial() const {
        return ports.sim->WithModel([](const sim::ControllerModel& m) { return m.Serial(); });
    }
    [[nodiscard]] std::string Date() const {
        return ports.sim->WithModel([](const sim::ControllerModel& m) { return m.Date(); });
    }

    SimPorts ports;
    // A short clock step keeps the cases without a reply quick.
    SerialChannel channel;
    RegisterExchange link{channel};
    bool opened = false;
};

// An identity read-out nobody looks at.
class SilentView final : public IdentityView {
public:
    void ShowSerial(const QString&) override {}
    void ShowDate(const QString&) override {}
    void Repaint() override {}
};

// The whole content of a file, or nothing when there is no readable file.
inline std::optional<QByteArray> FileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A production log record as it lies on disk, built by hand rather than by the code under test.
inline QByteArray RawRecord(const QByteArray& serial, const QByteArray& date = "01.01.00",
                            const QByteArray& separator = " ** ", char lineEnd = '\r') {
    return char(serial.size()) + serial.leftJustified(24, '\0') + char(separator.size()) +
           separator.leftJustified(4, '\0') + char(date.size()) + date.leftJustified(8, '\0') +
           lineEnd;
}

} // namespace zef::test
