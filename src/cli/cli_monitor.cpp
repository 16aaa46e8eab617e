#include "cli/cli_check.h"

#include "datalog/channels.h"
#include "datalog/datalog_csv.h"
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
    std::optional<DatalogWriter> csv;
    if (!options.csv.isEmpty()) {
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
        csv.emplace(options.csv, options.force ? AppendedFile::Creation::ReplaceNotLink
                                               : AppendedFile::Creation::New);
        if (const Status opened = csv->Open(); !opened)
            return FailedWith(FailureKind::File, opened.error());
    }
    // A failed write ends the recording; the rows already written stay whole.
    const auto failedCsv = [&](const Status& status) {
        (void)csv->Close();
        return FailedWith(FailureKind::File, status.error());
    };
    const auto emitLine = [&](const QString& line, CommandResult& result) {
        if (environment.live)
            environment.live(line);
        else
            result.lines << line;
    };
    CommandResult result;
    if (!environment.json && !csv) {
        QStringList header{QStringLiteral("time")};
        for (const auto& c : channels)
            header << c.column;
        emitLine(header.join('\t'), result);
    }
    const auto period = std::chrono::milliseconds(options.periodMs);
    const auto start = Clock::now();
    int unanswered = 0;
    int n = 0;
    for (; !options.count || n < *options.count; ++n) {
        const auto started = Clock::now();
        const auto row = source->ReadRow(session.Link());
        const double seconds = std::chrono::duration<double>(started - start).count();
        const QDateTime now = QDateTime::currentDateTime();
        const QString time = DatalogTimeText(now);
        if (csv) {
            // A row the controller did not answer is left out, never invented.
            if (row)
                if (const Status appended = csv->Append({now, seconds, *row}); !appended)
                    return failedCsv(appended);
            if (const Status synced = csv->Check(); !synced)
                return failedCsv(synced);
        } else if (environment.json) {
            QJsonObject sample{{"schema", kJsonSchema},
                               {"time", time},
                               {"seconds", seconds},
                               {"answered", row.has_value()}};
            for (std::size_t i = 0; row && i < channels.size() && i < row->size(); ++i)
                sample[channels[i].key] = (*row)[i];
            emitLine(QString::fromUtf8(QJsonDocument(sample).toJson(QJsonDocument::Compact)),
                     result);
        } else {
            QStringList line{time};
            for (std::size_t i = 0; i < channels.size(); ++i)
                line << (row && i < row->size() ? Value((*row)[i]) : QStringLiteral("—"));
            emitLine(line.join('\t'), result);
        }
        unanswered += row ? 0 : 1;
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
            emitLine(QStringLiteral("Записано в %1: строк %2").arg(options.csv).arg(csv->Rows()),
                     result);
    }
    if (unanswered > 0)
        return session.Failed(
            QStringLiteral("без ответа %1 выборок из %2").arg(unanswered).arg(n + 1));
    return result;
}

} // namespace zef
