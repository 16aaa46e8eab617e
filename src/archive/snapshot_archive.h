#pragma once

// The calibration archive: every state a controller held before the program changed it, kept
// per serial number in the settings-file format, so that any of them can be compared or loaded
// back like a file the fitter saved.

#include "files/app_names.h"
#include "files/outcome.h"
#include "files/settings_file.h"
#include "link/register_exchange.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zef {

// The folder the archive lives in: the one given on the command line, else the per-user
// application data folder. Empty when the system has none.
[[nodiscard]] QString DataFolder(const QString& chosen);

enum class SnapshotReason : std::uint8_t {
    Connect,    // taken when the controller was connected
    BeforeLoad, // taken before a settings file overwrote it
    // taken before a load into a controller that a load cut short left half written: the
    // state is neither the earlier calibration nor the file's
    PartialLoad,
};

struct ReasonRow {
    SnapshotReason reason;
    std::string_view tag;     // in the file name
    std::string_view caption; // in the archive list
};

[[nodiscard]] std::span<const ReasonRow> SnapshotReasons();
[[nodiscard]] const ReasonRow& ReasonOf(SnapshotReason reason);

// A stored snapshot, known by its file name.
struct Snapshot {
    QString path;
    QDateTime taken; // local time, to the second
    SnapshotReason reason = SnapshotReason::Connect;
    int sequence = 1; // the n-th snapshot of the same controller within that second
};

// "2026-05-01 12:00:05, подключение"
[[nodiscard]] QString SnapshotCaption(const Snapshot& snapshot);

// What a store did: wrote a new file, or found the state already in the latest one.
struct StoredSnapshot {
    QString path;
    bool written = false;
};

// The folder name for a serial number: blank serials go under "blank"; characters no file
// system takes become "_", spaces too, so the name needs no quoting on a command line.
[[nodiscard]] QString SerialFolderName(const QString& serial);

class CalibrationArchive {
public:
    using Clock = std::function<QDateTime()>;

    explicit CalibrationArchive(QString dataFolder, Clock clock = &QDateTime::currentDateTime);

    [[nodiscard]] const QString& Folder() const { return m_dataFolder; }
    [[nodiscard]] QString FolderFor(const QString& serial) const;

    // The controller's snapshots, oldest first. Files of other names in its folder are left
    // alone and not listed.
    [[nodiscard]] std::vector<Snapshot> List(const QString& serial) const;

    // The values of the controller's newest snapshot, if it has one that reads.
    [[nodiscard]] std::optional<SettingsValues> Latest(const QString& serial) const;

    // Stores values as the controller's newest snapshot unless the latest one holds exactly
    // them. The file is written whole or not at all.
    [[nodiscard]] Expected<StoredSnapshot>
    Store(const QString& serial, const SettingsValues& values, SnapshotReason reason) const;

private:
    QString m_dataFolder;
    Clock m_clock;
};

// Reads the controller's 31 settings registers and stores them. Nothing is stored unless every
// read was answered, and nothing without a serial number read whole (nullopt).
[[nodiscard]] Expected<StoredSnapshot> TakeSnapshot(RegisterExchange& link,
                                                    const CalibrationArchive& archive,
                                                    const std::optional<QString>& serial,
                                                    SnapshotReason reason,
                                                    const KnownWords& known = {});
// The same with the reason chosen once the values are read.
using SnapshotReasonFor = std::function<SnapshotReason(const SettingsValues& held)>;
[[nodiscard]] Expected<StoredSnapshot> TakeSnapshot(RegisterExchange& link,
                                                    const CalibrationArchive& archive,
                                                    const std::optional<QString>& serial,
                                                    const SnapshotReasonFor& reasonFor);

// Whether held is what a load of file cut short leaves over the earlier state: every
// register holds either the earlier value or the file's, and the whole is neither.
[[nodiscard]] bool IsHalfLoaded(const SettingsValues& held, const SettingsValues& file,
                                const SettingsValues& earlier);

// One line for the status bar on what a snapshot came to.
[[nodiscard]] QString SnapshotStatusText(const Expected<StoredSnapshot>& outcome);
// The same for the snapshot before a load that went ahead.
[[nodiscard]] QString BeforeLoadStatusText(const Expected<StoredSnapshot>& outcome);

} // namespace zef
