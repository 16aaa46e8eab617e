// The window's file commands and the controller's identity.

#include "app/main_window.h"

#include "app/map_editor.h"
#include "dialogs/prompts.h"
#include "files/settings_file.h"

#include <QFileInfo>
#include <QLabel>
#include <QMenu>

namespace zef {

void TForm1::ShowSerial(const QString& serial) {
    StaticText1->setText(serial);
}

void TForm1::ShowDate(const QString& date) {
    StaticText3->setText(date);
}

void TForm1::Repaint() {
    // Paints at once without dispatching input: nothing can close the port mid-numbering.
    StaticText1->repaint();
    StaticText3->repaint();
}

bool TForm1::ReadIdentity() {
    const auto reading = m_identity.ReadIdentity(*this);
    m_serial = reading && reading->complete ? std::optional(reading->serial) : std::nullopt;
    if (!reading) {
        m_prompts.Message(m_logFolderNote.isEmpty() ? reading.error()
                                                    : reading.error() + "\n\n" + m_logFolderNote,
                          Prompts::Kind::Error);
        return false;
    }
    m_numberedNote = NumberedStatusText(*reading);
    if (!m_numberedNote.isEmpty())
        showStatus(m_numberedNote);
    // The number is spent and shown; the fitter is told, and the work goes on.
    if (const QString warning = UnansweredIdentityText(*reading); !warning.isEmpty())
        m_prompts.Message(warning, Prompts::Kind::Warning);
    return true;
}

bool TForm1::WriteSerialNumber(const QString& serial) {
    // Cut short, the write leaves the controller marked unfinished: shown so, not numbered.
    if (m_identity.WriteIdentity(serial) != 0) {
        m_serial = std::nullopt;
        (void)m_identity.ReadStored(*this);
        m_prompts.Message(SerialNotWrittenText(serial), Prompts::Kind::Warning);
        return false;
    }
    const bool read = ReadIdentity();
    m_session.Record(EventKind::SerialWritten, m_serial);
    return read;
}

void TForm1::LoadSettingsFromFile() {
    CommitTypedValue();
    const auto chosen = m_prompts.OpenFileName(QString::fromUtf8(kSettingsFilter));
    if (chosen)
        LoadSettingsFrom(*chosen);
}

void TForm1::LoadSettingsFrom(const QString& path) {
    if (!QFileInfo::exists(path)) {
        m_prompts.Message(QString::fromUtf8(kNoSuchFileText));
        if (m_recent.Files().contains(path)) {
            m_recent.Remove(path);
            fillRecentMenu();
            emit RecentFilesChanged(m_recent.Files());
        }
        return;
    }
    if (LoadCalibration(path))
        rememberFile(path);
}

void TForm1::SaveSettingsToFile() {
    CommitTypedValue();
    const auto chosen = m_prompts.SaveFileName(QString::fromUtf8(kSettingsFilter));
    if (!chosen)
        return;
    const QString path = WithSettingsExtension(*chosen);
    if (QFileInfo::exists(path) &&
        !m_prompts.AskYesNo(QString::fromUtf8(kReplaceFileQuestion), Prompts::Kind::Confirmation))
        return;
    const auto saved = SaveSettings(m_link, path);
    if (!saved) {
        m_prompts.Message(saved.error(), Prompts::Kind::Error);
        return;
    }
    setWindowTitle(CaptionWithFile(path));
    rememberFile(path);
    if (const auto words = ReadSettingsFile(path))
        m_session.Record(EventKind::Saved, m_serial, *words);
}

void TForm1::SetRecentFiles(const QStringList& files) {
    m_recent = RecentFiles(files);
    fillRecentMenu();
}

void TForm1::rememberFile(const QString& path) {
    m_recent.Add(path);
    fillRecentMenu();
    emit RecentFilesChanged(m_recent.Files());
}

void TForm1::fillRecentMenu() {
    m_recentMenu->clear();
    const QStringList& files = m_recent.Files();
    for (int i = 0; i < files.size(); ++i) {
        QAction* item = m_recentMenu->addAction(RecentFiles::MenuText(i, files[i]));
        item->setData(files[i]);
        connect(item, &QAction::triggered, this,
                [this, path = files[i]] { LoadSettingsFrom(path); });
    }
    if (files.isEmpty())
        m_recentMenu->addAction("(пусто)")->setEnabled(false);
}

} // namespace zef
