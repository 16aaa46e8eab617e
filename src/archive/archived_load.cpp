#include "archive/archived_load.h"

#include <QFileInfo>
#include <QStringList>

namespace zef {

Expected<ArchivedLoad> LoadWithArchive(RegisterExchange& link, const CalibrationArchive* archive,
                                       const std::optional<QString>& serial, const QString& path,
                                       const LoadWithoutSnapshot& loadWithout, bool askWhenUnread) {
    const auto values = ReadSettingsFile(path);
    if (!values)
        return Failure{values.error() + QStringLiteral("\nВ контроллер ничего не записано.")};

    ArchivedLoad outcome;
    if (archive) {
        // A retry after a load cut short must not pass the half-written state off as the
        // calibration the controller had before.
        const auto earlier = serial ? archive->Latest(*serial) : std::nullopt;
        outcome.snapshot = TakeSnapshot(link, *archive, serial, [&](const SettingsValues& held) {
            outcome.stateRead = true;
            return earlier && IsHalfLoaded(held, *values, *earlier) ? SnapshotReason::PartialLoad
                                                                    : SnapshotReason::BeforeLoad;
        });
        // Nothing may overwrite a calibration that has no copy unless someone decided so.
        const auto& snapshot = *outcome.snapshot;
        if (!snapshot && !outcome.stateRead && serial && !askWhenUnread)
            return outcome;
        if (!snapshot && !(loadWithout && loadWithout(snapshot.error())))
            return outcome;
    }
    outcome.load = WriteSettings(link, *values);
    outcome.written = true;
    outcome.differing = ReadBack(link, *values);
    return outcome;
}

QString LoadOutcomeText(const ArchivedLoad& outcome) {
    if (!outcome.written)
        return {};
    QStringList parts;
    const LoadReport& load = outcome.load;
    if (load.unanswered > 0) {
        const QString archived = outcome.snapshot && *outcome.snapshot
                                     ? QStringLiteral("прежняя калибровка в архиве: %1")
                                           .arg(QFileInfo((*outcome.snapshot)->path).fileName())
                                     : QStringLiteral("прежняя калибровка в архив не сохранена");
        parts << QStringLiteral("Калибровка загружена не полностью: записано %1 из %2; %3")
                     .arg(load.Answered())
                     .arg(load.written)
                     .arg(archived);
    }
    if (const QString differing = DifferingRegistersText(outcome.differing); !differing.isEmpty())
        parts << differing;
    if (load.written < static_cast<int>(kSettingsRegisters.size()))
        parts << ShortFileText(load.written);
    return parts.join(QStringLiteral("\n\n"));
}

QString LoadWithoutSnapshotQuestion(const QString& reason) {
    return QStringLiteral("Калибровку контроллера не удалось сохранить в архиве перед загрузкой:\n"
                          "%1\n\nЗагрузить файл без копии нынешней калибровки?")
        .arg(reason);
}

QString NotLoadedWithoutSnapshotText(const QString& path) {
    return QStringLiteral("Файл «%1» не загружен: нынешняя калибровка не сохранена в архиве.")
        .arg(QFileInfo(path).fileName());
}

} // namespace zef
