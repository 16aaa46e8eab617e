#include "cli/cli_commands.h"

#include "archive/archived_load.h"
#include "archive/compare.h"
#include "archive/snapshot_archive.h"
#include "controls/bound_value.h"
#include "files/cp1251.h"
#include "files/identity.h"
#include "files/production_log.h"
#include "files/settings_file.h"
#include "params/choices.h"
#include "params/reader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

QJsonObject ParameterJson(std::uint8_t address, std::uint16_t word,
                          std::optional<std::uint16_t> startMode = std::nullopt) {
    return {{"name", RegisterName(address)},
            {"caption", RegisterCaption(address, startMode)},
            {"address", address},
            {"value", ShownValue(address, word)},
            {"word", word}};
}

QString ParameterLine(const QJsonObject& p) {
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(p["name"].toString(), p["caption"].toString(), p["value"].toString())
        .arg(p["word"].toInt());
}

QString Trimmed(const QString& serial) {
    return serial.trimmed();
}

// A value to be written, checked before anything goes to the controller.
struct Assignment {
    std::uint8_t address;
    QString given;
    // Exactly one of these.
    const EditRow* edit = nullptr;
    ParamValue value = 0;
    const ChoiceRow* choice = nullptr;
    int item = 0;
    OxygenSensor oxygen = OxygenSensor::Unselected;
};

std::optional<int> ChoiceItem(const ChoiceRow& row, const QString& text) {
    for (std::size_t i = 0; i < row.items.size(); ++i)
        if (ToQString(row.items[i]).trimmed().compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    bool ok = false;
    const int index = text.toInt(&ok);
    if (ok && index >= 0 && static_cast<std::size_t>(index) < row.items.size())
        return index;
    return std::nullopt;
}

QString Limit(ParamValue value) {
    return QString::number(static_cast<double>(value), 'g', 10);
}

Expected<Assignment> ParseAssignment(const QString& text, bool clamp) {
    const qsizetype eq = text.indexOf(QChar('='));
    if (eq <= 0)
        return Failure{QStringLiteral("«%1»: нужно ИМЯ=ЗНАЧЕНИЕ").arg(text)};
    const QString name = text.left(eq);
    const QString given = text.mid(eq + 1);
    const auto address = FindParameter(name);
    if (!address)
        return Failure{QStringLiteral("Нет параметра «%1» (zef-cli read покажет все)").arg(name)};
    Assignment a{*address, given};
    if (const EditRow* edit = EditOfRegister(*address)) {
        const auto value = ParseValueText(given);
        if (!value || !std::isfinite(static_cast<double>(*value)))
            return Failure{QStringLiteral("%1: «%2» не число").arg(name, given)};
        const ParamValue limited = LimitValue(*value, edit->ValueMin, edit->ValueMax);
        if (*value < edit->ValueMin || *value > edit->ValueMax) {
            if (!clamp)
                return Failure{QStringLiteral("%1: %2 вне пределов %3 … %4 (--clamp ставит "
                                              "ближайший предел)")
                                   .arg(name, given, Limit(edit->ValueMin), Limit(edit->ValueMax))};
        }
        a.edit = edit;
        a.value = limited;
        return a;
    }
    if (const ChoiceRow* choice = FindChoice(RegisterName(*address).toStdString())) {
        const auto item = ChoiceItem(*choice, given);
        if (!item)
            return Failure{QStringLiteral("%1: «%2» нет в списке").arg(name, given)};
        a.choice = choice;
        a.item = *item;
        return a;
    }
    if (*address == kOxygenSensor.address) {
        const auto is = [&](const OxygenButton& b) {
            return given.compare(ToQString(b.caption), Qt::CaseInsensitive) == 0 ||
                   given == QString::number(b.flagWord);
        };
        if (is(kOxygenSensor.present))
            a.oxygen = OxygenSensor::Present;
        else if (is(kOxygenSensor.absent))
            a.oxygen = OxygenSensor::Absent;
        else
            return Failure{QStringLiteral("%1: «есть» или «нет»").arg(name)};
        return a;
    }
    return Failure{
        QStringLiteral("%1 не меняется командой set: загрузите файл установок").arg(name)};
}

// The word the controller should hold after the write.
std::uint16_t WantedWord(const Assignment& a) {
    if (a.edit)
        return RawFromShown(a.edit->conversion, a.value);
    if (a.choice)
        return static_cast<std::uint16_t>(a.item);
    return a.oxygen == OxygenSensor::Present ? kOxygenSensor.present.flagWord
                                             : kOxygenSensor.absent.flagWord;
}

void Write(RegisterExchange& link, const Assignment& a) {
    if (a.edit)
        (void)ChangeEdit(link, *a.edit, a.value);
    else if (a.choice)
        WriteChoice(link, *a.choice, a.item);
    else
        WriteOxygenSelection(link, a.oxygen);
}

QString SideName(const QString& side) {
    return side == QStringLiteral("controller") ? QStringLiteral("Контроллер")
                                                : QFileInfo(side).fileName();
}

} // namespace

