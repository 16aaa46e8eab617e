// zef-service: the service tool for the ZEF-K7LX gas injection controller.

#include "app/main_window.h"
#include "app/options.h"
#include "archive/snapshot_archive.h"
#include "dialogs/about_box.h"
#include "dialogs/prompts.h"
#include "dialogs/serial_dialog.h"
#include "files/cp1251.h"
#include "link/qt_serial_backend.h"
#include "sim/sim_backend.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("ZEF-K7LX system");
    zef::UseApplicationNames();

    const zef::AppOptions options = zef::AppOptions::Parse(QApplication::arguments());
    if (options.help) {
        std::fputs(qPrintable(zef::AppOptions::Usage()), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "zef-service: %s\n%s", qPrintable(options.error),
                     qPrintable(zef::AppOptions::Usage()));
        return 2;
    }

    // One simulated controller for the whole run, so a reconnection finds what was written.
    auto simulator = std::make_shared<zef::sim::Simulator>(zef::sim::Simulator::Options{
        .blankIdentity = options.simulatorBlankIdentity, .lineTiming = true});
    zef::MappedPortDirectory ports(options.ports, [simulator] {
        return std::make_unique<zef::sim::SimBackend>(simulator);
    });
    zef::SerialChannel channel(ports);
    zef::RegisterExchange link(channel);
    zef::QtPrompts prompts;

    // The production log lives next to the executable.
    zef::TForm1 form(link, prompts, QCoreApplication::applicationDirPath());
    prompts.SetParent(&form);
    const zef::CalibrationArchive archive(zef::DataFolder(options.dataDir));
    form.SetArchive(&archive);
    zef::TForm2 serialDialog(
        {.currentSerial = [&form] { return form.StaticText1->text(); },
         .writeSerial = [&form](const QString& serial) { return form.WriteSerialNumber(serial); },
         .acceptsCharacter = [](QChar c) { return zef::IsCp1251Representable(QString(c)); }},
        QString::fromLatin1(zef::ReleaseDateText(QDate::currentDate())), &form);
    zef::TForm3 about(&form);
    QObject::connect(&form, &zef::TForm1::StaticText1MouseDown, &serialDialog, &QDialog::exec);
    QObject::connect(&form, &zef::TForm1::N6Click, &about, &QDialog::exec);

    form.show();
    return QApplication::exec();
}
