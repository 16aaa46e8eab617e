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

// The drive cycle: each speed held, reached by a ramp from the one before; the speeds visit
// every map point and the stretches between, idle included.
constexpr std::array<double, 12> kDriveSpeeds = {850,  1000, 1500, 2000, 3000, 4000,
                                                 6000, 5000, 3500, 2500, 1250, 700};
constexpr double kRampSeconds = 2;
constexpr double kHoldSeconds = 10;
constexpr double kLegSeconds = kRampSeconds + kHoldSeconds;

// The oxygen loop: the sensor sees the mixture after a delay, and the correction follows it
// with a time constant; the sensor's noise stays in the correction.
constexpr double kLoopDelay = 0.3;
constexpr double kLoopTimeConstant = 0.4;
constexpr double kLoopStep = 0.05;
constexpr int kLoopSteps = 60;
constexpr double kSensorNoise = 0.008;
constexpr double kLoopLimit = 0.25;
// The engine takes more than the map while it accelerates (fuel wets the manifold walls).
constexpr double kWallWetting = 0.05;

struct Leg {
    double from, to, into; // speeds, seconds into the leg
};

Leg LegAt(double t) {
    const double p = std::fmod(std::max(t, 0.0), kLegSeconds * kDriveSpeeds.size());
    const auto i = static_cast<std::size_t>(p / kLegSeconds);
    return {kDriveSpeeds[(i + kDriveSpeeds.size() - 1) % kDriveSpeeds.size()], kDriveSpeeds[i],
            p - static_cast<double>(i) * kLegSeconds};
}

// Uniform in [-1, 1], the same for every moment of one tenth of a second.
double Noise(double t) {
    auto x = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(t * 10)));
    x = x * 2654435761u + 0x9E3779B9u;
    x ^= x >> 15;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    return static_cast<double>(x) / 2147483647.5 - 1;
}

} // namespace

ControllerModel::ControllerModel() : ControllerModel(Options{}) {}

ControllerModel::MapMs ControllerModel::DefaultTrueMapMs() {
    return {2.600, 2.765, 3.465, 3.876, 4.416, 5.459, 5.880};
}

double ControllerModel::DriveCycleSeconds() {
    return kLegSeconds * kDriveSpeeds.size();
}

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
    if (Driving())
        return DriveSpeed(t);
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

double ControllerModel::DriveSpeed(double t) const {
    const Leg leg = LegAt(t);
    const double hunting = 8 * std::sin(kTwoPi * t / 2.7) + 4 * std::sin(kTwoPi * t / 0.9);
    if (leg.into >= kRampSeconds)
        return leg.to + hunting;
    const double x = leg.into / kRampSeconds;
    return leg.from + (leg.to - leg.from) * x * x * (3 - 2 * x) + hunting;
}

double ControllerModel::DriveThrottle(double t) const {
    const Leg leg = LegAt(t);
    auto opening = [](double rpm) { return 0.6 + 3.4 * std::clamp((rpm - 700) / 5300, 0.0, 1.0); };
    if (leg.into >= kRampSeconds)
        return opening(leg.to);
    const double x = leg.into / kRampSeconds;
    // The pedal leads the engine: opened past the new position while it speeds up, closed
    // below it while it slows.
    const double lead = (leg.to > leg.from ? 0.6 : -0.4) * std::sin(std::numbers::pi * x);
    return std::clamp(opening(leg.from + (leg.to - leg.from) * x) + lead, 0.4, 4.8);
}

double ControllerModel::Accelerating(double t) const {
    if (!Driving())
        return 0;
    const Leg leg = LegAt(t);
    if (leg.into >= kRampSeconds || leg.to <= leg.from)
        return 0;
    return std::sin(std::numbers::pi * leg.into / kRampSeconds);
}

double ControllerModel::TrueMicros(double rpm) const {
    static constexpr std::array<double, 7> speeds = {500, 1000, 1500, 2000, 3000, 4000, 6000};
    const MapMs& map = *m_trueMap;
    if (rpm <= speeds.front())
        return map.front() * 1000;
    for (std::size_t i = 1; i < speeds.size(); ++i)
        if (rpm <= speeds[i]) {
            const double f = (rpm - speeds[i - 1]) / (speeds[i] - speeds[i - 1]);
            return 1000 * (map[i - 1] + f * (map[i] - map[i - 1]));
        }
    return map.back() * 1000;
}

double ControllerModel::NeedMicros(double t) const {
    return TrueMicros(EngineSpeed(t)) * (1 + kWallWetting * Accelerating(t));
}

double ControllerModel::ThrottleMillivolts(double t) const {
    if (Driving())
        return 1000 * DriveThrottle(t);
    return 600 + 1900 * bump(std::fmod(t, 15.0), 10.0, 2.5);
}

double ControllerModel::CorrectionRaw(double t) const {
    if (Driving()) {
        // The loop settles where the corrected base time, enrichment included, gives what the
        // engine needs; what it shows is that, seen late and through the sensor's noise.
        const double enrichment = m_params[25] / 1000.0;
        double sum = 0, weights = 0;
        for (int k = 0; k <= kLoopSteps; ++k) {
            const double at = std::max(0.0, t - kLoopDelay - k * kLoopStep);
            const double applied =
                BaseInjectionMicros(EngineSpeed(at)) * (1 + enrichment * Accelerating(at));
            const double w = std::exp(-k * kLoopStep / kLoopTimeConstant);
            sum += w * NeedMicros(at) / std::max(applied, 1.0);
            weights += w;
        }
        const double ratio = std::clamp(sum / weights * (1 + kSensorNoise * Noise(t)),
                                        1 - kLoopLimit, 1 + kLoopLimit);
        return 1024 * ratio;
    }
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
    const double throttle = ThrottleMillivolts(t);
    switch (address) {
    case 0:
        return 0x5A; // answers the probe
    case 72:
        // The correction's word over 1024 scales the base time, and on acceleration the
        // enrichment of parameter 25 (tenths of a per cent) comes on top.
        return word(BaseInjectionMicros(rpm) * (oxygenLoop ? CorrectionRaw(t) : 1030) / 1024 *
                    (1 + m_params[25] / 1000.0 * Accelerating(t)));
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
