#include "registry/registry_database.h"

#include "registry/migrations.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QThread>
#include <QUuid>

namespace zef {

namespace {

// Every station takes this lock before it looks at the schema, so two first starts do not
// create the same table at once.
constexpr int kSchemaLock = 0x7a6566;

// How long a station waits for another one's write lock before it gives up numbering.
constexpr int kBusyTimeoutMs = 30'000;

QString Reason(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (text.isEmpty())
        return driver;
    if (!driver.isEmpty() && !text.contains(driver))
        text = driver + QStringLiteral(": ") + text;
    return text;
}

} // namespace

RegistryDatabase::RegistryDatabase(RegistryUrl url)
    : m_url(std::move(url)),
      m_connection(QStringLiteral("registry-") + QUuid::createUuid().toString(QUuid::Id128)) {
    const bool postgres = IsPostgres();
    m_db = QSqlDatabase::addDatabase(postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                     m_connection);
    if (postgres) {
        m_db.setHostName(m_url.host);
        m_db.setPort(m_url.port);
        m_db.setDatabaseName(m_url.database);
        m_db.setUserName(m_url.user);
        // A server that is gone must not hold the fitter up for the system's TCP timeout.
        QString options = QStringLiteral("connect_timeout=5");
        if (!m_url.options.isEmpty())
            options += ';' + m_url.options;
        m_db.setConnectOptions(options);
    } else {
        m_db.setDatabaseName(m_url.path);
        // Numbering stations wait their turn for the write lock rather than fail at once.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    }
}

RegistryDatabase::~RegistryDatabase() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

Failure RegistryDatabase::Fail(const QString& reason) const {
    return Failure{QStringLiteral("Реестр «%1»: %2").arg(m_url.text, reason)};
}

Failure RegistryDatabase::FailWith(const QSqlError& error) {
    // SQLITE_BUSY and its extended codes (BUSY_RECOVERY, BUSY_SNAPSHOT…) share the low byte.
    m_busy = !IsPostgres() && (error.nativeErrorCode().toInt() & 0xff) == 5;
    return Fail(Reason(error));
}

Status RegistryDatabase::Open(int schemaVersion) {
    if (m_db.isOpen())
        return Done{};
    // SQLite answers "database is locked" at once, without waiting out the busy timeout, to a
    // connection that opens while another one switches the file to WAL, recovers it or cleans
    // it up on close. Stations that start together try again for as long as they would wait
    // for the write lock.
    QDeadlineTimer patience(kBusyTimeoutMs);
    for (;;) {
        m_busy = false;
        const Status opened = OpenOnce(schemaVersion);
        if (opened || !m_busy || IsPostgres() || patience.hasExpired())
            return opened;
        QThread::msleep(20);
    }
}

Status RegistryDatabase::OpenOnce(int schemaVersion) {
    if (!m_db.isValid())
        return Fail(QStringLiteral("нет драйвера %1 (пакет libqt6sql6-%2)")
                        .arg(IsPostgres() ? "QPSQL" : "QSQLITE", IsPostgres() ? "psql" : "sqlite"));
    if (!IsPostgres() && !QFileInfo(m_url.path).absoluteDir().exists())
        return Fail(QStringLiteral("нет папки «%1»").arg(QFileInfo(m_url.path).absolutePath()));
    if (!m_db.open())
        return FailWith(m_db.lastError());
    if (IsPostgres()) {
        // "already exists, skipping" and the like are no news to a station's terminal.
        QSqlQuery quiet(m_db);
        (void)quiet.exec(QStringLiteral("SET client_min_messages TO WARNING"));
    } else {
        // WAL lets readers go on while a station numbers; FULL puts every commit on the disk
        // before the controller is written. Switching to WAL takes the file for itself, so it
        // is asked for only when the file is not in WAL yet.
        QSqlQuery pragma(m_db);
        Status done = Exec(pragma, QStringLiteral("PRAGMA journal_mode"));
        if (done && !(pragma.next() && pragma.value(0).toString() == QLatin1String("wal")))
            done = Exec(pragma, QStringLiteral("PRAGMA journal_mode=WAL"));
        if (done)
            done = Exec(pragma, QStringLiteral("PRAGMA synchronous=FULL"));
        if (!done) {
            Drop();
            return done;
        }
    }
    if (const Status migrated = Migrate(schemaVersion); !migrated) {
        Drop();
        return migrated;
    }
    return Done{};
}

void RegistryDatabase::Drop() {
    m_db.close();
}

Status RegistryDatabase::Exec(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    if (IsPostgres() || values.isEmpty()) {
        // The PostgreSQL driver would turn each statement into PREPARE, EXECUTE and DEALLOCATE,
        // three trips to the server, and cannot prepare DDL at all: the values go in as the
        // driver's own escaped literals, one trip. No statement here has a "?" of its own.
        QString text;
        qsizetype next = 0;
        for (const QChar c : sql) {
            if (c == '?' && next < values.size()) {
                const QVariant& value = values[next++];
                QSqlField field(QString(), value.metaType());
                field.setValue(value);
                text += m_db.driver()->formatValue(field);
            } else {
                text += c;
            }
        }
        if (!query.exec(text))
            return FailWith(query.lastError());
        return Done{};
    }
    if (!query.prepare(sql))
        return FailWith(query.lastError());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return FailWith(query.lastError());
    return Done{};
}

Status RegistryDatabase::Begin(bool exclusive) {
    QSqlQuery query(m_db);
    if (!query.exec(!IsPostgres() && exclusive ? QStringLiteral("BEGIN IMMEDIATE")
                                               : QStringLiteral("BEGIN")))
        return FailWith(query.lastError());
    return Done{};
}

Status RegistryDatabase::Commit() {
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("COMMIT"))) {
        const Failure failure = FailWith(query.lastError());
        Rollback();
        return failure;
    }
    return Done{};
}

