#pragma once

#include "link/serial_backend.h"
#include "sim/sim_backend.h"

#include <memory>

namespace zef::test {

// Port 1 is a simulated controller; the other numbers have nothing behind them. Counts how
// often the channel asked, so a test can tell that nothing was touched.
class SimPorts final : public PortDirectory {
public:
    explicit SimPorts(sim::Simulator::Options options = {})
        : sim(std::make_shared<sim::Simulator>(options)) {}

    std::unique_ptr<SerialBackend> backendFor(int portNumber) override {
        ++requests;
        if (portNumber != 1)
            return nullptr;
        auto backend = std::make_unique<sim::SimBackend>(sim);
        last = backend.get();
        return backend;
    }

    [[nodiscard]] std::uint16_t Param(std::uint8_t address) const {
        return sim->WithModel([&](sim::ControllerModel& m) { return m.Param(address); });
    }
    void SetParam(std::uint8_t address, std::uint16_t value) {
        sim->WithModel([&](sim::ControllerModel& m) { m.SetParam(address, value); });
    }

    std::shared_ptr<sim::Simulator> sim;
    sim::SimBackend* last = nullptr; // valid while the channel holds it
    int requests = 0;
};

} // namespace zef::test