std::optional<std::uint8_t> FindParameter(const QString& nameOrCaption) {
    const QString wanted = nameOrCaption.trimmed();
    for (const std::uint8_t address : kSettingsRegisters)
        if (RegisterName(address).compare(wanted, Qt::CaseInsensitive) == 0 ||
            RegisterCaption(address).compare(wanted, Qt::CaseInsensitive) == 0)
            return address;
    return std::nullopt;
}

CommandResult RunInfo(CliLink& session) {
    RegisterExchange& link = session.Link();
    UnshownIdentity view;
    const IdentityReading identity = DeviceIdentity(link, QString()).ReadStored(view);
    const auto counterReply = ReadVerified(link, kCounterRegister);
    const bool counted = counterReply.has_value();
    const QString counter =
        counted ? OperatingCounterText(counterReply->second).trimmed() : QString();
    CommandResult result;
    result.json = {{"device", session.Device()},
                   {"answers", true},
                   {"serial", Trimmed(identity.serial)},
                   {"blank", identity.serial == QString::fromLatin1(kBlankSerial)},
                   {"unfinished", identity.unfinished},
                   {"date", identity.date},
                   {"counter", counter}};
    result.lines = {QStringLiteral("Устройство: %1").arg(session.Device()),
                    QStringLiteral("Серийный номер: %1")
                        .arg(identity.unfinished ? ShownSerial(identity)
                                                 : TerminalText(Trimmed(identity.serial))),
                    QStringLiteral("Дата выпуска: %1").arg(TerminalText(identity.date)),
                    QStringLiteral("Наработка (циклы): %1").arg(counter),
                    QStringLiteral("Контроллер отвечает: да")};
    if ((!identity.complete && !identity.unfinished) || !counted) {
        CommandResult failed = session.Failed(
            QStringLiteral("контроллер ответил не на все чтения: показанное может быть неверно"));
        failed.lines = result.lines;
        failed.json = result.json;
        return failed;
    }
    if (identity.unfinished) {
        result.status = ExitStatus::Differs;
        result.error = QStringLiteral("%1: %2; zef-cli number присвоит новый номер")
                           .arg(session.Device(), ShownSerial(identity));
    }
    return result;
}

CommandResult RunRead(CliLink& session) {
    const auto values = ReadSettings(session.Link());
    if (!values)
        return session.Failed(values.error());
    CommandResult result;
    QJsonArray parameters;
    for (std::size_t i = 0; i < values->size(); ++i) {
        const QJsonObject p = ParameterJson(kSettingsRegisters[i], (*values)[i], values->front());
        result.lines << ParameterLine(p);
        parameters.append(p);
    }
    result.json = {{"device", session.Device()}, {"parameters", parameters}};
    return result;
}

