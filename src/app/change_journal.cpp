#include "app/change_journal.h"

#include "archive/compare.h"

#include <QHeaderView>

namespace zef {

namespace {

const QString kUnknown = QStringLiteral("?");

} // namespace

ChangeJournal::ChangeJournal(const ChangeHistory& history, QWidget* parent)
    : QTreeWidget(parent), m_history(history) {
    setObjectName("ChangeJournal");
    setWindowTitle(QStringLiteral("Журнал изменений"));
    setHeaderLabels(
        {QStringLiteral("Время"), QStringLiteral("Параметр"), QStringLiteral("Было → стало")});
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The map's captions are long; a caption cut short names no parameter.
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(true);
    resize(820, 320);
    // The history may change on the line's thread; the list follows on its own.
    connect(&history, &ChangeHistory::Changed, this, &ChangeJournal::Refresh, Qt::QueuedConnection);
    Refresh();
}

QString ChangeJournal::ParameterText(const RegisterChange& change) {
    return RegisterCaption(change.address);
}

QString ChangeJournal::ValuesText(const RegisterChange& change) {
    return (change.before ? ShownValue(change.address, *change.before) : kUnknown) +
           QStringLiteral(" → ") + ShownValue(change.address, change.after);
}

QString ChangeJournal::StepText(const ChangeStep& step) {
    if (!step.description.isEmpty() || step.changes.empty())
        return step.description;
    return ParameterText(step.changes.front()) + QStringLiteral(": ") +
           ValuesText(step.changes.front());
}

void ChangeJournal::Refresh() {
    clear();
    for (const ChangeStep& step : m_history.Done())
        addStep(step, false);
    const auto undone = m_history.Undone();
    for (auto step = undone.rbegin(); step != undone.rend(); ++step)
        addStep(*step, true);
    if (topLevelItemCount() > 0)
        scrollToItem(topLevelItem(topLevelItemCount() - 1));
}

void ChangeJournal::addStep(const ChangeStep& step, bool undone) {
    const QString time = step.time.toString(QStringLiteral("HH:mm:ss"));
    auto* item = new QTreeWidgetItem(this);
    if (step.description.isEmpty() && step.changes.size() == 1) {
        item->setText(0, time);
        item->setText(1, ParameterText(step.changes.front()));
        item->setText(2, ValuesText(step.changes.front()));
    } else {
        item->setText(0, time);
        item->setText(1, step.description);
        item->setText(2, QStringLiteral("параметров: %1").arg(step.changes.size()));
        for (const RegisterChange& change : step.changes) {
            auto* child = new QTreeWidgetItem(item);
            child->setText(1, ParameterText(change));
            child->setText(2, ValuesText(change));
        }
        item->setExpanded(true);
    }
    if (undone) {
        item->setText(0, time + QStringLiteral(" (отменено)"));
        item->setDisabled(true);
    }
}

} // namespace zef
