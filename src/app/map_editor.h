#pragma once

#include "link/register_exchange.h"
#include "session/tick.h"

#include <functional>
#include <optional>

namespace zef {

class MapChart;

// The map's seven points over engine speed, read from and written to the controller. A point
// on the chart always comes from the controller: the arrows only write, and the next refresh
// reads the new value back.
class MapEditor {
public:
    static constexpr ParamValue kStepMs = 0.05L;
    static constexpr int kMaxMicros = 8000;
    static constexpr int kMinMicros = 1000;

    // Told the engine speed and the current injection time (ms) that a map write's reply
    // carries.
    using ReplyObserver = std::function<void(ParamValue speed, ParamValue injectionMs)>;

    MapEditor(RegisterExchange& link, MapChart& chart) : m_link(link), m_chart(chart) {}

    void SetReplyObserver(ReplyObserver observer) { m_onReply = std::move(observer); }
    // Runs at the end of LoadMap: the monitor starts there.
    void SetLoadedObserver(std::function<void()> observer) { m_onLoaded = std::move(observer); }
    // Runs whenever the chart has shown the map as read, loaded or refreshed.
    void SetShownObserver(std::function<void()> observer) { m_onShown = std::move(observer); }

    void LoadMap();
    // Shows the map as read: a new curve, or points moved by a tick.
    void ShowLoaded(const MapReading& map);
    void ShowRefreshed(const MapReading& map);
    [[nodiscard]] bool Loaded() const;
    // index 1 to 7: the points at 500 ... 6000 rpm.
    void RaiseMapPoint(int index);
    void LowerMapPoint(int index);
    // The point as the chart shows it, in whole microseconds; nothing before the map is loaded.
    [[nodiscard]] std::optional<int> PointMicros(int index) const;
    // Writes a point exactly as an arrow does, the reply going to the reply observer; false when
    // the write went unanswered. The chart moves with the next refresh.
    bool WritePoint(int index, int micros);

    // The moves the arrows and the map table make, in whole microseconds; nothing where the
    // point would not move. A typed value goes to the nearest step and is refused beyond the
    // limits; a step refuses to pass a limit as an arrow does; a percentage stops at a limit.
    [[nodiscard]] static std::optional<int> TypedMicros(ParamValue ms);
    [[nodiscard]] static std::optional<int> SteppedMicros(int micros, int steps);
    [[nodiscard]] static std::optional<int> ScaledMicros(int micros, double percent);

    // The parameter that stores a point.
    [[nodiscard]] static std::uint8_t ParameterOf(int index) {
        return static_cast<std::uint8_t>(index + 6);
    }
    // The live register that reads a point back (index 2 to 7).
    [[nodiscard]] static std::uint8_t LiveRegisterOf(int index) {
        return static_cast<std::uint8_t>(234 + 4 * (index - 2));
    }

private:
    void movePoint(int index, int deltaSteps);

    RegisterExchange& m_link;
    MapChart& m_chart;
    ReplyObserver m_onReply;
    std::function<void()> m_onLoaded;
    std::function<void()> m_onShown;
};

} // namespace zef
