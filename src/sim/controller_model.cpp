#include "sim/controller_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zef::sim {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

std::uint16_t word(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}

// A smooth bump from 0 to 1 and back within [start, start + length].
double bump(double t, double start, double length) {
    if (t < start || t > start + length)
        return 0;
    return std::sin(std::numbers::pi * (t - start) / length);
}

} // namespace

ControllerModel::ControllerModel() : ControllerModel(Options{}) {}

ControllerModel::ControllerModel(Options options) {
    auto& p = m_params;
    p[0] = 0;    // start on gas or petrol
    p[3] = 0;    // vapour valve normally open
    p[4] = 0;    // throttle potentiometer, direct
    p[5] = 1;    // two ignition coils
    p[6] = 3130; // change to liquid phase at 40 °C
    const std::array<std::uint16_t, 7> map = {2500, 2850, 3300, 3800, 4600, 5300, 6000};
    std::copy(map.begin(), map.end(), p.begin() + 7);
    p[14] = 120;
    p[15] = 1; // oxygen sensor present
    p[17] = 30;
    p[18] = 200;
    p[19] = 0;    // petrol valve normally closed
    p[20] = 650;  // idle threshold 0.65 V
    p[21] = 1600; // forced idle from 1600 rpm
    p[23] = 3800; // sensor at a cold engine
    p[24] = 1200; // sensor at a hot engine
    p[25] = 300;  // 30 % on acceleration
    p[26] = 15;
    p[28] = 150; // 15 % on pick-up
    p[29] = 8;
    p[30] = 500;
    p[31] = 400;
    p[32] = 2;
    p[34] = 1100;
    p[35] = 37; // 370 000 cycles
    p[68] = 5000;
    p[71] = 4;
    p[73] = 6000;
    if (options.blankIdentity)
        SetIdentity(kBlankSerial, "01.01.00");
    else
        SetIdentity("ZEF-K7LX SN 05.02 00123 ", "15.03.26");
}

void ControllerModel::SetIdentity(const std::string& serial, const std::string& date) {
    for (int i = 0; i < 24; ++i)
        m_params[36 + i] = i < static_cast<int>(serial.size())
                               ? static_cast<std::uint8_t>(serial[static_cast<size_t>(i)])
                               : ' ';
    for (int i = 0; i < 8; ++i)
        m_params[60 + i] = i < static_cast<int>(date.size())
                               ? static_cast<std::uint8_t>(date[static_cast<size_t>(i)])
                               : ' ';
}

std::string ControllerModel::Serial() const {
    std::string s;
    for (int i = 36; i <= 59; ++i)
        s.push_back(static_cast<char>(m_params[i] & 0xFF));
    return s;
}

std::string ControllerModel::Date() const {
    std::string s;
    for (int i = 60; i <= 67; ++i)
        s.push_back(static_cast<char>(m_params[i] & 0xFF));
    return s;
}

void ControllerModel::PinLive(std::uint8_t address, std::optional<std::uint16_t> value) {
    if (value)
        m_pinned[address] = *value;
    else
        m_pinned.erase(address);
}

double ControllerModel::EngineSpeed(double t) const {
    // Idle near 850 rpm with a little hunting, and a blip of the throttle every 15 seconds.
    const double idle = 850 + 12 * std::sin(kTwoPi * t / 2.7) + 5 * std::sin(kTwoPi * t / 0.9);
    const double cycle = std::fmod(t, 15.0);
    return idle + 2100 * bump(cycle, 10.0, 2.5);
}

double ControllerModel::CoolantCelsius(double t) const {
    return 20 + 68 * (1 - std::exp(-t / 180));
}

double ControllerModel::BaseInjectionMicros(double rpm) const {
    static constexpr std::array<double, 7> speeds = {500, 1000, 1500, 2000, 3000, 4000, 6000};
    if (rpm <= speeds.front())
        return m_params[7];
    for (std::size_t i = 1; i < speeds.size(); ++i) {
        if (rpm <= speeds[i]) {
            const double f = (rpm - speeds[i - 1]) / (speeds[i] - speeds[i - 1]);
            return m_params[6 + i] + f * (m_params[7 + i] - m_params[6 + i]);
        }
    }
    return m_params[13];
}

double ControllerModel::CorrectionRaw(double t) const {
    // The oxygen loop trims around the base map: a few percent either way.
    return 1024 + 35 * std::sin(kTwoPi * t / 6.0);
}

std::uint16_t ControllerModel::Live(std::uint8_t address, double t) const {
    if (auto it = m_pinned.find(address); it != m_pinned.end())
        return it->second;
    const double rpm = EngineSpeed(t);
    const double celsius = CoolantCelsius(t);
    const bool warm = celsius > 45;
    const bool oxygenLoop = warm && (m_params[15] & 1) && !m_setupMode;
    const double throttle = 600 + 1900 * bump(std::fmod(t, 15.0), 10.0, 2.5);
    switch (address) {
    case 0:
        return 0x5A; // answers the probe
    case 72:
        return word(BaseInjectionMicros(rpm) * (oxygenLoop ? CorrectionRaw(t) : 1030) / 1024);
    case 76:
        return m_setupMode ? 0x80 : 0x01;
    case 77:
        return static_cast<std::uint16_t>((oxygenLoop ? 0x02 : 0x00) | (warm ? 0x10 : 0x00));
    case 162:
        return word(rpm);
    case 164:
        return word(13800 + 120 * std::sin(kTwoPi * t / 11));
    case 166:
        return word(warm ? 500 + 400 * std::sin(kTwoPi * t * 0.8) : 450);
    case 178:
        return word(BaseInjectionMicros(rpm));
    case 182:
        return 1030; // manual trim +0.6 %
    case 186:
        return word(CorrectionRaw(t));
    case 192:
        return word(throttle);
    case 196: {
        // Sensor voltage falls as the engine warms, between the two calibration points.
        const double f = std::clamp((celsius - 20) / 70, 0.0, 1.0);
        return word(m_params[23] + f * (m_params[24] - m_params[23]));
    }
    case 198:
        return word((celsius + 273) * 10);
    case 234:
    case 238:
    case 242:
    case 246:
    case 250:
    case 254:
        return m_params[8 + (address - 234) / 4];
    default:
        return 0;
    }
}

Frame ControllerModel::Handle(const Frame& request, double seconds) {
    const auto command = request[0];
    const auto address = request[1];
    const auto value = static_cast<std::uint16_t>(request[2] | (request[3] << 8));
    std::uint16_t first = static_cast<std::uint16_t>(command | (address << 8));
    std::uint16_t second = 0;
    switch (command) {
    case static_cast<std::uint8_t>(Command::ReadLive):
        second = Live(address, seconds);
        break;
    case static_cast<std::uint8_t>(Command::ReadParam):
        second = m_params[address];
        break;
    case static_cast<std::uint8_t>(Command::WriteParam):
        m_params[address] = value;
        second = value;
        if (address >= 7 && address <= 13) {
            // A map write answers with the present injection time and engine speed.
            first = Live(72, seconds);
            second = Live(162, seconds);
        }
        break;
    default:
        break;
    }
    return {static_cast<std::uint8_t>(first & 0xFF), static_cast<std::uint8_t>(first >> 8),
            static_cast<std::uint8_t>(second & 0xFF), static_cast<std::uint8_t>(second >> 8)};
}

} // namespace zef::sim
