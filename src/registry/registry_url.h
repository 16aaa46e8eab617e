#pragma once

#include "files/outcome.h"

#include <QString>

#include <optional>

class QSettings;

namespace zef {

enum class RegistryEngine { Sqlite, Postgres };

// Where the production registry is: "sqlite:PATH" for one workstation, or
// "postgresql://user@host:port/database[?option=value&...]" for a line of stations. A password
// is never part of it: libpq takes it from PGPASSFILE or ~/.pgpass, so it shows in no process
// list and no settings file.
struct RegistryUrl {
    RegistryEngine engine = RegistryEngine::Sqlite;
    QString path; // SQLite's file
    QString user;
    QString host;
    int port = 5432;
    QString database;
    QString options; // libpq's connection options, "key=value;key=value"
    QString text;    // as given: how messages name the registry
};

[[nodiscard]] Expected<RegistryUrl> ParseRegistryUrl(const QString& text);

// The registry of a workstation that was given none: a SQLite file in the user's data folder.
[[nodiscard]] QString DefaultRegistryUrl(const QString& dataFolder);

// The settings key that remembers --registry, in the group "paths".
inline constexpr char kRegistryKey[] = "paths/registry";

// Takes --registry into the settings (an empty value forgets the remembered one) and answers
// the registry in use: empty when none was ever given.
QString RememberRegistry(QSettings& settings, const std::optional<QString>& commandLine);

} // namespace zef
