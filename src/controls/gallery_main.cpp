// Shows the bound controls, initialised, as the main window would show them. With
// "--grab FILE" it saves a picture of the window and ends, which works without a display too.
#include "controls/ext_text.h"
#include "controls/gallery.h"
#include "files/disk_write.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    zef::IgnoreFileSizeSignal(); // a file-size limit fails the write, not the program
    QApplication app(argc, argv);
    zef::ControlsGallery gallery;
    gallery.Registry().InitAll();
    gallery.Readouts().back()->PassOne();
    gallery.show();
    const QStringList args = QApplication::arguments();
    const qsizetype grab = args.indexOf(QStringLiteral("--grab"));
    if (grab > 0 && grab + 1 < args.size()) {
        QTimer::singleShot(200, &gallery, [&] {
            const bool saved = gallery.grab().save(args[grab + 1]);
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
