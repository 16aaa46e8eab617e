// Questions that write to the controller or destroy something, and the compare and archive
// dialogs, met with a real key press: nothing reaches the controller.
#include "app/main_window.h"
#include "dialogs/archive_dialog.h"
#include "dialogs/compare_dialog.h"
#include "dialogs/prompts.h"
#include "dialogs/serial_dialog.h"
#include "session/controller_session.h"
#include "support/sim_ports.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

using namespace zef;

namespace {

// The real question boxes; a scripted file name, plain messages dropped.
class KeyboardPrompts final : public Prompts {
public:
    void Message(const QString&, Kind) override {}
    bool AskYesNo(const QString& text, Kind kind) override { return m_real.AskYesNo(text, kind); }
    std::optional<QString> OpenFileName(const QString&) override { return file; }
    std::optional<QString> SaveFileName(const QString&) override { return file; }
    QString file;

private:
    QtPrompts m_real;
};

// The key goes where the focus is, once the next modal window is up, as a user's would.
void PressOnNextModal(Qt::Key key, QString& text, int tries = 1000) {
    QTimer::singleShot(0, [key, &text, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return tries > 0 ? PressOnNextModal(key, text, tries - 1) : void();
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box ? box->text() : modal->metaObject()->className();
        QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, key);
    });
}

TEST(KeyboardAnswers, enter_and_escape_never_write_to_the_controller) {
    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, std::chrono::milliseconds(5)};
    KeyboardPrompts prompts;
    QTemporaryDir data, logDir;
    const CalibrationArchive archive{data.path()};
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 7); }};
    form.SetArchive(&archive);
    ports.SetParam(35, 12); // an operating counter to lose
    form.ConnectToPort(1);
    ASSERT_TRUE(form.Connected());
    prompts.file = data.filePath("other.zef");
    QFile file(prompts.file);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray("7\r\n").repeated(31)));
    file.close();
    TForm2 serialDialog({.currentSerial = {},
                         .writeSerial = [&](const QString& s) { return form.WriteSerialNumber(s); },
                         .acceptsCharacter = {},
                         .prompts = &prompts},
                        "07.12.26");
    const auto gesture = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { form.StaticText4MouseDown(gesture, Qt::RightButton); }, "Обнулить наработку?"},
        {[&] { form.CompareWithFileAction->trigger(); }, "CompareDialog"},
        {[&] {
             form.CompareWithFileAction->trigger();
             form.findChild<CompareDialog*>()->WriteButton()->click();
         },
         WriteToControllerQuestion("«other.zef»")},
        {[&] { form.ArchiveAction->trigger(); }, "ArchiveDialog"},
        {[&] {
             form.ArchiveAction->trigger();
             form.findChild<ArchiveDialog*>()->RestoreButton()->click();
         },
         "Записать снимок"},
        {[&] { serialDialog.Button1()->click(); }, "Записать в контроллер серийный номер"},
    };
    QString shown; // outlives a key that found no window to go to
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        for (const auto& [act, asked] : cases) {
            SCOPED_TRACE(asked.toStdString() + (key == Qt::Key_Return ? ", Enter" : ", Esc"));
            ports.sim->ClearFrames();
            shown.clear();
            PressOnNextModal(key, shown);
            act();
            QTest::qWait(0); // a dialog opened without a loop of its own gets its key here
            EXPECT_TRUE(shown.contains(asked)) << shown.toStdString();
            const auto frames = ports.sim->Frames();
            EXPECT_TRUE(std::none_of(frames.begin(), frames.end(),
                                     [](const Frame& f) { return f[0] == 3; }));
            qDeleteAll(form.findChildren<QDialog*>(Qt::FindDirectChildrenOnly));
        }
    }
    EXPECT_EQ(ports.Param(35), 12);
}

} // namespace
