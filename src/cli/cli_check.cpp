#include "cli/cli_check.h"

#include "archive/compare.h"
#include "cli/cli_commands.h"
#include "files/disk_write.h"
#include "files/identity.h"
#include "files/settings_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

using Clock = std::chrono::steady_clock;

QString Number(double value) {
    return QString::number(value, 'g', 8);
}

QString RangeText(const StationCheck& check) {
    if (check.min && check.max)
        return QStringLiteral("%1 … %2").arg(Number(*check.min), Number(*check.max));
    if (check.min)
        return QStringLiteral("≥ %1").arg(Number(*check.min));
    if (check.max)
        return QStringLiteral("≤ %1").arg(Number(*check.max));
    return QStringLiteral("отвечает");
}

bool InRange(const StationCheck& check, double value) {
    return (!check.min || value >= *check.min) && (!check.max || value <= *check.max);
}

Expected<std::optional<double>> Bound(const QJsonObject& o, const char* key, int index) {
    if (!o.contains(key))
        return std::optional<double>();
    if (!o[key].isDouble())
        return Failure{QStringLiteral("проверка %1: «%2» должно быть числом").arg(index).arg(key)};
    return std::optional(o[key].toDouble());
}

CheckOutcome CheckParameter(RegisterExchange& link, const StationCheck& check) {
    CheckOutcome outcome{QStringLiteral("%1 %2").arg(check.name, RangeText(check)), {}, false};
    const auto address = FindParameter(check.name);
    if (!address) {
        outcome.measured = QStringLiteral("нет такого параметра");
        return outcome;
    }
    const auto reply = ReadVerified(link, *address);
    if (!reply) {
        outcome.measured = QStringLiteral("нет ответа");
        return outcome;
    }
    const std::uint16_t word = reply->second;
    const EditRow* edit = EditOfRegister(*address);
    const double value = edit ? static_cast<double>(ShownFromRaw(edit->conversion, word)) : word;
    outcome.measured = ShownValue(*address, word);
    outcome.pass = InRange(check, value);
    return outcome;
}

CheckOutcome CheckCalibration(RegisterExchange& link, const StationCheck& check) {
    CheckOutcome outcome{
        QStringLiteral("калибровка = %1").arg(QFileInfo(check.name).fileName()), {}, false};
    const auto file = ReadSettingsFile(check.name);
    if (!file) {
        outcome.measured = file.error().replace('\n', ' ');
        return outcome;
    }
    const auto controller = ReadSettings(link);
    if (!controller) {
        outcome.measured = controller.error();
        return outcome;
    }
    const Comparison comparison = Compare(*controller, *file);
    outcome.measured =
        QStringLiteral("отличий %1 из %2").arg(comparison.differing).arg(comparison.rows.size());
    outcome.pass = comparison.differing == 0;
    return outcome;
}

CheckOutcome CheckSerial(RegisterExchange& link) {
    UnshownIdentity view;
    const IdentityReading identity = DeviceIdentity(link, QString()).ReadStored(view);
    CheckOutcome outcome{QStringLiteral("серийный номер не пустой"), identity.serial.trimmed(),
                         false};
    if (identity.unfinished)
        outcome.measured = ShownSerial(identity);
    else if (!identity.complete)
        outcome.measured = QStringLiteral("прочитан не весь");
    outcome.pass = identity.complete && identity.serial != QString::fromLatin1(kBlankSerial);
    return outcome;
}

QString OutcomeLine(const CheckOutcome& outcome) {
    return QStringLiteral("%1\t%2\t%3")
        .arg(outcome.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"), outcome.name,
             outcome.measured);
}

} // namespace

