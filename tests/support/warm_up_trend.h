#pragma once

// A made-up engine warm-up as the recorder would collect it: for the trend window's benchmark
// and screenshots, where no controller runs long enough to fill an hour.

#include "datalog/trend_data.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace zef::test {

inline std::vector<TrendChannel> WarmUpChannels() {
    return {{"Обороты", "об/мин"},
            {"Время впрыска базовое", "мс"},
            {"Время впрыска текущее", "мс"},
            {"Напряжение лямбда-зонда", "В"},
            {"Коррекция по лямбда-зонду", "%"},
            {"Ручная коррекция", "%"},
            {"Напряжение дросселя", "В"},
            {"Напряжение датчика температуры", "В"},
            {"Температура двигателя", "°C"},
            {"Напряжение питания", "В"},
            {"Режим настройки", ""},
            {"Коррекция по лямбда-зонду включена", ""}};
}

// `seconds` of rows every `period`, none between `gapFrom` and `gapTo` (a lost link). The
// engine warms from 15 °C; the oxygen sensor starts switching once it is warm, and its
// correction with it; the throttle is blipped now and then.
inline TrendData WarmUp(double seconds, double period = 0.35, double gapFrom = -1,
                        double gapTo = -1) {
    TrendData data(WarmUpChannels());
    data.Reserve(std::size_t(seconds / period) + 1);
    std::mt19937 random(12);
    std::normal_distribution<double> noise(0, 1);
    double correction = 0;
    for (long i = 0;; ++i) {
        const double t = i * period;
        if (t > seconds)
            break;
        if (t >= gapFrom && t < gapTo)
            continue;
        const double temperature = 15 + 70 * (1 - std::exp(-t / 900));
        const bool closedLoop = t > 90;
        const double blip = std::fmod(t, 47) < 2.5 ? std::sin(std::fmod(t, 47) / 2.5 * M_PI) : 0;
        const double throttle = 0.45 + 3.2 * blip + 0.01 * noise(random);
        const double rpm = 850 + 400 * std::exp(-t / 300) + 2600 * blip + 15 * noise(random);
        // The sensor swings rich and lean about twice a second once warm; cold it sits near
        // the middle.
        const double oxygen = closedLoop
                                  ? (std::sin(t * 4.1) > 0 ? 0.78 : 0.12) + 0.03 * noise(random)
                                  : 0.45 + 0.01 * noise(random);
        if (closedLoop)
            correction = std::clamp(correction + 0.3 * noise(random) + (oxygen > 0.45 ? -0.2 : 0.2),
                                    -12.0, 12.0);
        const double manual = t > seconds * 0.7 ? 3 : 0;
        const double base = 2.4 + 0.6 * blip + 1.2 * std::exp(-t / 400);
        const double current = base * (1 + (correction + manual) / 100);
        const double sensor = 3.9 - 0.035 * temperature;
        const double supply = 13.9 - 0.4 * blip + 0.05 * noise(random);
        const std::vector<double> row{rpm,         base,   current,  oxygen,
                                      correction,  manual, throttle, sensor,
                                      temperature, supply, 0,        closedLoop ? 1.0 : 0.0};
        data.Append(t, row);
    }
    return data;
}

} // namespace zef::test
