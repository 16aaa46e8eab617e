#include "cli/cli_check.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <thread>

namespace zef {

namespace {

using Clock = std::chrono::steady_clock;

QString Value(double value) {
    return QString::number(value, 'f', 3);
}

} // namespace

CommandResult RunMonitor(CliLink& session, CliEnvironment& environment,
                         const MonitorOptions& options) {
    std::unique_ptr<ChannelSource> source = environment.channels ? environment.channels() : nullptr;
    if (!source)
        return FailedWith(ExitStatus::BadUsage, QStringLiteral("каналы журнала недоступны"));
    const auto channels = source->Channels();
    const auto emitLine = [&](const QString& line, CommandResult& result) {
        if (environment.live)
            environment.live(line);
        else
            result.lines << line;
    };
    CommandResult result;
    if (!environment.json) {
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
        const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        if (environment.json) {
            QJsonObject sample{{"time", time}, {"seconds", seconds}, {"answered", row.has_value()}};
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
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(started + period - Clock::now());
        if (left.count() > 0) {
            if (environment.sleep)
                environment.sleep(left);
            else
                std::this_thread::sleep_for(left);
        }
    }
    result.json = {{"device", session.Device()}, {"samples", n + 1}, {"unanswered", unanswered}};
    if (unanswered > 0)
        return session.Failed(QStringLiteral("без ответа %1 выборок из %2").arg(unanswered).arg(n + 1));
    return result;
}

} // namespace zef
