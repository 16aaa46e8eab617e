#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QSettings;
class QWidget;

namespace zef {

// Every message box and file dialog of the program goes through here, so tests answer them
// without a modal loop.
class Prompts {
public:
    enum class Kind { Information, Confirmation, Warning, Error };

    virtual ~Prompts() = default;

    // A plain message with an OK button.
    virtual void Message(const QString& text, Kind kind = Kind::Information) = 0;

    // Yes/No; true for Yes. Every question of the program writes to the controller or
    // destroys something on Yes, so Enter and Escape both answer No.
    [[nodiscard]] virtual bool AskYesNo(const QString& text, Kind kind = Kind::Confirmation) = 0;

    // A file name chosen in an open or save dialog with the given filter ("Описание (*.ext)"),
    // or nothing when the user cancels.
    [[nodiscard]] virtual std::optional<QString> OpenFileName(const QString& filter) = 0;
    [[nodiscard]] virtual std::optional<QString> SaveFileName(const QString& filter) = 0;
    // An open dialog whose title says what the file is chosen for, where two are asked in turn.
    [[nodiscard]] virtual std::optional<QString> OpenFileNameFor(const QString& title,
                                                                 const QString& filter) {
        (void)title;
        return OpenFileName(filter);
    }
    // A save dialog that starts on a name the program proposes (a whole path), for files whose
    // names the program makes up, such as a datalog's.
    [[nodiscard]] virtual std::optional<QString> SaveFileNameAs(const QString& filter,
                                                                const QString& proposed) {
        (void)proposed;
        return SaveFileName(filter);
    }
    // A short text the user types, starting from the proposed one; nothing on cancel. Where
    // nobody is asked, the proposal stands.
    [[nodiscard]] virtual std::optional<QString> AskText(const QString& question,
                                                         const QString& proposed) {
        (void)question;
        return proposed;
    }
    // One of a list of items, by its index; nothing on cancel. Where nobody is asked, the
    // proposed item stands.
    [[nodiscard]] virtual std::optional<int> ChooseItem(const QString& question,
                                                        const QStringList& items, int proposed) {
        (void)question;
        if (proposed < 0 || proposed >= items.size())
            return std::nullopt;
        return proposed;
    }
};

// The question before a calibration goes into the controller from a dialog; what names the
// file or snapshot.
[[nodiscard]] QString WriteToControllerQuestion(const QString& what);

// The real dialogs, parented to the given window. With settings, each file dialog starts in
// the folder it was last used in, also after a restart (group "dialogs").
class QtPrompts final : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr, QSettings* settings = nullptr)
        : m_parent(parent), m_settings(settings) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    // The settings key of a file dialog's last folder: "dialogs/open.zef" for the open dialog
    // of "Установки ZEF (*.zef)".
    [[nodiscard]] static QString FolderKey(const QString& dialog, const QString& filter);

    void Message(const QString& text, Kind kind) override;
    bool AskYesNo(const QString& text, Kind kind) override;
    std::optional<QString> OpenFileName(const QString& filter) override;
    std::optional<QString> SaveFileName(const QString& filter) override;
    std::optional<QString> OpenFileNameFor(const QString& title, const QString& filter) override;
    std::optional<QString> SaveFileNameAs(const QString& filter, const QString& proposed) override;
    std::optional<QString> AskText(const QString& question, const QString& proposed) override;
    std::optional<int> ChooseItem(const QString& question, const QStringList& items,
                                  int proposed) override;

private:
    std::optional<QString> chooseFile(const QString& dialog, const QString& filter, bool save,
                                      const QString& proposed = {}, const QString& title = {});

    QWidget* m_parent;
    QSettings* m_settings;
    QString m_lastFolder;
};

} // namespace zef
