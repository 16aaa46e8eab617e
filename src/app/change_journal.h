#pragma once

#include "session/change_history.h"

#include <QTreeWidget>

namespace zef {

// "Журнал изменений": what this session changed in the controller, step by step, in the
// window's captions and units. A step undone stays listed, greyed, until something new is
// written over it.
class ChangeJournal : public QTreeWidget {
    Q_OBJECT
public:
    explicit ChangeJournal(const ChangeHistory& history, QWidget* parent = nullptr);

    // "Пороговое напряжение ХХ", "1.50 Volt → 1.55 Volt"
    [[nodiscard]] static QString ParameterText(const RegisterChange& change);
    [[nodiscard]] static QString ValuesText(const RegisterChange& change);
    // What the step is called in the menu's tips and the messages.
    [[nodiscard]] static QString StepText(const ChangeStep& step);

    void Refresh();

private:
    void addStep(const ChangeStep& step, bool undone);

    const ChangeHistory& m_history;
};

} // namespace zef
