#include "files/log_location.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

namespace zef {

LogFolder ChooseLogFolder(const LogFolderFacts& facts) {
    if (!facts.namedFolder.isEmpty())
        return {QDir::cleanPath(facts.namedFolder), LogFolderSource::Named};
    if (!facts.installed && facts.executableFolderWritable)
        return {facts.executableFolder, LogFolderSource::NextToProgram};
    return {facts.userDataFolder, LogFolderSource::UserData};
}

QString DescribeLogFolder(const LogFolder& folder) {
    const QString shown = QDir::toNativeSeparators(folder.path);
    switch (folder.source) {
    case LogFolderSource::Named:
        return QStringLiteral("Папка журнала «%1» задана ключом --log-dir.").arg(shown);
    case LogFolderSource::NextToProgram:
        return QStringLiteral("Журнал ведётся в папке программы «%1»; другую папку задаёт ключ "
                              "--log-dir.")
            .arg(shown);
    case LogFolderSource::UserData:
        return QStringLiteral("Журнал ведётся в папке пользователя «%1», так как программа "
                              "установлена; другую папку задаёт ключ --log-dir.")
            .arg(shown);
    }
    return shown;
}

QString RememberNamedLogFolder(QSettings& settings, const std::optional<QString>& commandLine) {
    if (commandLine) {
        if (commandLine->isEmpty())
            settings.remove(kLogDirKey);
        else
            settings.setValue(kLogDirKey, QFileInfo(*commandLine).absoluteFilePath());
    }
    return settings.value(kLogDirKey).toString();
}

namespace {

// Whether a new file can be made in the folder, tried rather than judged from permission
// bits, which say nothing of read-only mounts or access lists.
bool TakesNewFiles(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".zef-probe-XXXXXX")));
    return probe.open();
}

} // namespace

LogFolderFacts GatherLogFolderFacts(const QString& executableFolder, const QString& namedFolder,
                                    const QString& userDataFolder) {
    LogFolderFacts facts;
    facts.executableFolder = executableFolder;
    facts.namedFolder = namedFolder;
    facts.userDataFolder = userDataFolder;
    facts.installed = QFileInfo::exists(
        QDir(executableFolder)
            .filePath(QStringLiteral("../share/applications/zef-service.desktop")));
    facts.executableFolderWritable = !facts.installed && TakesNewFiles(executableFolder);
    return facts;
}

LogFolder ResolveLogFolder(const LogFolderFacts& facts) {
    const LogFolder folder = ChooseLogFolder(facts);
    if (folder.source == LogFolderSource::UserData)
        (void)QDir().mkpath(folder.path); // a failure shows when the log is written
    return folder;
}

} // namespace zef
