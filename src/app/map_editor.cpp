#include "app/map_editor.h"

#include "app/map_chart.h"
#include "params/map_points.h"

#include <algorithm>
#include <cmath>

namespace zef {

void MapEditor::LoadMap() {
    m_chart.ClearSeries();
    ShowLoaded(ReadMapPoints(m_link));
}

void MapEditor::ShowLoaded(const MapReading& map) {
    m_chart.ClearSeries();
    for (std::size_t i = 0; i < map.size(); ++i) {
        const int speed = i == 0 ? 0 : kMapPoints[i - 1].speed;
        // A point not answered starts on the axis; the next tick that reads it moves it.
        m_chart.AddPoint(speed, map[i].value_or(0.0), QString::number(speed));
    }
    if (m_onLoaded)
        m_onLoaded();
    if (m_onShown)
        m_onShown();
}

bool MapEditor::Loaded() const {
    return m_chart.PointCount() >= 8;
}

void MapEditor::ShowRefreshed(const MapReading& map) {
    if (m_chart.PointCount() < 8)
        return;
    // A point moves only on its own answer; otherwise it stays where the last one put it.
    for (std::size_t i = 0; i < map.size(); ++i)
        if (map[i])
            m_chart.SetPointY(static_cast<int>(i), *map[i]);
    if (m_onShown)
        m_onShown();
}

void MapEditor::RaiseMapPoint(int index) {
    movePoint(index, +1);
}

void MapEditor::LowerMapPoint(int index) {
    movePoint(index, -1);
}

std::optional<int> MapEditor::PointMicros(int index) const {
    if (index < 1 || index > 7 || index >= m_chart.PointCount())
        return std::nullopt;
    return static_cast<int>(std::lround(m_chart.PointY(index) * 1000));
}

namespace {

constexpr int kStepMicros = 50;

bool WithinLimits(long micros) {
    return micros >= MapEditor::kMinMicros && micros <= MapEditor::kMaxMicros;
}

} // namespace

std::optional<int> MapEditor::TypedMicros(ParamValue ms) {
    if (!std::isfinite(static_cast<double>(ms)))
        return std::nullopt;
    const long micros = std::lround(static_cast<double>(ms) * 1000 / kStepMicros) * kStepMicros;
    if (!WithinLimits(micros))
        return std::nullopt;
    return static_cast<int>(micros);
}

std::optional<int> MapEditor::SteppedMicros(int micros, int steps) {
    const long moved = micros + static_cast<long>(steps) * kStepMicros;
    if (steps == 0 || !WithinLimits(moved))
        return std::nullopt;
    return static_cast<int>(moved);
}

std::optional<int> MapEditor::ScaledMicros(int micros, double percent) {
    // Whole percentages of whole microseconds stay exact, so a half step rounds the same way
    // every time.
    long scaled = std::lround(micros * (100 + percent) / 100 / kStepMicros) * kStepMicros;
    scaled = std::clamp<long>(scaled, kMinMicros, kMaxMicros);
    if (scaled == micros)
        return std::nullopt;
    return static_cast<int>(scaled);
}

bool MapEditor::WritePoint(int index, int micros) {
    if (index < 1 || index > 7 || !WithinLimits(micros))
        return false;
    // An unanswered write tells nothing of the engine.
    const auto reply = m_link.Exchange(Command::WriteParam, ParameterOf(index),
                                       static_cast<std::uint16_t>(micros));
    if (reply && m_onReply)
        m_onReply(static_cast<ParamValue>(reply->second),
                  static_cast<ParamValue>(reply->first) / 1000);
    return reply.has_value();
}

void MapEditor::movePoint(int index, int deltaSteps) {
    if (index < 1 || index > 7 || index >= m_chart.PointCount())
        return;
    const ParamValue v = static_cast<ParamValue>(m_chart.PointY(index)) + deltaSteps * kStepMs;
    // Compared in whole microseconds, so the limits themselves are reachable.
    const long micros = std::lround(std::nearbyint(v * 1000));
    if (micros > kMaxMicros || micros < kMinMicros)
        return;
    (void)WritePoint(index, static_cast<int>(micros));
}

} // namespace zef
