#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace zef {

// "Инфо": the about box of the "?" menu.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    [[nodiscard]] QPlainTextEdit* Memo1() const { return m_memo; }
    [[nodiscard]] QPushButton* Button1() const { return m_ok; }

    [[nodiscard]] static QStringList MemoLines();

private:
    QPlainTextEdit* m_memo;
    QPushButton* m_ok;
};

} // namespace zef
