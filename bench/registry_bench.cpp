// The production registry's own cost: a number taken through PostgreSQL (the part of numbering
// beyond the controller's exchanges), four stations numbering at once against the database
// alone, and the history of a controller with 1 000 events.

#include "bench/benches.h"
#include "registry/production_registry.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace zef::bench {

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * double(values.size() - 1))];
}

// A database of the benchmark's own on the server of `base`, dropped again at the end.
class ScratchDatabase {
public:
    explicit ScratchDatabase(const QString& base) : m_base(base) {
        m_name = "zef_bench_" + QUuid::createUuid().toString(QUuid::Id128).left(8);
        m_ok = Admin("CREATE DATABASE " + m_name);
    }
    ~ScratchDatabase() {
        if (m_ok)
            (void)Admin("DROP DATABASE " + m_name + " WITH (FORCE)");
    }
    [[nodiscard]] bool Ok() const { return m_ok; }
    [[nodiscard]] QString Url() const { return m_base.left(m_base.lastIndexOf('/') + 1) + m_name; }

private:
    bool Admin(const QString& sql) {
        const auto url = ParseRegistryUrl(m_base);
        bool done = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "bench-admin");
            db.setHostName(url->host);
            db.setPort(url->port);
            db.setUserName(url->user);
            db.setDatabaseName(url->database);
            done = db.open() && QSqlQuery(db).exec(sql);
            db.close();
        }
        QSqlDatabase::removeDatabase("bench-admin");
        return done;
    }
    QString m_base;
    QString m_name;
    bool m_ok = false;
};

RegistryOptions Station(const QString& url, int n) {
    return {.url = url,
            .workplace = {QStringLiteral("station-%1").arg(n), "bench", "zef-bench"},
            .queueFile = {},
            .schemaVersion = -1};
}

void PrintEngine(const QString& engine, const QString& url) {
    {
        ProductionRegistry registry(Station(url, 0));
        if (const Status ready = registry.Connect(); !ready) {
            std::printf("registry %s: %s\n", qPrintable(engine), qPrintable(ready.error()));
            return;
        }
        std::vector<double> times;
        for (int i = 0; i < 300; ++i) {
            const auto start = Clock::now();
            const auto number = registry.TakeNumber("01.01.00", "08.12.26");
            times.push_back(Ms(Clock::now() - start));
            if (!number) {
                std::printf("registry %s: %s\n", qPrintable(engine), qPrintable(number.error()));
                return;
            }
        }
        std::printf("registry %s: a number beyond its exchanges p50 %.2f ms, p95 %.2f ms "
                    "(target p50 <= 20 ms)\n",
                    qPrintable(engine), Percentile(times, 0.5), Percentile(times, 0.95));
    }
    {
        constexpr int kStations = 4, kEach = 250;
        std::vector<std::thread> stations;
        std::vector<int> failed(kStations, 0);
        const auto start = Clock::now();
        for (int s = 0; s < kStations; ++s)
            stations.emplace_back([&, s] {
                ProductionRegistry registry(Station(url, s + 1));
                for (int i = 0; i < kEach; ++i)
                    failed[s] += !registry.TakeNumber("01.01.00", "08.12.26");
            });
        for (std::thread& t : stations)
            t.join();
        const double seconds = Ms(Clock::now() - start) / 1e3;
        int failures = 0;
        for (const int f : failed)
            failures += f;
        std::printf("registry %s: %d stations at once: %.0f numbers/s in total, %d refused "
                    "(target >= 150/s)\n",
                    qPrintable(engine), kStations, kStations * kEach / seconds, failures);
    }
    {
        ProductionRegistry registry(Station(url, 0));
        const auto number = registry.TakeNumber("01.01.00", "08.12.26");
        const QString serial = QString::fromLatin1(number->Serial()).trimmed();
        const Workplace workplace{"station-0", "bench", "zef-bench"};
        for (int i = 1; i < 1000; ++i) {
            RegistryEvent event = NewEvent(workplace, serial, EventKind(1 + i % 8));
            if (event.kind == EventKind::Loaded || event.kind == EventKind::Saved)
                event.calibration.assign(31, static_cast<std::uint16_t>(i));
            registry.Record(event);
        }
        std::vector<double> times;
        std::size_t events = 0;
        for (int i = 0; i < 20; ++i) {
            const auto start = Clock::now();
            const auto history = registry.History(serial);
            times.push_back(Ms(Clock::now() - start));
            events = history ? history->size() : 0;
        }
        std::printf("registry %s: history of a controller with %zu events p50 %.2f ms "
                    "(target <= 50 ms)\n",
                    qPrintable(engine), events, Percentile(times, 0.5));
    }
}

} // namespace

void PrintRegistryFigures(const QString& postgresUrl) {
    QTemporaryDir dir;
    PrintEngine("SQLite", "sqlite:" + dir.filePath("registry.sqlite"));
    if (postgresUrl.isEmpty()) {
        std::printf("registry PostgreSQL: no server (set ZEF_TEST_PG_URL; "
                    "scripts/pg-test-server.sh start gives one)\n");
        return;
    }
    ScratchDatabase scratch(postgresUrl);
    if (!scratch.Ok()) {
        std::printf("registry PostgreSQL: cannot create a database on %s\n",
                    qPrintable(postgresUrl));
        return;
    }
    PrintEngine("PostgreSQL", scratch.Url());
}

} // namespace zef::bench
