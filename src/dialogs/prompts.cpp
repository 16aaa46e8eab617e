#include "dialogs/prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace zef {

namespace {

QMessageBox::Icon iconFor(Prompts::Kind kind) {
    switch (kind) {
    case Prompts::Kind::Information:
        return QMessageBox::Information;
    case Prompts::Kind::Confirmation:
        return QMessageBox::Question;
    case Prompts::Kind::Warning:
        return QMessageBox::Warning;
    case Prompts::Kind::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void QtPrompts::Message(const QString& text, Kind kind) {
    QMessageBox box(iconFor(kind), QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    m_parent);
    // Messages quote file names and the controller's serial number, which may hold anything.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtPrompts::AskYesNo(const QString& text, Kind kind) {
    QMessageBox box(iconFor(kind), QApplication::applicationDisplayName(), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompts::OpenFileName(const QString& filter) {
    const QString name = QFileDialog::getOpenFileName(m_parent, QString(), m_lastFolder, filter);
    if (name.isEmpty())
        return std::nullopt;
    m_lastFolder = QFileInfo(name).absolutePath();
    return name;
}

std::optional<QString> QtPrompts::SaveFileName(const QString& filter) {
    // The program adds the extension and asks about replacing a file itself.
    const QString name = QFileDialog::getSaveFileName(m_parent, QString(), m_lastFolder, filter,
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty())
        return std::nullopt;
    m_lastFolder = QFileInfo(name).absolutePath();
    return name;
}

} // namespace zef