CommandResult RunGet(CliLink& session, const QString& name) {
    const auto address = FindParameter(name);
    if (!address)
        return FailedWith(
            FailureKind::Usage,
            QStringLiteral("Нет параметра «%1» (zef-cli read покажет все)").arg(name));
    RegisterExchange& link = session.Link();
    const auto reply = ReadVerified(link, *address);
    if (!reply)
        return session.Failed(
            QStringLiteral("Контроллер не ответил на чтение регистра %1.").arg(*address));
    CommandResult result;
    result.json = ParameterJson(*address, reply->second);
    result.lines << ParameterLine(result.json);
    return result;
}

CommandResult RunSet(CliLink& session, const QStringList& assignments, bool clamp) {
    std::vector<Assignment> parsed;
    for (const QString& text : assignments) {
        auto a = ParseAssignment(text, clamp);
        if (!a)
            return FailedWith(FailureKind::Usage,
                              a.error() + QStringLiteral("\nВ контроллер ничего не записано."));
        parsed.push_back(*a);
    }
    RegisterExchange& link = session.Link();
    CommandResult result;
    QJsonArray written;
    bool unanswered = false;
    for (const Assignment& a : parsed) {
        const std::uint64_t failedBefore = link.Channel().Figures().failedExchanges;
        Write(link, a);
        const auto reply = ReadVerified(link, a.address);
        const bool read = reply.has_value();
        unanswered |= link.Channel().Figures().failedExchanges != failedBefore || !read;
        const std::uint16_t want = WantedWord(a);
        QJsonObject p = read ? ParameterJson(a.address, reply->second)
                             : QJsonObject{{"name", RegisterName(a.address)},
                                           {"caption", RegisterCaption(a.address)},
                                           {"address", a.address}};
        p["given"] = a.given;
        p["sent"] = ShownValue(a.address, want);
        p["sent_word"] = want;
        const bool holds = read && reply->second == want;
        p["holds"] = holds;
        if (!read)
            result.lines
                << QStringLiteral("%1\tзначение не прочитано").arg(RegisterName(a.address));
        else
            result.lines << ParameterLine(p) + (holds ? QString()
                                                      : QStringLiteral("\tне принято (записано %1)")
                                                            .arg(ShownValue(a.address, want)));
        if (!holds && result.status == ExitStatus::Success)
            result.status = ExitStatus::Differs;
        written.append(p);
    }
    result.json = {{"device", session.Device()}, {"parameters", written}};
    if (unanswered) {
        CommandResult failed =
            session.Failed(QStringLiteral("контроллер ответил не на все записи и чтения"));
        failed.lines = result.lines;
        failed.json = result.json;
        return failed;
    }
    if (result.status == ExitStatus::Differs)
        result.error =
            QStringLiteral("%1: контроллер держит не то, что записано").arg(session.Device());
    return result;
}

CommandResult RunSave(CliLink& session, const QString& file, bool force) {
    if (file.isEmpty())
        return FailedWith(FailureKind::Usage, QStringLiteral("save needs a file name"));
    if (file == kStandardStream) {
        const auto values = ReadSettings(session.Link());
        if (!values)
            return session.Failed(values.error());
        CommandResult result;
        result.output = FormatSettings(*values);
        result.json = {{"device", session.Device()},
                       {"file", file},
                       {"registers", static_cast<int>(values->size())}};
        return result;
    }
    const QString path = WithSettingsExtension(file);
    if (QFileInfo::exists(path) && !force)
        return FailedWith(FailureKind::File,
                          QStringLiteral("%1: %2 (--force заменяет его)")
                              .arg(path, QString::fromUtf8(kReplaceFileQuestion)));
    const auto values = ReadSettings(session.Link());
    if (!values)
        return session.Failed(SettingsNotReadText(values.error(), path));
    if (const Status saved = WriteSettingsFile(path, *values); !saved)
        return FailedWith(FailureKind::File, saved.error());
    CommandResult result;
    result.json = {{"device", session.Device()},
                   {"file", path},
                   {"registers", static_cast<int>(values->size())}};
    result.lines << QStringLiteral("Сохранено в %1").arg(path);
    return result;
}

