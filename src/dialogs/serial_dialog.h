#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zef {

class Prompts;

// Asked before a serial number typed by hand overwrites the controller's.
[[nodiscard]] QString WriteSerialQuestion(const QString& serial);

// "Серийный номер": writes a serial number by hand. The edit starts with what the controller
// holds; OK writes it with today's date and reads the identity back, which numbers the
// controller at once when the blank serial was written.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        std::function<QString()> currentSerial;          // the main window's serial read-out
        std::function<bool(const QString&)> writeSerial; // false: an error, stay open
        std::function<bool(QChar)> acceptsCharacter;     // what the controller can store
        Prompts* prompts = nullptr; // asks before the write; none: writes at once
    };

    TForm2(Hooks hooks, const QString& dateText, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* Edit1() const { return m_edit; }
    [[nodiscard]] QLabel* Label1() const { return m_date; }
    [[nodiscard]] QPushButton* Button1() const { return m_ok; }
    [[nodiscard]] QPushButton* Button2() const { return m_cancel; }

    void FormShow();
    void Button1Click();
    void Button2Click() { reject(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Hooks m_hooks;
    QLineEdit* m_edit;
    QLabel* m_date;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace zef
