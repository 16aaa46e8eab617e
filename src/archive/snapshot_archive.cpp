#include "archive/snapshot_archive.h"

#include "files/disk_write.h"
#include "files/identity.h"
#include "params/catalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace zef {

namespace {

constexpr std::array kReasons = {
    ReasonRow{SnapshotReason::Connect, "connect", "подключение"},
    ReasonRow{SnapshotReason::BeforeLoad, "before-load", "перед загрузкой"},
    ReasonRow{SnapshotReason::PartialLoad, "partial-load",
              "перед загрузкой, после неполной загрузки"},
};

constexpr char kStampFormat[] = "yyyy-MM-dd_HH-mm-ss";
constexpr char kBlankFolder[] = "blank";
constexpr char kCalibrationsFolder[] = "calibrations";

// Beyond these a name would need quoting or be refused somewhere.
bool UnsafeInFileName(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSpace() ||
           QStringLiteral("/\\:*?\"<>|").contains(c);
}

// Device names the desktop platform keeps for itself, whatever the extension.
bool ReservedOnWindows(const QString& name) {
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
        QRegularExpression::CaseInsensitiveOption);
    return reserved.match(name).hasMatch();
}

QString Stamp(const QDateTime& taken) {
    return taken.toString(QString::fromLatin1(kStampFormat));
}

QString Tag(SnapshotReason reason) {
    return ToQString(ReasonOf(reason).tag);
}

std::optional<Snapshot> ParseName(const QFileInfo& file) {
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2})_([a-z-]+)(?:_(\\d{1,4}))?\\.zef$"));
    const auto match = pattern.match(file.fileName());
    if (!match.hasMatch())
        return std::nullopt;
    const auto reason = std::find_if(kReasons.begin(), kReasons.end(), [&](const ReasonRow& row) {
        return Tag(row.reason) == match.captured(2);
    });
    const QDateTime taken =
        QDateTime::fromString(match.captured(1), QString::fromLatin1(kStampFormat));
    if (reason == kReasons.end() || !taken.isValid())
        return std::nullopt;
    const int sequence = match.captured(3).isEmpty() ? 1 : match.captured(3).toInt();
    return Snapshot{file.filePath(), taken, reason->reason, sequence};
}

QString OneLine(QString text) {
    return text.replace(QChar('\n'), QChar(' '));
}

} // namespace

QString DataFolder(const QString& chosen) {
    if (!chosen.isEmpty())
        return QDir::cleanPath(QDir(chosen).absolutePath());
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

std::span<const ReasonRow> SnapshotReasons() {
    return kReasons;
}

const ReasonRow& ReasonOf(SnapshotReason reason) {
    return *std::find_if(kReasons.begin(), kReasons.end(),
                         [&](const ReasonRow& row) { return row.reason == reason; });
}

QString SnapshotCaption(const Snapshot& snapshot) {
    QString caption = snapshot.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (snapshot.sequence > 1)
        caption += QStringLiteral(" (%1)").arg(snapshot.sequence);
    return caption + QStringLiteral(", ") + ToQString(ReasonOf(snapshot.reason).caption);
}

QString SerialFolderName(const QString& serial) {
    if (serial == QString::fromLatin1(kBlankSerial))
        return QString::fromLatin1(kBlankFolder);
    QString name;
    for (const QChar c : serial.trimmed())
        name += UnsafeInFileName(c) ? QChar('_') : c;
    // "." and ".." would name this folder or the one above; a trailing dot is dropped on the
    // desktop platform, so two serials could share a folder.
    if (name.isEmpty())
        return QString::fromLatin1(kBlankFolder);
    if (name.endsWith(QChar('.')))
        name[name.size() - 1] = QChar('_');
    if (name.startsWith(QChar('.')))
        name[0] = QChar('_');
    if (ReservedOnWindows(name))
        name.prepend(QChar('_'));
    return name;
}

CalibrationArchive::CalibrationArchive(QString dataFolder, Clock clock)
    : m_dataFolder(std::move(dataFolder)), m_clock(std::move(clock)) {}

QString CalibrationArchive::FolderFor(const QString& serial) const {
    return QDir(m_dataFolder)
        .filePath(QString::fromLatin1(kCalibrationsFolder) + QChar('/') + SerialFolderName(serial));
}

std::vector<Snapshot> CalibrationArchive::List(const QString& serial) const {
    std::vector<Snapshot> snapshots;
    if (m_dataFolder.isEmpty())
        return snapshots;
    const QDir folder(FolderFor(serial));
    for (const QFileInfo& file : folder.entryInfoList({QStringLiteral("*.zef")}, QDir::Files))
        if (auto snapshot = ParseName(file))
            snapshots.push_back(std::move(*snapshot));
    std::sort(snapshots.begin(), snapshots.end(), [](const Snapshot& a, const Snapshot& b) {
        return std::pair(a.taken, a.sequence) < std::pair(b.taken, b.sequence);
    });
    return snapshots;
}

Expected<StoredSnapshot> CalibrationArchive::Store(const QString& serial,
                                                   const SettingsValues& values,
                                                   SnapshotReason reason) const {
    if (m_dataFolder.isEmpty())
        return Failure{QStringLiteral("У программы нет папки данных; укажите её параметром "
                                      "--data-dir.")};
    const std::vector<Snapshot> existing = List(serial);
    if (!existing.empty()) {
        const auto latest = ReadSettingsFile(existing.back().path);
        if (latest && *latest == values)
            return StoredSnapshot{existing.back().path, false};
    }

    const QString folder = FolderFor(serial);
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error)
        return Failure{QStringLiteral("Не удалось создать папку архива «%1»:\n%2")
                           .arg(QDir::toNativeSeparators(folder), DiskWriteReason(error.value()))};

    // Snapshots a killed process began and never finished are no snapshots.
    RemoveLeftTemporaries(
        folder, [](const QString& target) { return target.endsWith(QStringLiteral(".zef")); });
    const QDateTime now = m_clock();
    const QString stamp = Stamp(now);
    int first = 1;
    for (const Snapshot& s : existing)
        if (Stamp(s.taken) == stamp)
            first = std::max(first, s.sequence + 1);
    // Another process may take the same name at the same moment: the name is claimed by the
    // finished file itself, and a taken one moves on to the next number.
    const auto written = WriteNewFile(
        [&](int attempt) {
            const int sequence = first + attempt - 1;
            const QString suffix = sequence > 1 ? QStringLiteral("_%1").arg(sequence) : QString();
            return QDir(folder).filePath(stamp + QChar('_') + Tag(reason) + suffix +
                                         QStringLiteral(".zef"));
        },
        FormatSettings(values));
    if (!written)
        return Failure{written.error()};
    const QString path = *written;
    return StoredSnapshot{path, true};
}

