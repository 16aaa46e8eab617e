#include "dialogs/archive_dialog.h"

#include "dialogs/prompts.h"
#include "params/catalogue.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zef {

namespace {

enum Column { Date, Time, Reason, Differences, ColumnCount };

QTableWidgetItem* Cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

} // namespace

ArchiveDialog::ArchiveDialog(const QString& serial, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts) {
    setObjectName("ArchiveDialog");
    setWindowTitle(QStringLiteral("Архив калибровок — %1").arg(serial.trimmed()));
    resize(560, 420);
    auto* layout = new QVBoxLayout(this);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setHorizontalHeaderLabels({"Дата", "Время", "Причина", "Отличий от контроллера"});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);

    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_note);

    auto* buttons = new QDialogButtonBox(this);
    m_compare = buttons->addButton("Сравнить", QDialogButtonBox::ActionRole);
    m_compare->setObjectName("Compare");
    m_compare->setToolTip("Один снимок — с контроллером, два снимка — друг с другом");
    m_restore = buttons->addButton("Восстановить", QDialogButtonBox::ActionRole);
    m_restore->setObjectName("Restore");
    m_restore->setToolTip("Записать снимок в контроллер; нынешняя калибровка сперва "
                          "сохраняется в архиве");
    connect(m_compare, &QPushButton::clicked, this, &ArchiveDialog::CompareClick);
    connect(m_restore, &QPushButton::clicked, this, &ArchiveDialog::RestoreClick);
    QPushButton* close = buttons->addButton("Закрыть", QDialogButtonBox::RejectRole);
    close->setObjectName("Close");
    close->setDefault(true);
    m_compare->setAutoDefault(false);
    m_restore->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &ArchiveDialog::selectionChanged);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &ArchiveDialog::CompareClick);
    selectionChanged();
}

void ArchiveDialog::SetEntries(std::vector<ArchiveEntry> entries, const QString& note) {
    std::reverse(entries.begin(), entries.end());
    m_entries = std::move(entries);
    m_note->setText(note);
    m_table->clearSelection();
    m_table->setRowCount(static_cast<int>(m_entries.size()));
    for (int r = 0; r < static_cast<int>(m_entries.size()); ++r) {
        const ArchiveEntry& entry = m_entries[static_cast<std::size_t>(r)];
        const Snapshot& s = entry.snapshot;
        QString time = s.taken.toString(QStringLiteral("HH:mm:ss"));
        if (s.sequence > 1)
            time += QStringLiteral(" (%1)").arg(s.sequence);
        m_table->setItem(r, Date, Cell(s.taken.toString(QStringLiteral("yyyy-MM-dd"))));
        m_table->setItem(r, Time, Cell(time));
        m_table->setItem(r, Reason, Cell(ToQString(ReasonOf(s.reason).caption)));
        m_table->setItem(
            r, Differences,
            Cell(entry.differences ? QString::number(*entry.differences) : QStringLiteral("—"),
                 Qt::AlignHCenter));
    }
    if (!m_entries.empty())
        m_table->selectRow(0);
    selectionChanged();
}

std::vector<const Snapshot*> ArchiveDialog::selected() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows.push_back(index.row());
    // Table order is newest first; hand them over oldest first.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    std::vector<const Snapshot*> snapshots;
    for (const int row : rows)
        if (row >= 0 && row < static_cast<int>(m_entries.size()))
            snapshots.push_back(&m_entries[static_cast<std::size_t>(row)].snapshot);
    return snapshots;
}

void ArchiveDialog::selectionChanged() {
    const std::size_t count = selected().size();
    m_compare->setEnabled(count == 1 || count == 2);
    m_restore->setEnabled(count == 1);
}

void ArchiveDialog::CompareClick() {
    // The hooks may refresh the entries; work on copies.
    const auto chosen = selected();
    if (chosen.size() == 1 && m_hooks.compareWithController) {
        const Snapshot one = *chosen[0];
        m_hooks.compareWithController(one);
    } else if (chosen.size() == 2 && m_hooks.compareTwo) {
        const Snapshot older = *chosen[0], newer = *chosen[1];
        m_hooks.compareTwo(older, newer);
    }
}

void ArchiveDialog::RestoreClick() {
    const auto chosen = selected();
    if (chosen.size() != 1 || !m_hooks.restore)
        return;
    const Snapshot one = *chosen[0];
    if (!m_prompts.AskYesNo(
            WriteToControllerQuestion(QStringLiteral("снимок «%1»").arg(SnapshotCaption(one))),
            Prompts::Kind::Warning))
        return;
    m_hooks.restore(one);
}

} // namespace zef
