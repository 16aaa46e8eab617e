#pragma once

// The registry's connection: the one place that knows which engine is behind it. Everything
// above writes one SQL text for both, asking here for the few words that differ.

#include "files/outcome.h"
#include "registry/registry_url.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <vector>

namespace zef {

// One statement with the values for its "?" in order.
struct SqlStatement {
    QString sql;
    QVariantList values;
};

class RegistryDatabase {
public:
    explicit RegistryDatabase(RegistryUrl url);
    ~RegistryDatabase();
    RegistryDatabase(const RegistryDatabase&) = delete;
    RegistryDatabase& operator=(const RegistryDatabase&) = delete;

    [[nodiscard]] const RegistryUrl& Url() const { return m_url; }
    [[nodiscard]] bool IsPostgres() const { return m_url.engine == RegistryEngine::Postgres; }

    // Opens the connection when it is not open and brings the schema to `schemaVersion`, every
    // missing step in one transaction that no other station runs at the same time.
    [[nodiscard]] Status Open(int schemaVersion);
    // After a failure the connection may be dead (a restarted server): the next Open makes a
    // new one.
    void Drop();
    [[nodiscard]] bool IsOpen() const { return m_db.isOpen(); }

    // A failure naming the registry.
    [[nodiscard]] Failure Fail(const QString& reason) const;

    // A transaction. `exclusive` keeps every other writer out from the start on SQLite, which
    // has no row locks; PostgreSQL's writers lock the rows they take.
    [[nodiscard]] Status Begin(bool exclusive);
    [[nodiscard]] Status Commit();
    void Rollback();

    // Runs sql with the values bound to its "?" in order; on failure the text says why.
    [[nodiscard]] Status Exec(QSqlQuery& query, const QString& sql,
                              const QVariantList& values = {});
    [[nodiscard]] Status Exec(QSqlQuery& query, const SqlStatement& statement) {
        return Exec(query, statement.sql, statement.values);
    }
    [[nodiscard]] QSqlQuery Query() const { return QSqlQuery(m_db); }

    // Runs the statements of an open transaction and commits it. PostgreSQL gets them in one
    // trip, so that a counter row locked before is held for two trips and the commit, not for
    // four: stations numbering at once then seldom queue for it.
    [[nodiscard]] Status CommitWith(QSqlQuery& query, const std::vector<SqlStatement>& rest);

    // " FOR UPDATE" where rows can be locked.
    [[nodiscard]] QString ForUpdate() const;
    // The calendar day of a time column, "YYYY-MM-DD".
    [[nodiscard]] QString DayOf(const QString& column) const;

    [[nodiscard]] Expected<int> SchemaVersion();

private:
    [[nodiscard]] Status OpenOnce(int schemaVersion);
    [[nodiscard]] Status Migrate(int schemaVersion);
    [[nodiscard]] Failure FailWith(const QSqlError& error);

    RegistryUrl m_url;
    QString m_connection;
    QSqlDatabase m_db;
    bool m_busy = false; // the last failure was SQLite's "database is locked"
};

} // namespace zef
