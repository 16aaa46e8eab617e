#pragma once

// The production registry: every controller a line has numbered, and what was done to it, in a
// database that every station of the line shares. Numbering is one transaction on one counter
// row, committed before the controller is written; events that the registry cannot take wait
// in a queue and go when it is back.

#include "files/outcome.h"
#include "files/production_log.h"
#include "registry/event_queue.h"
#include "registry/registry_database.h"
#include "registry/registry_event.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <vector>

namespace zef {

struct RegistryOptions {
    QString url;
    Workplace workplace;
    QString queueFile;      // empty: events wait in memory only
    int schemaVersion = -1; // -1: the program's own; lower only to make an older registry
};

struct ControllerNumbers {
    QString date; // "YYYY-MM-DD"
    QString station;
    int numbered = 0;
};

struct RegistryStats {
    std::vector<ControllerNumbers> perDay; // by day, then station
    int controllers = 0;                   // numbered or imported, seed and spent not counted
    int spent = 0;
    int checksPassed = 0;
    int checksFailed = 0;
};

struct ImportSummary {
    int records = 0; // whole records in the file
    int added = 0;   // controllers new to the registry
    QString last;    // the serial the counter now goes on from
};

class ProductionRegistry {
public:
    // Reaches nothing yet: a station without its registry goes on working and queues its events.
    explicit ProductionRegistry(const RegistryOptions& options);
    ~ProductionRegistry();
    ProductionRegistry(const ProductionRegistry&) = delete;
    ProductionRegistry& operator=(const ProductionRegistry&) = delete;

    // How messages and the status bar name it.
    [[nodiscard]] const QString& Name() const { return m_name; }
    // Who records through it.
    [[nodiscard]] const Workplace& Who() const { return m_workplace; }

    // Connects, brings the schema up to date and sends the waiting events. Every other call
    // connects on its own; this one is for a station that wants to know at once.
    [[nodiscard]] Status Connect();

    // The next serial: the counter row locked, the controller's row and its "numbered" event
    // inserted, committed. Only then may the controller be written. An empty registry begins a
    // log as a new Protocol.lst does, its seed carrying the controller's date.
    [[nodiscard]] Expected<ProtocolRecord> TakeNumber(QByteArrayView controllerDate,
                                                      QByteArrayView today);
    // The controller did not take the number: it is never given again, and says why.
    [[nodiscard]] Status MarkSpent(const QByteArray& serial, const QString& reason);

    // Writes the event, or queues it when the registry cannot take it now. The waiting ones go
    // first, in their order.
    void Record(const RegistryEvent& event);
    [[nodiscard]] int Waiting() const { return m_queue.Count(); }
    // Sends what waits; the failure says why the registry is away.
    [[nodiscard]] Status Flush();

    // A controller's events, oldest first. `serial` is the serial number, or its counter.
    [[nodiscard]] Expected<std::vector<RegistryEvent>> History(const QString& serial);
    [[nodiscard]] Expected<RegistryStats> Stats();

    // Seeds the counter and the history from a Protocol.lst. Controllers the registry knows
    // are left as they are, so a second import of the same log adds nothing.
    [[nodiscard]] Expected<ImportSummary> ImportProtocolLog(const QByteArray& bytes);
    // Every record in the log's order, in the log's own format.
    [[nodiscard]] Expected<QByteArray> ExportProtocolLog();

    [[nodiscard]] Expected<int> SchemaVersion();

private:
    [[nodiscard]] Status Ready();
    [[nodiscard]] Status WriteEvent(const RegistryEvent& event);
    // The end of a failed operation: the transaction undone, the connection dropped so the next
    // call makes a new one.
    [[nodiscard]] Failure Abandon(const QString& error);

    QString m_name;
    Failure m_badUrl;
    std::unique_ptr<RegistryDatabase> m_db;
    Workplace m_workplace;
    int m_schemaVersion;
    EventQueue m_queue;
};

} // namespace zef
