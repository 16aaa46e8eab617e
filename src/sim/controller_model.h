#pragma once

#include "files/identity.h"
#include "link/register_exchange.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace zef::sim {

// Registers of a plausible controller running a warm-idling four-cylinder engine. The live
// values are functions of time, so a test that pins the time gets the same answers every run.
class ControllerModel {
public:
    using MapMs = std::array<double, 7>;
    struct Options {
        bool blankIdentity = false;
    };
    // A few per cent off the stored map, point by point, either way.
    [[nodiscard]] static MapMs DefaultTrueMapMs();

    ControllerModel();
    explicit ControllerModel(Options options);

    // The reply bytes to one request frame at `seconds` since power-up. Apart from a map write,
    // a reply starts with its request's command and address, so a test or a benchmark can tell
    // whose answer an exchange got.
    [[nodiscard]] Frame Handle(const Frame& request, double seconds);

    [[nodiscard]] std::uint16_t Param(std::uint8_t address) const { return m_params[address]; }
    void SetParam(std::uint8_t address, std::uint16_t value) { m_params[address] = value; }
    [[nodiscard]] std::uint16_t Live(std::uint8_t address, double seconds) const;

    // Pins a live register to a value (for tests and demonstrations); nullopt lets it move again.
    void PinLive(std::uint8_t address, std::optional<std::uint16_t> value);
    void SetSetupMode(bool on) { m_setupMode = on; }

    void SetIdentity(const std::string& serial, const std::string& date);
    [[nodiscard]] std::string Serial() const;
    [[nodiscard]] std::string Date() const;

    // The engine at a moment: shared by the live registers and the map-write reply.
    [[nodiscard]] double EngineSpeed(double seconds) const;
    [[nodiscard]] double CoolantCelsius(double seconds) const;
    [[nodiscard]] double BaseInjectionMicros(double rpm) const;
    [[nodiscard]] double CorrectionRaw(double seconds) const;
    [[nodiscard]] double ThrottleMillivolts(double seconds) const;

    // An engine whose true injection need over speed is this map: it runs a drive cycle that
    // visits every map point with accelerations between, warming up from cold, and the oxygen
    // loop trims the stored map toward the need. Without one (the default) the engine idles
    // with a blip of the throttle now and then.
    void SetTrueMap(std::optional<MapMs> map) { m_trueMap = map; }
    [[nodiscard]] bool Driving() const { return m_trueMap.has_value(); }
    // The injection time the driven engine needs at a speed and moment, in microseconds.
    [[nodiscard]] double NeedMicros(double seconds) const;
    // One pass of the drive cycle, in seconds.
    [[nodiscard]] static double DriveCycleSeconds();

private:
    [[nodiscard]] double DriveSpeed(double seconds) const;
    [[nodiscard]] double DriveThrottle(double seconds) const;
    // The share of the acceleration enrichment in force: 1 while the throttle opens.
    [[nodiscard]] double Accelerating(double seconds) const;
    [[nodiscard]] double TrueMicros(double rpm) const;

    std::optional<MapMs> m_trueMap;
    std::array<std::uint16_t, 256> m_params{};
    std::map<std::uint8_t, std::uint16_t> m_pinned;
    bool m_setupMode = false;
};

} // namespace zef::sim
