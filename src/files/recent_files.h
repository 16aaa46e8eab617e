#pragma once

#include <QString>
#include <QStringList>

class QSettings;

namespace zef {

// The settings files last loaded or saved, newest first, as "Файл → Последние файлы" offers
// them. A path is kept once, however it was written.
class RecentFiles {
public:
    static constexpr int kMax = 8;
    static constexpr char kKey[] = "recentFiles";

    explicit RecentFiles(const QStringList& files = {});

    // Puts the file first; the oldest beyond kMax drop off.
    void Add(const QString& path);
    void Remove(const QString& path);
    [[nodiscard]] const QStringList& Files() const { return m_files; }

    [[nodiscard]] static RecentFiles Load(const QSettings& settings);
    void Save(QSettings& settings) const;

    // "&1 golf.zef  (/home/fitter/cars)": numbered for the keyboard, with its folder, and an
    // ampersand in a name shown as itself.
    [[nodiscard]] static QString MenuText(int index, const QString& path);

private:
    QStringList m_files;
};

} // namespace zef
