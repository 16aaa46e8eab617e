#include "app/map_editor.h"

#include "app/map_chart.h"
#include "params/map_points.h"

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
}

void MapEditor::RaiseMapPoint(int index) {
    movePoint(index, +1);
}

void MapEditor::LowerMapPoint(int index) {
    movePoint(index, -1);
}

void MapEditor::movePoint(int index, int deltaSteps) {
    if (index < 1 || index > 7 || index >= m_chart.PointCount())
        return;
    const ParamValue v = static_cast<ParamValue>(m_chart.PointY(index)) + deltaSteps * kStepMs;
    // Compared in whole microseconds, so the limits themselves are reachable.
    const long micros = std::lround(std::nearbyint(v * 1000));
    if (micros > kMaxMicros || micros < kMinMicros)
        return;
    // An unanswered write tells nothing of the engine.
    const auto reply = m_link.Exchange(Command::WriteParam, ParameterOf(index),
                                       static_cast<std::uint16_t>(micros));
    if (reply && m_onReply)
        m_onReply(static_cast<ParamValue>(reply->second),
                  static_cast<ParamValue>(reply->first) / 1000);
}

} // namespace zef
