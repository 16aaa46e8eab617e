#include "datalog/datalog_load.h"

#include "datalog/datalog_csv.h"
#include "datalog/datalog_trend.h"

#include <QDir>
#include <QFile>
#include <QObject>

#include <cmath>

namespace zef {

namespace {

constexpr qint64 kBlock = 1 << 20;
// Rows beyond the first block's estimate: a little room, not the doubling a vector would take.
constexpr double kEstimateSlack = 1.02;
constexpr double kGrowth = 1.125;
// Progress is told a hundred times a file at most: each telling is an event on the window.
constexpr double kProgressStep = 0.01;

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

std::optional<Expected<std::shared_ptr<TrendData>>>
ReadDatalogTrend(const QString& path, const std::atomic<bool>& cancelled,
                 const std::function<void(double)>& progress) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{
            QStringLiteral("Запись «%1» не открыта:\n%2").arg(Shown(path), file.errorString())};
    const qint64 size = file.size();
    auto trend = std::make_shared<TrendData>(DatalogTrend(std::chrono::milliseconds(0)));
    DatalogCsvReader reader(path);
    DatalogRow row;
    QByteArray carry;
    QByteArray block;
    qint64 done = 0;
    double told = 0;
    bool first = true;
    const auto take = [&](QByteArrayView line, bool terminated) -> Status {
        const auto filled = reader.Line(line, terminated, row);
        if (!filled)
            return Failure{filled.error()};
        if (!*filled)
            return Done{};
        if (first) {
            trend->SetStart(row.time.addMSecs(-qRound64(row.seconds * 1000)));
            first = false;
        }
        if (trend->Size() == trend->Capacity())
            trend->Reserve(std::size_t(double(trend->Size()) * kGrowth) + 1024);
        AppendToTrend(*trend, row);
        return Done{};
    };
    while (!file.atEnd()) {
        if (cancelled.load())
            return std::nullopt;
        block = file.read(kBlock);
        if (file.error() != QFileDevice::NoError)
            return Failure{QStringLiteral("Запись «%1» не прочитана:\n%2")
                               .arg(Shown(path), file.errorString())};
        if (block.isEmpty())
            break;
        const QByteArray& text = carry.isEmpty() ? block : carry.append(block);
        qsizetype start = 0;
        for (qsizetype end; (end = text.indexOf('\n', start)) >= 0; start = end + 1)
            if (Status taken = take(QByteArrayView(text).sliced(start, end - start), true); !taken)
                return Failure{taken.error()};
        if (done == 0 && start > 0) {
            const double perRow = double(start) / double(std::max<std::size_t>(trend->Size(), 1));
            trend->Reserve(std::size_t(double(size) / perRow * kEstimateSlack));
        }
        carry = text.sliced(start);
        done += block.size();
        if (progress && size > 0 && double(done) / double(size) - told >= kProgressStep) {
            told = double(done) / double(size);
            progress(told);
        }
    }
    if (!carry.isEmpty())
        if (Status taken = take(carry, false); !taken)
            return Failure{taken.error()};
    if (Status finished = reader.Finish(); !finished)
        return Failure{finished.error()};
    trend->SetGapSeconds(RecordedGapSeconds(trend->AllSeconds()));
    return trend;
}

DatalogLoad::DatalogLoad(const QString& path, QObject* receiver, Progress progress,
                         Finished finished)
    : m_path(path), m_cancelled(std::make_shared<std::atomic<bool>>(false)) {
    m_reader = std::thread([path, receiver, cancelled = m_cancelled, progress = std::move(progress),
                            finished = std::move(finished)] {
        const auto tell = [&](double share) {
            if (!progress)
                return;
            QMetaObject::invokeMethod(
                receiver,
                [progress, cancelled, share] {
                    if (!cancelled->load())
                        progress(share);
                },
                Qt::QueuedConnection);
        };
        auto read = ReadDatalogTrend(path, *cancelled, tell);
        if (!read)
            return;
        QMetaObject::invokeMethod(
            receiver,
            [finished, cancelled, result = std::move(*read)]() mutable {
                if (!cancelled->load())
                    finished(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

DatalogLoad::~DatalogLoad() {
    Cancel();
    if (m_reader.joinable())
        m_reader.join();
}

void DatalogLoad::Cancel() {
    m_cancelled->store(true);
}

} // namespace zef