Expected<StationLimits> ParseStationLimits(const QByteArray& json, const QString& folder) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure{
            QStringLiteral("не JSON: %1 (знак %2)").arg(error.errorString()).arg(error.offset)};
    if (!document.isObject())
        return Failure{QStringLiteral("ожидался объект JSON")};
    const QJsonObject root = document.object();
    StationLimits limits;
    if (root.contains("watch_seconds")) {
        limits.watchSeconds = root["watch_seconds"].toDouble(-1);
        if (!(limits.watchSeconds >= 0) || limits.watchSeconds > 24 * 3600)
            return Failure{QStringLiteral("«watch_seconds»: число секунд от 0")};
    }
    if (root.contains("period_ms")) {
        limits.periodMs = root["period_ms"].toInt(0);
        if (limits.periodMs <= 0)
            return Failure{QStringLiteral("«period_ms»: число миллисекунд больше 0")};
    }
    if (!root["checks"].isArray() || root["checks"].toArray().isEmpty())
        return Failure{QStringLiteral("«checks»: список проверок пуст или его нет")};
    int index = 0;
    for (const QJsonValue& value : root["checks"].toArray()) {
        ++index;
        const QJsonObject o = value.toObject();
        StationCheck check;
        if (o.contains("channel") || o.contains("parameter")) {
            const bool channel = o.contains("channel");
            check.kind = channel ? StationCheck::Kind::Channel : StationCheck::Kind::Parameter;
            check.name = o[channel ? "channel" : "parameter"].toString();
            const auto min = Bound(o, "min", index);
            const auto max = Bound(o, "max", index);
            if (!min)
                return Failure{min.error()};
            if (!max)
                return Failure{max.error()};
            check.min = *min;
            check.max = *max;
            const bool answered = o["answered"].toBool(false);
            if (check.name.isEmpty() || (!check.min && !check.max && !(channel && answered)))
                return Failure{
                    QStringLiteral("проверка %1: нужны имя и «min»/«max»%2")
                        .arg(index)
                        .arg(channel ? QStringLiteral(" или «answered»: true") : QString())};
        } else if (o.contains("calibration")) {
            check.kind = StationCheck::Kind::Calibration;
            const QString file = o["calibration"].toString();
            if (file.isEmpty())
                return Failure{QStringLiteral("проверка %1: «calibration» — имя файла").arg(index)};
            check.name = QDir(folder).filePath(file);
        } else if (o.contains("serial")) {
            check.kind = StationCheck::Kind::Serial;
            if (o["serial"].toString() != QStringLiteral("not blank"))
                return Failure{
                    QStringLiteral("проверка %1: «serial» бывает только \"not blank\"").arg(index)};
        } else {
            return Failure{QStringLiteral("проверка %1: нужно «channel», «parameter», "
                                          "«calibration» или «serial»")
                               .arg(index)};
        }
        limits.checks.push_back(check);
    }
    return limits;
}

Expected<StationLimits> ReadStationLimits(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Не удалось открыть файл «%1»:\n%2")
                           .arg(QDir::toNativeSeparators(path), file.errorString())};
    // A limits file is a few lines; a huge one is not one.
    const QByteArray text = file.read(1 << 20);
    auto limits = ParseStationLimits(text, QFileInfo(path).absolutePath());
    if (!limits)
        return Failure{QStringLiteral("Файл пределов «%1»: %2")
                           .arg(QDir::toNativeSeparators(path), limits.error())};
    return limits;
}

CheckOutcome CheckChannel(const StationCheck& check, const QString& unit,
                          const std::vector<std::optional<double>>& samples) {
    CheckOutcome outcome{QStringLiteral("%1 %2%3").arg(
                             check.name, RangeText(check),
                             (check.min || check.max) && !unit.isEmpty() ? " " + unit : QString()),
                         {},
                         false};
    const auto answered =
        std::count_if(samples.begin(), samples.end(), [](const auto& s) { return s.has_value(); });
    if (answered == 0) {
        outcome.measured = QStringLiteral("нет ответа");
        return outcome;
    }
    double low = INFINITY, high = -INFINITY;
    bool inRange = true;
    for (const auto& s : samples)
        if (s) {
            low = std::min(low, *s);
            high = std::max(high, *s);
            inRange &= InRange(check, *s);
        }
    outcome.measured =
        low == high ? Number(low) : QStringLiteral("%1 … %2").arg(Number(low), Number(high));
    if (answered < static_cast<qsizetype>(samples.size()))
        outcome.measured += QStringLiteral(" (без ответа %1 из %2)")
                                .arg(samples.size() - answered)
                                .arg(samples.size());
    outcome.pass = inRange && answered == static_cast<qsizetype>(samples.size());
    return outcome;
}

