#include "cli/cli_check.h"

#include "archive/compare.h"
#include "cli/cli_commands.h"
#include "files/disk_write.h"
#include "files/identity.h"
#include "files/settings_file.h"
#include "params/hints.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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
        outcome.answered = false;
        return outcome;
    }
    const std::uint16_t word = reply->second;
    const EditRow* edit = EditOfRegister(*address);
    const double value = edit ? static_cast<double>(ShownFromRaw(edit->conversion, word)) : word;
    outcome.measured = ShownValue(*address, word);
    outcome.low = outcome.high = value;
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
        outcome.answered = false;
        return outcome;
    }
    const Comparison comparison = Compare(*controller, *file);
    outcome.measured =
        QStringLiteral("отличий %1 из %2").arg(comparison.differing).arg(comparison.rows.size());
    outcome.pass = comparison.differing == 0;
    return outcome;
}

CheckOutcome CheckSerial(RegisterExchange& link, const IdentityReading* known) {
    UnshownIdentity view;
    const IdentityReading identity =
        known ? *known : DeviceIdentity(link, QString()).ReadStored(view);
    CheckOutcome outcome{QStringLiteral("серийный номер не пустой"), identity.serial.trimmed(),
                         false};
    if (identity.unfinished)
        outcome.measured = ShownSerial(identity);
    else if (!identity.complete) {
        outcome.measured = QStringLiteral("прочитан не весь");
        outcome.answered = false;
    }
    outcome.pass = identity.complete && identity.serial != QString::fromLatin1(kBlankSerial);
    return outcome;
}

// A check the controller left unanswered neither passed nor failed: ERROR, not FAIL, so a
// script does not scrap a good controller for a cable's glitch.
QString OutcomeLine(const CheckOutcome& outcome) {
    return QStringLiteral("%1\t%2\t%3")
        .arg(outcome.pass       ? QStringLiteral("PASS")
             : outcome.answered ? QStringLiteral("FAIL")
                                : QStringLiteral("ERROR"),
             outcome.name, outcome.measured);
}

} // namespace

namespace {

// The keys each part of a limits file may hold: a misspelt one would silently drop a limit.
const QStringList kRootKeys{"watch_seconds", "period_ms", "checks", "calibration"};
const QStringList kChannelKeys{"channel", "min", "max", "answered"};
const QStringList kParameterKeys{"parameter", "min", "max"};
const QStringList kCalibrationKeys{"calibration"};
const QStringList kSerialKeys{"serial"};

QString Quoted(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted << QStringLiteral("«%1»").arg(name);
    return quoted.join(QStringLiteral(", "));
}

std::optional<QString> UnknownKey(const QJsonObject& o, const QStringList& allowed,
                                  const QString& where) {
    for (const QString& key : o.keys())
        if (!allowed.contains(key))
            return QStringLiteral("%1«%2»: неизвестный ключ; допустимы %3")
                .arg(where, key, Quoted(allowed));
    return std::nullopt;
}

Expected<std::optional<double>> Bound(const QJsonObject& o, const char* key, const QString& where) {
    if (!o.contains(key))
        return std::optional<double>();
    if (!o[key].isDouble())
        return Failure{QStringLiteral("%1«%2»: должно быть числом").arg(where, key)};
    return std::optional(o[key].toDouble());
}

// The range a parameter's value can take, in the units its window shows.
std::pair<double, double> ParameterRange(std::uint8_t address) {
    if (const EditRow* edit = EditOfRegister(address))
        return {static_cast<double>(edit->ValueMin), static_cast<double>(edit->ValueMax)};
    return {0, 65535};
}

std::optional<QString> CheckRange(const StationCheck& check, const QString& where,
                                  std::optional<std::pair<double, double>> range) {
    if (check.min && check.max && *check.min > *check.max)
        return QStringLiteral("%1«min» %2 больше «max» %3")
            .arg(where, Number(*check.min), Number(*check.max));
    if (!range)
        return std::nullopt;
    for (const auto& [key, bound] : {std::pair{"min", check.min}, std::pair{"max", check.max}})
        if (bound && (*bound < range->first || *bound > range->second))
            return QStringLiteral("%1«%2» %3 вне диапазона параметра %4 … %5")
                .arg(where, key, Number(*bound), Number(range->first), Number(range->second));
    return std::nullopt;
}

Expected<StationCheck> ParseCheck(const QJsonValue& value, const QString& where,
                                  const QString& folder, const QStringList& channelKeys) {
    if (!value.isObject())
        return Failure{QStringLiteral("%1ожидался объект").arg(where)};
    const QJsonObject o = value.toObject();
    StationCheck check;
    const QStringList kinds{"channel", "parameter", "calibration", "serial"};
    QStringList given;
    for (const QString& kind : kinds)
        if (o.contains(kind))
            given << kind;
    if (given.size() != 1)
        return Failure{QStringLiteral("%1нужен ровно один из ключей %2").arg(where, Quoted(kinds))};
    const QString kind = given.first();
    if (!o[kind].isString() || o[kind].toString().isEmpty())
        return Failure{QStringLiteral("%1«%2»: должно быть непустой строкой").arg(where, kind)};
    const QString name = o[kind].toString();
    if (kind == "channel" || kind == "parameter") {
        const bool channel = kind == "channel";
        if (auto unknown = UnknownKey(o, channel ? kChannelKeys : kParameterKeys, where))
            return Failure{*unknown};
        check.kind = channel ? StationCheck::Kind::Channel : StationCheck::Kind::Parameter;
        check.name = name;
        const auto min = Bound(o, "min", where);
        const auto max = Bound(o, "max", where);
        if (!min)
            return Failure{min.error()};
        if (!max)
            return Failure{max.error()};
        check.min = *min;
        check.max = *max;
        if (o.contains("answered") && !o["answered"].isBool())
            return Failure{QStringLiteral("%1«answered»: true или false").arg(where)};
        const bool answered = o["answered"].toBool(false);
        if (!check.min && !check.max && !(channel && answered))
            return Failure{
                QStringLiteral("%1нужны «min»/«max»%2")
                    .arg(where, channel ? QStringLiteral(" или «answered»: true") : QString())};
        std::optional<std::pair<double, double>> range;
        if (channel) {
            if (!channelKeys.contains(name))
                return Failure{QStringLiteral("%1нет канала «%2»; есть %3")
                                   .arg(where, name, channelKeys.join(QStringLiteral(", ")))};
        } else {
            const auto address = FindParameter(name);
            if (!address)
                return Failure{QStringLiteral("%1нет параметра «%2»; имена и подписи "
                                              "параметров: zef-cli read")
                                   .arg(where, name)};
            range = ParameterRange(*address);
        }
        if (auto wrong = CheckRange(check, where, range))
            return Failure{*wrong};
    } else if (kind == "calibration") {
        if (auto unknown = UnknownKey(o, kCalibrationKeys, where))
            return Failure{*unknown};
        check.kind = StationCheck::Kind::Calibration;
        check.name = QDir(folder).filePath(name);
        if (const auto file = ReadSettingsFile(check.name); !file)
            return Failure{
                QStringLiteral("%1«calibration»: %2").arg(where, file.error().replace('\n', ' '))};
    } else {
        if (auto unknown = UnknownKey(o, kSerialKeys, where))
            return Failure{*unknown};
        check.kind = StationCheck::Kind::Serial;
        if (name != QStringLiteral("not blank"))
            return Failure{QStringLiteral("%1«serial» бывает только \"not blank\"").arg(where)};
    }
    return check;
}

} // namespace

