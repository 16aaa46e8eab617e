#pragma once

#include <QString>

#include <optional>

class QSettings;

namespace zef {

// Where the production log is kept. A program copied into a folder of its own keeps the log
// next to itself, as every workstation always has. An installed program cannot write there,
// so it takes the folder the user named (--log-dir, remembered), or else the user's own data
// folder. A folder the user named wins over both defaults: a workstation must not switch
// between two logs, or it would hand out a serial number twice.
enum class LogFolderSource {
    Named,         // --log-dir, now or remembered from an earlier start
    NextToProgram, // the executable's folder
    UserData,      // the per-user data folder
};

struct LogFolderFacts {
    QString executableFolder;
    bool executableFolderWritable = false;
    bool installed = false; // the program runs from an installation, not a copied folder
    QString namedFolder;    // empty: the user named none
    QString userDataFolder;
};

struct LogFolder {
    QString path;
    LogFolderSource source;
};

[[nodiscard]] LogFolder ChooseLogFolder(const LogFolderFacts& facts);

// One line for a message about the log: which folder, why that one, and how to name another.
[[nodiscard]] QString DescribeLogFolder(const LogFolder& folder);

// The settings key that remembers a named folder, in the group "paths".
inline constexpr char kLogDirKey[] = "paths/logDir";

// Takes --log-dir into the settings (an empty value forgets the remembered folder) and answers
// the folder the user has named, if any.
QString RememberNamedLogFolder(QSettings& settings, const std::optional<QString>& commandLine);

// The facts of this run: whether the executable's folder takes a new file, and whether the
// program is an installed one (its desktop entry lies in the installation's share folder).
[[nodiscard]] LogFolderFacts GatherLogFolderFacts(const QString& executableFolder,
                                                  const QString& namedFolder,
                                                  const QString& userDataFolder);

// Chooses the folder for this run. The per-user data folder is created when it is the one
// chosen; a folder the user named is never created, so an unmounted network folder is reported
// rather than replaced by an empty local one.
[[nodiscard]] LogFolder ResolveLogFolder(const LogFolderFacts& facts);

} // namespace zef