Expected<StoredSnapshot> TakeSnapshot(RegisterExchange& link, const CalibrationArchive& archive,
                                      const std::optional<QString>& serial, SnapshotReason reason,
                                      const KnownWords& known) {
    if (!serial)
        return Failure{QStringLiteral("серийный номер контроллера не прочитан.")};
    const auto values = ReadSettings(link, known);
    if (!values)
        return Failure{values.error()};
    return archive.Store(*serial, *values, reason);
}

Expected<StoredSnapshot> TakeSnapshot(RegisterExchange& link, const CalibrationArchive& archive,
                                      const std::optional<QString>& serial,
                                      const SnapshotReasonFor& reasonFor) {
    if (!serial)
        return Failure{QStringLiteral("серийный номер контроллера не прочитан.")};
    const auto values = ReadSettings(link);
    if (!values)
        return Failure{values.error()};
    return archive.Store(*serial, *values, reasonFor(*values));
}

std::optional<SettingsValues> CalibrationArchive::Latest(const QString& serial) const {
    const std::vector<Snapshot> existing = List(serial);
    if (existing.empty())
        return std::nullopt;
    const auto values = ReadSettingsFile(existing.back().path);
    return values ? std::optional(*values) : std::nullopt;
}

bool IsHalfLoaded(const SettingsValues& held, const SettingsValues& file,
                  const SettingsValues& earlier) {
    if (held.size() != earlier.size() || held == earlier)
        return false;
    bool fromFile = false, unlikeFile = false;
    for (std::size_t i = 0; i < held.size(); ++i) {
        const bool inFile = i < file.size();
        if (held[i] != earlier[i] && !(inFile && held[i] == file[i]))
            return false; // a change of some other kind
        fromFile |= inFile && held[i] == file[i] && held[i] != earlier[i];
        unlikeFile |= inFile && held[i] != file[i];
    }
    return fromFile && unlikeFile;
}

QString SnapshotStatusText(const Expected<StoredSnapshot>& outcome) {
    if (!outcome)
        return QStringLiteral("Снимок калибровки не сохранён: %1").arg(OneLine(outcome.error()));
    const QString name = QFileInfo(outcome->path).fileName();
    return outcome->written ? QStringLiteral("Калибровка сохранена в архиве: %1").arg(name)
                            : QStringLiteral("Калибровка уже в архиве: %1").arg(name);
}

QString BeforeLoadStatusText(const Expected<StoredSnapshot>& outcome) {
    if (!outcome)
        return QStringLiteral("Загружено без копии прежней калибровки: %1")
            .arg(OneLine(outcome.error()));
    return QStringLiteral("Прежняя калибровка в архиве: %1")
        .arg(QFileInfo(outcome->path).fileName());
}

} // namespace zef
