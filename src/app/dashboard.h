#pragma once

#include "link/register_exchange.h"

#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QSettings;

namespace zef {

class LinkSupervisor;

// Where a gauge's colour changes: below lowAlarm and above highAlarm red, below lowWarn and
// above highWarn amber, green between.
struct GaugeZones {
    double lowAlarm = 0;
    double lowWarn = 0;
    double highWarn = 0;
    double highAlarm = 0;
    bool operator==(const GaugeZones&) const = default;
};

enum class Zone { Alarm, Warn, Good };
[[nodiscard]] Zone ZoneOf(const GaugeZones& zones, double value);

// One instrument of the dashboard: a title, a value in large figures and a bar with the zones.
class Gauge : public QWidget {
    Q_OBJECT
public:
    struct Face {
        const char* key; // the datalog channel shown; the settings key of its zones
        QString title;
        QString unit;
        double min, max;
        int decimals;
        GaugeZones zones;          // the defaults
        QString lowWord, highWord; // words at the bar's ends, for the oxygen sensor's lean/rich
    };
    explicit Gauge(Face face, QWidget* parent = nullptr);

    void SetValue(std::optional<double> value); // none: no value read yet
    void SetDetail(const QString& text);        // a line under the value
    void SetZones(const GaugeZones& zones);
    [[nodiscard]] const GaugeZones& Zones() const { return m_zones; }
    [[nodiscard]] const Face& Dial() const { return m_face; }
    [[nodiscard]] std::optional<double> Value() const { return m_value; }
    [[nodiscard]] QLabel* ValueLabel() const { return m_valueLabel; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Bar;
    void fitFonts();

    Face m_face;
    GaugeZones m_zones;
    std::optional<double> m_value;
    QLabel* m_title = nullptr;
    QLabel* m_valueLabel = nullptr;
    QLabel* m_detail = nullptr;
    Bar* m_bar = nullptr;
    // What each label's font was last fitted to: title, value, detail.
    struct Fitted {
        QString text;
        QSize room;
    };
    std::array<Fitted, 3> m_fitted;
};

// "Приборы": the engine at a glance, large enough to read from the driver's seat, in whatever
// size its window is given. One datalog row is read per refresh, as one verified burst.
class Dashboard : public QWidget {
    Q_OBJECT
public:
    // settings may be null: the zones and the palette are then not remembered.
    Dashboard(RegisterExchange& link, const LinkSupervisor& supervisor, QSettings* settings,
              QWidget* parent = nullptr);

    // Reads one row while the link is live; shows the link's state otherwise. False when no
    // new values were shown.
    bool Refresh();
    // Shows a row the monitor read: what Refresh() shows, without reading one of its own.
    bool ShowReading(const std::optional<std::vector<double>>& row);
    // Greys the figures while the link is lost, with no exchange: safe from a state change.
    void ShowLinkState();
    // The night palette: light figures on a dark ground.
    void SetNight(bool night);
    [[nodiscard]] bool Night() const { return m_night; }
    void EditZones(Gauge& gauge);
    void SetZones(Gauge& gauge, const GaugeZones& zones);

    [[nodiscard]] Gauge* GaugeFor(std::string_view key) const;
    [[nodiscard]] const std::vector<Gauge*>& Gauges() const { return m_gauges; }
    [[nodiscard]] QLabel* LostLabel() const { return m_lost; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void showLost(bool lost);
    void showRow(const std::vector<double>& row);

    RegisterExchange& m_link;
    const LinkSupervisor& m_supervisor;
    QSettings* m_settings;
    std::vector<Gauge*> m_gauges;
    QLabel* m_lost = nullptr;
    QCheckBox* m_nightBox = nullptr;
    bool m_night = false;
};

} // namespace zef
