#pragma once

#include "tuning/map_write.h"

#include <optional>

namespace zef {

class TForm1;
class TuningDialog;

// "Карта → Подбор по записи...": the map tuned from the running recording (live) or from a
// recording file, against the map the controller holds now; null when there was nothing to
// tune (no controller, no file chosen, or a file refused, which has been said).
TuningDialog* ShowMapTuning(TForm1& window);

// Writes the points the fitter chose as one change of the session, archiving first; nothing
// when nothing was written.
[[nodiscard]] std::optional<MapWrite> WriteTunedMap(TForm1& window, const MapMicros& before,
                                                    const MapMicros& chosen);

} // namespace zef
