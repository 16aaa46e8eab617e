#pragma once

// Loading a settings file into a controller with a look back: the file is checked whole, the
// state it overwrites goes into the archive, and only then is anything written.

#include "archive/snapshot_archive.h"
#include "files/settings_file.h"

#include <QString>

#include <functional>
#include <optional>

namespace zef {

// Asked when the state about to be overwritten could not be archived, with the reason: whether
// to write the file all the same. The window asks the fitter; the command line refuses unless
// forced.
using LoadWithoutSnapshot = std::function<bool(const QString& reason)>;

struct ArchivedLoad {
    bool written = false; // false: declined without a snapshot, nothing was written
    // The state before was read from the controller: a snapshot that failed after it failed on
    // the archive's disk, one that failed before it on the link.
    bool stateRead = false;
    LoadReport load; // the writes, when written
    // Registers that read back otherwise than the file says, when written.
    std::vector<DifferingRegister> differing;
    // The state before, or why there is none; nothing without an archive.
    std::optional<Expected<StoredSnapshot>> snapshot;
};

// A file that cannot be read or holds a bad value writes nothing and takes no snapshot. Without
// an archive (nullptr) the file is loaded as it is. Without askWhenUnread, a state the link did
// not let be read writes nothing and asks nothing: a retry is the answer, not a load uncopied.
[[nodiscard]] Expected<ArchivedLoad>
LoadWithArchive(RegisterExchange& link, const CalibrationArchive* archive,
                const std::optional<QString>& serial, const QString& path,
                const LoadWithoutSnapshot& loadWithout, bool askWhenUnread = true);

// What the user must be told after a load that went ahead: a load cut short (with the
// archived copy of the earlier state), registers that read back otherwise, a short file.
// Empty when the controller holds the whole file.
[[nodiscard]] QString LoadOutcomeText(const ArchivedLoad& outcome);

// The question put to the fitter when the snapshot before a load failed.
[[nodiscard]] QString LoadWithoutSnapshotQuestion(const QString& reason);

// What is told when a load was declined because the state before it could not be archived.
[[nodiscard]] QString NotLoadedWithoutSnapshotText(const QString& path);

} // namespace zef
