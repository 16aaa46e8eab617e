#pragma once

#include "archive/compare.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace zef {

class Prompts;

// Two calibrations side by side: a row per register, the differing ones marked, with a switch
// that hides the rest. Where the right-hand side is a file and a controller is connected, a
// button writes that file into the controller once the user has said yes. "Закрыть" is the
// default: Enter never writes.
class CompareDialog : public QDialog {
    Q_OBJECT
public:
    // Writes the file and returns the comparison as it now stands; none when nothing was
    // written, and the view stays as it was.
    using WriteToController = std::function<std::optional<Comparison>()>;

    // A write needs prompts to ask through.
    CompareDialog(QString leftName, QString rightName, Comparison comparison,
                  WriteToController write = {}, QWidget* parent = nullptr,
                  Prompts* prompts = nullptr);

    void SetComparison(Comparison comparison);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QCheckBox* OnlyDifferences() const { return m_onlyDifferences; }
    [[nodiscard]] QPushButton* WriteButton() const { return m_write; } // null without a write
    [[nodiscard]] QPushButton* CloseButton() const { return m_close; }
    [[nodiscard]] QString Heading() const;

    void WriteClick();

private:
    void fill();

    QString m_leftName, m_rightName;
    Comparison m_comparison;
    WriteToController m_writeToController;
    Prompts* m_prompts;
    QLabel* m_heading;
    QCheckBox* m_onlyDifferences;
    QTableWidget* m_table;
    QPushButton* m_write = nullptr;
    QPushButton* m_close;
};

} // namespace zef