CommandResult RunCheck(CliLink& session, CliEnvironment& environment, const StationLimits& limits,
                       const QString& report) {
    RegisterExchange& link = session.Link();
    std::vector<CheckOutcome> outcomes(limits.checks.size());
    std::vector<std::size_t> channelChecks;
    for (std::size_t i = 0; i < limits.checks.size(); ++i) {
        const StationCheck& check = limits.checks[i];
        switch (check.kind) {
        case StationCheck::Kind::Channel:
            channelChecks.push_back(i);
            break;
        case StationCheck::Kind::Parameter:
            outcomes[i] = CheckParameter(link, check);
            break;
        case StationCheck::Kind::Calibration:
            outcomes[i] = CheckCalibration(link, check);
            break;
        case StationCheck::Kind::Serial:
            outcomes[i] = CheckSerial(link);
            break;
        }
    }
    if (!channelChecks.empty()) {
        std::unique_ptr<ChannelSource> source = ChannelsOf(environment);
        const auto channels = source->Channels();
        const auto period = std::chrono::milliseconds(limits.periodMs);
        const int samples =
            std::max(1, static_cast<int>(std::ceil(limits.watchSeconds * 1000 / limits.periodMs)));
        std::vector<std::optional<std::vector<double>>> rows;
        for (int n = 0; n < samples; ++n) {
            const auto started = Clock::now();
            rows.push_back(source->ReadRow(link));
            if (n + 1 < samples)
                WaitOutPeriod(environment, started, period);
        }
        for (const std::size_t i : channelChecks) {
            const StationCheck& check = limits.checks[i];
            const auto it = std::find_if(channels.begin(), channels.end(),
                                         [&](const auto& c) { return c.key == check.name; });
            if (it == channels.end()) {
                outcomes[i] = {QStringLiteral("%1 %2").arg(check.name, RangeText(check)),
                               QStringLiteral("нет такого канала"), false};
                continue;
            }
            const auto column = static_cast<std::size_t>(it - channels.begin());
            std::vector<std::optional<double>> values;
            for (const auto& row : rows)
                values.push_back(row && column < row->size() ? std::optional((*row)[column])
                                                             : std::nullopt);
            outcomes[i] = CheckChannel(check, it->unit, values);
        }
    }

    CommandResult result;
    QJsonArray checks;
    bool all = true;
    for (const CheckOutcome& outcome : outcomes) {
        result.lines << OutcomeLine(outcome);
        checks.append(QJsonObject{
            {"check", outcome.name}, {"measured", outcome.measured}, {"pass", outcome.pass}});
        all &= outcome.pass;
    }
    result.lines << (all ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    result.json = {{"device", session.Device()},
                   {"time", QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
                   {"watch_seconds", limits.watchSeconds},
                   {"checks", checks},
                   {"pass", all}};
    if (!all)
        result.status = ExitStatus::Differs;
    if (link.Channel().DeviceLost()) {
        result.Fail(
            FailureKind::LinkLost,
            QStringLiteral("%1: связь потеряна (%2)")
                .arg(session.Device(), QString::fromStdString(link.Channel().DeviceError())));
    }
    if (!report.isEmpty()) {
        QJsonObject written = result.json;
        written["status"] = Code(result.status);
        const Status saved =
            WriteFileAtomically(report, QJsonDocument(written).toJson(QJsonDocument::Indented));
        if (!saved) {
            result.Fail(FailureKind::File, saved.error());
        } else {
            result.json["report"] = report;
        }
    }
    return result;
}

} // namespace zef