void RegistryDatabase::Rollback() {
    QSqlQuery query(m_db);
    (void)query.exec(QStringLiteral("ROLLBACK"));
}

Status RegistryDatabase::CommitWith(QSqlQuery& query, const std::vector<SqlStatement>& rest) {
    if (!IsPostgres() || rest.size() < 2) {
        for (const SqlStatement& statement : rest)
            if (const Status done = Exec(query, statement); !done)
                return done;
        return Commit();
    }
    // The driver reads only the first result of a text with several statements, so they go as
    // one: the inserts as data-modifying parts of the last statement, which all run once. The
    // commit stays a trip of its own, so that its own failure is seen.
    SqlStatement batch;
    for (std::size_t i = 0; i + 1 < rest.size(); ++i) {
        batch.sql += QStringLiteral("%1s%2 AS (%3 RETURNING 1)")
                         .arg(i == 0 ? QStringLiteral("WITH ") : QStringLiteral(", "))
                         .arg(i)
                         .arg(rest[i].sql);
        batch.values += rest[i].values;
    }
    batch.sql += ' ' + rest.back().sql;
    batch.values += rest.back().values;
    if (const Status done = Exec(query, batch); !done)
        return done;
    return Commit();
}

QString RegistryDatabase::ForUpdate() const {
    return IsPostgres() ? QStringLiteral(" FOR UPDATE") : QString();
}

QString RegistryDatabase::DayOf(const QString& column) const {
    return IsPostgres() ? QStringLiteral("to_char(%1, 'YYYY-MM-DD')").arg(column)
                        : QStringLiteral("substr(%1, 1, 10)").arg(column);
}

Expected<int> RegistryDatabase::SchemaVersion() {
    QSqlQuery query(m_db);
    if (const Status done = Exec(query, "SELECT COALESCE(MAX(version), 0) FROM schema_migrations");
        !done)
        return Failure{done.error()};
    return query.next() ? query.value(0).toInt() : 0;
}

Status RegistryDatabase::Migrate(int schemaVersion) {
    if (const Status begun = Begin(true); !begun)
        return begun;
    const auto fail = [this](const Status& status) {
        Rollback();
        return status;
    };
    QSqlQuery query(m_db);
    if (IsPostgres())
        if (const Status locked =
                Exec(query, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock));
            !locked)
            return fail(locked);
    if (const Status made = Exec(query, "CREATE TABLE IF NOT EXISTS schema_migrations ("
                                        "version INTEGER PRIMARY KEY, summary TEXT NOT NULL, "
                                        "applied_at TEXT NOT NULL)");
        !made)
        return fail(made);
    const auto current = SchemaVersion();
    if (!current)
        return fail(Failure{current.error()});
    if (*current > schemaVersion)
        return fail(Fail(QStringLiteral("схема версии %1 новее этой программы (она знает до %2): "
                                        "обновите программу")
                             .arg(*current)
                             .arg(schemaVersion)));
    for (const Migration& step : Migrations()) {
        if (step.version <= *current || step.version > schemaVersion)
            continue;
        const QString script = QString::fromUtf8(IsPostgres() ? step.postgres : step.sqlite);
        for (const QString& statement : script.split(';', Qt::SkipEmptyParts)) {
            if (statement.trimmed().isEmpty())
                continue;
            if (const Status done = Exec(query, statement); !done)
                return fail(
                    Fail(QStringLiteral("шаг схемы %1: %2").arg(step.version).arg(done.error())));
        }
        if (const Status noted =
                Exec(query,
                     "INSERT INTO schema_migrations (version, summary, applied_at) "
                     "VALUES (?, ?, ?)",
                     {step.version, QString::fromUtf8(step.summary),
                      QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
            !noted)
            return fail(noted);
    }
    return Commit();
}

} // namespace zef