Expected<StationLimits> ParseStationLimits(const QByteArray& json, const QString& folder,
                                           const QStringList& channelKeys) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure{
            QStringLiteral("не JSON: %1 (знак %2)").arg(error.errorString()).arg(error.offset)};
    if (!document.isObject())
        return Failure{QStringLiteral("ожидался объект JSON")};
    const QJsonObject root = document.object();
    if (auto unknown = UnknownKey(root, kRootKeys, QString()))
        return Failure{*unknown};
    StationLimits limits;
    if (root.contains("watch_seconds")) {
        limits.watchSeconds =
            root["watch_seconds"].isDouble() ? root["watch_seconds"].toDouble() : -1;
        if (!(limits.watchSeconds >= 0) || limits.watchSeconds > 24 * 3600)
            return Failure{QStringLiteral("«watch_seconds»: число секунд от 0 до 86400")};
    }
    if (root.contains("period_ms")) {
        const double period = root["period_ms"].isDouble() ? root["period_ms"].toDouble() : 0;
        limits.periodMs = static_cast<int>(period);
        if (period != limits.periodMs || limits.periodMs <= 0 || limits.periodMs > 3'600'000)
            return Failure{QStringLiteral("«period_ms»: целое число миллисекунд от 1")};
    }
    if (root.contains("calibration")) {
        if (!root["calibration"].isString() || root["calibration"].toString().isEmpty())
            return Failure{QStringLiteral("«calibration»: имя файла настроек")};
        limits.calibration = QDir(folder).filePath(root["calibration"].toString());
        if (const auto file = ReadSettingsFile(limits.calibration); !file)
            return Failure{
                QStringLiteral("«calibration»: %1").arg(file.error().replace('\n', ' '))};
    }
    if (!root["checks"].isArray() || root["checks"].toArray().isEmpty())
        return Failure{QStringLiteral("«checks»: список проверок пуст или его нет")};
    int index = 0;
    for (const QJsonValue& value : root["checks"].toArray()) {
        ++index;
        auto check =
            ParseCheck(value, QStringLiteral("проверка %1: ").arg(index), folder, channelKeys);
        if (!check)
            return Failure{check.error()};
        limits.checks.push_back(*check);
    }
    return limits;
}

