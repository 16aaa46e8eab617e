#include "registry/registry_event.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace zef {

namespace {

constexpr std::array kKinds = {
    EventKindRow{EventKind::Numbered, "numbered", "пронумерован"},
    EventKindRow{EventKind::Connected, "connected", "подключён"},
    EventKindRow{EventKind::Loaded, "loaded", "загружены установки"},
    EventKindRow{EventKind::Saved, "saved", "установки сохранены"},
    EventKindRow{EventKind::Restored, "restored", "установки восстановлены"},
    EventKindRow{EventKind::Checked, "checked", "проверен"},
    EventKindRow{EventKind::Tuned, "tuned", "параметр изменён"},
    EventKindRow{EventKind::CounterReset, "counter-reset", "наработка сброшена"},
    EventKindRow{EventKind::SerialWritten, "serial-written", "номер записан вручную"},
};

} // namespace

const EventKindRow& KindRow(EventKind kind) {
    return *std::find_if(kKinds.begin(), kKinds.end(),
                         [&](const EventKindRow& row) { return row.kind == kind; });
}

std::optional<EventKind> KindNamed(const QString& name) {
    for (const EventKindRow& row : kKinds)
        if (name == QLatin1StringView(row.name.data(), qsizetype(row.name.size())))
            return row.kind;
    return std::nullopt;
}

Workplace ThisWorkplace(const QString& programVersion) {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    if (const passwd* account = ::getpwuid(::getuid()); user.isEmpty() && account)
        user = QString::fromLocal8Bit(account->pw_name);
    return {QSysInfo::machineHostName(), user, programVersion};
}

QDateTime StationNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc());
}

RegistryEvent NewEvent(const Workplace& workplace, const QString& serial, EventKind kind) {
    RegistryEvent event;
    event.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    event.serial = serial.trimmed();
    event.at = StationNow();
    event.station = workplace.station;
    event.user = workplace.user;
    event.kind = kind;
    event.programVersion = workplace.programVersion;
    return event;
}

QString CalibrationText(const std::vector<std::uint16_t>& words) {
    QStringList parts;
    for (const std::uint16_t word : words)
        parts << QString::number(word);
    return parts.join(' ');
}

std::vector<std::uint16_t> CalibrationWords(const QString& text) {
    std::vector<std::uint16_t> words;
    for (const QString& part : text.split(' ', Qt::SkipEmptyParts))
        words.push_back(static_cast<std::uint16_t>(part.toUInt()));
    return words;
}

QJsonObject EventJson(const RegistryEvent& event) {
    QJsonObject json{{"uid", event.uid},
                     {"serial", event.serial},
                     {"at", event.at.toString(Qt::ISODateWithMs)},
                     {"station", event.station},
                     {"user", event.user},
                     {"kind", QString::fromUtf8(KindRow(event.kind).name)},
                     {"program_version", event.programVersion}};
    if (!event.calibration.empty()) {
        QJsonArray words;
        for (const std::uint16_t word : event.calibration)
            words.append(word);
        json["calibration"] = words;
    }
    if (!event.checkJson.isEmpty())
        json["check"] = QJsonDocument::fromJson(event.checkJson.toUtf8()).object();
    return json;
}

std::optional<RegistryEvent> EventFromJson(const QJsonObject& json) {
    const auto kind = KindNamed(json["kind"].toString());
    const QDateTime at = QDateTime::fromString(json["at"].toString(), Qt::ISODateWithMs);
    if (!kind || !at.isValid() || json["uid"].toString().isEmpty())
        return std::nullopt;
    RegistryEvent event{json["uid"].toString(),
                        json["serial"].toString(),
                        at,
                        json["station"].toString(),
                        json["user"].toString(),
                        *kind,
                        {},
                        {},
                        json["program_version"].toString()};
    for (const QJsonValue word : json["calibration"].toArray())
        event.calibration.push_back(static_cast<std::uint16_t>(word.toInt()));
    if (json.contains("check"))
        event.checkJson = QString::fromUtf8(
            QJsonDocument(json["check"].toObject()).toJson(QJsonDocument::Compact));
    return event;
}

} // namespace zef
