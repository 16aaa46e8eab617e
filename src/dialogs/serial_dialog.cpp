#include "dialogs/serial_dialog.h"

#include "dialogs/form_font.h"
#include "dialogs/prompts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace zef {

namespace {

// Refuses text with a character the controller's one-byte code page cannot hold, rather than
// letting it reach the controller as a question mark.
class CharacterValidator final : public QValidator {
public:
    CharacterValidator(std::function<bool(QChar)> accepts, QObject* parent)
        : QValidator(parent), m_accepts(std::move(accepts)) {}
    State validate(QString& input, int&) const override {
        if (!m_accepts)
            return Acceptable;
        for (QChar c : input) {
            if (!m_accepts(c))
                return Invalid;
        }
        return Acceptable;
    }

private:
    std::function<bool(QChar)> m_accepts;
};

QFont courier() {
    QFont f("Courier New");
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(16);
    return f;
}

} // namespace

TForm2::TForm2(Hooks hooks, const QString& dateText, QWidget* parent)
    : QDialog(parent), m_hooks(std::move(hooks)) {
    setObjectName("Form2");
    setWindowTitle("Серийный номер");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(347, 71);
    setFont(FormFont());
    setModal(true);
    QPalette blue = palette();
    blue.setColor(QPalette::Text, Qt::blue);
    blue.setColor(QPalette::WindowText, Qt::blue);

    m_ok = new QPushButton("OK", this);
    m_ok->setObjectName("Button1");
    m_ok->setGeometry(184, 44, 75, 21);
    m_ok->setAutoDefault(false);
    m_cancel = new QPushButton("ОТМЕНА", this);
    m_cancel->setObjectName("Button2");
    m_cancel->setGeometry(266, 44, 75, 21);
    m_cancel->setAutoDefault(false);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName("Edit1");
    m_edit->setGeometry(8, 4, 249, 26);
    m_edit->setMaxLength(32);
    m_edit->setFont(courier());
    m_edit->setPalette(blue);
    m_edit->setValidator(new CharacterValidator(m_hooks.acceptsCharacter, m_edit));

    m_date = new QLabel(dateText, this);
    m_date->setObjectName("Label1");
    m_date->setGeometry(260, 7, 80, 18);
    m_date->setFont(courier());
    m_date->setPalette(blue);

    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_edit);
    connect(m_ok, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(m_cancel, &QPushButton::clicked, this, &TForm2::Button2Click);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TForm2::FormShow() {
    if (m_hooks.currentSerial)
        m_edit->setText(m_hooks.currentSerial());
}

QString WriteSerialQuestion(const QString& serial) {
    return QStringLiteral("Записать в контроллер серийный номер «%1»? Нынешний номер будет "
                          "заменён.")
        .arg(serial.trimmed());
}

void TForm2::Button1Click() {
    if (m_hooks.prompts &&
        !m_hooks.prompts->AskYesNo(WriteSerialQuestion(m_edit->text()), Prompts::Kind::Warning))
        return; // the entered text stays for another try
    if (m_hooks.writeSerial && !m_hooks.writeSerial(m_edit->text()))
        return; // the error has been shown; the entered text stays for another try
    accept();
}

} // namespace zef
