#include "dialogs/prompts.h"

#include "files/settings_file.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QTreeView>

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

// Titled with the program's own caption, so the desktop adds nothing to it.
void QtPrompts::Message(const QString& text, Kind kind) {
    QMessageBox box(iconFor(kind), QString::fromUtf8(kPlainCaption), text, QMessageBox::Ok,
                    m_parent);
    // Messages quote file names and the controller's serial number, which may hold anything.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtPrompts::AskYesNo(const QString& text, Kind kind) {
    QMessageBox box(iconFor(kind), QString::fromUtf8(kPlainCaption), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompts::AskText(const QString& question, const QString& proposed) {
    bool given = false;
    const QString text = QInputDialog::getText(m_parent, QString::fromUtf8(kPlainCaption), question,
                                               QLineEdit::Normal, proposed, &given);
    if (!given)
        return std::nullopt;
    return text;
}

std::optional<int> QtPrompts::ChooseItem(const QString& question, const QStringList& items,
                                         int proposed) {
    bool given = false;
    const QString item = QInputDialog::getItem(m_parent, QString::fromUtf8(kPlainCaption), question,
                                               items, proposed, false, &given);
    const auto index = items.indexOf(item);
    if (!given || index < 0)
        return std::nullopt;
    return static_cast<int>(index);
}

QString WriteToControllerQuestion(const QString& what) {
    return QStringLiteral("Записать %1 в контроллер? Текущая калибровка сохраняется в архиве.")
        .arg(what);
}

QString QtPrompts::FolderKey(const QString& dialog, const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const auto match = pattern.match(filter);
    return QStringLiteral("dialogs/") + dialog +
           (match.hasMatch() ? '.' + match.captured(1) : QString());
}

std::optional<QString> QtPrompts::chooseFile(const QString& dialog, const QString& filter,
                                             bool save, const QString& proposed,
                                             const QString& title) {
    const QString key = FolderKey(dialog, filter);
    QString folder = m_settings ? m_settings->value(key).toString() : m_lastFolder;
    if (!proposed.isEmpty())
        folder = QFileInfo(proposed).absolutePath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();

    // Qt's own dialog, the same on every desktop: a desktop's native open dialog refuses a
    // name that does not exist, and the program wants to say so itself.
    QFileDialog box(m_parent, title, folder, filter);
    box.setOption(QFileDialog::DontUseNativeDialog);
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::AnyFile);
    // The program adds the extension and asks about replacing a file itself.
    box.setOption(QFileDialog::DontConfirmOverwrite);
    if (!proposed.isEmpty())
        box.selectFile(QFileInfo(proposed).fileName());
    // Wide enough for every column, and each column as wide as what it shows once the folder
    // has been read, so no file type or date is cut short.
    box.resize(box.sizeHint().expandedTo(QSize(780, 460)));
    auto* model = box.findChild<QFileSystemModel*>();
    auto* details = box.findChild<QTreeView*>();
    if (model && details)
        QObject::connect(model, &QFileSystemModel::directoryLoaded, details, [details] {
            details->header()->resizeSections(QHeaderView::ResizeToContents);
        });
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return std::nullopt;
    const QString name = box.selectedFiles().constFirst();
    if (name.isEmpty())
        return std::nullopt;
    m_lastFolder = QFileInfo(name).absolutePath();
    if (m_settings)
        m_settings->setValue(key, m_lastFolder);
    return name;
}

std::optional<QString> QtPrompts::OpenFileName(const QString& filter) {
    return chooseFile(QStringLiteral("open"), filter, false);
}

std::optional<QString> QtPrompts::OpenFileNameFor(const QString& title, const QString& filter) {
    return chooseFile(QStringLiteral("open"), filter, false, {}, title);
}

std::optional<QString> QtPrompts::SaveFileName(const QString& filter) {
    return chooseFile(QStringLiteral("save"), filter, true);
}

std::optional<QString> QtPrompts::SaveFileNameAs(const QString& filter, const QString& proposed) {
    return chooseFile(QStringLiteral("save"), filter, true, proposed);
}

} // namespace zef
