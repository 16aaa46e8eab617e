#include "cli/cli_check.h"

#include "datalog/channels.h"
#include "datalog/datalog_csv.h"
#include "datalog/recorder.h"
#include "files/settings_file.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace zef {

namespace {

using Clock = std::chrono::steady_clock;

QString Value(double value) {
    return QString::number(value, 'f', 3);
}

class DatalogSource final : public ChannelSource {
public:
    std::vector<Channel> Channels() const override {
        std::vector<Channel> channels;
        for (const DatalogChannel& c : DatalogChannels())
            channels.push_back(
                {QString::fromUtf8(c.key.data(), qsizetype(c.key.size())), c.column, c.unit});
        return channels;
    }
    std::optional<std::vector<double>> ReadRow(RegisterExchange& link) override {
        return ReadDatalogRow(link);
    }
};

} // namespace

std::unique_ptr<ChannelSource> DatalogChannelSource() {
    return std::make_unique<DatalogSource>();
}

std::unique_ptr<ChannelSource> ChannelsOf(const CliEnvironment& environment) {
    return environment.channels ? environment.channels() : DatalogChannelSource();
}

QStringList ChannelKeys(const CliEnvironment& environment) {
    QStringList keys;
    for (const ChannelSource::Channel& channel : ChannelsOf(environment)->Channels())
        keys << channel.key;
    return keys;
}

CommandResult RunMonitor(CliLink& session, CliEnvironment& environment,
                         const MonitorOptions& options) {
    std::unique_ptr<ChannelSource> source = ChannelsOf(environment);
    const auto channels = source->Channels();
    std::optional<DatalogRecorder> csv; // the window's recorder, rows and file alike
    // "-": the same CSV, line by line on standard output, for a pipe.
    const bool csvOut = options.csv == kStandardStream;
    if (!options.csv.isEmpty() && !csvOut) {
        // Like save: an existing file only with --force, and never a write through a link,
        // which could reach any file the user may write.
        const QFileInfo target(options.csv);
        if (target.isSymLink())
            return FailedWith(FailureKind::File,
                              QStringLiteral("%1: символическая ссылка; через ссылку запись не "
                                             "ведётся, укажите сам файл")
                                  .arg(options.csv));
        if (target.exists() && !options.force)
            return FailedWith(FailureKind::File,
                              QStringLiteral("%1: %2 (--force заменяет его)")
                                  .arg(options.csv, QString::fromUtf8(kReplaceFileQuestion)));
        csv.emplace(options.csv, &QDateTime::currentDateTime,
                    options.force ? AppendedFile::Creation::ReplaceNotLink
                                  : AppendedFile::Creation::New);
        if (const Status opened = csv->Open(); !opened)
            return FailedWith(FailureKind::File, opened.error());
    }
    // A failed write ends the recording; the rows already written stay whole.
    const auto failedCsv = [&](const QString& error) {
        (void)csv->Close();
        return FailedWith(FailureKind::File, error);
    };
    const auto emitLine = [&](const QString& line, CommandResult& result) {
        if (environment.live)
            environment.live(line);
        else
            result.lines << line;
    };
    CommandResult result;
    if (csvOut)
        emitLine(QString::fromUtf8(DatalogHeaderLine()).trimmed(), result);
    else if (!environment.json && !csv) {
        QStringList header{QStringLiteral("time")};
        for (const auto& c : channels)
            header << c.column;
        emitLine(header.join('\t'), result);
    }
    const auto period = std::chrono::milliseconds(options.periodMs);
    const RowSource read = [&source](RegisterExchange& link) { return source->ReadRow(link); };
    const auto readRow = csv ? csv->RowReader(read)
                             : StampedRowReader(&QDateTime::currentDateTime, Clock::now(), read);
    int unanswered = 0;
    int n = 0;
    for (; !options.count || n < *options.count; ++n) {
        const auto started = Clock::now();
        ReadRow sample = readRow(session.Link());
        const bool answered = sample.values.has_value();
        if (csv) {
            // A row the controller did not answer is left out, never invented.
            if (const auto written = csv->Write(std::move(sample)); !written)
                return failedCsv(written.error());
        } else if (csvOut) {
            if (answered) // as in the file: a row the controller did not answer is left out
                emitLine(QString::fromLatin1(
                             DatalogRowLine({sample.time, sample.seconds, *sample.values, {}}))
                             .trimmed(),
                         result);
        } else if (environment.json) {
            QJsonObject line{{"schema", kJsonSchema},
                             {"time", DatalogTimeText(sample.time)},
                             {"seconds", sample.seconds},
                             {"answered", answered}};
            for (std::size_t i = 0; answered && i < channels.size() && i < sample.values->size();
                 ++i)
                line[channels[i].key] = (*sample.values)[i];
            emitLine(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)), result);
        } else {
            QStringList line{DatalogTimeText(sample.time)};
            for (std::size_t i = 0; i < channels.size(); ++i)
                line << (answered && i < sample.values->size() ? Value((*sample.values)[i])
                                                               : QStringLiteral("—"));
            emitLine(line.join('\t'), result);
        }
        unanswered += answered ? 0 : 1;
        if (session.Link().Channel().DeviceLost())
            return session.Failed(QStringLiteral("связь потеряна"));
        if (options.count && n + 1 >= *options.count)
            break;
        WaitOutPeriod(environment, started, period);
    }
    result.json = {{"device", session.Device()}, {"samples", n + 1}, {"unanswered", unanswered}};
    if (csv) {
        if (const Status closed = csv->Close(); !closed)
            return FailedWith(FailureKind::File, closed.error());
        result.json["csv"] = options.csv;
        if (!environment.json)
            emitLine(QStringLiteral("Записано в %1: строк %2")
                         .arg(options.csv)
                         .arg(csv->Writer().Rows()),
                     result);
    }
    if (unanswered > 0)
        return session.Failed(
            QStringLiteral("без ответа %1 выборок из %2").arg(unanswered).arg(n + 1));
    return result;
}

} // namespace zef
