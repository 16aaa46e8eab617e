#include "cli/cli_tune.h"

#include "cli/cli_link.h"
#include "files/settings_file.h"
#include "tuning/map_write.h"

#include <QFileInfo>
#include <QJsonArray>

namespace zef {

namespace {

QString Ms(double ms) {
    return QString::number(ms, 'f', 2);
}

QString Signed(double value, int decimals) {
    return (value > 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals);
}

QJsonObject PointJson(const PointTuning& p, bool chosen) {
    return {{"rpm", p.speed},
            {"current_ms", p.currentMicros / 1000.0},
            {"suggested_ms", p.suggestedMicros / 1000.0},
            {"change_percent", std::round(p.changePercent * 10) / 10},
            {"samples", p.samples},
            {"weight", std::round(p.weight * 10) / 10},
            {"spread_ms", std::round(p.spreadMs * 1000) / 1000},
            {"fitted_ms", std::round(p.fittedMs * 1000) / 1000},
            {"averaged_ms", std::round(p.averagedMs * 1000) / 1000},
            {"confidence", QString::fromUtf8(ConfidenceKey(p.confidence))},
            {"chosen", chosen}};
}

QStringList TableLines(const TuningResult& result, const MapMicros& chosen) {
    QStringList lines;
    lines << QStringLiteral("об/мин  сейчас, мс  предлагается, мс  изменение  замеров  "
                            "разброс, мс  уверенность");
    for (std::size_t i = 0; i < kMapSize; ++i) {
        const PointTuning& p = result.points[i];
        lines << QStringLiteral("%1  %2  %3%4  %5  %6  %7  %8")
                     .arg(p.speed, 6)
                     .arg(Ms(p.currentMicros / 1000.0), 10)
                     .arg(Ms(p.suggestedMicros / 1000.0), 16)
                     .arg(chosen[i] != p.currentMicros ? QStringLiteral("*") : QStringLiteral(" "))
                     .arg(Signed(p.changePercent, 1) + QStringLiteral(" %"), 8)
                     .arg(p.samples, 7)
                     .arg(QString::number(p.spreadMs, 'f', 3), 11)
                     .arg(ConfidenceCaption(p.confidence));
    }
    QStringList rejected;
    for (const RejectionRow& row : Rejections())
        rejected << QStringLiteral("%1 %2").arg(row.caption).arg(result.Rejected(row.rejection));
    lines << QStringLiteral("Строк %1, в подборе %2; отброшено: %3")
                 .arg(result.rows)
                 .arg(result.accepted)
                 .arg(rejected.join(QStringLiteral(", ")));
    lines << QStringLiteral("Уверенность: %1").arg(MapTuner::ConfidenceRule());
    return lines;
}

std::optional<CalibrationArchive> ArchiveFor(const QString& folder) {
    if (folder.isEmpty())
        return std::nullopt;
    return CalibrationArchive(folder);
}

} // namespace

CommandResult RunTune(CliEnvironment& environment, const CliOptions& options) {
    const QString recording = options.arguments.value(0);
    Confidence least = Confidence::Medium;
    if (!options.minConfidence.isEmpty()) {
        const auto parsed = ConfidenceFromKey(options.minConfidence.toStdString());
        if (!parsed || *parsed == Confidence::None)
            return FailedWith(FailureKind::Usage,
                              QStringLiteral("--min-confidence needs low, medium or high"));
        least = *parsed;
    }
    if (options.apply && !options.file.isEmpty())
        return FailedWith(FailureKind::Usage,
                          QStringLiteral("--apply writes the controller; it does not go with "
                                         "--file (--out writes a tuned copy of the file)"));
    // The recording first: a file the replay refuses costs no exchange.
    const auto rows = ReadDatalogCsv(recording);
    if (!rows)
        return FailedWith(FailureKind::File, rows.error());

    std::optional<CliLink> session;
    SettingsValues values;
    if (options.file.isEmpty()) {
        session.emplace(environment);
        if (CommandResult connected = session->Connect(); connected.status != ExitStatus::Success)
            return connected;
        const auto read = ReadSettings(session->Link());
        if (!read)
            return session->Failed(read.error());
        values = *read;
    } else {
        const auto read = ReadSettingsFile(options.file);
        if (!read)
            return FailedWith(FailureKind::File, read.error());
        values = *read;
    }
    const auto current = MapOfSettings(values);
    if (!current)
        return FailedWith(
            FailureKind::File,
            QStringLiteral("%1: в файле нет карты времени впрыска").arg(options.file));

    const TuningResult result = TuneRows(*rows, *current);
    const MapMicros chosen = ChosenMap(result, least);
    CommandResult outcome;
    outcome.lines = TableLines(result, chosen);
    QJsonArray points;
    for (std::size_t i = 0; i < kMapSize; ++i)
        points.append(PointJson(result.points[i], chosen[i] != result.points[i].currentMicros));
    QJsonObject rejected;
    for (const RejectionRow& row : Rejections())
        rejected[QString::fromUtf8(row.key)] = result.Rejected(row.rejection);
    outcome.json = {
        {"recording", recording},
        {"map_from", session ? session->Device() : options.file},
        {"rows", result.rows},
        {"accepted", result.accepted},
        {"rejected", rejected},
        {"points", points},
        {"min_confidence", QString::fromUtf8(ConfidenceKey(least))},
        {"injection_vs_formula",
         QJsonObject{{"samples", result.formula.samples},
                     {"mean_percent", std::round(result.formula.meanPercent * 1000) / 1000},
                     {"largest_percent", std::round(result.formula.maxAbsPercent * 1000) / 1000}}},
    };

    if (!options.out.isEmpty()) {
        const QString path = WithSettingsExtension(options.out);
        if (QFileInfo::exists(path) && !options.force)
            return FailedWith(FailureKind::File,
                              QStringLiteral("%1: %2 (--force заменяет его)")
                                  .arg(path, QString::fromUtf8(kReplaceFileQuestion)));
        if (const Status saved = WriteSettingsFile(path, SettingsWithMap(values, chosen)); !saved)
            return FailedWith(FailureKind::File, saved.error());
        outcome.lines << QStringLiteral("Подобранная карта сохранена в %1").arg(path);
        outcome.json["out"] = path;
    }

    if (options.apply) {
        RegisterExchange& link = session->Link();
        const auto archive =
            ArchiveFor(options.dataDir.isEmpty() ? environment.dataFolder : options.dataDir);
        std::optional<QString> serial;
        if (archive) {
            UnshownIdentity view;
            const IdentityReading identity = DeviceIdentity(link, QString()).ReadStored(view);
            if (identity.complete)
                serial = identity.serial;
        }
        QString declined;
        const MapWrite written = WriteMap(link, archive ? &*archive : nullptr, serial, *current,
                                          chosen, [&](const QString& reason) {
                                              declined = reason;
                                              return options.force;
                                          });
        if (!written.written)
            return FailedWith(FailureKind::File,
                              QStringLiteral("Карта не записана: нынешняя калибровка не "
                                             "сохранена в архиве.\n%1\n--force записывает без "
                                             "копии.")
                                  .arg(declined));
        QJsonObject applied{{"writes", written.writes}, {"unanswered", written.unanswered}};
        if (written.snapshot) {
            const QString note = BeforeLoadStatusText(*written.snapshot);
            outcome.lines << note;
            applied["archive"] = note;
            if (*written.snapshot)
                applied["snapshot"] = (*written.snapshot)->path;
        }
        if (written.readBack) {
            QJsonArray back;
            QStringList shown;
            for (int micros : *written.readBack) {
                back.append(micros / 1000.0);
                shown << Ms(micros / 1000.0);
            }
            applied["read_back_ms"] = back;
            outcome.lines << QStringLiteral("Записано точек: %1; карта в контроллере: %2 мс")
                                 .arg(written.writes)
                                 .arg(shown.join(QStringLiteral(" ")));
        }
        outcome.json["applied"] = applied;
        if (!written.Took(chosen)) {
            CommandResult failed =
                written.readBack
                    ? DifferedWith(QStringLiteral("контроллер принял не все "
                                                  "точки карты"))
                    : session->Failed(QStringLiteral("карта после записи не прочитана"));
            failed.lines = outcome.lines;
            failed.json = outcome.json;
            return failed;
        }
    }
    return outcome;
}

} // namespace zef
