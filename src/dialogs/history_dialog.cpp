#include "dialogs/history_dialog.h"

#include "archive/compare.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zef {

namespace {

enum Column { Time, Station, User, What, Changes, ColumnCount };

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QString WhatHappened(const RegistryEvent& event) {
    QString what = QString::fromUtf8(KindRow(event.kind).caption);
    if (!event.checkJson.isEmpty())
        what += QJsonDocument::fromJson(event.checkJson.toUtf8()).object()["pass"].toBool()
                    ? QStringLiteral(": пройдена")
                    : QStringLiteral(": не пройдена");
    return what;
}

} // namespace

QString CalibrationChangeText(const std::vector<std::uint16_t>* previous,
                              const std::vector<std::uint16_t>& current) {
    if (!previous)
        return QStringLiteral("первые установки в истории");
    QStringList parts;
    for (const CompareRow& row : Compare(*previous, current).rows)
        if (row.differs)
            parts << QStringLiteral("%1: %2 → %3").arg(row.caption, row.left, row.right);
    return parts.join(QStringLiteral("; "));
}

HistoryDialog::HistoryDialog(const QString& serial, const std::vector<RegistryEvent>& events,
                             QWidget* parent)
    : QDialog(parent) {
    setObjectName("HistoryDialog");
    setWindowTitle(QStringLiteral("История контроллера %1").arg(serial));
    resize(1100, 600);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        events.empty() ? QStringLiteral("В реестре нет событий контроллера %1.").arg(serial)
                       : QStringLiteral("Контроллер %1: событий %2").arg(serial).arg(events.size()),
        this));
    m_table = new QTableWidget(static_cast<int>(events.size()), ColumnCount, this);
    m_table->setHorizontalHeaderLabels({"Время", "Станция", "Пользователь", "Что", "Изменения"});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(Changes, QHeaderView::Stretch);
    const std::vector<std::uint16_t>* previous = nullptr;
    for (int row = 0; row < static_cast<int>(events.size()); ++row) {
        const RegistryEvent& event = events[static_cast<std::size_t>(row)];
        m_table->setItem(
            row, Time,
            Cell(event.at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))));
        m_table->setItem(row, Station, Cell(event.station));
        m_table->setItem(row, User, Cell(event.user));
        m_table->setItem(row, What, Cell(WhatHappened(event)));
        if (!event.calibration.empty()) {
            m_table->setItem(row, Changes,
                             Cell(CalibrationChangeText(previous, event.calibration)));
            previous = &event.calibration;
        }
    }
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("Закрыть", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace zef