Expected<StationLimits> ReadStationLimits(const QString& path, const QStringList& channelKeys) {
    // A FIFO or a device would be waited on, not read.
    if (const QFileInfo info(path); info.exists() && !info.isFile())
        return Failure{QStringLiteral("Файл пределов «%1»: не обычный файл")
                           .arg(QDir::toNativeSeparators(path))};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Не удалось открыть файл пределов «%1»:\n%2")
                           .arg(QDir::toNativeSeparators(path), file.errorString())};
    // A limits file is a few lines; a huge one is not one.
    const QByteArray text = file.read(1 << 20);
    auto limits = ParseStationLimits(text, QFileInfo(path).absolutePath(), channelKeys);
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
    outcome.answered = answered == static_cast<qsizetype>(samples.size()) && !samples.empty();
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
    outcome.low = low;
    outcome.high = high;
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
                       const QString& report, const IdentityReading* identity) {
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
            outcomes[i] = CheckSerial(link, identity);
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
            auto row = source->ReadRow(link);
            for (int attempt = 1; attempt < link.Attempts() && !row && !link.Channel().DeviceLost();
                 ++attempt)
                row = source->ReadRow(link);
            rows.push_back(std::move(row));
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
    QHash<QString, QString> channelUnits;
    for (const ChannelSource::Channel& channel : ChannelsOf(environment)->Channels())
        channelUnits.insert(channel.key, channel.unit);
    const auto number = [](std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(); };
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const CheckOutcome& outcome = outcomes[i];
        const StationCheck& check = limits.checks[i];
        result.lines << OutcomeLine(outcome);
        static constexpr const char* kKinds[] = {"channel", "parameter", "calibration", "serial"};
        QString unit;
        if (check.kind == StationCheck::Kind::Parameter)
            if (const auto address = FindParameter(check.name))
                if (const EditRow* edit = EditOfRegister(*address))
                    unit = UnitOf(edit->ValueFormat);
        // Numbers for a script; the caption and the shown value only beside them.
        checks.append(QJsonObject{{"kind", kKinds[static_cast<int>(check.kind)]},
                                  {"key", check.kind == StationCheck::Kind::Calibration
                                              ? QFileInfo(check.name).fileName()
                                              : check.name},
                                  {"min", number(check.min)},
                                  {"max", number(check.max)},
                                  {"measured", number(outcome.low)},
                                  {"measured_max", number(outcome.high)},
                                  {"unit", channelUnits.value(check.name, unit)},
                                  {"pass", outcome.pass},
                                  {"answered", outcome.answered},
                                  {"caption", outcome.name},
                                  {"shown", outcome.measured}});
        all &= outcome.pass;
    }
    const bool allAnswered = std::all_of(outcomes.begin(), outcomes.end(),
                                         [](const CheckOutcome& o) { return o.answered; });
    result.lines << (all           ? QStringLiteral("PASS")
                     : allAnswered ? QStringLiteral("FAIL")
                                   : QStringLiteral("ERROR"));
    result.json = {{"schema", kJsonSchema},
                   {"device", session.Device()},
                   {"time", TimeWithOffset(QDateTime::currentDateTime())},
                   {"watch_seconds", limits.watchSeconds},
                   {"checks", checks},
                   {"pass", all}};
    if (!all)
        result.status = ExitStatus::Differs;
    QStringList unanswered;
    for (const CheckOutcome& outcome : outcomes)
        if (!outcome.answered)
            unanswered << outcome.name;
    if (!unanswered.isEmpty())
        result.Fail(FailureKind::LinkLost,
                    QStringLiteral("%1: контроллер не ответил при проверке (%2); повторите "
                                   "проверку (try again)")
                        .arg(session.Device(), unanswered.join(QStringLiteral("; "))));
    if (link.Channel().DeviceLost()) {
        result.Fail(
            FailureKind::LinkLost,
            QStringLiteral("%1: связь потеряна (%2)")
                .arg(session.Device(), QString::fromStdString(link.Channel().DeviceError())));
    }
    if (!report.isEmpty())
        WriteReport(result, report);
    return result;
}

void WriteReport(CommandResult& result, const QString& report) {
    QJsonObject written = result.json;
    written["schema"] = kJsonSchema;
    written["status"] = Code(result.status);
    if (result.kind)
        written["error"] = ErrorObject(*result.kind, result.error);
    if (report == kStandardStream) {
        result.output = QJsonDocument(written).toJson(QJsonDocument::Indented);
        return;
    }
    const Status saved =
        WriteFileAtomically(report, QJsonDocument(written).toJson(QJsonDocument::Indented));
    if (!saved)
        result.Fail(FailureKind::File, saved.error());
    else
        result.json["report"] = report;
}

} // namespace zef