namespace {

// The file a load may write, or why not: what a load and its dry run refuse alike.
std::optional<CommandResult> RefusedFile(const QString& file, bool allowShort) {
    if (!QFileInfo::exists(file))
        return FailedWith(FailureKind::File,
                          QStringLiteral("%1: %2").arg(file, QString::fromUtf8(kNoSuchFileText)));
    // A script that loads a short file by mistake would leave a mixture of two calibrations.
    if (!allowShort) {
        const auto values = ReadSettingsFile(file);
        if (values && values->size() < kSettingsRegisters.size())
            return FailedWith(FailureKind::File,
                              QStringLiteral("%1: %2.\nВ контроллер ничего не записано; "
                                             "--allow-short загружает такой файл.")
                                  .arg(file, ShortFileText(static_cast<int>(values->size()))));
    }
    return std::nullopt;
}

} // namespace

CommandResult PlanLoad(CliLink& session, const QString& file, bool allowShort) {
    if (auto refused = RefusedFile(file, allowShort))
        return *refused;
    const auto values = ReadSettingsFile(file);
    if (!values)
        return FailedWith(FailureKind::File, values.error());
    const auto held = ReadSettings(session.Link());
    if (!held)
        return session.Failed(held.error());
    CommandResult result;
    QJsonArray registers;
    int changing = 0;
    for (std::size_t i = 0; i < values->size(); ++i) {
        QJsonObject p = ParameterJson(kSettingsRegisters[i], (*values)[i], values->front());
        const std::uint16_t before = (*held)[i];
        p["held"] = before;
        p["changes"] = before != (*values)[i];
        changing += before != (*values)[i];
        result.lines << ParameterLine(p) + (before != (*values)[i]
                                                ? QStringLiteral("\tбыло %1")
                                                      .arg(ShownValue(p["address"].toInt(), before))
                                                : QString());
        registers.append(p);
    }
    result.lines << QStringLiteral("Пробный прогон: из %1 было бы записано регистров %2 (изменится "
                                   "%3); ничего не записано")
                        .arg(file)
                        .arg(values->size())
                        .arg(changing);
    result.json = {{"device", session.Device()},
                   {"file", file},
                   {"dry_run", true},
                   {"registers", registers},
                   {"changing", changing}};
    return result;
}

CommandResult RunLoad(CliLink& session, const QString& dataFolder, const QString& file, bool force,
                      bool allowShort, const IdentityReading* identity) {
    if (auto refused = RefusedFile(file, allowShort))
        return *refused;
    RegisterExchange& link = session.Link();
    std::optional<CalibrationArchive> archive;
    std::optional<QString> serial;
    if (!dataFolder.isEmpty()) {
        archive.emplace(dataFolder);
        UnshownIdentity view;
        const IdentityReading read =
            identity ? *identity : DeviceIdentity(link, QString()).ReadStored(view);
        if (read.complete)
            serial = read.serial;
    }
    QString declined;
    const auto outcome = LoadWithArchive(
        link, archive ? &*archive : nullptr, serial, file,
        [&](const QString& reason) {
            declined = reason;
            return force;
        },
        /*askWhenUnread=*/false);
    if (!outcome)
        return FailedWith(FailureKind::File, outcome.error());
    if (!outcome->written && serial && !outcome->stateRead)
        return session.Failed(
            QStringLiteral("%1\nКалибровка контроллера не прочитана для архива; повторите "
                           "загрузку (try again).")
                .arg(NotLoadedWithoutSnapshotText(file)));
    if (!outcome->written)
        return FailedWith(FailureKind::File,
                          QStringLiteral("%1\n%2\n--force загружает без копии.")
                              .arg(NotLoadedWithoutSnapshotText(file), declined));
    CommandResult result;
    QJsonArray differing;
    for (const DifferingRegister& d : outcome->differing)
        differing.append(QJsonObject{{"address", d.address},
                                     {"written", d.written},
                                     {"held", d.held ? QJsonValue(*d.held) : QJsonValue()}});
    result.json = {{"device", session.Device()},
                   {"file", file},
                   {"values", outcome->load.written},
                   {"written", outcome->load.Answered()},
                   {"unanswered", outcome->load.unanswered},
                   {"differing", differing}};
    if (outcome->snapshot) {
        const QString note = BeforeLoadStatusText(*outcome->snapshot);
        result.lines << note;
        result.json["archive"] = note;
        if (*outcome->snapshot)
            result.json["snapshot"] = (*outcome->snapshot)->path;
    }
    const QString told = LoadOutcomeText(*outcome);
    if (outcome->load.unanswered > 0) {
        CommandResult failed = session.Failed(told);
        failed.lines = result.lines;
        failed.json = result.json;
        return failed;
    }
    result.lines
        << QStringLiteral("Загружено из %1: регистров %2").arg(file).arg(outcome->load.Answered());
    if (!outcome->differing.empty()) {
        result.status = ExitStatus::Differs;
        result.error = QStringLiteral("%1: %2").arg(session.Device(), told);
    } else if (!told.isEmpty()) {
        result.lines << told;
    }
    return result;
}

