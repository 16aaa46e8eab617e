#include "archive/archived_load.h"

#include <QFileInfo>

namespace zef {

Expected<ArchivedLoad> LoadWithArchive(RegisterExchange& link, const CalibrationArchive* archive,
                                       const std::optional<QString>& serial, const QString& path,
                                       const LoadWithoutSnapshot& loadWithout) {
    const auto values = ReadSettingsFile(path);
    if (!values)
        return Failure{values.error() + QStringLiteral("\nВ контроллер ничего не записано.")};

    ArchivedLoad outcome;
    if (archive) {
        outcome.snapshot = TakeSnapshot(link, *archive, serial, SnapshotReason::BeforeLoad);
        // Nothing may overwrite a calibration that has no copy unless someone decided so.
        const auto& snapshot = *outcome.snapshot;
        if (!snapshot && !(loadWithout && loadWithout(snapshot.error())))
            return outcome;
    }
    outcome.load = WriteSettings(link, *values);
    outcome.written = true;
    return outcome;
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
