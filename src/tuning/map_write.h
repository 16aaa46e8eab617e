#pragma once

// Writing tuned map points into a controller with a look back: the calibration it held goes
// into the archive first, only the points that change are written, and every point is read
// back so the fitter sees what the controller took.

#include "archive/archived_load.h"
#include "tuning/map_tuner.h"

#include <optional>

namespace zef {

// The map as the window reads it: parameter 7, then the live registers of the other points.
// nullopt as soon as a read goes unanswered.
[[nodiscard]] std::optional<MapMicros> ReadMap(RegisterExchange& link);

// The map within a settings file's values, and the values with another map in its place.
[[nodiscard]] std::optional<MapMicros> MapOfSettings(const SettingsValues& values);
[[nodiscard]] SettingsValues SettingsWithMap(SettingsValues values, const MapMicros& map);

struct MapWrite {
    bool written = false; // false: declined without a snapshot, nothing was written
    int writes = 0;
    int unanswered = 0;
    std::optional<Expected<StoredSnapshot>> snapshot; // nothing without an archive
    std::optional<MapMicros> readBack;                // nullopt: a read went unanswered
    // The points whose read-back differs from what was written.
    [[nodiscard]] bool Took(const MapMicros& chosen) const {
        return readBack && *readBack == chosen;
    }
};

// Writes the points of `chosen` that differ from `before`. Without an archive (nullptr) nothing
// is archived; when the archive cannot take the state, loadWithout decides.
[[nodiscard]] MapWrite WriteMap(RegisterExchange& link, const CalibrationArchive* archive,
                                const std::optional<QString>& serial, const MapMicros& before,
                                const MapMicros& chosen, const LoadWithoutSnapshot& loadWithout);

} // namespace zef
