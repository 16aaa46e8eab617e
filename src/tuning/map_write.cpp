#include "tuning/map_write.h"

#include <algorithm>

namespace zef {

std::optional<MapMicros> ReadMap(RegisterExchange& link) {
    // One burst, tried once more when stray bytes voided it.
    for (int attempt = 0; attempt < link.Attempts(); ++attempt) {
        Burst burst(link);
        MapMicros map{};
        bool answered = true;
        for (std::size_t i = 0; i < kMapSize && answered; ++i) {
            const MapPoint& point = kMapPoints[i];
            const auto reply = point.liveRegister == 0
                                   ? link.Exchange(Command::ReadParam, point.parameter)
                                   : link.Exchange(Command::ReadLive, point.liveRegister);
            answered = reply.has_value();
            if (reply)
                map[i] = reply->second;
        }
        if (!answered)
            return std::nullopt;
        if (burst.Verified())
            return map;
    }
    return std::nullopt;
}

namespace {

std::optional<std::size_t> SettingsIndex(std::uint8_t parameter) {
    const auto it = std::find(kSettingsRegisters.begin(), kSettingsRegisters.end(), parameter);
    if (it == kSettingsRegisters.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - kSettingsRegisters.begin());
}

} // namespace

std::optional<MapMicros> MapOfSettings(const SettingsValues& values) {
    MapMicros map{};
    for (std::size_t i = 0; i < kMapSize; ++i) {
        const auto at = SettingsIndex(kMapPoints[i].parameter);
        if (!at || *at >= values.size())
            return std::nullopt; // a short file without the map
        map[i] = values[*at];
    }
    return map;
}

SettingsValues SettingsWithMap(SettingsValues values, const MapMicros& map) {
    for (std::size_t i = 0; i < kMapSize; ++i)
        if (const auto at = SettingsIndex(kMapPoints[i].parameter); at && *at < values.size())
            values[*at] = static_cast<std::uint16_t>(map[i]);
    return values;
}

MapWrite WriteMap(RegisterExchange& link, const CalibrationArchive* archive,
                  const std::optional<QString>& serial, const MapMicros& before,
                  const MapMicros& chosen, const LoadWithoutSnapshot& loadWithout) {
    MapWrite outcome;
    if (archive) {
        outcome.snapshot = TakeSnapshot(link, *archive, serial, SnapshotReason::BeforeLoad);
        // Nothing may overwrite a calibration that has no copy unless someone decided so.
        const auto& snapshot = *outcome.snapshot;
        if (!snapshot && !(loadWithout && loadWithout(snapshot.error())))
            return outcome;
    }
    outcome.written = true;
    for (std::size_t i = 0; i < kMapSize; ++i) {
        if (chosen[i] == before[i])
            continue;
        ++outcome.writes;
        if (!link.Exchange(Command::WriteParam, kMapPoints[i].parameter,
                           static_cast<std::uint16_t>(chosen[i])))
            ++outcome.unanswered;
    }
    outcome.readBack = ReadMap(link);
    return outcome;
}

} // namespace zef
