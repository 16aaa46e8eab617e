#include "registry/migrations.h"

#include <array>

namespace zef {

namespace {

// Never edit a step that has shipped: a registry that has it applied would not get the change.
// Add a step instead.
constexpr std::array kMigrations = {
    Migration{
        .version = 1,
        .summary = "controllers, events and the counter",
        .sqlite = R"(
CREATE TABLE controllers (
    serial TEXT PRIMARY KEY,
    counter INTEGER,
    model TEXT NOT NULL,
    release_date TEXT NOT NULL,
    numbered_at TEXT,
    station TEXT NOT NULL,
    state TEXT NOT NULL CHECK (state IN ('seed', 'issued', 'spent', 'imported')),
    log_seq INTEGER NOT NULL UNIQUE);
CREATE TABLE events (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    uid TEXT NOT NULL UNIQUE,
    serial TEXT NOT NULL,
    at TEXT NOT NULL,
    station TEXT NOT NULL,
    user_name TEXT NOT NULL,
    kind TEXT NOT NULL,
    calibration TEXT,
    check_result TEXT,
    program_version TEXT NOT NULL);
CREATE TABLE counter (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    last_record BLOB,
    records INTEGER NOT NULL);
INSERT INTO counter (id, last_record, records) VALUES (1, NULL, 0))",
        .postgres = R"(
CREATE TABLE controllers (
    serial TEXT PRIMARY KEY,
    counter INTEGER,
    model TEXT NOT NULL,
    release_date TEXT NOT NULL,
    numbered_at TIMESTAMPTZ,
    station TEXT NOT NULL,
    state TEXT NOT NULL CHECK (state IN ('seed', 'issued', 'spent', 'imported')),
    log_seq BIGINT NOT NULL UNIQUE);
CREATE TABLE events (
    id BIGSERIAL PRIMARY KEY,
    uid TEXT NOT NULL UNIQUE,
    serial TEXT NOT NULL,
    at TIMESTAMPTZ NOT NULL,
    station TEXT NOT NULL,
    user_name TEXT NOT NULL,
    kind TEXT NOT NULL,
    calibration TEXT,
    check_result JSONB,
    program_version TEXT NOT NULL);
CREATE TABLE counter (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    last_record BYTEA,
    records BIGINT NOT NULL);
INSERT INTO counter (id, last_record, records) VALUES (1, NULL, 0))",
    },
    Migration{
        // The log's own bytes, so that an export gives back an imported Protocol.lst byte for
        // byte; why a number was spent; and a history that does not read the whole table.
        .version = 2,
        .summary = "log records kept whole, spent numbers' reasons, history by serial",
        .sqlite = R"(
ALTER TABLE controllers ADD COLUMN log_record BLOB;
ALTER TABLE controllers ADD COLUMN note TEXT;
CREATE INDEX events_by_serial ON events (serial, at))",
        .postgres = R"(
ALTER TABLE controllers ADD COLUMN log_record BYTEA;
ALTER TABLE controllers ADD COLUMN note TEXT;
CREATE INDEX events_by_serial ON events (serial, at))",
    },
};

} // namespace

std::span<const Migration> Migrations() {
    return kMigrations;
}

int CurrentSchemaVersion() {
    return kMigrations.back().version;
}

} // namespace zef
