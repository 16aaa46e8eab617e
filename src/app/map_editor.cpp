#include "app/map_editor.h"

#include "app/map_chart.h"
#include "params/map_points.h"

#include <cmath>
#include <span>

namespace zef {

namespace {

double millis(const RegisterExchange& link) { return static_cast<double>(link.ReplyMillis()); }

} // namespace

void MapEditor::LoadMap() {
    m_chart.ClearSeries();
    m_link.Exchange(Command::ReadParam, 7);
    // One reply serves both: the curve starts flat from the origin.
    m_chart.AddPoint(0, millis(m_link), "0");
    m_chart.AddPoint(500, millis(m_link), "500");
    for (const MapPoint& p : std::span(kMapPoints).subspan(1)) {
        m_link.Exchange(Command::ReadLive, p.liveRegister);
        m_chart.AddPoint(p.speed, millis(m_link), QString::number(p.speed));
    }
    if (m_onLoaded)
        m_onLoaded();
}

void MapEditor::RefreshMap() {
    if (m_chart.PointCount() < 8)
        return;
    // A point moves only on its own answer; otherwise it stays where the last one put it.
    if (m_link.Exchange(Command::ReadParam, 7)) {
        m_chart.SetPointY(0, millis(m_link));
        m_chart.SetPointY(1, millis(m_link));
    }
    for (int index = 2; index <= 7; ++index) {
        if (m_link.Exchange(Command::ReadLive, LiveRegisterOf(index)))
            m_chart.SetPointY(index, millis(m_link));
    }
}

void MapEditor::RaiseMapPoint(int index) { movePoint(index, +1); }

void MapEditor::LowerMapPoint(int index) { movePoint(index, -1); }

void MapEditor::movePoint(int index, int deltaSteps) {
    if (index < 1 || index > 7 || index >= m_chart.PointCount())
        return;
    const ParamValue v = static_cast<ParamValue>(m_chart.PointY(index)) + deltaSteps * kStepMs;
    // Compared in whole microseconds, so the limits themselves are reachable.
    const long micros = std::lround(std::nearbyint(v * 1000));
    if (micros > kMaxMicros || micros < kMinMicros)
        return;
    // An unanswered write tells nothing of the engine.
    if (m_link.Exchange(Command::WriteParam, ParameterOf(index), static_cast<std::uint16_t>(micros)) &&
        m_onReply)
        m_onReply(static_cast<ParamValue>(m_link.LastReply().second),
                  static_cast<ParamValue>(m_link.LastReply().first) / 1000);
}

} // namespace zef
