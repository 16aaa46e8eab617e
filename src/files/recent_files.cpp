#include "files/recent_files.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace zef {

namespace {

QString canonical(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

RecentFiles::RecentFiles(const QStringList& files) {
    for (auto it = files.crbegin(); it != files.crend(); ++it)
        if (!it->isEmpty())
            Add(*it);
}

void RecentFiles::Add(const QString& path) {
    const QString file = canonical(path);
    m_files.removeAll(file);
    m_files.prepend(file);
    while (m_files.size() > kMax)
        m_files.removeLast();
}

void RecentFiles::Remove(const QString& path) {
    m_files.removeAll(canonical(path));
}

RecentFiles RecentFiles::Load(const QSettings& settings) {
    return RecentFiles(settings.value(kKey).toStringList());
}

void RecentFiles::Save(QSettings& settings) const {
    if (m_files.isEmpty())
        settings.remove(kKey);
    else
        settings.setValue(kKey, m_files);
}

QString RecentFiles::MenuText(int index, const QString& path) {
    const QFileInfo info(path);
    QString body = QStringLiteral("%1  (%2)")
                       .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath()));
    body.replace('&', QStringLiteral("&&"));
    return QStringLiteral("&%1 ").arg(index + 1) + body;
}

} // namespace zef