CommandResult PlanNumber(CliLink& session, const QString& logPath,
                         const std::function<QDate()>& today, IdentityReading* identity) {
    UnshownIdentity view;
    const IdentityReading stored = DeviceIdentity(session.Link(), QString()).ReadStored(view);
    if (identity)
        *identity = stored;
    if (!stored.complete && !stored.unfinished)
        return session.Failed(QStringLiteral("контроллер ответил не на все чтения номера"));
    const bool blank = stored.unfinished || stored.serial == QString::fromLatin1(kBlankSerial);
    CommandResult result;
    result.json = {{"device", session.Device()},
                   {"serial", Trimmed(stored.serial)},
                   {"unfinished", stored.unfinished},
                   {"dry_run", true},
                   {"would_number", blank}};
    if (!blank) {
        result.lines << QStringLiteral("Номер уже есть, оставлен: %1")
                            .arg(TerminalText(Trimmed(stored.serial)));
        return result;
    }
    if (logPath.isEmpty()) {
        // Asking the registry would be a write of its own: it hands a number out as it tells it.
        result.json["next_serial"] = QJsonValue();
        result.lines << QStringLiteral("Пробный прогон: номер выдаст реестр; ничего не записано");
        return result;
    }
    // The numbering would fail on a folder that is not there: so does its rehearsal.
    if (const QFileInfo folder(QFileInfo(logPath).absolutePath()); !folder.isDir())
        return FailedWith(FailureKind::File,
                          QStringLiteral("Папки журнала «%1» нет: номер присвоить нельзя")
                              .arg(QDir::toNativeSeparators(folder.filePath())));
    const QByteArray date = ReleaseDateText(today());
    const auto next = PeekNextRecord(logPath, EncodeCp1251(stored.date), date);
    if (!next)
        return FailedWith(FailureKind::File, next.error());
    const QByteArray serial = next->Serial().leftJustified(kSerialLength, ' ', true);
    QJsonArray registers;
    for (int i = 0; i < kSerialLength + kDateLength; ++i) {
        const bool inSerial = i < kSerialLength;
        registers.append(QJsonObject{
            {"address", inSerial ? kSerialRegister + i : kDateRegister + i - kSerialLength},
            {"word", static_cast<std::uint8_t>(inSerial ? serial[i] : date[i - kSerialLength])}});
    }
    result.json["next_serial"] = DecodeCp1251(serial).trimmed();
    result.json["date"] = QString::fromLatin1(date);
    result.json["registers"] = registers;
    result.json["log"] = QDir::toNativeSeparators(logPath);
    result.lines << QStringLiteral("Пробный прогон: был бы присвоен номер %1, дата %2")
                        .arg(DecodeCp1251(serial).trimmed(), QString::fromLatin1(date))
                 << QStringLiteral("Регистры %1…%2: номер, %3…%4: дата; журнал %5 не изменён")
                        .arg(kSerialRegister)
                        .arg(kSerialRegister + kSerialLength - 1)
                        .arg(kDateRegister)
                        .arg(kDateRegister + kDateLength - 1)
                        .arg(QDir::toNativeSeparators(logPath));
    return result;
}

