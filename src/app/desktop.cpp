#include "app/desktop.h"

#include "app/main_window.h"
#include "files/recent_files.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDockWidget>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QSvgRenderer>
#include <QTranslator>

namespace zef {

bool LoadQtTranslations(QCoreApplication& app) {
    // "qt" is the catalogue that pulls in qtbase and every other module's texts.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qt"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QIcon ProgramIcon() {
    // Drawn at each size here, so the icon needs no image plugin at run time.
    QSvgRenderer picture(QStringLiteral(":/zef-service.svg"));
    QIcon icon;
    if (!picture.isValid())
        return icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        picture.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool SetUpDesktopApplication(QApplication& app) {
    // Every control sits at a fixed pixel place, so the window brings the style it is laid out
    // for rather than taking the desktop's, whose wider frames and paddings would cut texts.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zef-service"));
    QApplication::setWindowIcon(ProgramIcon());
    // Qt's dialogs give sizes, dates and file types in the default locale's language. The
    // program's own values never go through it: they always use "." as the decimal mark.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    return LoadQtTranslations(app);
}

namespace {

constexpr char kGeometryKey[] = "window/geometry";
constexpr char kMapTableKey[] = "window/mapTable";

} // namespace

void RestoreDesktopState(TForm1& form, QSettings& settings) {
    form.SetRecentFiles(RecentFiles::Load(settings).Files());
    QObject::connect(&form, &TForm1::RecentFilesChanged, &form,
                     [&settings](const QStringList& files) {
                         RecentFiles(files).Save(settings);
                         settings.sync();
                     });
    // Nothing remembered, or a screen that has gone: the window stays where it was put.
    (void)form.restoreGeometry(settings.value(kGeometryKey).toByteArray());
    form.MapTableDock()->setVisible(settings.value(kMapTableKey, false).toBool());
}

void SaveDesktopState(const TForm1& form, QSettings& settings) {
    settings.setValue(kGeometryKey, form.saveGeometry());
    // Hidden with the window as it closes, so asked whether it was put away itself.
    settings.setValue(kMapTableKey, !form.MapTableDock()->isHidden());
    settings.sync();
}

} // namespace zef
