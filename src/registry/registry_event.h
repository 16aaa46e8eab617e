#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zef {

// What happened to a controller at a station.
enum class EventKind {
    Numbered,
    Connected,
    Loaded,
    Saved,
    Restored,
    Checked,
    Tuned,
    CounterReset,
    SerialWritten,
};

struct EventKindRow {
    EventKind kind;
    std::string_view name;    // as stored and as --json gives it
    std::string_view caption; // as the history shows it
};

[[nodiscard]] const EventKindRow& KindRow(EventKind kind);
[[nodiscard]] std::optional<EventKind> KindNamed(const QString& name);

// Who records: the same for every event of a run.
struct Workplace {
    QString station;
    QString user;
    QString programVersion;
};

// The workplace of this process: the machine's name, the account, the given version.
[[nodiscard]] Workplace ThisWorkplace(const QString& programVersion);

struct RegistryEvent {
    QString uid; // made by the station, so an event sent twice is stored once
    QString serial;
    QDateTime at; // with the station's offset from UTC
    QString station;
    QString user;
    EventKind kind = EventKind::Connected;
    std::vector<std::uint16_t> calibration; // the 31 words when one is involved
    QString checkJson;                      // the check's result
    QString programVersion;
};

// A new event of this workplace, now.
[[nodiscard]] RegistryEvent NewEvent(const Workplace& workplace, const QString& serial,
                                     EventKind kind);

// The station's time with its offset, so a history read elsewhere still says local time.
[[nodiscard]] QDateTime StationNow();

[[nodiscard]] QJsonObject EventJson(const RegistryEvent& event);
[[nodiscard]] std::optional<RegistryEvent> EventFromJson(const QJsonObject& json);

// The calibration as stored: words separated by spaces.
[[nodiscard]] QString CalibrationText(const std::vector<std::uint16_t>& words);
[[nodiscard]] std::vector<std::uint16_t> CalibrationWords(const QString& text);

} // namespace zef