CommandResult RunNumber(CliLink& session, const LogFolder& folder,
                        const std::function<QDate()>& today, NumberSource* source,
                        IdentityReading* read) {
    UnshownIdentity view;
    DeviceIdentity identity(session.Link(), folder.path, today);
    identity.SetNumberSource(source);
    const auto reading = identity.ReadIdentity(view);
    if (read && reading)
        *read = *reading;
    if (!reading)
        return source ? FailedWith(FailureKind::Registry, reading.error())
                      : FailedWith(FailureKind::File,
                                   reading.error() + "\n\n" + DescribeLogFolder(folder));
    CommandResult result;
    result.json = {{"device", session.Device()},
                   {"serial", Trimmed(reading->serial)},
                   {"date", reading->date},
                   {"numbered", reading->numbered && !reading->unfinished},
                   {"unfinished", reading->unfinished},
                   {"log", QDir::toNativeSeparators(identity.LogPath())}};
    const QString serial = TerminalText(Trimmed(reading->serial));
    result.lines
        << (reading->unfinished
                ? QStringLiteral("%1: номер %2 пропущен").arg(ShownSerial(*reading), serial)
            : reading->numbered ? QStringLiteral("Присвоен номер: %1").arg(serial)
                                : QStringLiteral("Номер уже есть, оставлен: %1").arg(serial));
    if (reading->numbered)
        result.lines
            << QStringLiteral("Журнал: %1").arg(QDir::toNativeSeparators(identity.LogPath()));
    if (!reading->complete) {
        CommandResult failed = session.Failed(
            reading->numbered ? TerminalText(UnansweredIdentityText(*reading), true)
                              : QStringLiteral("контроллер ответил не на все чтения номера"));
        failed.lines = result.lines;
        failed.json = result.json;
        return failed;
    }
    return result;
}

CommandResult RunDiff(CliEnvironment& environment, const QString& left, const QString& right) {
    const QString controller = QStringLiteral("controller");
    std::optional<CliLink> session;
    if (left == controller || right == controller) {
        session.emplace(environment);
        if (CommandResult connected = session->Connect(); connected.status != ExitStatus::Success)
            return connected;
    }
    std::optional<SettingsValues> fromController;
    const auto side = [&](const QString& name) -> Expected<SettingsValues> {
        if (name != controller)
            return ReadSettingsFile(name);
        if (!fromController) {
            const auto values = ReadSettings(session->Link());
            if (!values)
                return values;
            fromController = *values;
        }
        return *fromController;
    };
    const auto a = side(left);
    const auto b = a ? side(right) : a;
    for (const auto* values : {&a, &b})
        if (!*values)
            return session && session->Link().Channel().Figures().failedExchanges > 0
                       ? session->Failed(values->error())
                       : FailedWith(FailureKind::File, values->error());
    const Comparison comparison = Compare(*a, *b);
    CommandResult result;
    result.status = comparison.differing == 0 ? ExitStatus::Success : ExitStatus::Differs;
    result.lines << ComparisonTitle(SideName(left), SideName(right), comparison);
    QJsonArray rows;
    for (const CompareRow& row : VisibleRows(comparison, true)) {
        result.lines << QStringLiteral("%1\t%2\t%3\t%4\t%5")
                            .arg(RegisterName(row.address), row.caption, row.left, row.right)
                            .arg(row.address);
        rows.append(
            QJsonObject{{"name", RegisterName(row.address)},
                        {"caption", row.caption},
                        {"address", row.address},
                        {"left", row.left},
                        {"right", row.right},
                        {"left_word", row.leftWord ? QJsonValue(*row.leftWord) : QJsonValue()},
                        {"right_word", row.rightWord ? QJsonValue(*row.rightWord) : QJsonValue()}});
    }
    result.json = {{"left", left},
                   {"right", right},
                   {"differing", comparison.differing},
                   {"equal", comparison.differing == 0},
                   {"differences", rows}};
    return result;
}

} // namespace zef
